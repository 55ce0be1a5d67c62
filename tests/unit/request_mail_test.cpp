#include "classify/request_mail.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis_fixture.h"
#include "fixed_zone.h"
#include "platform/file_listing.h"
#include "test_files.h"

namespace qg {
namespace {

namespace fs = std::filesystem;

std::string hex16(std::int64_t stamp) {
  char text[24];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(stamp));
  return text;
}

class RequestMailTest : public ::testing::Test, protected AnalysisFixture {
 protected:
  void SetUp() override {
    context.profile.setText("Text:{Mail of [DateReceived] to [ToEmail]: [Subject]\r\n}",
                            profile_field::kRequestTemplate);
    context.profile.setByte(5, profile_field::kHoldDays);
  }

  void received(const std::string& from = "Ann Smith <ann@example.org>") {
    mail("From: " + from + "\r\nTo: me@example.net\r\nSubject: Hi there\r\nDate: 5 Dec 2006");
  }

  std::string out(int n) const { return readFile(outMessagePath(context.boxDirectory, n)); }
  std::vector<std::string> outFiles() const {
    std::vector<std::string> names;
    platform::listFileNames(context.boxDirectory + "/OUT", names);
    std::sort(names.begin(), names.end());
    return names;
  }

  ProtocolWriter protocol;
  FixedZone zone{"QGT-3"};
};

TEST_F(RequestMailTest, RequestMailBytesProtocolAndLog) {
  received();
  ASSERT_TRUE(sendRequest(context, kFixtureNow, protocol));
  const std::string want =
      "RCTP TO: ANN@EXAMPLE.ORG\r\n"
      "Date: Tue, 05 Dec 2006 18:24:00 +0300\r\n"
      "From: me@example.net\r\n"
      "X-Mailer: Quillgate - request\r\n"
      "Reply-To: me@example.net\r\n"
      "Message-ID: <026D65" +
      hex16(kFixtureNow) +
      "@smtp.example.net>\r\n"
      "To: =?koi8-r?B?QW5uIFNtaXRo?= <ANN@EXAMPLE.ORG>\r\n"
      "Subject: " +
      requestCode(kFixtureNow, "ANN@EXAMPLE.ORG") +
      "\r\n"
      "Content-Type: text/plain\r\n"
      "Content-Transfer-Encoding: 7bit\r\n"
      "Status:\r\n"
      "\r\n"
      "Mail of 5 Dec 2006 to me@example.net: Hi there\r\n";
  EXPECT_EQ(out(0), want);
  EXPECT_EQ(outFiles(), std::vector<std::string>{"00000000.msg"});

  std::vector<ProtocolRecord> records;
  std::vector<std::string> names;
  platform::listFileNames(folder.root(), names);
  for (const std::string& name : names) {
    if (name.ends_with(".prt")) {
      ASSERT_EQ(readProtocolFile(folder.path(name), records), 1);
    }
  }
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].type, kProtocolAutoAnswer);
  EXPECT_EQ(records[0].first, "Ann Smith <ann@example.org>");
  EXPECT_EQ(records[0].second, "Hi there");

  // The log record: the end of the hold (5 days on), the recipient, a zero.
  DateRecord holdEnd = DateRecord::fromStamp(kFixtureNow);
  holdEnd.addDays(5);
  std::string record(8, '\0');
  for (int k = 0; k < 8; ++k) record[k] = static_cast<char>(holdEnd.stamp >> (8 * k));
  record += "ANN@EXAMPLE.ORG";
  record.push_back('\0');
  EXPECT_EQ(readFile(context.boxDirectory + "/request.rst"), record);
}

TEST_F(RequestMailTest, CyrillicTemplateAndPlainSender) {
  context.profile.setText("Text:{\xC4\xE0}", profile_field::kRequestTemplate);
  received("ann@example.org");
  ASSERT_TRUE(sendRequest(context, kFixtureNow, protocol));
  const std::string mail = out(0);
  EXPECT_NE(mail.find("\r\nTo: ANN@EXAMPLE.ORG\r\nSubject: "), std::string::npos) << mail;
  EXPECT_TRUE(
      mail.ends_with("Content-Type: text/plain; charset=koi8-r\r\n"
                     "Content-Transfer-Encoding: quoted-printable\r\n"
                     "Status:\r\n\r\n=E4=C1"))
      << mail;
}

TEST_F(RequestMailTest, NoRequestIsWritten) {
  context.filters.setAddresses({{list_colour::kBlack, 0, "", "ann@example.org"}});
  received();
  EXPECT_FALSE(sendRequest(context, kFixtureNow, protocol));  // known in another letter case

  context.filters.setAddresses({});
  received("Ann <a@example.org>");  // a one-letter local part is not valid
  EXPECT_FALSE(sendRequest(context, kFixtureNow, protocol));

  context.profile.setText("Hello {no keyword}", profile_field::kRequestTemplate);
  received();
  EXPECT_FALSE(sendRequest(context, kFixtureNow, protocol));

  EXPECT_TRUE(outFiles().empty());
  EXPECT_FALSE(fs::exists(context.boxDirectory + "/request.rst"));
}

TEST_F(RequestMailTest, MailsTakeTheFirstFreeNumberAndReplaceNothing) {
  writeFile(outMessagePath(context.boxDirectory, 0), "user mail");
  writeFile(outMessagePath(context.boxDirectory, 2), "more user mail");
  writeFile(context.boxDirectory + "/OUT/tmpLetter.tmp", "left over");
  received();
  ASSERT_TRUE(sendRequest(context, kFixtureNow, protocol));
  ASSERT_TRUE(sendAnswer(context, kFixtureNow));
  EXPECT_EQ(out(0), "user mail");
  EXPECT_EQ(out(2), "more user mail");
  EXPECT_NE(out(1).find("X-Mailer: Quillgate - request\r\n"), std::string::npos);
  EXPECT_NE(out(3).find("X-Mailer: Quillgate - answer\r\n"), std::string::npos);
  EXPECT_EQ(outFiles(), (std::vector<std::string>{"00000000.msg", "00000001.msg", "00000002.msg",
                                                  "00000003.msg"}));
}

TEST_F(RequestMailTest, AnswerRepeatsTheSubject) {
  mail("From: Bob <bob@example.org>\r\nSubject: 00E7ABCDEF0123456789A");
  ASSERT_TRUE(sendAnswer(context, kFixtureNow));
  const std::string answer = out(0);
  EXPECT_NE(answer.find("X-Mailer: Quillgate - answer\r\n"), std::string::npos);
  EXPECT_TRUE(
      answer.ends_with("\r\nSubject: 00E7ABCDEF0123456789A\r\n"
                       "Content-Type: text/plain\r\n"
                       "Content-Transfer-Encoding: 7bit\r\n"
                       "Status:\r\n\r\n Automatic answer Quillgate\r\n"))
      << answer;
  EXPECT_FALSE(fs::exists(context.boxDirectory + "/request.rst"));
}

}  // namespace
}  // namespace qg
