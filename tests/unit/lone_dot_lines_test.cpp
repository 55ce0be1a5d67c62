#include "netsvc/lone_dot_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

std::vector<std::int64_t> findIn(const std::string& text, std::size_t piece) {
  LoneDotFinder finder;
  std::vector<std::int64_t> found;
  for (std::size_t at = 0; at < text.size(); at += piece)
    finder.feed(std::string_view(text).substr(at, piece), found);
  finder.finish(found);
  return found;
}

TEST(LoneDotFinder, FindsDotsThatAreWholeLinesWhereverThePiecesBreak) {
  struct Case {
    const char* text;
    std::vector<std::int64_t> want;
  };
  const Case cases[] = {
      {"a\r\n.\r\nb", {3}},
      {".\r\nb", {0}},            // the start of the stream starts a line
      {"a\r\n.", {3}},            // the terminating line would follow at once
      {"a\r\n..\r\n.x\r\n", {}},  // stuffed and longer lines stay
      {"a\n.\nb\r.\r\n", {}},     // bare LF or CR is no line end here
      {"\r\n.\r\n.\r\n", {2, 5}},
      {"a\r\r\n.\r\n", {4}},
      {".\r", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(findIn(c.text, 100), c.want);
    EXPECT_EQ(findIn(c.text, 1), c.want);
  }
}

// A file far larger than one read, of nothing but dot lines: every one is
// blanked, also where a read ends between a dot and its line break.
TEST(BlankLoneDots, BlanksEveryDotLineOfALargeFileInPlace) {
  TestFolder folder;
  std::string text;
  for (int i = 0; i < 70000; ++i) text += ".\r\n";
  text += "end\r\n.";
  writeFile(folder.path("m.msg"), text);
  FileHandle file;
  ASSERT_TRUE(openExisting(folder.path("m.msg"), file));
  EXPECT_EQ(blankLoneDots(file), 70001);
  file.close();
  std::string blanked;
  for (int i = 0; i < 70000; ++i) blanked += " \r\n";
  EXPECT_EQ(readFile(folder.path("m.msg")), blanked + "end\r\n ");
}

}  // namespace
}  // namespace qg
