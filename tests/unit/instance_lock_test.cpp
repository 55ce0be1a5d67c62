#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/file.h"
#include "test_folder.h"

namespace qg::platform {
namespace {

TEST(InstanceLock, OneHolderPerHomeFolderWhosePidOthersCanRead) {
  TestFolder home;
  EXPECT_FALSE(runningAgentPid(home.root()).has_value());  // no lock file yet
  InstanceLock first;
  ASSERT_EQ(first.acquire(home.root()), LockStatus::Acquired);
  std::stringstream text;
  text << std::ifstream(home.path("quillgate.lock")).rdbuf();
  EXPECT_EQ(text.str(), std::to_string(::getpid()) + "\n");
  EXPECT_EQ(runningAgentPid(home.root()), ::getpid());

  InstanceLock second;
  EXPECT_EQ(second.acquire(home.root()), LockStatus::HeldByOther);
  first.release();
  // The file stays behind, unlocked: no agent runs.
  EXPECT_FALSE(runningAgentPid(home.root()).has_value());
  EXPECT_EQ(second.acquire(home.root()), LockStatus::Acquired);
  EXPECT_EQ(runningAgentPid(home.root()), ::getpid());
}

TEST(InstanceLock, ALockedFileWithoutAUsablePidNamesNoAgent) {
  // 0, 1 and negative ids would make a signal reach a process group or every
  // process of the user.
  for (const char* contents : {"-1\n", "0\n", "1\n", "12ab\n", "", "99999999999999999999\n"}) {
    SCOPED_TRACE(contents);
    TestFolder home;
    std::ofstream(home.path("quillgate.lock")) << contents;
    File holder;
    ASSERT_EQ(openLocked(home.path("quillgate.lock"), false, holder), OpenStatus::Opened);
    EXPECT_FALSE(runningAgentPid(home.root()).has_value());
  }
}

TEST(InstanceLock, AHomeFolderThatCannotHoldTheFileFails) {
  TestFolder home;
  InstanceLock lock;
  EXPECT_EQ(lock.acquire(home.path("missing/folder")), LockStatus::Failed);
  EXPECT_FALSE(lock.held());
}

}  // namespace
}  // namespace qg::platform
