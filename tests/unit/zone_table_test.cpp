#include "engine/zone_table.h"

#include <gtest/gtest.h>

#include <fstream>

#include "test_folder.h"

namespace qg {
namespace {

std::array<std::uint8_t, kZoneCodes> codes(std::initializer_list<std::uint8_t> first) {
  std::array<std::uint8_t, kZoneCodes> all{};
  std::copy(first.begin(), first.end(), all.begin());
  return all;
}

TEST(ZoneTable, BuiltinSlotsAndEmptyRest) {
  const ZoneTable table = builtinZoneTable();
  EXPECT_EQ(table.slots[0].host, "zen.spamhaus.org");
  EXPECT_EQ(table.slots[0].codes, codes({2, 4, 5, 6}));
  EXPECT_EQ(table.slots[1].host, "bl.spamcop.net");
  EXPECT_EQ(table.slots[1].codes, codes({2}));
  EXPECT_EQ(zoneChoiceText(table.slots[0]), "DNSBL Spamhaus SBL+XBL");
  for (std::size_t s = 2; s < kZoneSlots; ++s) {
    EXPECT_TRUE(table.slots[s].host.empty()) << s;
    EXPECT_EQ(table.slots[s].codes, codes({})) << s;
  }
}

struct WantEntry {
  std::string name;
  std::string host;
  std::vector<std::uint8_t> codes;
};

TEST(ZoneList, EntriesNeedNameZoneAndCodeInThatOrder) {
  const std::string longZone(60, 'z');
  struct Case {
    const char* what;
    std::string text;
    std::vector<WantEntry> want;
  };
  const Case cases[] = {
      {"name without zone adds nothing", "NAME Lone\nCODE 2\n", {}},
      {"zone without code adds nothing", "NAME Lone\nZONE lone.example\n", {}},
      {"complete entry, last line without LF",
       "NAME One\nZONE one.example\nCODE 2;4",
       {{"One", "one.example", {2, 4}}}},
      {"lines before NAME and between keywords are skipped",
       "ZONE early.example\nCODE 9\nNAME Two\n# note\nNAME Other\nZONE two.example\nZONE x\n"
       "CODE 3\n",
       {{"Two", "two.example", {3}}}},
      {"keywords are case-sensitive",
       "name a\nNAME b\nzone z\nZONE b.example\ncode 1\nCODE 1\n",
       {{"b", "b.example", {1}}}},
      {"values trimmed of blanks, tabs and CR",
       "NAME \t Spaced  \r\nZONE  sp.example \t\r\nCODE  1 ; 2 ;3 \r\n",
       {{"Spaced", "sp.example", {1, 2, 3}}}},
      {"keyword glued to its value",
       "NAMEglued\nZONEg.example\nCODE7\n",
       {{"glued", "g.example", {7}}}},
      {"zone over 49 characters is cut",
       "NAME Long\nZONE " + longZone + "\nCODE 2\n",
       {{"Long", std::string(49, 'z'), {2}}}},
      {"codes stop at the first item that is not 0-255",
       "NAME A\nZONE a.example\nCODE 1;0;255;256;3\nNAME B\nZONE b.example\nCODE 5;x;6\n"
       "NAME C\nZONE c.example\nCODE 8;;9\nNAME D\nZONE d.example\nCODE -1\n",
       {{"A", "a.example", {1, 0, 255}},
        {"B", "b.example", {5}},
        {"C", "c.example", {8}},
        {"D", "d.example", {}}}},
      {"empty zone is dropped",
       "NAME E\nZONE   \nCODE 2\nNAME F\nZONE f.example\nCODE 2\n",
       {{"F", "f.example", {2}}}},
      {"a zero byte ends the line",
       std::string("NAME N\nZONE n.ex\0ample\nCODE 2\n", 30),
       {{"N", "n.ex", {2}}}},
  };
  for (const Case& c : cases) {
    const std::vector<ZoneListEntry> got = parseZoneList(c.text);
    ASSERT_EQ(got.size(), c.want.size()) << c.what;
    for (std::size_t k = 0; k < got.size(); ++k) {
      EXPECT_EQ(got[k].name, c.want[k].name) << c.what;
      EXPECT_EQ(got[k].host, c.want[k].host) << c.what;
      EXPECT_EQ(got[k].codes, c.want[k].codes) << c.what;
    }
  }
}

TEST(ZoneList, MoreThan32CodesAreCut) {
  std::string codeLine = "CODE 1";
  for (int k = 2; k <= 40; ++k) {
    codeLine += ';';
    codeLine += std::to_string(k);
  }
  const auto got = parseZoneList("NAME M\nZONE m.example\n" + codeLine + "\n");
  ASSERT_EQ(got.size(), 1u);
  ASSERT_EQ(got[0].codes.size(), kZoneCodes);
  EXPECT_EQ(got[0].codes.back(), 32);
}

TEST(ZoneList, LongLineIsCutAndItsRestIsNotANewLine) {
  // The awaited ZONE keyword sits right behind the first 999 bytes of one line:
  // it must not be taken as a line of its own.
  const std::string text = "NAME Cut\n" + std::string(kZoneListLineMax, 'x') +
                           "ZONE hidden.example\nZONE shown.example\nCODE 2\n";
  const auto got = parseZoneList(text);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].host, "shown.example");
}

TEST(ZoneList, AtMost40EntriesAndTheSplitOfTheInputDoesNotMatter) {
  std::string text;
  for (int k = 0; k < 45; ++k) {
    text += "NAME Zone " + std::to_string(k) + "\r\nZONE z" + std::to_string(k) +
            ".example\r\nCODE 2;" + std::to_string(k) + "\r\n";
  }
  const auto whole = parseZoneList(text);
  ASSERT_EQ(whole.size(), kMaxListedZones);
  EXPECT_EQ(whole.back().host, "z39.example");

  ZoneListReader bytewise;
  for (const char c : text) bytewise.feed(std::string_view(&c, 1));
  bytewise.finish();
  ASSERT_EQ(bytewise.entries().size(), whole.size());
  for (std::size_t k = 0; k < whole.size(); ++k) {
    EXPECT_EQ(bytewise.entries()[k].name, whole[k].name);
    EXPECT_EQ(bytewise.entries()[k].host, whole[k].host);
    EXPECT_EQ(bytewise.entries()[k].codes, whole[k].codes);
  }
}

TEST(ZoneTable, LoadPutsFileEntriesFromSlot10) {
  TestFolder folder;
  EXPECT_TRUE(loadZoneTable(folder.root()).slots[kFirstListedZoneSlot].host.empty());

  std::ofstream(folder.path("dnsbl.txt"))
      << "NAME First\nZONE first.example\nCODE 2;127\nNAME Second\nZONE second.example\n"
         "CODE 4\nNAME Broken\nZONE broken.example\n";
  const ZoneTable table = loadZoneTable(folder.root());
  EXPECT_EQ(table.slots[0].host, "zen.spamhaus.org");
  EXPECT_TRUE(table.slots[9].host.empty());
  EXPECT_EQ(table.slots[10].host, "first.example");
  EXPECT_EQ(table.slots[10].codes, codes({2, 127}));
  EXPECT_EQ(zoneChoiceText(table.slots[10]), "DNSBL First");
  EXPECT_EQ(table.slots[11].host, "second.example");
  EXPECT_TRUE(table.slots[12].host.empty());
}

}  // namespace
}  // namespace qg
