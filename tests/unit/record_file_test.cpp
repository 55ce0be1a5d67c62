#include "engine/record_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/scrambled_file.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::string_literals;

std::string goldenPath(const std::string& name) {
  return std::string(QG_TEST_DATA_DIR) + "/record/" + name;
}

// A store whose payload is written as given, bypassing the setters.
RecordFile storeWithPayload(const TestFolder& folder, const Bytes& payload) {
  EXPECT_EQ(scrambledWrite(folder.root(), "raw.log", "", payload), 0);
  RecordFile store;
  store.setDirectory(folder.root());
  store.setName("raw.log");
  EXPECT_TRUE(store.load());
  return store;
}

// The fields of tests/data/record/set.log, in the order make_golden.py stores them.
void fillGoldenSettings(RecordFile& store) {
  store.setText("/home/user/store", 2);
  store.setFlag(true, 7);
  store.setByte(0xC8, 10000);
  store.setShort(-1234, 5);
  store.setInt(-2000000000, 12);
  store.setInt64(0x123456789ABCDEF0, 3);
  store.setText("\xcf\xf0\xe8\xe2\xe5\xf2", 40);  // Windows-1251 "Привет"
}

TEST(RecordFile, SavesTheGoldenFileByteForByte) {
  TestFolder folder;
  RecordFile store;
  store.setDirectory(folder.root());
  store.setName("set.log");
  fillGoldenSettings(store);
  ASSERT_TRUE(store.save());
  EXPECT_EQ(fileBytes(folder.path("set.log")), fileBytes(goldenPath("set.log")));
}

TEST(RecordFile, LoadsTheGoldenFiles) {
  TestFolder folder;
  putFileBytes(folder.path("set.log"), fileBytes(goldenPath("set.log")));
  RecordFile store;
  store.setDirectory(folder.root());
  store.setName("set.log");
  ASSERT_TRUE(store.load());
  EXPECT_EQ(store.getText(2), "/home/user/store");
  EXPECT_TRUE(store.getFlag(7));
  EXPECT_EQ(store.getByte(10000), 0xC8);
  EXPECT_EQ(store.getShort(5), -1234);
  EXPECT_EQ(store.getInt(12), -2000000000);
  EXPECT_EQ(store.getInt64(3), 0x123456789ABCDEF0);
  EXPECT_EQ(store.getText(40), "\xcf\xf0\xe8\xe2\xe5\xf2");
  const std::vector<StoredField> fields = store.fields();
  std::vector<std::uint32_t> numbers;
  for (const StoredField& field : fields) numbers.push_back(field.number);
  EXPECT_EQ(numbers, (std::vector<std::uint32_t>{2, 7, 10000, 5, 12, 3, 40}));
  EXPECT_EQ(fields[3].type, FieldType::Short);
  EXPECT_EQ(fields[3].value, -1234);

  // Name and extra key with bytes above 127 (Windows-1251 "Проба.log", "ключ-9").
  const std::string highName = "\xcf\xf0\xee\xe1\xe0.log";
  putFileBytes(folder.path(highName), fileBytes(goldenPath("high_name.bin")));
  RecordFile high;
  high.setDirectory(folder.root());
  high.setName(highName);
  EXPECT_FALSE(high.load());  // without its extra key
  high.setExtraKey("\xea\xeb\xfe\xf7-9");
  ASSERT_TRUE(high.load());
  EXPECT_EQ(high.getInt(1), static_cast<std::int32_t>(0xDEADBEEF));
  EXPECT_EQ(high.getText(0), "\xff\x80 ");
  ASSERT_TRUE(high.save());
  EXPECT_EQ(fileBytes(folder.path(highName)), fileBytes(goldenPath("high_name.bin")));
}

TEST(RecordFile, FailedLoadLeavesTheStoreEmpty) {
  TestFolder folder;
  RecordFile store;
  store.setDirectory(folder.root());
  store.setName("box.log");
  fillGoldenSettings(store);
  ASSERT_TRUE(store.save());
  Bytes damaged = fileBytes(folder.path("box.log"));
  damaged[damaged.size() - 6] ^= 0x40;
  putFileBytes(folder.path("box.log"), damaged);

  EXPECT_FALSE(store.load());
  EXPECT_EQ(store.payload(), Bytes(4, 0));
  EXPECT_EQ(store.getText(2), "");

  fillGoldenSettings(store);
  store.setName("missing.log");
  EXPECT_FALSE(store.load());
  EXPECT_TRUE(store.fields().empty());
}

TEST(RecordFile, SetOnAFieldOfAnotherTypeChangesNothing) {
  RecordFile store;
  fillGoldenSettings(store);
  const Bytes before = store.payload();
  EXPECT_EQ(store.setText("x", 12), -1);  // 12 is a 32-bit field
  EXPECT_EQ(store.setInt(1, 2), -1);      // 2 is a text
  EXPECT_EQ(store.setFlag(false, 5), -1);
  EXPECT_EQ(store.setInt64(1, 10000), -1);
  EXPECT_EQ(store.payload(), before);
  EXPECT_EQ(store.getText(12), "");  // and reading it as a text finds nothing
  EXPECT_EQ(store.getInt(2), 0);
}

TEST(RecordFile, ResizingATextKeepsTheLaterRecords) {
  TestFolder folder;
  RecordFile store;
  store.setDirectory(folder.root());
  store.setName("box.log");
  EXPECT_EQ(store.setText("abc", 1), 1);
  EXPECT_EQ(store.setInt(77, 2), 2);
  EXPECT_EQ(store.setText("later", 3), 3);
  EXPECT_EQ(store.setInt64(-5, 4), 4);
  for (const std::string& text : {std::string(300, 'w'), "x"s, ""s, std::string(70, 'y')}) {
    EXPECT_EQ(store.setText(text, 1), 1);
    ASSERT_TRUE(store.save());
    ASSERT_TRUE(store.load());
    EXPECT_EQ(store.getText(1), text);
    EXPECT_EQ(store.getInt(2), 77);
    EXPECT_EQ(store.getText(3), "later");
    EXPECT_EQ(store.getInt64(4), -5);
    EXPECT_EQ(store.fields().size(), 4u);
  }
  // Replacing a value in place keeps the order of first setting.
  store.setInt(78, 2);
  std::vector<std::uint32_t> numbers;
  for (const StoredField& field : store.fields()) numbers.push_back(field.number);
  EXPECT_EQ(numbers, (std::vector<std::uint32_t>{1, 2, 3, 4}));
  EXPECT_EQ(store.getInt(2), 78);
}

TEST(RecordFile, TextStopsAtItsFirstZeroByte) {
  RecordFile store;
  store.setText("ab\0cd"s, 1);
  store.setInt(9, 2);
  EXPECT_EQ(store.getText(1), "ab");
  EXPECT_EQ(store.getInt(2), 9);
}

TEST(RecordFile, AddTakesTheLowestFreeNumber) {
  RecordFile store;
  store.setInt(0, 0);
  store.setInt(0, 1);
  store.setInt(0, 3);
  store.setInt(0, 0x7FFFFFF0);
  EXPECT_EQ(store.addText("two"), 2);
  EXPECT_EQ(store.addFlag(true), 4);
  EXPECT_EQ(store.addByte(1), 5);
  EXPECT_EQ(store.addShort(1), 6);
  EXPECT_EQ(store.addInt(1), 7);
  EXPECT_EQ(store.addInt64(1), 8);
  EXPECT_EQ(store.getText(2), "two");
  EXPECT_TRUE(store.getFlag(4));
}

TEST(RecordFile, DamagedRecordsReadAsMissing) {
  TestFolder folder;
  struct Case {
    const char* what;
    Bytes payload;
    std::vector<std::uint32_t> readable;
  };
  const std::vector<Case> cases = {
      {"type byte 7", {1, 0, 0, 0, 1, 0, 0, 0, 7, 42, 0, 0, 0}, {}},
      {"type 7 after a good record", {2, 0, 0, 0, 1, 0, 0, 0, 3, 9, 2, 0, 0, 0, 7, 1}, {1}},
      {"text without its zero", {1, 0, 0, 0, 1, 0, 0, 0, 1, 'a', 'b'}, {}},
      {"int cut short", {2, 0, 0, 0, 1, 0, 0, 0, 2, 1, 2, 0, 0, 0, 5, 1, 2, 3}, {1}},
      {"count far too large", {0xFF, 0xFF, 0xFF, 0xFF, 4, 0, 0, 0, 4, 1, 0}, {4}},
      {"count too small", {1, 0, 0, 0, 1, 0, 0, 0, 3, 9, 2, 0, 0, 0, 3, 8}, {1}},
      {"head cut short", {1, 0, 0, 0, 1, 0}, {}},
      {"payload shorter than a count", {1, 0}, {}},
  };
  for (const Case& c : cases) {
    RecordFile store = storeWithPayload(folder, c.payload);
    std::vector<std::uint32_t> readable;
    for (const StoredField& field : store.fields()) readable.push_back(field.number);
    EXPECT_EQ(readable, c.readable) << c.what;
    EXPECT_EQ(store.getInt(2), 0) << c.what;

    // A new field stays readable: the unreadable tail is dropped first.
    EXPECT_EQ(store.setInt(123, 99), 99) << c.what;
    EXPECT_EQ(store.getInt(99), 123) << c.what;
    EXPECT_EQ(store.fields().size(), c.readable.size() + 1) << c.what;
  }
}

TEST(RecordFile, FlagByteOtherThanOneReadsAsSet) {
  TestFolder folder;
  RecordFile store = storeWithPayload(folder, {1, 0, 0, 0, 6, 0, 0, 0, 2, 5});
  EXPECT_TRUE(store.getFlag(6));
  EXPECT_EQ(store.fields().at(0).value, 1);
}

TEST(RecordFile, RemoveAndClear) {
  TestFolder folder;
  RecordFile store;
  store.setDirectory(folder.root());
  store.setName("f_0001.log");
  fillGoldenSettings(store);
  ASSERT_TRUE(store.save());
  store.clear();
  EXPECT_EQ(store.payload(), Bytes(4, 0));
  EXPECT_TRUE(store.remove());
  EXPECT_FALSE(store.remove());
  EXPECT_FALSE(store.load());
}

}  // namespace
}  // namespace qg
