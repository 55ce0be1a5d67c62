#include "classify/decision.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "analysis_fixture.h"
#include "classify/request_code.h"
#include "engine/dnsbl_records.h"
#include "test_files.h"

namespace qg {
namespace {

namespace pf = profile_field;
namespace rf = rule_field;
using verdict::classOf;
using verdict::ruleTagOf;

constexpr std::uint32_t kDefault = 0;  // a case wants the profile's default
constexpr std::uint32_t kNotSpam = verdict::kNotSpam;
constexpr std::uint32_t kUndetermined = verdict::kUndetermined;
constexpr std::uint32_t kSpam = verdict::kSpam;

ExpressionEntry expression(std::string text, std::uint8_t colour, std::uint8_t field,
                           std::uint8_t weight = 1) {
  ExpressionEntry entry;
  entry.colour = colour;
  entry.field = field;
  entry.text = std::move(text);
  entry.weight = weight;
  return entry;
}

ZoneEntry zone(const char* code, std::uint8_t colour, std::uint8_t weight) {
  ZoneEntry entry;
  entry.colour = colour;
  entry.code = {code[0], code[1]};
  entry.weight = weight;
  return entry;
}

constexpr std::uint32_t ip(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

std::string received(const char* host, const char* address) {
  return std::string("Received: from ") + host + " (" + host + " [" + address +
         "]) by mx.example.net with SMTP id 1; Tue, 5 Dec 2006 18:24:11 +0300\r\n";
}

class DecisionTest : public ::testing::Test, protected AnalysisFixture {
 protected:
  void SetUp() override {
    constexpr std::uint8_t kWhite = list_colour::kWhite;
    constexpr std::uint8_t kBlack = list_colour::kBlack;
    FilterSet& filters = context.filters;
    filters.setAddresses(
        {{kWhite, 0, "Friend", "friend@example.org"}, {kBlack, 0, "", "spammer@example.com"}});
    filters.setExpressions({
        expression("hello", kWhite, expression_field::kSubject),
        expression("free money", kBlack, expression_field::kSubject, 2),
        expression("x-spam-tool", kBlack, expression_field::kHeader),
        expression("meeting", kWhite, expression_field::kBody),
        expression("viagra", kBlack, expression_field::kBody, 3),
    });
    filters.setZones({zone("DE", kWhite, 1), zone("CN", kBlack, 2)});
    filters.setDomains({{kWhite, 0, "trusted.example"}, {kBlack, 0, "bad.example"}});
    filters.setIpCountries({{ip(10, 0, 0, 0), ip(10, 255, 255, 255), {'D', 'E'}},
                            {ip(20, 0, 0, 0), ip(20, 255, 255, 255), {'C', 'N'}}});
    context.profile.setByte(2, pf::kDefaultClass);  // the default is "Spam" with tag 4
    for (int k = 0; k < 3; ++k) {
      zones.slots[k].host = k == 2 ? "other.test" : "bl.test";
      zones.slots[k].codes[0] = 2;
    }
  }

  // Adds a rule with mode and weight; returns its base field.
  std::uint32_t add(std::uint8_t type, std::uint8_t mode = 2, std::uint8_t weight = 1) {
    const int slot = addRule(context.profile, type, zones);
    EXPECT_GE(slot, 0);
    const std::uint32_t base = ruleBase(context.profile.getByte(static_cast<std::uint32_t>(slot)));
    context.profile.setByte(mode, base + rf::kMode);
    context.profile.setByte(weight, base + rf::kWeight);
    return base;
  }

  std::uint32_t run(bool live = false) { return decide(context, {kFixtureNow, live}, &report); }

  // The cache file of the test zone with entries (address, result).
  void cacheAnswers(const char* zoneName,
                    const std::vector<std::pair<Ipv4Number, std::uint32_t>>& answers) {
    ZoneCache cache;
    ASSERT_TRUE(cache.load(folder.root(), zoneName, 732664));
    for (const auto& [address, result] : answers) cache.insert({address, 732664, result});
    ASSERT_TRUE(cache.save(folder.root()));
  }

  std::string requestQueue() const { return readFile(folder.path("dnsbl.inf")); }

  ZoneTable zones;
  DecisionReport report;
};

// Every rule type in mode 1, where a match and a miss both decide: white
// kinds give "Not spam" on a match and "Is not determined" on a miss, black
// kinds "Spam" and "Is not determined".
TEST_F(DecisionTest, EveryRuleTypeMatchesItsFixture) {
  const std::string plain = "From: someone@example.com\r\nTo: me@example.net\r\nSubject: news";
  const struct {
    std::uint8_t type;
    std::string lines;
    std::string body;
    std::uint32_t want;
  } cases[] = {
      {0, "From: Friend <FRIEND@example.org>\r\nSubject: x", "", kNotSpam},
      {0, plain, "", kUndetermined},
      {1, "From: a@b.example\r\n" + received("host.example", "10.1.2.3"), "", kNotSpam},
      {1, "From: a@b.example\r\n" + received("host.example", "20.1.2.3"), "", kUndetermined},
      {2, "From: a@b.example\r\nSubject: Hello there", "", kNotSpam},
      {2, plain, "", kUndetermined},
      {3, "From: bob@mail.trusted.example", "", kNotSpam},
      {3, plain, "", kUndetermined},
      {3, "From: bob.trusted.example", "", kDefault},  // an invalid sender skips the rule
      {4, "From: Spammer <spammer@example.com>", "", kSpam},
      {4, plain, "", kUndetermined},
      {5,
       "From: a@b.example\r\n" + received("a.example", "10.0.0.1") +
           received("b.example", "20.0.0.1"),
       "", kSpam},
      {5, "From: a@b.example\r\n" + received("a.example", "10.0.0.1"), "", kUndetermined},
      {6, "From: a@b.example\r\nSubject: get FREE   MONEY now", "", kSpam},
      {6, plain, "", kUndetermined},
      {7, "From: a@b.example\r\nX-Spam-Tool: 1.0", "", kSpam},
      {7, plain, "", kUndetermined},
      {8, "From: a@b.example\r\nTo: other@example.com", "", kSpam},
      {8, "From: a@b.example\r\nTo: other@example.com\r\nCc: Me <ME@example.net>", "",
       kUndetermined},
      {9, "From: a@b.example\r\n" + received("relay.ru", "10.0.0.1"), "", kSpam},
      {9, "From: a@b.example\r\n" + received("relay.de", "10.0.0.1"), "", kUndetermined},
      {10, "From: not an address", "", kSpam},
      {10, "From: Mail Delivery System <MAILER-DAEMON>", "", kUndetermined},
      {10, plain, "", kUndetermined},
      {12, "From: xy@www.bad.example", "", kSpam},
      {12, plain, "", kUndetermined},
      {13, plain, "the meeting is at noon", kNotSpam},
      {13, plain, "nothing here", kUndetermined},
      {14, plain, "cheap viagra", kSpam},
      {14, plain, "nothing here", kUndetermined},
  };
  for (const auto& c : cases) {
    resetProfile(context.profile, 0);
    context.profile.setByte(2, pf::kDefaultClass);
    add(c.type, 1);
    mail(c.lines, c.body);
    const std::uint32_t got = run();
    const std::string what = "type " + std::to_string(c.type) + ": " + c.lines;
    if (c.want == kDefault) {
      EXPECT_EQ(ruleTagOf(got), verdict::kDefaultRuleTag) << what;
    } else {
      EXPECT_EQ(classOf(got), c.want) << what;
      EXPECT_EQ(ruleTagOf(got), verdict::kFirstRuleTag + 0) << what;
      ASSERT_TRUE(report.rule) << what;
      EXPECT_EQ(report.rule->type, c.type) << what;
    }
  }
}

// What each mode does with a match and with a miss, for a white kind (type
// 0) and a black kind (type 4); "on" means the rule has no effect.
TEST_F(DecisionTest, ModesOfWhiteAndBlackKinds) {
  const std::string friendMail = "From: friend@example.org";
  const std::string spammerMail = "From: spammer@example.com";
  const std::string strangerMail = "From: stranger@example.com";
  const struct {
    std::uint8_t type;
    std::uint8_t mode;
    const std::string& lines;
    std::uint32_t want;
  } cases[] = {
      {0, 0, friendMail, kNotSpam},        {0, 0, strangerMail, kDefault},
      {0, 1, strangerMail, kUndetermined}, {0, 2, friendMail, kNotSpam},
      {0, 2, strangerMail, kSpam},         {0, 3, friendMail, kDefault},
      {0, 3, strangerMail, kDefault},      {0, 7, friendMail, kNotSpam},
      {0, 7, strangerMail, kDefault},      {4, 0, spammerMail, kSpam},
      {4, 0, strangerMail, kNotSpam},      {4, 1, strangerMail, kUndetermined},
      {4, 2, spammerMail, kSpam},          {4, 2, strangerMail, kDefault},
      {4, 3, spammerMail, kDefault},       {4, 3, strangerMail, kDefault},
  };
  for (const auto& c : cases) {
    resetProfile(context.profile, 0);
    context.profile.setByte(2, pf::kDefaultClass);
    add(c.type, c.mode);
    mail(c.lines);
    const std::uint32_t got = run();
    const std::string what =
        "type " + std::to_string(c.type) + " mode " + std::to_string(c.mode) + ": " + c.lines;
    if (c.want == kDefault) {
      EXPECT_EQ(ruleTagOf(got), verdict::kDefaultRuleTag) << what;
      EXPECT_FALSE(report.rule) << what;
    } else {
      EXPECT_EQ(classOf(got), c.want) << what;
      EXPECT_EQ(ruleTagOf(got), verdict::kFirstRuleTag) << what;
    }
  }
}

// Score rules add weight times count; only a later type-15 rule turns the
// score into a verdict, from its bounds at base + 7 and base + 8, and a
// score equal to a bound does not decide.
TEST_F(DecisionTest, ScoreRulesAndTheirBounds) {
  const struct {
    std::uint8_t low;
    std::uint8_t high;
    std::uint32_t want;
  } cases[] = {
      {11, 12, kNotSpam},  // score 10
      {10, 12, kDefault},  // equal to the low bound
      {5, 10, kDefault},   // equal to the high bound
      {5, 9, kSpam},
  };
  for (const auto& c : cases) {
    resetProfile(context.profile, 0);
    add(6, 3, 4);  // Subject "free money": black count 2 + 1, times 4
    add(0, 3, 2);  // a white sender: minus 1 times 2
    add(7, 3, 9);  // no match: nothing added
    const std::uint32_t score = add(kScoreRuleType);
    context.profile.setByte(c.low, score + rf::kLowBound);
    context.profile.setByte(c.high, score + rf::kHighBound);
    // The mode field and base + 1 are not the bounds.
    context.profile.setByte(200, score + rf::kMode);
    context.profile.setByte(0, score + 1);
    mail("From: friend@example.org\r\nSubject: free money");
    const std::uint32_t got = run();
    EXPECT_EQ(report.score, 10);
    if (c.want == kDefault) {
      EXPECT_EQ(ruleTagOf(got), verdict::kDefaultRuleTag) << int(c.low) << "-" << int(c.high);
    } else {
      EXPECT_EQ(classOf(got), c.want) << int(c.low) << "-" << int(c.high);
      EXPECT_EQ(ruleTagOf(got), verdict::kFirstRuleTag + 3);
      EXPECT_EQ(report.rule->type, kScoreRuleType);
    }
  }
}

TEST_F(DecisionTest, SizeLimit) {
  const struct {
    std::int16_t limit;  // thousands of bytes
    std::uint32_t size;
    std::uint32_t want;
  } cases[] = {
      {0, 0xFFFFFFFF, kDefault},                            // 0 is off
      {5, 5000, kDefault},                                  // equal does not decide
      {5, 5001, kSpam},          {-1, 65535000, kDefault},  // the field is unsigned 16-bit
      {-1, 65535001, kSpam},
  };
  for (const auto& c : cases) {
    resetProfile(context.profile, 0);
    const std::uint32_t base = add(11, 0);
    context.profile.setShort(c.limit, base + rf::kSizeLimit);
    mail("From: a@b.example", "", true, c.size);
    const std::uint32_t got = run();
    if (c.want == kDefault) {
      EXPECT_EQ(ruleTagOf(got), verdict::kDefaultRuleTag) << c.size;
    } else {
      EXPECT_EQ(classOf(got), c.want) << c.size;
    }
  }
}

TEST_F(DecisionTest, RulesRunInSlotOrderWithTheTypeOfTheirSlot) {
  add(4);  // rule 0, removed below
  add(6);  // rule 1 in slot 0 afterwards
  add(0);  // rule 2 in slot 1
  ASSERT_EQ(removeRule(context.profile, 0), 1);
  mail("From: friend@example.org\r\nSubject: free money");
  const std::uint32_t got = run();
  // Slot 0 holds rule 1 of type 6; the type field of rule number 1 (field
  // 101, slot 1's type 0) is not what it runs.
  EXPECT_EQ(classOf(got), kSpam);
  EXPECT_EQ(ruleTagOf(got), verdict::kFirstRuleTag + 1);
  EXPECT_EQ(report.rule->type, 6);
}

TEST_F(DecisionTest, DefaultVerdictAndOptionsBlocks) {
  // No rules (field 200 is 255): the default with its options and tag 4.
  for (const std::uint32_t field : {400u, 403u, 406u}) context.profile.setFlag(true, field);
  context.profile.setFlag(true, 401);  // not part of the block (and a text anyway)
  const struct {
    std::uint8_t classField;
    std::uint32_t want;
  } classes[] = {{0, kNotSpam}, {1, kUndetermined}, {2, kSpam}, {255, kSpam}};
  mail("From: friend@example.org");
  for (const auto& c : classes) {
    context.profile.setByte(c.classField, pf::kDefaultClass);
    EXPECT_EQ(run(), c.want | verdict::kSound | verdict::kQuarantine | verdict::kSendRequest |
                         verdict::kDefaultRuleTag << verdict::kRuleTagShift);
  }

  // A rule's blocks: s gives bit 4, s + 2 .. s + 6 bits 5 to 9.
  const std::uint32_t base = add(4);
  for (std::uint32_t k = 0; k <= 6; ++k)
    context.profile.setFlag(k != 1, base + rf::kSpamOptions + k);
  context.profile.setFlag(true, base + rf::kNotSpamOptions + 4);  // another class's block
  mail("From: spammer@example.com");
  EXPECT_EQ(run(), 0x3F0u | kSpam | (verdict::kFirstRuleTag << verdict::kRuleTagShift));
}

TEST_F(DecisionTest, BodyRulesOnAHeaderOnlyFileAskForTheWholeMessage) {
  add(0, 0);
  add(13, 3);
  mail("From: stranger@example.com", "", false);
  EXPECT_EQ(run(), verdict::kWholeMessageNeeded);
  EXPECT_EQ(report.rule->type, 13);
  mail("From: friend@example.org", "", false);  // decided before the body rule
  EXPECT_EQ(classOf(run()), kNotSpam);
  mail("From: stranger@example.com", "meeting", true);
  EXPECT_EQ(ruleTagOf(run()), verdict::kDefaultRuleTag);
  EXPECT_EQ(report.score, -1);
}

TEST_F(DecisionTest, EmptyTextIsTriedAgainLater) {
  add(0, 0);
  context.message.clear();
  EXPECT_EQ(run(true), 0u);
}

// Blocklist rules: hops answered from the cache, the unanswered ones queued.
TEST_F(DecisionTest, BlocklistListedHopDecidesOrScores) {
  cacheAnswers("bl.test",
               {{ip(10, 0, 0, 1), kZoneCacheNotListed}, {ip(20, 0, 0, 2), kZoneCacheListed}});
  const std::string lines = "From: a@b.example\r\n" + received("a.example", "10.0.0.1") +
                            received("b.example", "20.0.0.2");
  add(kFirstBlocklistType, 2);
  mail(lines);
  EXPECT_EQ(classOf(run()), kSpam);
  EXPECT_EQ(report.rule->type, kFirstBlocklistType);
  EXPECT_TRUE(context.message.hops[1].marks & hop_mark::kBlocklistListed);

  // In mode 3 the weight is added once, however many hops are listed.
  resetProfile(context.profile, 0);
  add(kFirstBlocklistType, 3, 7);
  mail(lines);
  run();
  EXPECT_EQ(report.score, 7);
  EXPECT_TRUE(requestQueue().empty());
}

TEST_F(DecisionTest, BlocklistWithoutCheckableHopsActsAsNotListed) {
  add(kFirstBlocklistType, 0);
  const std::string cases[] = {
      "From: a@b.example",
      "From: a@b.example\r\n" + received("relay.example.net", "20.0.0.2"),  // local
      "From: a@b.example\r\nReceived: from localhost by mx.example.net; Tue, 5 Dec 2006 18:24:11",
  };
  for (const std::string& lines : cases) {
    mail(lines);
    EXPECT_EQ(classOf(run(true)), kNotSpam) << lines;
  }
  EXPECT_TRUE(requestQueue().empty());
}

TEST_F(DecisionTest, BlocklistQueuesEachAddressAndZoneOnce) {
  const std::uint32_t first = add(kFirstBlocklistType, 2);
  add(kFirstBlocklistType + 1, 2);  // the same zone: shares the cache
  add(kFirstBlocklistType + 2, 2);  // another zone
  for (std::uint32_t k = 0; k < 4; ++k) {
    context.profile.setByte(static_cast<std::uint8_t>(k + 2), first + rf::kZoneCodes + k);
  }
  cacheAnswers("bl.test", {{ip(10, 0, 0, 1), kZoneCacheNotListed}});
  // The second hop appears twice; the first is answered already.
  const std::string lines = "From: a@b.example\r\n" + received("a.example", "10.0.0.1") +
                            received("b.example", "20.0.0.2") + received("c.example", "20.0.0.2");
  mail(lines);
  EXPECT_EQ(run(true), verdict::kAwaitingBlocklist);
  EXPECT_EQ(report.rule->number, 0);
  std::string queue = requestQueue();
  ASSERT_EQ(queue.size(), kDnsblRequestSize);
  auto request = decodeDnsblRequest(queue);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->address, ip(20, 0, 0, 2));
  EXPECT_EQ(request->zone, "bl.test");
  EXPECT_EQ(request->codes[0], 2);
  EXPECT_EQ(request->codes[3], 5);

  // Decided again while the request waits: nothing is added.
  mail(lines);
  EXPECT_EQ(run(true), verdict::kAwaitingBlocklist);
  EXPECT_EQ(requestQueue(), queue);

  // Answered not listed: the same-zone rule loads no other cache, and the
  // other zone asks for both hops, behind a torn record that is cut.
  cacheAnswers("bl.test",
               {{ip(10, 0, 0, 1), kZoneCacheNotListed}, {ip(20, 0, 0, 2), kZoneCacheNotListed}});
  context.zoneCache.unload();
  writeFile(folder.path("dnsbl.inf"), queue + "torn");
  mail(lines);
  EXPECT_EQ(run(true), verdict::kAwaitingBlocklist);
  EXPECT_EQ(report.rule->number, 2);
  queue = requestQueue();
  ASSERT_EQ(queue.size(), 3 * kDnsblRequestSize);
  EXPECT_EQ(decodeDnsblRequest(std::string_view(queue).substr(kDnsblRequestSize))->zone,
            "other.test");
}

TEST_F(DecisionTest, BlocklistAnswersArrivingThroughTheResultFile) {
  add(kFirstBlocklistType, 2);
  const std::string lines = "From: a@b.example\r\n" + received("a.example", "10.0.0.1");
  mail(lines);
  ASSERT_EQ(run(true), verdict::kAwaitingBlocklist);
  // The checker answers and empties its queue.
  const auto result =
      encodeDnsblResult({ip(10, 0, 0, 1), zoneSignature("bl.test") | kDnsblListedBit});
  writeFile(folder.path("dnsbl.inp"), std::string(result.begin(), result.end()));
  writeFile(folder.path("dnsbl.inf"), "");
  mail(lines);
  EXPECT_EQ(classOf(run(true)), kSpam);
  EXPECT_TRUE(readFile(folder.path("dnsbl.inp")).empty());
}

TEST_F(DecisionTest, OfflineBlocklistRulesUseTheCacheAlone) {
  add(kFirstBlocklistType, 1);
  mail("From: a@b.example\r\n" + received("a.example", "10.0.0.1"));
  // Unanswered: goes on as not listed and says so; no file is made.
  EXPECT_EQ(classOf(run(false)), kUndetermined);
  EXPECT_TRUE(report.blocklistUnanswered);
  EXPECT_TRUE(std::filesystem::is_empty(folder.root() + "/BOX_0001/OUT"));
  EXPECT_FALSE(std::filesystem::exists(folder.path("dnsbl.inf")));
  EXPECT_FALSE(std::filesystem::exists(folder.path(zoneCacheFileName(zoneSignature("bl.test")))));

  cacheAnswers("bl.test", {{ip(10, 0, 0, 1), kZoneCacheListed}});
  context.zoneCache.unload();
  EXPECT_EQ(classOf(run(false)), kSpam);
  EXPECT_FALSE(report.blocklistUnanswered);
}

// Replies to request mails.
class ReplyTest : public DecisionTest {
 protected:
  void SetUp() override {
    DecisionTest::SetUp();
    add(4, 0);  // any message that is no reply gets "Not spam"
  }
  void reply(const std::string& subject, const std::string& from = "Ann <ann@example.org>",
             const std::string& more = "") {
    mail("From: " + from + "\r\nTo: me@example.net\r\nSubject: " + subject + more);
  }
};

TEST_F(ReplyTest, CodeAgeAndChecksum) {
  const std::string sender = "ANN@EXAMPLE.ORG";
  DateRecord threeDays = DateRecord::fromStamp(kFixtureNow);
  threeDays.addDays(-3);
  const struct {
    std::string subject;
    bool consumed;
  } cases[] = {
      {"Re: " + requestCode(kFixtureNow, sender), true},
      {"RE: [list] " + requestCode(threeDays.stamp, sender) + " thanks", true},
      {requestCode(threeDays.stamp - 1, sender), false},              // older than 3 days
      {requestCode(kFixtureNow + kStampMillisecond, sender), false},  // in the future
      {requestCode(kFixtureNow, "BOB@EXAMPLE.ORG"), false},           // another recipient
      {requestCode(kFixtureNow - kStampMonth + 31 * kStampDay, sender), true},
  };
  for (const auto& c : cases) {
    reply(c.subject);
    const std::uint32_t got = run();
    if (c.consumed) {
      EXPECT_EQ(got, verdict::kReplyConsumed) << c.subject;
      EXPECT_FALSE(report.rule);
    } else {
      EXPECT_EQ(classOf(got), kNotSpam) << c.subject;
    }
  }
}

TEST_F(ReplyTest, ALiveReplyLearnsTheSender) {
  reply(requestCode(kFixtureNow, "ANN@EXAMPLE.ORG"));
  EXPECT_EQ(run(false), verdict::kReplyConsumed);
  EXPECT_EQ(context.filters.addressLookup("ann@example.org"), 0u);  // offline: nothing learned
  EXPECT_EQ(run(true), verdict::kReplyConsumed);
  EXPECT_EQ(context.filters.addressLookup("ann@example.org"), kListWhite);
  EXPECT_TRUE(std::filesystem::is_empty(context.boxDirectory + "/OUT"));  // no answer to a reply
}

TEST_F(ReplyTest, AnotherCopysRequestIsAnswered) {
  // The other copy's request names this box's address in its code.
  const std::string subject = requestCode(kFixtureNow - kStampHour, "ME@EXAMPLE.NET");
  reply(subject, "Bob <bob@example.org>", "\r\nX-Mailer: Quillgate - request");
  EXPECT_EQ(run(false), verdict::kReplyConsumed);
  EXPECT_FALSE(std::filesystem::exists(outMessagePath(context.boxDirectory, 0)));
  EXPECT_EQ(run(true), verdict::kReplyConsumed);
  const std::string answer = readFile(outMessagePath(context.boxDirectory, 0));
  EXPECT_NE(answer.find("RCTP TO: BOB@EXAMPLE.ORG\r\n"), std::string::npos) << answer;
  EXPECT_NE(answer.find("X-Mailer: Quillgate - answer\r\n"), std::string::npos) << answer;
  EXPECT_NE(answer.find("\r\nSubject: " + subject + "\r\n"), std::string::npos) << answer;
  EXPECT_EQ(context.filters.addressLookup("bob@example.org"), 0u);

  // A request whose code names neither this box nor its sender is a message like any other.
  reply(requestCode(kFixtureNow, "CAROL@EXAMPLE.ORG"), "bob@example.org",
        "\r\nX-Mailer: Quillgate - request");
  EXPECT_EQ(classOf(run(true)), kNotSpam);
}

}  // namespace
}  // namespace qg
