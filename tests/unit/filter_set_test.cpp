#include "classify/filter_set.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "classify/parsed_message.h"
#include "classify/sender_split.h"
#include "engine/filter_lists.h"
#include "engine/scrambled_file.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

constexpr std::uint8_t kWhite = list_colour::kWhite;
constexpr std::uint8_t kBlack = list_colour::kBlack;
constexpr std::uint8_t kSubject = expression_field::kSubject;

ExpressionEntry expression(std::string text, std::uint8_t colour, std::uint8_t weight,
                           std::uint8_t field = kSubject) {
  ExpressionEntry entry;
  entry.colour = colour;
  entry.field = field;
  entry.text = std::move(text);
  entry.weight = weight;
  return entry;
}

std::uint32_t white(std::uint32_t sum) {
  return sum << 16;
}

TEST(ExpressionMatch, WordStartsAndTheLongestFittingExpression) {
  FilterSet single;
  single.setExpressions({expression("free", kWhite, 3)});
  FilterSet both;
  both.setExpressions({expression("FREE MONEY", kBlack, 5), expression("FREE", kBlack, 2)});
  FilterSet weightless;
  weightless.setExpressions({expression("  win   big ", kWhite, 0), expression("SPAM", kBlack, 0)});
  const struct {
    const FilterSet& set;
    std::string text;
    std::uint32_t want;
  } cases[] = {
      {single, "FREE-MONEY", white(3)},
      {single, "FREE MONEY NOW", white(3)},
      {single, "ENJOY FREE TIME", white(3)},      // at the second word start
      {single, "CAREFREE", 0},                    // not at a word start
      {single, "FREE AND FREE", white(6)},        // every word start counts
      {single, "SUBJECT: X\nFREE: 1", white(3)},  // a header line's start
      {both, "FREE MONEY NOW", 5 + 1},            // only FREE MONEY
      {both, "GET FREE STUFF", 2 + 1},
      {weightless, "WIN BIG", 0},  // a white weight of 0 leaves 0
      {weightless, "SPAM", 1},     // a black one still marks the match
      {single, "", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.set.expressionMatch(c.text, kSubject), c.want) << c.text;
  }
  // Other fields have their own expressions.
  EXPECT_EQ(single.expressionMatch("FREE", expression_field::kBody), 0u);
}

TEST(ExpressionMatch, SumsSaturateInsteadOfOverflowing) {
  FilterSet set;
  set.setExpressions({expression("SPAM", kBlack, 255), expression("HAM", kWhite, 255)});
  std::string text;
  for (int i = 0; i < 300; ++i) text += "SPAM HAM ";
  EXPECT_EQ(set.expressionMatch(text, kSubject), (kMatchHalfLimit << 16) | kMatchHalfLimit);
}

TEST(ExpressionIndex, PreparedTextsSortedByFieldThenBytes) {
  FilterSet set;
  set.setExpressions({expression("zeta", kWhite, 1, 6), expression("\xE0\xE1", kWhite, 1, 0),
                      expression("ALPHA", kWhite, 1, 6), expression("ALP", kWhite, 1, 6),
                      expression("   ", kWhite, 1, 6)});
  std::vector<std::string> texts;
  for (const ExpressionEntry& entry : set.expressions()) texts.push_back(entry.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"\xC0\xC1", "ALP", "ALPHA", "ZETA"}));
}

TEST(DomainLookup, SuffixOfTheReversedDomain) {
  FilterSet set;
  DomainEntry black;
  black.colour = kBlack;
  black.text = "example.com";
  DomainEntry whiteEntry;
  whiteEntry.text = "good.example.com";
  DomainEntry other;
  other.colour = 7;
  other.text = "org";
  set.setDomains({black, whiteEntry, other});
  ASSERT_EQ(set.domains().size(), 3u);
  EXPECT_EQ(set.domains()[1].text, "MOC.ELPMAXE");  // upper-cased, reversed, sorted
  const std::pair<std::string, std::uint32_t> cases[] = {
      {"A@EXAMPLE.COM", kListBlack},
      {"A@MAIL.EXAMPLE.COM", kListBlack},
      {"A@BADEXAMPLE.COM", kListBlack},    // no label boundary is asked for
      {"A@GOOD.EXAMPLE.COM", kListBlack},  // the shorter entry sorts first and decides
      {"A@EXAMPLE.ORG", 0},                // colour 7 is skipped
      {"A@EXAMPLE.CO", 0},
      {"example.com", 0},  // lower case: the comparison is byte-exact
  };
  for (const auto& [address, want] : cases) EXPECT_EQ(set.domainLookup(address), want) << address;
}

TEST(AddressLookup, FirstEqualEntryInAnyLetterCase) {
  FilterSet set;
  set.setAddresses({{kBlack, 0, "", "Spam@Example.COM"},
                    {kWhite, 0, "", "spam@example.com"},
                    {kWhite, 5, "", "friend@example.org"},
                    {9, 0, "", "odd@example.org"}});
  EXPECT_EQ(set.addressLookup("SPAM@EXAMPLE.COM"), kListBlack);
  EXPECT_EQ(set.addressLookup("FRIEND@EXAMPLE.ORG"), kListWhite);
  EXPECT_EQ(set.addressLookup("ODD@EXAMPLE.ORG"), 0u);
  EXPECT_EQ(set.addressLookup("FRIEND@EXAMPLE.OR"), 0u);
  EXPECT_EQ(set.addressLookup(""), 0u);
}

ReceivedHop hop(Ipv4Number address, bool local = false) {
  ReceivedHop h;
  h.marks = hop_mark::kValid | (local ? hop_mark::kLocal : 0);
  h.fromAddress = address;
  return h;
}

ZoneEntry zone(std::uint8_t colour, const char* code, std::uint8_t weight) {
  ZoneEntry entry;
  entry.colour = colour;
  entry.code = {code[0], code[1]};
  entry.weight = weight;
  return entry;
}

TEST(ZoneLookup, FirstHopForWhiteAnyHopForBlack) {
  FilterSet set;
  set.setIpCountries({{0x0A000000u, 0x0AFFFFFFu, {'R', 'U'}},
                      {0x0B000000u, 0x0BFFFFFFu, {'D', 'E'}},
                      {0x0C000000u, 0x0CFFFFFFu, {'U', 'S'}}});
  set.setZones(
      {zone(kWhite, "RU", 7), zone(kBlack, "US", 0), zone(kBlack, "DE", 4), zone(kWhite, "DE", 9)});
  // Header order: the hop nearest to the user first, the first hop last.
  std::array<ReceivedHop, kMaxHops> hops{hop(0x0B000001u), hop(0x0C000001u), hop(0x0A000001u)};
  EXPECT_EQ(set.zoneLookup(kWhite, hops), 7u << 16);
  EXPECT_EQ(set.zoneLookup(kBlack, hops), 4u);  // the earliest hop with a black entry
  EXPECT_TRUE(hops[1].countryKnown());
  EXPECT_EQ(hops[1].countryText(), "US");

  // The black entry for US has weight 0: it counts as no match.
  std::array<ReceivedHop, kMaxHops> onlyUs{hop(0x0C000002u)};
  EXPECT_EQ(set.zoneLookup(kBlack, onlyUs), 0u);
  // A local hop or one without an address gets no country.
  std::array<ReceivedHop, kMaxHops> unknown{hop(0x0B000002u, true), hop(kNoHopAddress)};
  EXPECT_EQ(set.zoneLookup(kBlack, unknown), 0u);
  EXPECT_EQ(set.zoneLookup(kWhite, unknown), 0u);
}

TEST(IpCountryList, HalvingGivesTheWalksAnswer) {
  // Random overlapping ranges, sorted by first address as the file keeps
  // them: the halving search must agree with the plain walk everywhere.
  std::mt19937 random(7);
  std::vector<IpCountryRange> ranges;
  for (int i = 0; i < 200; ++i) {
    const auto first = static_cast<Ipv4Number>(random() % 5000);
    const auto last = static_cast<Ipv4Number>(first + random() % 300);
    ranges.push_back({first, last, {static_cast<char>('A' + i % 26), 'X'}});
  }
  std::stable_sort(
      ranges.begin(), ranges.end(),
      [](const IpCountryRange& a, const IpCountryRange& b) { return a.first < b.first; });
  const IpCountryList list(ranges);
  for (Ipv4Number address = 0; address < 5400; ++address) {
    std::optional<std::array<char, 2>> walked;
    for (const IpCountryRange& range : ranges) {
      if (range.first > address) break;
      if (address <= range.last) {
        walked = range.code;
        break;
      }
    }
    ASSERT_EQ(list.find(address), walked) << address;
  }
  // A list out of order is walked as it stands.
  const IpCountryList unsorted({{50, 60, {'A', 'A'}}, {10, 20, {'B', 'B'}}});
  EXPECT_EQ(unsorted.find(55), (std::array<char, 2>{'A', 'A'}));
  EXPECT_EQ(unsorted.find(15), std::nullopt);
}

TEST(SplitSender, NameAndAddress) {
  const struct {
    std::string from, name, address;
  } cases[] = {
      {"\"John Smith\" <john@example.com>", "John Smith", "john@example.com"},
      {"  John   Smith  <john@example.com>  ", "John Smith", "john@example.com"},
      {"john@example.com (John)", "(John)", "john@example.com"},
      {"John <@relay.test:john@example.com>", "John", "john@example.com"},
      {"not an address", "not an address", ""},
      {"x@y", "x@y", ""},  // fails the address rule
      {"", "", ""},
  };
  for (const auto& c : cases) {
    const SenderParts parts = splitSender(c.from);
    EXPECT_EQ(parts.name, c.name) << c.from;
    EXPECT_EQ(parts.address, c.address) << c.from;
  }
}

TEST(FilterSetLoad, MissingListsAreCreatedEmptyAndDamagedOnesReplaced) {
  TestFolder folder;
  writeFile(folder.path("fdomain.dat"), "not a list file");
  ASSERT_EQ(scrambledWrite(folder.root(), "fexpr.dat", "",
                           encodeList<ExpressionEntry>(std::vector{expression("Win", kBlack, 3)})),
            0);
  FilterSet set;
  ASSERT_TRUE(set.load(folder.root(), std::vector<std::uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(set.expressionMatch("WIN NOW", kSubject), 4u);
  EXPECT_TRUE(set.domains().empty());
  for (const char* name : {"fzon.dat", "fdomain.dat", "fipcnt.dat"}) {
    std::vector<std::uint8_t> payload;
    EXPECT_EQ(scrambledRead(folder.root(), name, "", payload), 4) << name;
  }
  // A list folder that cannot hold the files fails the load.
  FilterSet nowhere;
  EXPECT_FALSE(nowhere.load(folder.path("missing/folder"), std::vector<std::uint8_t>{0, 0, 0, 0}));
}

std::vector<AddressEntry> storedAddresses(const TestFolder& folder) {
  std::vector<std::uint8_t> payload;
  if (scrambledRead(folder.root(), "femail.dat", "", payload) < 0) return {};
  return decodeList<AddressEntry>(payload);
}

TEST(LearnAddress, PatchesTheAddressFileOnceInAnyCase) {
  TestFolder folder;
  const std::vector<AddressEntry> initial{{kBlack, 0, "Old", "old@example.org"}};
  const std::vector<std::uint8_t> payload = encodeList<AddressEntry>(initial);
  ASSERT_EQ(scrambledWrite(folder.root(), "femail.dat", "", payload), 0);
  FilterSet set;
  ASSERT_TRUE(set.load(folder.root(), payload));

  EXPECT_EQ(set.learnAddress("\"A Very Long Display Name Indeed\" <New@Example.COM>", kWhite),
            LearnResult::Added);
  EXPECT_EQ(set.addressLookup("NEW@EXAMPLE.COM"), kListWhite);
  std::vector<AddressEntry> stored = storedAddresses(folder);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].address, "old@example.org");
  EXPECT_EQ(stored[1].colour, kWhite);
  EXPECT_EQ(stored[1].origin, AddressEntry::kLearnedOrigin);
  EXPECT_EQ(stored[1].name, "A Very Long Display ");
  EXPECT_EQ(stored[1].address, "New@Example.COM");

  const std::string before = readFile(folder.path("femail.dat"));
  EXPECT_EQ(set.learnAddress("new@example.com", kBlack), LearnResult::Known);
  EXPECT_EQ(set.learnAddress("OLD@EXAMPLE.ORG", kWhite), LearnResult::Known);
  EXPECT_EQ(set.learnAddress("nobody here", kWhite), LearnResult::NoAddress);
  EXPECT_EQ(set.learnAddress("<" + std::string(50, 'a') + "@example.com>", kWhite),
            LearnResult::TooLong);
  EXPECT_EQ(readFile(folder.path("femail.dat")), before);

  // A file removed meanwhile is written again from the list.
  std::filesystem::remove(folder.path("femail.dat"));
  EXPECT_EQ(set.learnAddress("third@example.net", kWhite), LearnResult::Added);
  EXPECT_EQ(storedAddresses(folder).size(), 3u);
}

// A learn that could not be written leaves the list as long as the file, so
// the next one lands in the right place.
TEST(LearnAddress, AFailedWriteDoesNotStopLaterLearning) {
  TestFolder folder;
  const std::vector<AddressEntry> initial{{kBlack, 0, "Old", "old@example.org"}};
  const std::vector<std::uint8_t> payload = encodeList<AddressEntry>(initial);
  ASSERT_EQ(scrambledWrite(folder.root(), "femail.dat", "", payload), 0);
  FilterSet set;
  ASSERT_TRUE(set.load(folder.root(), payload));
  const std::string good = readFile(folder.path("femail.dat"));
  writeFile(folder.path("femail.dat"), good + "x");  // its size no longer fits its header
  EXPECT_EQ(set.learnAddress("lost@example.com", kWhite), LearnResult::NotWritten);
  writeFile(folder.path("femail.dat"), good);
  EXPECT_EQ(set.learnAddress("next@example.com", kWhite), LearnResult::Added);
  const std::vector<AddressEntry> stored = storedAddresses(folder);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[1].address, "next@example.com");
}

}  // namespace
}  // namespace qg
