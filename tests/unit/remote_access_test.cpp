#include "platform/remote_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>

#include "test_files.h"
#include "test_folder.h"

namespace qg::platform {
namespace {

// A command that logs its arguments, one per line, and exits with status.
std::string writeCommand(const TestFolder& folder, const std::string& name, int status) {
  const std::string path = folder.path(name);
  writeFile(path, "#!/bin/sh\nprintf '[%s]\\n' \"$@\" >> '" + folder.path(name + ".log") +
                      "'\nexit " + std::to_string(status) + "\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

TEST(LinuxRemoteAccess, OfflineWhileTheOfflineFileExists) {
  TestFolder folder;
  const std::string offline = folder.path("offline");
  LinuxRemoteAccess access(offline, "", "");
  EXPECT_TRUE(access.connected());
  writeFile(offline, "");
  EXPECT_FALSE(access.connected());
  EXPECT_TRUE(LinuxRemoteAccess("", "", "").connected());
}

TEST(LinuxRemoteAccess, DialRunsTheCommandWithItsFourArgumentsAsTheyAre) {
  TestFolder folder;
  const std::string offline = folder.path("offline");
  // The dial command brings the connection up by removing the offline file.
  const std::string dial = folder.path("dial");
  writeFile(dial, "#!/bin/sh\nprintf '[%s]\\n' \"$@\" > '" + folder.path("dial.log") +
                      "'\nrm -f '" + offline + "'\n");
  ::chmod(dial.c_str(), 0755);
  const std::string hangUp = writeCommand(folder, "hangup", 0);
  writeFile(offline, "");
  LinuxRemoteAccess access(offline, dial, hangUp);

  ASSERT_TRUE(access.dial({"My ISP", "555 01; rm -rf x", "", "p$(w)"}, {}));
  EXPECT_TRUE(access.connected());
  EXPECT_EQ(readFile(folder.path("dial.log")), "[My ISP]\n[555 01; rm -rf x]\n[]\n[p$(w)]\n");
  access.hangUp();
  EXPECT_EQ(readFile(folder.path("hangup.log")), "[]\n");
}

TEST(LinuxRemoteAccess, DialFails) {
  TestFolder folder;
  const std::string offline = folder.path("offline");
  writeFile(offline, "");
  struct Case {
    const char* what;
    std::string command;
  } cases[] = {
      {"no command set", ""},
      {"the command is missing", folder.path("none")},
      {"the command fails", writeCommand(folder, "fails", 1)},
      {"the command succeeds but the connection stays down", writeCommand(folder, "ok", 0)},
  };
  for (const Case& c : cases) {
    LinuxRemoteAccess access(offline, c.command, "");
    EXPECT_FALSE(access.dial({}, {})) << c.what;
  }
}

TEST(LinuxRemoteAccess, AStopCutsAHangingDialShort) {
  TestFolder folder;
  const std::string dial = folder.path("dial");
  writeFile(dial, "#!/bin/sh\nexec sleep 30\n");
  ::chmod(dial.c_str(), 0755);
  LinuxRemoteAccess access("", dial, "");
  const auto start = std::chrono::steady_clock::now();
  const auto stopAt = start + std::chrono::milliseconds(200);
  EXPECT_FALSE(access.dial({}, [stopAt] { return std::chrono::steady_clock::now() >= stopAt; }));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace qg::platform
