#include "netsvc/dns_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dns_test_messages.h"

namespace qg {
namespace {

using dnstest::Bytes;
using dnstest::put16;
using dnstest::putName;

// Header of a response with one MX question for "example.com" (at offset 12,
// so 0xC0 0x0C points at it) and the given record counts.
Bytes questionPart(std::uint16_t an, std::uint16_t ns = 0, std::uint16_t ar = 0) {
  Bytes out;
  for (const std::uint16_t v :
       {std::uint16_t{7}, std::uint16_t{0x8400}, std::uint16_t{1}, an, ns, ar}) {
    put16(out, v);
  }
  putName(out, "example.com");
  put16(out, 15);
  put16(out, 1);
  return out;
}

void putFixed(Bytes& out, std::uint16_t type, std::uint16_t length) {
  put16(out, type);
  put16(out, 1);
  put16(out, 0);
  put16(out, 300);
  put16(out, length);
}

struct Case {
  const char* what;
  Bytes message;
  bool ok;
  std::vector<std::string> texts;  // expected answer texts
  std::string error;               // expected start of the error text
};

std::vector<Case> cases() {
  std::vector<Case> all;
  {  // Owner name and exchange name both point into the question.
    Bytes m = questionPart(1);
    m.insert(m.end(), {0xC0, 0x0C});
    putFixed(m, 15, 2 + 5 + 2);
    put16(m, 10);
    m.insert(m.end(), {4, 'm', 'a', 'i', 'l', 0xC0, 0x0C});
    all.push_back({"compression into the question and a name ending in a pointer",
                   m,
                   true,
                   {"MX Record\nName=example.com\nTTL=300\nTYPE=15\nPreference=10\n"
                    "Exchange=mail.example.com\n\n"},
                   ""});
  }
  {  // The MX data is 5 bytes longer than its name; the next record must still
     // be read at the declared end.
    Bytes m = questionPart(2);
    m.insert(m.end(), {0xC0, 0x0C});
    putFixed(m, 15, 2 + 4 + 5);
    put16(m, 5);
    m.insert(m.end(), {2, 'm', 'x', 0, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE});
    m.insert(m.end(), {0xC0, 0x0C});
    putFixed(m, 1, 4);
    m.insert(m.end(), {192, 0, 2, 7});
    all.push_back({"MX exchange shorter than its data length",
                   m,
                   true,
                   {"MX Record\nName=example.com\nTTL=300\nTYPE=15\nPreference=5\nExchange=mx\n\n",
                    "A Record:\nName=example.com\nTTL=300\nTYPE=1\nA=192.0.2.7\n\n"},
                   ""});
  }
  {
    Bytes m = questionPart(2);
    m.insert(m.end(), {0xC0, 0x0C});
    putFixed(m, 1, 4);
    m.insert(m.end(), {10, 0, 0, 1});
    all.push_back({"more records claimed than held",
                   m,
                   false,
                   {},
                   "Insufficient Data Pointer:45  Size:1  Total:45\n"});
  }
  {
    Bytes m = questionPart(1);
    const auto self = static_cast<std::uint8_t>(m.size());
    m.insert(m.end(), {0xC0, self});
    putFixed(m, 1, 4);
    m.insert(m.end(), {10, 0, 0, 1});
    all.push_back({"pointer to itself", m, false, {}, "Bad Name Pointer:29"});
  }
  {  // "a" then a pointer back to that "a": the run the pointer ends.
    Bytes m = questionPart(1);
    const auto start = static_cast<std::uint8_t>(m.size());
    m.insert(m.end(), {1, 'a', 0xC0, start});
    putFixed(m, 1, 4);
    m.insert(m.end(), {10, 0, 0, 1});
    all.push_back({"pointer loop through a label", m, false, {}, "Bad Name Pointer:29"});
  }
  {  // Two pointers into each other's labels.
    Bytes m = questionPart(2);
    m.insert(m.end(), {1, 'a', 0xC0, 33});  // at 29; 33 is the "b" below
    putFixed(m, 1, 4);
    m.insert(m.end(), {10, 0, 0, 1});
    m.insert(m.end(), {1, 'b', 0xC0, 29});
    putFixed(m, 1, 4);
    m.insert(m.end(), {10, 0, 0, 2});
    all.push_back({"pointer forward", m, false, {}, "Bad Name Pointer:33"});
  }
  {
    Bytes m = questionPart(1);
    m.push_back(64);
    m.insert(m.end(), 64, 'x');
    m.push_back(0);
    putFixed(m, 1, 4);
    m.insert(m.end(), {10, 0, 0, 1});
    all.push_back({"64-byte label", m, false, {}, "Bad Label Length:64"});
  }
  {  // Four labels of 63 bytes: 257 wire bytes.
    Bytes m = questionPart(1);
    for (int i = 0; i < 4; ++i) {
      m.push_back(63);
      m.insert(m.end(), 63, 'y');
    }
    m.push_back(0);
    putFixed(m, 1, 4);
    m.insert(m.end(), {10, 0, 0, 1});
    all.push_back({"name over 255 bytes", m, false, {}, "Name Too Long:"});
  }
  {
    Bytes m = questionPart(1);
    m.insert(m.end(), {0xC0, 0x0C});
    putFixed(m, 99, 3);
    m.insert(m.end(), {1, 2});
    all.push_back({"raw data past the end", m, false, {}, "Insufficient Data Pointer:41  Size:3"});
  }
  return all;
}

TEST(DnsMessage, ParsesCraftedResponses) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.what);
    DnsMessage message;
    message.assign(c.message);
    DnsResponse response;
    std::string error;
    ASSERT_EQ(parseDnsResponse(message, response, error), c.ok ? 1 : 0) << error;
    if (!c.ok) {
      EXPECT_EQ(error.substr(0, c.error.size()), c.error);
      continue;
    }
    std::vector<std::string> texts;
    for (const auto& record : response.answers) texts.push_back(record->text());
    EXPECT_EQ(texts, c.texts);
  }
}

TEST(DnsMessage, TextFormsOfEveryKind) {
  const Bytes m =
      dnstest::response("example.com", {dnstest::mx("example.com", 20, "mx.example.com"),
                                        dnstest::Rr{"www.example.com", 5,
                                                    [] {
                                                      Bytes b;
                                                      putName(b, "example.com");
                                                      return b;
                                                    }()},
                                        dnstest::a("mx.example.com", {198, 51, 100, 254}),
                                        dnstest::ns("example.com", "ns1.example.net"),
                                        dnstest::Rr{"example.com", 16, {3, 'a', 'b', 'c'}}});
  DnsMessage message;
  message.assign(m);
  DnsResponse response;
  std::string error;
  ASSERT_EQ(parseDnsResponse(message, response, error), 1) << error;
  ASSERT_EQ(response.answers.size(), 5u);
  std::string all;
  for (const auto& record : response.answers) all += record->text();
  EXPECT_EQ(all,
            "MX Record\nName=example.com\nTTL=3600\nTYPE=15\nPreference=20\n"
            "Exchange=mx.example.com\n\n"
            "CNAME Record:\nName=www.example.com\nTTL=3600\nTYPE=5\nCName=example.com\n\n"
            "A Record:\nName=mx.example.com\nTTL=3600\nTYPE=1\nA=198.51.100.254\n\n"
            "NS Record:\nName=example.com\nTTL=3600\nTYPE=2\nNS=ns1.example.net\n"
            "Name=example.com\nTTL=3600\nTYPE=16\n");
}

TEST(DnsMessage, TtlIsPrintedSigned) {
  Bytes m = questionPart(1);
  m.insert(m.end(), {0xC0, 0x0C});
  put16(m, 1);
  put16(m, 1);
  put16(m, 0xFFFF);
  put16(m, 0xFFFE);
  put16(m, 4);
  m.insert(m.end(), {1, 2, 3, 4});
  DnsMessage message;
  message.assign(m);
  DnsResponse response;
  std::string error;
  ASSERT_EQ(parseDnsResponse(message, response, error), 1);
  EXPECT_EQ(response.answers[0]->text(),
            "A Record:\nName=example.com\nTTL=-2\nTYPE=1\nA=1.2.3.4\n\n");
}

TEST(DnsMessage, BuildsQueryBytes) {
  DnsMessage message;
  ASSERT_EQ(buildDnsQuery("mail.example.com.", "MX", 0xABCD, message), 1);
  const Bytes expected = {0xAB, 0xCD, 0,   0,   0,   1, 0,   0,   0,   0,   0,   0,
                          4,    'm',  'a', 'i', 'l', 7, 'e', 'x', 'a', 'm', 'p', 'l',
                          'e',  3,    'c', 'o', 'm', 0, 0,   15,  0,   1};
  EXPECT_EQ(Bytes(message.bytes().begin(), message.bytes().end()), expected);
  EXPECT_EQ(dnsTypeCode("TXT"), 16);
  EXPECT_EQ(dnsTypeCode("mx"), 0xFFFF);
  EXPECT_EQ(dnsTypeCode("AAAA"), 0xFFFF);
  for (const std::string& bad :
       {std::string("a..b"), std::string(64, 'x') + ".com", std::string(".com"),
        std::string(255, 'a').replace(63, 1, ".").replace(127, 1, ".").replace(191, 1, ".")}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(buildDnsQuery(bad, "MX", 1, message), 0);
  }
}

}  // namespace
}  // namespace qg
