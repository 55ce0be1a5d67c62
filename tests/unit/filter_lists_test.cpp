#include "engine/filter_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/scrambled_file.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

std::vector<std::uint8_t> bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

TEST(FilterLists, RecordLayouts) {
  AddressEntry address{2, 5, "Name", "a@b.cd"};
  std::vector<std::uint8_t> record(AddressEntry::kRecordBytes, 0xEE);
  encodeRecord(address, record);
  EXPECT_EQ(record[0], 2);
  EXPECT_EQ(record[1], 5);
  EXPECT_EQ(std::string(record.begin() + 2, record.begin() + 7), std::string("Name\0", 5));
  EXPECT_EQ(std::string(record.begin() + 23, record.begin() + 30), std::string("a@b.cd\0", 7));

  ExpressionEntry expression{1, 6, "FREE", 9, {7, 8, 9}};
  record.assign(ExpressionEntry::kRecordBytes, 0xEE);
  encodeRecord(expression, record);
  EXPECT_EQ(std::vector<std::uint8_t>(record.begin(), record.begin() + 8),
            bytes({1, 4, 6, 'F', 'R', 'E', 'E', 0}));
  EXPECT_EQ(std::vector<std::uint8_t>(record.begin() + 54, record.end()), bytes({9, 7, 8, 9}));

  IpCountryRange range{0x0A000000u, 0x0AFFFFFFu, {'R', 'U'}};
  record.assign(IpCountryRange::kRecordBytes, 0);
  encodeRecord(range, record);
  EXPECT_EQ(record, bytes({0, 0, 0, 0x0A, 0xFF, 0xFF, 0xFF, 0x0A, 'R', 'U'}));

  DomainEntry domain{2, 0x33, "example.com"};
  record.assign(DomainEntry::kRecordBytes, 0xEE);
  encodeRecord(domain, record);
  EXPECT_EQ(std::vector<std::uint8_t>(record.begin(), record.begin() + 4),
            bytes({2, 11, 0x33, 'e'}));
  EXPECT_EQ(record[14], 0);
}

TEST(FilterLists, RoundTripKeepsTheEditorsBytes) {
  std::vector<std::uint8_t> zoneRecord(ZoneEntry::kRecordBytes);
  for (std::size_t i = 0; i < zoneRecord.size(); ++i)
    zoneRecord[i] = static_cast<std::uint8_t>(i + 100);
  std::vector<std::uint8_t> payload = bytes({1, 0, 0, 0});
  payload.insert(payload.end(), zoneRecord.begin(), zoneRecord.end());
  const std::vector<ZoneEntry> zones = decodeList<ZoneEntry>(payload);
  ASSERT_EQ(zones.size(), 1u);
  EXPECT_EQ(zones[0].colour, 100);
  EXPECT_EQ(zones[0].codeText(), "hi");  // bytes 104 and 105
  EXPECT_EQ(zones[0].weight, 147);
  EXPECT_EQ(encodeList<ZoneEntry>(zones), payload);

  // Text fields without a zero are cut to their field; a longer text is cut when written.
  std::vector<std::uint8_t> domainPayload = bytes({1, 0, 0, 0});
  domainPayload.resize(4 + DomainEntry::kRecordBytes, 'x');
  EXPECT_EQ(decodeList<DomainEntry>(domainPayload)[0].text, std::string(30, 'x'));
  AddressEntry longName{1, 0, std::string(30, 'n'), "a@b.cd"};
  EXPECT_EQ(decodeList<AddressEntry>(encodeList<AddressEntry>(std::vector{longName}))[0].name,
            std::string(20, 'n'));
}

TEST(FilterLists, CountsBeyondThePayloadAndAppending) {
  // The count claims three records; one is present, followed by torn bytes.
  std::vector<std::uint8_t> payload = bytes({3, 0, 0, 0});
  payload.resize(4 + IpCountryRange::kRecordBytes + 4, 0x41);
  EXPECT_EQ(decodeList<IpCountryRange>(payload).size(), 1u);
  EXPECT_TRUE(decodeList<IpCountryRange>(bytes({5, 0})).empty());

  appendListRecord(payload, IpCountryRange{1, 2, {'D', 'E'}});
  ASSERT_EQ(payload.size(), 4 + 2 * IpCountryRange::kRecordBytes);
  EXPECT_EQ(listCount(payload), 2u);
  EXPECT_EQ(payload[4], 0x41);  // the record present stays byte for byte
  EXPECT_EQ(decodeList<IpCountryRange>(payload)[1].codeText(), "DE");
}

TEST(FilterLists, LoadReplacesMissingAndDamagedFiles) {
  TestFolder folder;
  std::vector<std::uint8_t> payload{9};
  EXPECT_EQ(loadListPayload(folder.root(), "fzon.dat", payload), ListLoad::Replaced);
  EXPECT_EQ(payload, bytes({0, 0, 0, 0}));
  EXPECT_EQ(readListPayload(folder.root(), "fzon.dat"), payload);

  // A payload shorter than its count word is damaged.
  ASSERT_EQ(scrambledWrite(folder.root(), "fexpr.dat", "", bytes({1, 2})), 0);
  EXPECT_EQ(readListPayload(folder.root(), "fexpr.dat"), std::nullopt);
  EXPECT_EQ(loadListPayload(folder.root(), "fexpr.dat", payload), ListLoad::Replaced);
  EXPECT_EQ(readListPayload(folder.root(), "fexpr.dat"), bytes({0, 0, 0, 0}));

  const std::vector<std::uint8_t> stored = bytes({0, 0, 0, 0, 7});
  ASSERT_TRUE(saveListPayload(folder.root(), "fdomain.dat", stored));
  EXPECT_EQ(loadListPayload(folder.root(), "fdomain.dat", payload), ListLoad::Loaded);
  EXPECT_EQ(payload, stored);
  EXPECT_EQ(loadListPayload(folder.path("none"), "fdomain.dat", payload), ListLoad::ReplaceFailed);
}

}  // namespace
}  // namespace qg
