#include "netsvc/smtp_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/outgoing_mail.h"
#include "memory_link.h"
#include "server_home.h"

namespace qg {
namespace {

constexpr const char* kGreeting = "220 localhost Simple Mail Transfer Service Ready\r\n";
constexpr const char* kOk = "250 OK\r\n";
constexpr const char* kRefused = "502 OK\r\n";
constexpr const char* kClosing = "221 localhost Service closing transmission channel\r\n";
constexpr const char* kStartInput = "354 Start mail input; end with <CRLF>.<CRLF>\r\n";
constexpr const char* kHello = "EHLO client.example\r\n";
constexpr const char* kMessage =
    "To: Friend <friend@example.net>\r\nSubject: Lunch\r\n\r\nAt noon?\r\n";

struct SmtpFixture : ::testing::Test {
  std::string session(const std::vector<std::string>& pieces) {
    MemoryLink link(pieces);
    SmtpServerContext context = home.smtpContext();
    SmtpSession smtp(context, link);
    smtp.run();
    lastEnd = smtp.end();
    return link.sent;
  }
  std::string session(const std::string& input, std::size_t piece = 256) {
    return session(MemoryLink::split(input, piece));
  }
  std::string outEmail() const { return readFile(home.home() + "/" + std::string(kOutEmailName)); }
  std::size_t outCount() const {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(home.boxDir + "/OUT"))
      count += entry.path().extension() == ".msg";
    return count;
  }
  std::vector<ProtocolRecord> protocol() const {
    std::vector<ProtocolRecord> records;
    for (const auto& entry : std::filesystem::directory_iterator(home.home()))
      if (entry.path().extension() == ".prt") readProtocolFile(entry.path().string(), records);
    return records;
  }

  ServerHome home;
  SmtpSession::End lastEnd = SmtpSession::End::Open;
};

TEST_F(SmtpFixture, StoresTheMessageHeadedByItsRecipientsAndLearnsTheFirst) {
  const std::string input = std::string(kHello) +
                            "mail from:<User@EXAMPLE.com>\r\n"
                            "RCPT TO:<friend@example.net>\r\n"
                            "RCPT TO: <Other@Example.org> NOTIFY=NEVER\r\n"
                            "DATA\r\n" +
                            kMessage + "..stuffed\r\n.\r\nQUIT\r\n";
  const std::string want =
      std::string(kGreeting) + "250 localhost\r\n" + kOk + kOk + kOk + kStartInput + kOk + kClosing;
  EXPECT_EQ(session(input), want);
  EXPECT_EQ(lastEnd, SmtpSession::End::Quit);
  EXPECT_EQ(readFile(home.outFile(0)), std::string("RCPT TO: friend@example.net\r\n"
                                                   "RCTP TO: Other@Example.org\r\n") +
                                           kMessage + "..stuffed");
  EXPECT_EQ(outEmail(), std::string("friend@example.net") + '\0');
  const std::vector<ProtocolRecord> records = protocol();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].type, kProtocolLocalSmtp);
  EXPECT_EQ(records[0].first, "Friend <friend@example.net>");
  EXPECT_EQ(records[0].second, "Lunch");
}

TEST_F(SmtpFixture, TheDataEndsAtItsTerminatorHoweverTheSegmentsFall) {
  const std::string head =
      std::string(kHello) + "MAIL FROM:<user@example.com>\r\nRCPT TO:<friend@example.net>\r\n";
  const std::string stored = "RCPT TO: friend@example.net\r\nline\r\nlast";
  struct Case {
    const char* name;
    std::vector<std::string> pieces;
    std::string want;
  };
  const Case cases[] = {
      // Three bytes of the terminator in one receive, two in the next.
      {"split 3 + 2", {head, "DATA\r\n", "line\r\nlast\r\n.", "\r\n", "QUIT\r\n"}, stored},
      {"joined with the next command", {head + "DATA\r\nline\r\nlast\r\n.\r\nQUIT\r\n"}, stored},
      {"bare line feeds",
       {head + "DATA\r\nline\nlast\n.\nQUIT\r\n"},
       "RCPT TO: friend@example.net\r\nline\nlast"},
      {"empty message", {head + "DATA\r\n.\r\nQUIT\r\n"}, "RCPT TO: friend@example.net\r\n"},
      {"one byte at a time", MemoryLink::split(head + "DATA\r\nline\r\nlast\r\n.\r\nQUIT\r\n", 1),
       stored},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(home.outFile(0));
    const std::string got = session(c.pieces);
    EXPECT_TRUE(got.ends_with(std::string(kStartInput) + kOk + kClosing)) << got;
    EXPECT_EQ(readFile(home.outFile(0)), c.want);
  }
}

TEST_F(SmtpFixture, SenderAndRecipientLinesAreRecognisedByTheirRules) {
  struct Case {
    const char* line;
    bool accepted;
  };
  const Case cases[] = {
      {"MAIL FROM:<user@example.com>", true},
      {"  mail from: <USER@Example.COM> SIZE=120  ", true},
      {"MAIL FROM:<abc>", false},  // three characters between the brackets
      {"MAIL FROM:<>", false},
      {"MAIL FROM:user@example.com", false},       // no brackets
      {"MAIL FROM:<someone@example.com>", false},  // no box has this address
      {"MAIL FROM:<user@example>", false},         // not a valid address
      {"MAIL FROM", false},
      {"MAILFROM:<user@example.com>", false},
      {"HELP", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string got = session(std::string(kHello) + c.line + "\r\nNOOP\r\n");
    const std::string start = std::string(kGreeting) + "250 localhost\r\n";
    // Accepted: the NOOP is answered too, then the closed connection is refused.
    EXPECT_EQ(got,
              start + (c.accepted ? std::string(kOk) + kOk + kRefused : std::string(kRefused)));
  }
}

TEST_F(SmtpFixture, EnvelopeEndsWithoutAMessageButKeepsTheLearnedRecipient) {
  const std::string head =
      std::string(kHello) + "MAIL FROM:<user@example.com>\r\nRCPT TO:<friend@example.net>\r\n";
  // RSET and an unknown line get no answer in the envelope; NOOP does.
  EXPECT_EQ(session(head + "RSET\r\nXYZZY\r\nNOOP\r\nQUIT\r\n"),
            std::string(kGreeting) + "250 localhost\r\n" + kOk + kOk + kOk + kClosing);
  EXPECT_EQ(outCount(), 0u);
  // The connection breaks off during the data: the message goes, with a refusal.
  EXPECT_TRUE(session(head + "DATA\r\npartial\r\n").ends_with(std::string(kStartInput) + kRefused));
  EXPECT_EQ(outCount(), 0u);
  EXPECT_EQ(outEmail(), std::string("friend@example.net") + '\0' + "friend@example.net" + '\0');
  EXPECT_TRUE(protocol().empty());
}

TEST_F(SmtpFixture, CommandStateRefusals) {
  struct Case {
    const char* name;
    std::string input;
    std::string replies;  // after the greeting and the hello
  };
  const Case cases[] = {
      {"RSET answers", "RSET\r\nQUIT\r\n", std::string(kOk) + kClosing},
      {"recipient before any sender", "RCPT TO:<friend@example.net>\r\n", kRefused},
      {"DATA outside an envelope", "DATA\r\n", kRefused},
      {"client closes", "NOOP\r\n", std::string(kOk) + kRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(session(kHello + c.input), std::string(kGreeting) + "250 localhost\r\n" + c.replies);
  }
  // No first line at all.
  EXPECT_EQ(session(std::vector<std::string>{}), std::string(kGreeting) + kRefused);
}

TEST_F(SmtpFixture, AFullOutFolderRefusesAfterTheFirstRecipient) {
  for (int n = 0; n <= kMaxOutNumber; ++n) writeFile(home.outFile(n), "");
  EXPECT_EQ(session(std::string(kHello) +
                    "MAIL FROM:<user@example.com>\r\nRCPT TO:<friend@example.net>\r\n"),
            std::string(kGreeting) + "250 localhost\r\n" + kOk + kOk + kRefused);
  EXPECT_EQ(lastEnd, SmtpSession::End::Refused);
  std::filesystem::remove(home.outFile(5000));
  session(std::string(kHello) +
          "MAIL FROM:<user@example.com>\r\nRCPT TO:<friend@example.net>\r\nDATA\r\nx\r\n.\r\n");
  EXPECT_EQ(readFile(home.outFile(5000)), "RCPT TO: friend@example.net\r\nx");
}

TEST_F(SmtpFixture, StopFlagRefusesBetweenCommands) {
  MemoryLink link({kHello, "MAIL FROM:<user@example.com>\r\n", "NOOP\r\n"});
  link.stopAfterPieces = 2;
  SmtpServerContext context = home.smtpContext();
  SmtpSession smtp(context, link);
  smtp.run();
  EXPECT_EQ(link.sent, std::string(kGreeting) + "250 localhost\r\n" + kOk + kRefused);
}

}  // namespace
}  // namespace qg
