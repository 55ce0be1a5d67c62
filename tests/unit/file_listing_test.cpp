#include "platform/file_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/folder_listing.h"
#include "test_folder.h"

namespace qg::platform {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// A file, a folder, links to each and a dangling link: the file listing keeps
// what is not itself a folder, the folder listing keeps folders and links that
// lead to one.
TEST(FolderListings, SplitFilesFromFoldersAndFollowLinksOnlyForFolders) {
  TestFolder folder;
  std::ofstream(folder.path("a.log")) << "x";
  fs::create_directory(folder.path("BOX_0001"));
  fs::create_directory_symlink(folder.path("BOX_0001"), folder.path("to_box"));
  fs::create_symlink(folder.path("a.log"), folder.path("to_file"));
  fs::create_symlink(folder.path("missing"), folder.path("dead"));

  std::vector<std::string> names{"stale"};
  ASSERT_TRUE(listFileNames(folder.root(), names));
  EXPECT_EQ(sorted(names), (std::vector<std::string>{"a.log", "dead", "to_box", "to_file"}));
  ASSERT_TRUE(listFolderNames(folder.root(), names));
  EXPECT_EQ(sorted(names), (std::vector<std::string>{"BOX_0001", "to_box"}));
}

TEST(FolderListings, StopAtTheLimitAndEmptyTheNamesOfAnUnreadableFolder) {
  TestFolder folder;
  for (const char* name : {"a", "b", "c"}) {
    std::ofstream(folder.path(name)) << "x";
    fs::create_directory(folder.path(std::string("d") + name));
  }
  std::vector<std::string> names;
  ASSERT_TRUE(listFileNames(folder.root(), names, 2));
  EXPECT_EQ(names.size(), 2u);
  ASSERT_TRUE(listFolderNames(folder.root(), names, 2));
  EXPECT_EQ(names.size(), 2u);
  for (const std::string& name : names) EXPECT_EQ(name[0], 'd');

  EXPECT_FALSE(listFileNames(folder.path("missing"), names));
  EXPECT_TRUE(names.empty());
  names = {"stale"};
  EXPECT_FALSE(listFolderNames(folder.path("a"), names));
  EXPECT_TRUE(names.empty());
}

}  // namespace
}  // namespace qg::platform
