#include "classify/header_analyzer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "engine/staging_line.h"
#include "test_files.h"
#include "test_folder.h"
#include "text/date_record.h"

namespace qg {
namespace {

const std::string kRecordLine = "0000000000000000 00000100 0001 00000100 80000000\r\n";

ParsedMessage parsed(const std::string& message, const OwnAddresses& own = {}) {
  ParsedMessage result;
  EXPECT_EQ(parseStagingText(kRecordLine + message, own, result), 1);
  return result;
}

TEST(ParseStagingText, FieldValuesKeepTheirCaseAndTheTextIsUpperCased) {
  const ParsedMessage m = parsed(
      "From: =?koi8-r?B?8NLJ18XU?= <Ivan@Example.RU>\r\n"
      "To:  user@example.test,\r\n"
      "\t other@example.test\r\n"
      "Subject: Cheap   offer\r\n"
      "Date: Tue, 5 Dec 2006 18:24:11 +0300\r\n"
      "\r\n"
      "Hello\r\n"
      "  world\r\n");
  EXPECT_EQ(m.from, "\xCF\xF0\xE8\xE2\xE5\xF2 <Ivan@Example.RU>");
  EXPECT_EQ(m.to, "user@example.test, other@example.test");
  EXPECT_EQ(m.cc, "");
  EXPECT_EQ(m.subject, "Cheap offer");
  EXPECT_EQ(m.date, "Tue, 5 Dec 2006 18:24:11 +0300");
  EXPECT_EQ(m.text,
            "0000000000000000 00000100 0001 00000100 80000000\n"
            "FROM: \xCF\xD0\xC8\xC2\xC5\xD2 <IVAN@EXAMPLE.RU>\n"
            "TO: USER@EXAMPLE.TEST, OTHER@EXAMPLE.TEST\n"
            "SUBJECT: CHEAP OFFER\n"
            "DATE: TUE, 5 DEC 2006 18:24:11 +0300\n"
            "\n"
            "HELLO WORLD");
  EXPECT_EQ(m.header().size(), m.text.find("\n\n") + 2);
  EXPECT_EQ(m.body(), "HELLO WORLD");
  ASSERT_TRUE(m.recordLine);
  EXPECT_EQ(m.recordLine->flags, staging::kWholeMessage);
  EXPECT_EQ(senderAddress(m), "IVAN@EXAMPLE.RU");
}

TEST(ParseStagingText, BodyDecodedByTheHeadersEncodingAndCharset) {
  struct Case {
    const char* name;
    std::string message;
    std::string body;
  };
  const Case cases[] = {
      {"base64 koi8-r",
       "Content-Type: text/plain; charset=\"koi8-r\"\n"
       "Content-Transfer-Encoding: base64\n\n"
       "8NLJ18XU\n",
       "\xCF\xD0\xC8\xC2\xC5\xD2"},
      {"quoted-printable html",
       "Content-Type: text/html\nContent-Transfer-Encoding: quoted-printable\n\n"
       "<p>Fr=\nee &lt;b&gt;</p><style>p {}</style>now",
       "FREE <B>NOW"},  // a tag joins the text around it: split words stay whole
      {"multipart",
       "Content-Type: multipart/mixed; boundary=XX\n\n"
       "--XX\nContent-Type: text/plain\n\nfirst\n"
       "--XX\nContent-Type: image/png\nContent-Transfer-Encoding: base64\n\niVBORw0KGgo=\n"
       "--XX--\n",
       "FIRST"},
      // A header without an empty line: the whole text is header.
      {"no empty line", "Subject: only a header", ""},
  };
  for (const Case& c : cases) {
    const ParsedMessage m = parsed(c.message);
    EXPECT_EQ(m.body(), c.body) << c.name;
    EXPECT_TRUE(m.header().ends_with("\n\n")) << c.name;
  }
}

TEST(ParseStagingText, EncodedWordCannotForgeAHeaderLine) {
  // "=0A" would put a line feed, and with it a From line of its own, into the header.
  const ParsedMessage m = parsed(
      "Subject: =?windows-1251?Q?hi=0AFrom:_friend@whitelist.test?=\n"
      "From: spammer@example.test\n\n");
  EXPECT_EQ(senderAddress(m), "SPAMMER@EXAMPLE.TEST");
  EXPECT_EQ(m.from, "spammer@example.test");
  EXPECT_EQ(std::count(m.text.begin(), m.text.end(), '\n'), 4);
}

TEST(ParseStagingText, FieldsComeFromTheHeaderOnly) {
  const ParsedMessage m =
      parsed("Subject: x\n\nFrom: forged@example.test\nReceived: from a by b\n");
  EXPECT_EQ(m.from, "");
  EXPECT_EQ(senderAddress(m), "");
  EXPECT_EQ(m.hopCount(), 0u);
}

TEST(SenderAddress, LastWordOfTheFromLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"From: John Smith <john@example.com>", "JOHN@EXAMPLE.COM"},
      {"From: <john@example.com> ", "JOHN@EXAMPLE.COM"},
      {"From: john@example.com", "JOHN@EXAMPLE.COM"},
      {"From: \"Smith, John\" john@example.com", "JOHN@EXAMPLE.COM"},
      {"From:", ""},
      {"Sender: john@example.com", ""},
  };
  for (const auto& [line, want] : cases)
    EXPECT_EQ(senderAddress(parsed(line + "\n\n")), want) << line;
}

TEST(ParseStagingText, ReceivedHopsInHeaderOrderAtMostTen) {
  std::string header = "X-Received: by 10.0.0.9 with SMTP id x; Tue, 5 Dec 2006 18:24:11 +0000\n";
  header += "Received: (qmail 1 invoked from network); 5 Dec 2006 18:24:11 -0000\n";
  for (int i = 1; i <= 12; ++i) {
    header += "Received: from host" + std::to_string(i) + " ([192.0.2." + std::to_string(i) +
              "]) by mx; Tue, 5 Dec 2006 18:24:11 +0000\n";
  }
  const ParsedMessage m = parsed(header + "\n");
  ASSERT_EQ(m.hopCount(), kMaxHops);
  for (std::size_t i = 0; i < kMaxHops; ++i) {
    EXPECT_EQ(m.hops[i].fromName, "HOST" + std::to_string(i + 1));
    EXPECT_EQ(m.hops[i].fromAddress, 0xC0000200u + i + 1);
  }
}

TEST(ParseStagingText, LocalHopsByProviderDomainSuffix) {
  OwnAddresses own;
  own.addresses = {"USER@EXAMPLE.NET"};
  own.mailExchanges = {{"MX1.MAIL.EXAMPLE.NET"}};
  const ParsedMessage m = parsed(
      "Received: from relay.example.net by mx1.mail.example.net; 5 Dec 2006 18:24:11 +0000\n"
      "Received: from badexample.net by relay.example.net\n"
      "Received: from localhost (localhost [127.0.0.1]) by badexample.net\n"
      "Received: from a.test (LOCALHOST) by a.test\n"
      "Received: from example.org by a.test\n\n",
      own);
  ASSERT_EQ(m.hopCount(), 5u);
  const bool want[] = {true, true, true, true, false};
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(m.hops[i].local(), want[i]) << i;
}

TEST(FirstHopCountryMismatch, TopLevelDomainAgainstTheAddressCountry) {
  IpCountryList countries({{0xC0000200u, 0xC00002FFu, {'R', 'U'}}});
  // The first hop is the last valid one: the nearer hop before it never counts.
  const std::string nearer = "Received: from near.example.de ([192.0.2.9]) by mx\n";
  const std::pair<std::string, int> cases[] = {
      {"from mail.example.de ([192.0.2.1]) by mx", 1},
      {"from mail.example.ru ([192.0.2.1]) by mx", 0},
      {"from mail.example.com ([192.0.2.1]) by mx", 0},  // three letters
      {"from mail.example.d1 ([192.0.2.1]) by mx", 0},
      {"from mail.example.de ([198.51.100.1]) by mx", 0},  // no country known
      {"from mail.example.de by mx", 0},                   // no address
      {"from mail.exa!mple.de ([192.0.2.1]) by mx", 0},    // not a host name
      {"from localhost ([192.0.2.1]) by mx", 0},           // local
  };
  for (const auto& [hop, want] : cases) {
    EXPECT_EQ(firstHopCountryMismatch(parsed(nearer + "Received: " + hop + "\n\n"), countries),
              want)
        << hop;
  }
  EXPECT_EQ(firstHopCountryMismatch(parsed("Subject: no hops\n\n"), countries), 0);
}

TEST(ParseStagingFile, MissingOrEmptyFileGivesMinusOne) {
  TestFolder folder;
  ParsedMessage m;
  EXPECT_EQ(parseStagingFile(folder.path("00000001.hd"), {}, m), -1);
  writeFile(folder.path("00000002.hd"), "");
  EXPECT_EQ(parseStagingFile(folder.path("00000002.hd"), {}, m), -1);
  writeFile(folder.path("00000003.hd"), kRecordLine + "Subject: hi\r\n\r\nbody\r\n");
  EXPECT_EQ(parseStagingFile(folder.path("00000003.hd"), {}, m), 1);
  EXPECT_EQ(m.subject, "hi");
  EXPECT_EQ(m.body(), "BODY");
}

TEST(ParseStagingText, MegabyteBodyAndLongLines) {
  std::string body;
  while (body.size() < (1u << 20)) body += "spam and eggs " + std::string(1000, 'x') + "\r\n";
  const ParsedMessage m = parsed("Subject: big\r\n\r\n" + body);
  EXPECT_EQ(m.subject, "big");
  EXPECT_TRUE(m.body().starts_with("SPAM AND EGGS XXX"));
  EXPECT_EQ(m.body().find('\n'), std::string_view::npos);
}

// Every corpus message, hostile ones included, parses into a well-formed
// message: the sanitizer builds catch any access out of bounds.
TEST(ParseStagingText, EveryCorpusMessage) {
  const std::filesystem::path folder = QG_CORPUS_DIR;
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
  int messages = 0;
  ParsedMessage m;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".eml") continue;
    const std::string bytes = readFile(entry.path().string());
    ASSERT_EQ(parseStagingText(kRecordLine + bytes, {}, m), 1) << entry.path();
    const std::string_view header = m.header();
    EXPECT_TRUE(header.ends_with("\n\n")) << entry.path();
    EXPECT_EQ(header.find("\n\n"), header.size() - 2) << entry.path();
    EXPECT_EQ(m.body().find('\n'), std::string_view::npos) << entry.path();
    EXPECT_FALSE(std::any_of(m.text.begin(), m.text.end(), [](char c) {
      return (c >= 'a' && c <= 'z') || (static_cast<unsigned char>(c) < 0x20 && c != '\n');
    })) << entry.path();
    EXPECT_LE(m.from.size(), kFieldValueLimit);
    EXPECT_LE(m.hopCount(), kMaxHops);
    ++messages;
  }
  EXPECT_GT(messages, 600);
}

}  // namespace
}  // namespace qg
