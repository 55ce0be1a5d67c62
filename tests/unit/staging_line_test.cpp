#include "engine/staging_line.h"

#include <gtest/gtest.h>

#include <fstream>
#include <span>
#include <string>

#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

constexpr std::string_view kValidLine = "00E1F3A400000000 000004D2 0007 00000200 80000002\r\n";

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(StagingLine, FormatsFiftyBytesAndParsesBack) {
  const StagingLine line{0x00E1F3A400000000, 1234, 7, 512, 0x80000002};
  const StagingLineBytes got = formatStagingLine(line);
  EXPECT_EQ(std::string_view(got.data(), got.size()), kValidLine);

  const StagingLine extremes{-1, 0xFFFFFFFF, 0xFFFF, 0, 0x10000030};
  const StagingLineBytes text = formatStagingLine(extremes);
  EXPECT_EQ(std::string_view(text.data(), 17), "FFFFFFFFFFFFFFFF ");
  const std::optional<StagingLine> back =
      parseStagingLine(bytesOf(std::string_view(text.data(), text.size())));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->stamp, -1);
  EXPECT_EQ(back->size, 0xFFFFFFFFu);
  EXPECT_EQ(back->serverNumber, 0xFFFF);
  EXPECT_EQ(back->received, 0u);
  EXPECT_EQ(back->flags, 0x10000030u);
}

TEST(StagingLine, StrictCheck) {
  const std::string valid(kValidLine);
  const auto replaced = [&](std::size_t at, char c) {
    std::string line = valid;
    line[at] = c;
    return line;
  };
  const struct {
    std::string name;
    std::string line;
    bool want_valid;
  } cases[] = {
      {"48 characters then CR", valid, true},
      {"47 characters then CR", valid.substr(0, 47) + "\r\n" + "X", false},
      {"49 characters then CR", valid.substr(0, 48) + "0\r\n", false},
      {"lower-case digits", "00e1f3a400000000 000004d2 0007 00000200 80000002\r\n", true},
      {"text behind the line", valid + "Received: from x\r\n", true},
      {"stamp digit", replaced(3, 'G'), false},
      {"size digit", replaced(20, ' '), false},
      {"server number digit", replaced(29, 'x'), false},
      {"received digit", replaced(38, '-'), false},
      {"flag word digit", replaced(47, 'Z'), false},
      {"space at 16", replaced(16, '0'), false},
      {"space at 39", replaced(39, '\t'), false},
      {"CR in the line", replaced(20, '\r'), false},
      {"LF missing", replaced(49, 'X'), false},
      {"cut before LF", valid.substr(0, 49), false},
      {"empty", "", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isValidStagingLine(bytesOf(c.line)), c.want_valid) << c.name;
    EXPECT_EQ(parseStagingLine(bytesOf(c.line)).has_value(), c.want_valid) << c.name;
  }
}

class StagingFile : public ::testing::Test {
 protected:
  void writeStaged(std::string_view content) { std::ofstream(path_, std::ios::binary) << content; }
  bool open() { return openExisting(path_, file_); }

  TestFolder folder_;
  std::string path_ = folder_.path("00000003.hd");
  FileHandle file_;
};

TEST_F(StagingFile, RewritesOneFieldInPlace) {
  const std::string text = "Subject: hello\r\n\r\n";
  writeStaged(std::string(kValidLine) + text);
  ASSERT_TRUE(open());

  ASSERT_TRUE(rewriteFlagWord(file_, 0x0000001A));
  ASSERT_TRUE(rewriteServerNumber(file_, 0x00AB));
  const std::optional<StagingLine> got = readStagingLine(file_);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->flags, 0x1Au);
  EXPECT_EQ(got->serverNumber, 0xAB);
  EXPECT_EQ(got->size, 1234u);
  file_.close();
  EXPECT_EQ(readFile(path_), "00E1F3A400000000 000004D2 00AB 00000200 0000001A\r\n" + text);
}

TEST_F(StagingFile, DamagedLineIsNotRewritten) {
  const std::string damaged = "00E1F3A400000000 000004D2 0007 0000020 80000002\r\nBody";
  writeStaged(damaged);
  ASSERT_TRUE(open());
  EXPECT_FALSE(readStagingLine(file_).has_value());
  EXPECT_FALSE(rewriteFlagWord(file_, 0x2));
  EXPECT_FALSE(rewriteServerNumber(file_, 1));
  file_.close();
  EXPECT_EQ(readFile(path_), damaged);
}

TEST_F(StagingFile, ShortFileReadsAsInvalid) {
  writeStaged(kValidLine.substr(0, 49));
  ASSERT_TRUE(open());
  EXPECT_FALSE(readStagingLine(file_).has_value());
}

TEST_F(StagingFile, NewFileFromWrittenLine) {
  ASSERT_TRUE(openExclusive(path_, file_));
  const StagingLine line{42, 100, 3, 0, 0};
  ASSERT_TRUE(writeStagingLine(file_, line));
  ASSERT_TRUE(writeText(file_, "To: a@example.com\r\n"));
  const std::optional<StagingLine> got = readStagingLine(file_);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->stamp, 42);
  EXPECT_EQ(got->serverNumber, 3);
  EXPECT_EQ(file_.size(), static_cast<std::int64_t>(kStagingLineBytes + 19));
}

}  // namespace
}  // namespace qg
