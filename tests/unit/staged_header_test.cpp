#include "retrieval/staged_header.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/staging_line.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

TEST(StagedHeader, ComparesUpToTheEmptyLine) {
  struct Case {
    const char* name;
    std::string first;  // text behind the record line
    std::string second;
    bool wantSame;
  };
  const Case cases[] = {
      {"SameHeaderOtherBody", "From: a\r\nSubject: x\r\n\r\nbody one",
       "From: a\r\nSubject: x\r\n\r\n2", true},
      {"HeaderOnlyAgainstWholeMessage", "From: a\r\n\r\n", "From: a\r\n\r\nthe body\r\n", true},
      {"BareLineFeeds", "From: a\n\nbody", "From: a\n\nother", true},
      {"OneByteDiffers", "From: a\r\nSubject: x\r\n\r\n", "From: a\r\nSubject: y\r\n\r\n", false},
      {"BothEndTogether", "From: a\r\n", "From: a\r\n", true},
      {"OneEndsEarly", "From: a\r\n", "From: a\r\nX: 1\r\n", false},
      {"EmptyAgainstEmpty", "", "", true},
      {"LongEqualHeaders", std::string(40000, 'h') + "\r\n\r\nx",
       std::string(40000, 'h') + "\r\n\r\ny", true},
      {"LongHeadersDifferLate", std::string(40000, 'h') + "a\r\n\r\n",
       std::string(40000, 'h') + "b\r\n\r\n", false},
  };
  TestFolder folder;
  const std::string line(kStagingLineBytes, ' ');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(folder.path("a.hd"), line + c.first);
    writeFile(folder.path("b.hd"), line + c.second);
    EXPECT_EQ(sameStagedHeader(folder.path("a.hd"), folder.path("b.hd")), c.wantSame);
    EXPECT_EQ(sameStagedHeader(folder.path("b.hd"), folder.path("a.hd")), c.wantSame);
  }
  EXPECT_FALSE(sameStagedHeader(folder.path("a.hd"), folder.path("missing.hd")));
}

// A delivered message keeps its slot with the marks the analysis added; the
// next fetch must still know it for the server's message of the same size.
TEST(StagedHeader, MarkedMessageStillMatchesItsServerCopy) {
  constexpr std::uint32_t kDelivered = 0x80000002;
  const std::string server =
      "Message-ID: <1@x>\r\nSubject: Lunch\r\n folded\r\nStatus: RO\r\nTo: b\r\n\r\n";
  struct Case {
    const char* name;
    std::uint32_t flags;  // of the slot's record line
    std::string slot;     // text behind it
    bool wantSame;
  };
  const Case cases[] = {
      {"MarkerBefore", kDelivered | staging::kSubjectMarked | staging::kVerdictLineAdded,
       "Message-ID: <1@x>\r\nSubject: __Spam Lunch\r\n folded\r\nX-QG: Spam\r\n"
       "Status: RO\r\nTo: b\r\n\r\nbody",
       true},
      {"MarkerInsteadOfTheText", kDelivered | staging::kSubjectMarked,
       "Message-ID: <1@x>\r\nsubject: __Spam\r\n folded\r\nStatus: RO\r\nTo: b\r\n\r\n", true},
      // As the marker writes them: behind the last folded line, or in place
      // of the whole folded text.
      {"MarkerAfterTheFoldedText", kDelivered | staging::kSubjectMarked,
       "Message-ID: <1@x>\r\nSubject: Lunch\r\n folded__Spam\r\nStatus: RO\r\nTo: b\r\n\r\n", true},
      {"MarkerInsteadOfTheFoldedText", kDelivered | staging::kSubjectMarked,
       "Message-ID: <1@x>\r\nSubject: __Spam\r\nStatus: RO\r\nTo: b\r\n\r\n", true},
      {"VerdictLineOnly", kDelivered | staging::kVerdictLineAdded,
       "Message-ID: <1@x>\r\nSubject: Lunch\r\n folded\r\nX-QG: Not spam\r\nStatus: RO\r\n"
       "To: b\r\n\r\n",
       true},
      {"OtherMessageMarked", kDelivered | staging::kSubjectMarked | staging::kVerdictLineAdded,
       "Message-ID: <2@x>\r\nSubject: __Spam Lunch\r\n folded\r\nStatus: RO\r\nTo: b\r\n\r\n",
       false},
      // Without the mark bits the changed lines count as they did.
      {"UnmarkedFlagWord", kDelivered,
       "Message-ID: <1@x>\r\nSubject: __Spam Lunch\r\n folded\r\nStatus: RO\r\nTo: b\r\n\r\n",
       false},
  };
  TestFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StagingLine line;
    line.flags = c.flags;
    const StagingLineBytes bytes = formatStagingLine(line);
    writeFile(folder.path("slot.hd~"), std::string(bytes.data(), bytes.size()) + c.slot);
    writeFile(folder.path("tmphead.tmp"), std::string(kStagingLineBytes, ' ') + server);
    EXPECT_EQ(sameStagedHeader(folder.path("slot.hd~"), folder.path("tmphead.tmp")), c.wantSame);
    EXPECT_EQ(sameStagedHeader(folder.path("tmphead.tmp"), folder.path("slot.hd~")), c.wantSame);
  }
  // A Subject the analysis added to a message that had none.
  StagingLine line;
  line.flags = kDelivered | staging::kSubjectMarked | staging::kVerdictLineAdded;
  const StagingLineBytes bytes = formatStagingLine(line);
  writeFile(folder.path("slot.hd~"), std::string(bytes.data(), bytes.size()) +
                                         "Subject: __Spam\r\nFrom: a\r\nX-QG: Spam\r\n\r\nbody");
  writeFile(folder.path("tmphead.tmp"), std::string(kStagingLineBytes, ' ') + "From: a\r\n\r\n");
  EXPECT_TRUE(sameStagedHeader(folder.path("slot.hd~"), folder.path("tmphead.tmp")));
}

}  // namespace
}  // namespace qg
