#include "platform/file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_folder.h"

namespace qg::platform {
namespace {

TEST(PlatformFile, SecondLockedOpenOfTheSameFileIsBusyUntilTheFirstCloses) {
  TestFolder folder;
  const std::string path = folder.path("a.inf");
  File first;
  ASSERT_EQ(openLocked(path, true, first), OpenStatus::Opened);
  File second;
  EXPECT_EQ(openLocked(path, false, second), OpenStatus::Busy);
  first.close();
  EXPECT_EQ(openLocked(path, false, second), OpenStatus::Opened);
}

TEST(PlatformFile, OpenReportsDirectoryAndMissingFile) {
  TestFolder folder;
  File file;
  EXPECT_EQ(openLocked(folder.root(), true, file), OpenStatus::IsDirectory);
  EXPECT_EQ(openLocked(folder.path("none"), false, file), OpenStatus::Missing);
}

}  // namespace
}  // namespace qg::platform
