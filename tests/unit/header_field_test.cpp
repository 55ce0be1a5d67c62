#include "text/header_field.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_folder.h"

namespace qg {
namespace {

struct Case {
  const char* what;
  std::string message;
  int found;
  std::string value;
};

int readFrom(const std::string& message, std::string_view name, std::string& value) {
  TestFolder folder;
  platform::File file;
  if (platform::openLocked(folder.path("m.msg"), true, file) != platform::OpenStatus::Opened)
    return -1;
  if (!file.writeAll(message.data(), message.size())) return -1;
  // Leave the position at the end: the reader must go back to the start itself.
  return readHeaderField(file, name, value);
}

TEST(ReadHeaderField, FindsUnfoldsAndDecodesTheNamedField) {
  const std::string longLine = "X-Long: " + std::string(600, 'a');
  const std::vector<Case> cases = {
      {"case differs, longer name skipped", "Subjects: wrong\nSUBJECT: right\n\nbody\n", 1,
       "right"},
      {"folded value", "From: a\nSubject: Hello\n world\nTo: b\n\n", 1, "Hello world"},
      {"folded with CR LF and tabs", "Subject: Hello\r\n\t\tworld \r\nTo: b\r\n\r\n", 1,
       "Hello world"},
      {"encoded word", "Subject: Re: =?koi8-r?B?8NLJ18XU?= !\n\n", 1,
       "Re: \xCF\xF0\xE8\xE2\xE5\xF2 !"},
      {"no field", "From: a\nTo: b\n\n", 0, ""},
      {"only in the body", "From: a\n\nSubject: in body\n", 0, ""},
      {"only in the body after CR LF", "From: a\r\n\r\nSubject: in body\r\n", 0, ""},
      {"continuation before the field is skipped", "X: y\n Subject: folded\nSubject: real\n", 1,
       "real"},
      {"blank before the colon", "Subject : x\n\n", 0, ""},
      {"no colon", "Subject\n\n", 0, ""},
      {"empty value", "Subject:\nTo: b\n", 1, ""},
      {"end of file without LF", "From: a\nSubject: end", 1, "end"},
      {"empty line ends the value", "Subject: a\n\n  indented body\n", 1, "a"},
      {"rest of a long line is no field", longLine + "Subject: forged\nSubject: real\n\n", 1,
       "real"},
      {"empty file", "", 0, ""},
  };
  for (const Case& c : cases) {
    std::string value = "stale";
    EXPECT_EQ(readFrom(c.message, "Subject", value), c.found) << c.what;
    EXPECT_EQ(value, c.value) << c.what;
  }
}

TEST(ReadHeaderField, CutsLongValuesAtTheBufferLimit) {
  std::string value;
  ASSERT_EQ(readFrom("Subject: " + std::string(1000, 'b') + "\n\n", "Subject", value), 1);
  // The line holds kHeaderLineLimit bytes: "Subject:", a blank and the letters.
  EXPECT_EQ(value, std::string(kHeaderLineLimit - 9, 'b'));

  std::string folded = "Subject: a\n";
  for (int i = 0; i < 20; ++i) folded += " " + std::string(60, static_cast<char>('c' + i)) + "\n";
  ASSERT_EQ(readFrom(folded + "To: x\n\n", "Subject", value), 1);
  EXPECT_LE(value.size(), kHeaderValueLimit);
  EXPECT_GT(value.size(), kHeaderValueLimit - 70);
  EXPECT_EQ(value.substr(0, 4), "a cc");
}

}  // namespace
}  // namespace qg
