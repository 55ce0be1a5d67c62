#include "platform/home_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "test_folder.h"

namespace qg::platform {
namespace {

TEST(HomeFolder, OptionThenVariablesThenHomeDecide) {
  const std::string cwd = std::filesystem::current_path().string();
  struct Case {
    const char* option;
    HomeEnvironment environment;
    HomeKind kind;
    std::string want;
  };
  constexpr HomeKind kAgent = HomeKind::Agent;
  constexpr HomeKind kDemo = HomeKind::Demo;
  const Case cases[] = {
      {"/opt/qg/", {"/q", "/x", "/h"}, kAgent, "/opt/qg"},
      {"", {"/q//home/", "/x", "/h"}, kAgent, "/q/home"},
      {"", {"", "/x", "/h"}, kAgent, "/x/quillgate"},
      {"", {"", "", "/h"}, kAgent, "/h/.local/share/quillgate"},
      {"", {"", "", ""}, kAgent, ""},
      {"rel/../qg", {"", "", "/h"}, kAgent, cwd + "/qg"},
      // The demo never runs in the real home, wherever $QUILLGATE_HOME points.
      {"/opt/qg", {"/q", "/x", "/h"}, kDemo, "/opt/qg"},
      {"", {"/q", "/x", "/h"}, kDemo, "/x/quillgate-demo"},
      {"", {"/q", "", "/h"}, kDemo, "/h/.local/share/quillgate-demo"},
      {"", {"/q", "", ""}, kDemo, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.option) + (c.kind == kDemo ? " (demo)" : ""));
    EXPECT_EQ(chooseHomeFolder(c.option, c.environment, c.kind), c.want);
  }
}

TEST(HomeFolder, PreparingCreatesAPrivateFolderAndRefusesWhatCannotServe) {
  TestFolder root;
  const HomeFolder made = prepareHomeFolder(root.path("a/b"), {});
  ASSERT_EQ(made.status, HomeStatus::Ready);
  struct stat info {};
  ASSERT_EQ(::stat(made.path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(prepareHomeFolder(root.path("a/b"), {}).status, HomeStatus::Ready);  // exists

  std::ofstream(root.path("plain")) << "x";
  EXPECT_EQ(prepareHomeFolder(root.path("plain"), {}).status, HomeStatus::NotAFolder);
  const std::string tooLong = root.root() + "/" + std::string(kHomePathLimit, 'x');
  const HomeFolder refused = prepareHomeFolder(tooLong, {});
  EXPECT_EQ(refused.status, HomeStatus::TooLong);
  EXPECT_FALSE(homeProblem(refused).empty());
  EXPECT_EQ(prepareHomeFolder("", {}).status, HomeStatus::NotChosen);
}

}  // namespace
}  // namespace qg::platform
