#include "classify/message_marks.h"

#include <gtest/gtest.h>

#include <string>

#include "classify/verdict.h"
#include "engine/filter_profile.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

MessageMarks marks(bool subject, bool header, MarkerPosition position = MarkerPosition::Before) {
  return MessageMarks{subject, header, "__Spam", "Spam", position};
}

TEST(MessageMarks, LineRulesByteForByte) {
  using enum MarkerPosition;
  const struct {
    std::string name;
    MessageMarks marks;
    std::string in;
    std::string want;
  } cases[] = {
      {"marker before the text", marks(true, false, Before),
       "From: a\r\nSubject: Hello\r\n\r\nbody\r\n",
       "From: a\r\nSubject: __Spam Hello\r\n\r\nbody\r\n"},
      {"marker after the text", marks(true, false, After), "Subject: Hello\r\n\r\n",
       "Subject:  Hello__Spam\r\n\r\n"},
      {"marker instead of the text", marks(true, false, Instead), "Subject: Hello\r\n\r\n",
       "Subject: __Spam\r\n\r\n"},
      {"LF line ends stay LF", marks(true, true, After), "Subject: Hi\nTo: b\n\nbody\n",
       "Subject:  Hi__Spam\nTo: b\nX-QG: Spam\n\nbody\n"},
      {"verdict line before the empty line", marks(false, true),
       "From: a\r\nSubject: Hi\r\n\r\nSubject: body\r\n",
       "From: a\r\nSubject: Hi\r\nX-QG: Spam\r\n\r\nSubject: body\r\n"},
      {"verdict line before Status", marks(false, true),
       "Subject: Hi\r\nStatus: RO\r\nX: y\r\n\r\n",
       "Subject: Hi\r\nX-QG: Spam\r\nStatus: RO\r\nX: y\r\n\r\n"},
      {"no Subject: one is added before the verdict line", marks(true, true), "From: a\r\n\r\nbody",
       "From: a\r\nSubject: __Spam\r\nX-QG: Spam\r\n\r\nbody"},
      {"the added Subject line ends in CR LF, the verdict line as its neighbour", marks(true, true),
       "From: a\n\nb", "From: a\nSubject: __Spam\r\nX-QG: Spam\n\nb"},
      {"only the first Subject line, in any letter case", marks(true, false),
       "SUBJECT:x\r\nSubject: two\r\n\r\n", "Subject: __Spamx\r\nSubject: two\r\n\r\n"},
      {"Status ends both marks", marks(true, true), "Status: RO\r\nSubject: late\r\n\r\n",
       "Subject: __Spam\r\nX-QG: Spam\r\nStatus: RO\r\nSubject: late\r\n\r\n"},
      {"Status ends the Subject mark without the verdict line", marks(true, false),
       "Status: RO\r\nSubject: late\r\n\r\n", "Status: RO\r\nSubject: late\r\n\r\n"},
      {"a Subject in the body is left alone", marks(true, false), "From: a\r\n\r\nSubject: x\r\n",
       "From: a\r\n\r\nSubject: x\r\n"},
      {"folded Subject: the marker follows the whole text", marks(true, false, After),
       "Subject: Hello\r\n world\r\nTo: b\r\n\r\n",
       "Subject:  Hello\r\n world__Spam\r\nTo: b\r\n\r\n"},
      {"folded Subject: instead replaces every line of it", marks(true, false, Instead),
       "Subject: Hello\r\n\tworld\r\nTo: b\r\n\r\n", "Subject: __Spam\r\nTo: b\r\n\r\n"},
      {"Subject as the last bytes, without a line end", marks(true, false, After), "Subject: x",
       "Subject:  x__Spam"},
      {"no marks: a copy", marks(false, false), "Subject: x\r\nStatus: O\r\n\r\n",
       "Subject: x\r\nStatus: O\r\n\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(markMessage(c.in, c.marks), c.want) << c.name;
  }
}

TEST(MessageMarks, LinesLongerThanAPieceAreMarkedWhole) {
  const std::string text(3 * kMarkLineLimit, 'x');
  // A piece boundary between CR and LF must not leave the marker between them.
  const std::string subject = "Subject:" + std::string(kMarkLineLimit - 9, 'y') + "\r\n";
  EXPECT_EQ(markMessage("Subject: " + text + "\r\n\r\n", marks(true, false, MarkerPosition::After)),
            "Subject:  " + text + "__Spam\r\n\r\n");
  EXPECT_EQ(markMessage("Subject: " + text + "\r\nTo: b\r\n\r\n",
                        marks(true, false, MarkerPosition::Instead)),
            "Subject: __Spam\r\nTo: b\r\n\r\n");
  EXPECT_EQ(markMessage(subject + "\r\n", marks(true, false, MarkerPosition::After)),
            "Subject: " + subject.substr(8, subject.size() - 10) + "__Spam\r\n\r\n");
  // The rest of a long line is no line start: a "Subject:" there is text.
  const std::string forged = "X-Long: " + std::string(kMarkLineLimit - 8, 'z') + "Subject: no\r\n";
  EXPECT_EQ(markMessage(forged + "\r\n", marks(true, false)), forged + "\r\n");
}

TEST(MessageMarks, TextsComeFromTheVerdictsClassAndTheProfile) {
  RecordFile profile;
  profile.setText("[SPAM]", profile_field::kSpamMarker);
  profile.setByte(2, profile_field::kSpamMarker + 1);
  profile.setText("junk", profile_field::kSpamMarker + 2);
  profile.setByte(7, profile_field::kUndeterminedMarker + 1);

  const MessageMarks spam = marksFor(verdict::kSpam | verdict::kMarkSubject, profile);
  EXPECT_TRUE(spam.markSubject);
  EXPECT_FALSE(spam.addHeader);
  EXPECT_EQ(spam.marker, "[SPAM]");
  EXPECT_EQ(spam.headerValue, "junk");
  EXPECT_EQ(spam.position, MarkerPosition::Instead);

  const MessageMarks unsure = marksFor(verdict::kUndetermined | verdict::kAddHeader, profile);
  EXPECT_EQ(unsure.marker, "__Is not determined");
  EXPECT_EQ(unsure.headerValue, "Is not determined");
  EXPECT_EQ(unsure.position, MarkerPosition::Before);  // 7 is no position

  EXPECT_EQ(marksFor(verdict::kNotSpam | verdict::kUndetermined, profile).headerValue,
            "Is not determined");  // the last class wins
  EXPECT_EQ(marksFor(0, profile).marker, "__Not spam");
}

TEST(MessageMarks, FileCopyMatchesTheRulesAcrossReadBlocks) {
  TestFolder folder;
  // A header line longer than one read block puts the Subject line and the
  // end of the header into the next block.
  const std::string message =
      "0000000000000000 00000000 0001 00000000 80000000\r\nX-Pad: " + std::string(70'000, 'p') +
      "\r\nSubject: Hi\r\n\r\n" + std::string(100'000, 'b');
  const MessageMarks both = marks(true, true, MarkerPosition::After);
  writeFile(folder.path("in"), message);
  const std::int64_t size = markMessageFile(folder.path("in"), folder.path("out"), both);
  const std::string want = markMessage(message, both);
  EXPECT_EQ(size, static_cast<std::int64_t>(want.size()));
  EXPECT_EQ(readFile(folder.path("out")), want);
  EXPECT_NE(want.find("Subject:  Hi__Spam\r\nX-QG: Spam\r\n\r\n"), std::string::npos);

  EXPECT_EQ(markMessageFile(folder.path("missing"), folder.path("out2"), both), -1);
}

}  // namespace
}  // namespace qg
