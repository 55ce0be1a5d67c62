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
    std::string want;
  };
  const Case cases[] = {
      {"/opt/qg/", {"/q", "/x", "/h"}, "/opt/qg"},
      {"", {"/q//home/", "/x", "/h"}, "/q/home"},
      {"", {"", "/x", "/h"}, "/x/quillgate"},
      {"", {"", "", "/h"}, "/h/.local/share/quillgate"},
      {"", {"", "", ""}, ""},
      {"rel/../qg", {"", "", "/h"}, cwd + "/qg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    EXPECT_EQ(chooseHomeFolder(c.option, c.environment), c.want);
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
