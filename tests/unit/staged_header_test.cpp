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

}  // namespace
}  // namespace qg
