#include "engine/scrambled_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/notice.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes countingPayload(std::size_t size) {
  Bytes payload(size);
  for (std::size_t i = 0; i < size; ++i) payload[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  return payload;
}

// Windows-1251 "Проба.log" and "ключ-9": name and key bytes above 127.
const std::string kHighName = "\xcf\xf0\xee\xe1\xe0.log";
const std::string kHighKey = "\xea\xeb\xfe\xf7-9";

TEST(ScrambledFile, PayloadReadsBackUnderTheSameNameAndKey) {
  TestFolder folder;
  const std::vector<std::string> names = {"set.log", "f_0001.log", kHighName, "x"};
  const std::vector<std::string> keys = {"", "secret", kHighKey};
  const std::vector<std::size_t> sizes = {0, 1, 255, 256, 1000};
  for (const std::string& name : names) {
    for (const std::string& key : keys) {
      for (const std::size_t size : sizes) {
        const Bytes payload = countingPayload(size);
        ASSERT_EQ(scrambledWrite(folder.root(), name, key, payload), 0);
        EXPECT_EQ(scrambledProbe(folder.root(), name, key), static_cast<std::int64_t>(size));
        Bytes got;
        EXPECT_EQ(scrambledRead(folder.root(), name, key, got), static_cast<std::int64_t>(size))
            << name << " key " << key << " size " << size;
        EXPECT_EQ(got, payload);
      }
    }
  }
}

// Bytes computed by tests/data/record/make_golden.py, an independent script.
TEST(ScrambledFile, WritesTheGoldenFilesByteForByte) {
  TestFolder folder;
  const Bytes golden = fileBytes(std::string(QG_TEST_DATA_DIR) + "/record/set.log");
  ASSERT_FALSE(golden.empty());
  putFileBytes(folder.path("set.log"), golden);
  Bytes payload;
  ASSERT_GT(scrambledRead(folder.root(), "set.log", "", payload), 0);
  ASSERT_EQ(scrambledWrite(folder.root(), "set.log", "", payload), 0);
  EXPECT_EQ(fileBytes(folder.path("set.log")), golden);

  const Bytes highPayload = {2,    0,    0, 0, 1, 0, 0, 0,    5,    0xEF, 0xBE,
                             0xAD, 0xDE, 0, 0, 0, 0, 1, 0xFF, 0x80, ' ',  0};
  ASSERT_EQ(scrambledWrite(folder.root(), kHighName, kHighKey, highPayload), 0);
  EXPECT_EQ(fileBytes(folder.path(kHighName)),
            fileBytes(std::string(QG_TEST_DATA_DIR) + "/record/high_name.bin"));
}

TEST(ScrambledFile, CopyUnderAnotherNameOrWithAnotherKeyFailsTheRead) {
  TestFolder folder;
  const Bytes payload = countingPayload(40);
  ASSERT_EQ(scrambledWrite(folder.root(), "box.log", "key", payload), 0);
  putFileBytes(folder.path("bax.log"), fileBytes(folder.path("box.log")));

  // The size check alone cannot tell: the name's sum cancels out of n + off
  // (the copy even probes with a length of its own).
  EXPECT_GE(scrambledProbe(folder.root(), "bax.log", "key"), 0);
  Bytes got = {1, 2, 3};
  EXPECT_EQ(scrambledRead(folder.root(), "bax.log", "key", got), -1);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(scrambledRead(folder.root(), "box.log", "kez", got), -1);
  EXPECT_EQ(scrambledRead(folder.root(), "box.log", "", got), -1);
  EXPECT_EQ(scrambledRead(folder.root(), "box.log", "key", got), 40);
}

TEST(ScrambledFile, EmptyExtraKeyStandsForTheDefaultKeyBytes) {
  TestFolder folder;
  const Bytes payload = countingPayload(300);
  const std::vector<std::string> sameAsEmpty = {"\x01\x32", std::string(256, 'k'),
                                                std::string("\0abc", 4)};
  ASSERT_EQ(scrambledWrite(folder.root(), "set.log", "", payload), 0);
  const Bytes empty = fileBytes(folder.path("set.log"));
  for (const std::string& key : sameAsEmpty) {
    ASSERT_EQ(scrambledWrite(folder.root(), "set.log", key, payload), 0);
    EXPECT_EQ(fileBytes(folder.path("set.log")), empty) << key.size();
  }
  // A key counts up to its zero byte.
  ASSERT_EQ(scrambledWrite(folder.root(), "set.log", std::string("ab\0cd", 5), payload), 0);
  const Bytes cut = fileBytes(folder.path("set.log"));
  ASSERT_EQ(scrambledWrite(folder.root(), "set.log", "ab", payload), 0);
  EXPECT_EQ(fileBytes(folder.path("set.log")), cut);
  EXPECT_NE(cut, empty);
}

TEST(ScrambledFile, DamagedOrMissingFilesFailQuietly) {
  TestFolder folder;
  ASSERT_EQ(scrambledWrite(folder.root(), "set.log", "", countingPayload(20)), 0);
  const Bytes good = fileBytes(folder.path("set.log"));

  Bytes longer = good;
  longer.push_back(0);
  Bytes shorter(good.begin(), good.end() - 1);
  Bytes flippedPayload = good;
  flippedPayload[good.size() - 10] ^= 0x01;
  // n grows by 2^31 and off shrinks by 2^31: the sum modulo 2^32 still
  // matches the size, but the payload length is far beyond the file.
  Bytes hugeLength = good;
  hugeLength[3] ^= 0x80;
  hugeLength[7] ^= 0x80;
  struct Case {
    const char* what;
    Bytes bytes;
    bool probes;
  };
  const std::vector<Case> cases = {
      {"one byte longer", longer, false},
      {"one byte shorter", shorter, false},
      {"payload bit", flippedPayload, true},
      {"wrapping length", hugeLength, false},
      {"empty file", {}, false},
      {"header only", Bytes(good.begin(), good.begin() + 8), false},
  };
  for (const Case& c : cases) {
    putFileBytes(folder.path("set.log"), c.bytes);
    EXPECT_EQ(scrambledProbe(folder.root(), "set.log", "") >= 0, c.probes) << c.what;
    Bytes got;
    EXPECT_EQ(scrambledRead(folder.root(), "set.log", "", got), -1) << c.what;
    EXPECT_TRUE(got.empty()) << c.what;
  }
  Bytes got;
  EXPECT_EQ(scrambledProbe(folder.root(), "missing.log", ""), -1);
  EXPECT_EQ(scrambledRead(folder.root(), "missing.log", "", got), -1);
  EXPECT_EQ(scrambledRead(folder.root(), "", "", got), -1);
  EXPECT_EQ(scrambledWrite(folder.root(), "", "", countingPayload(3)), -1);
  EXPECT_EQ(scrambledWrite(folder.root(), "a/b", "", countingPayload(3)), -1);
}

// Notices shown during one test, captured by the hook below.
std::vector<std::string>& shownNotices() {
  static std::vector<std::string> notices;
  return notices;
}

class ScrambledPatch : public ::testing::Test {
 protected:
  void SetUp() override {
    shownNotices().clear();
    previous_ = platform::setNoticeHook([](std::string_view caption, std::string_view text) {
      shownNotices().push_back(std::string(caption) + ":" + std::string(text));
    });
    ASSERT_EQ(scrambledWrite(folder_.root(), "fexpr.dat", "list", bytesOf("abcd")), 0);
  }
  void TearDown() override { platform::setNoticeHook(previous_); }

  Bytes readBack(std::string_view key = "list") {
    Bytes got;
    EXPECT_GE(scrambledRead(folder_.root(), "fexpr.dat", key, got), 0);
    return got;
  }

  TestFolder folder_;
  platform::NoticeHook previous_ = nullptr;
};

TEST_F(ScrambledPatch, ReplacesAndAppendsKeepingTheChecksum) {
  struct Case {
    std::uint32_t position;
    std::string bytes;
    std::string want;
  };
  const std::vector<Case> cases = {
      {1, "XY", "aXYd"},     {0, "WXYZ", "WXYZ"}, {4, "efgh", "abcdefgh"},
      {2, "CDEF", "abCDEF"}, {4, "", "abcd"},     {3, "\xff\x80", "abc\xff\x80"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(scrambledWrite(folder_.root(), "fexpr.dat", "list", bytesOf("abcd")), 0);
    EXPECT_EQ(scrambledPatch(folder_.root(), "fexpr.dat", "list", c.position, bytesOf(c.bytes)), 0);
    EXPECT_EQ(scrambledProbe(folder_.root(), "fexpr.dat", "list"),
              static_cast<std::int64_t>(c.want.size()));
    EXPECT_EQ(readBack(), bytesOf(c.want)) << c.position << " " << c.bytes;
  }
  EXPECT_TRUE(shownNotices().empty());

  // The dispatcher's form: count 4 at position 0 rewrites a count word.
  Bytes word = {9, 0, 0, 0};
  EXPECT_EQ(scrambledFile(4 * 16 + 5, folder_.root(), "fexpr.dat", "list", word, 0), 0);
  EXPECT_EQ(readBack(), Bytes({9, 0, 0, 0, 0x80}));
}

TEST_F(ScrambledPatch, RefusesWithTheErrorNotice) {
  const Bytes original = fileBytes(folder_.path("fexpr.dat"));
  putFileBytes(folder_.path("copy.dat"), original);
  Bytes longer = original;
  longer.push_back(0);
  std::filesystem::create_directory(folder_.path("longer"));
  putFileBytes(folder_.path("longer/fexpr.dat"), longer);
  struct Case {
    std::string name;
    std::string key;
    std::uint32_t position;
    std::string want;
  };
  const std::vector<Case> cases = {
      {"missing.dat", "list", 0, "Error:1"},
      {"copy.dat", "list", 0, "Error:2"},
      {"fexpr.dat", "list", 5, "Error:3"},  // one beyond the end
      {"longer/fexpr.dat", "list", 0, "Error:3"},
      {"fexpr.dat", "other", 0, "Error:4"},
      {"fexpr.dat", "", 0, "Error:4"},
  };
  for (const Case& c : cases) {
    shownNotices().clear();
    const std::size_t slash = c.name.find('/');
    const std::string directory =
        slash == std::string::npos ? folder_.root() : folder_.path(c.name.substr(0, slash));
    const std::string name = slash == std::string::npos ? c.name : c.name.substr(slash + 1);
    EXPECT_EQ(scrambledPatch(directory, name, c.key, c.position, bytesOf("zz")), -1);
    EXPECT_EQ(shownNotices(), std::vector<std::string>{c.want}) << c.name << " " << c.position;
  }
  EXPECT_EQ(fileBytes(folder_.path("fexpr.dat")), original);
  EXPECT_EQ(fileBytes(folder_.path("longer/fexpr.dat")), longer);
}

TEST(ScrambledFileEntry, DispatchesAndChecksTheBuffer) {
  TestFolder folder;
  Bytes payload = countingPayload(10);
  EXPECT_EQ(scrambledFile(4, folder.root(), "a.dat", "", payload, 11), -1);
  EXPECT_EQ(scrambledFile(4, folder.root(), "a.dat", "", payload, 10), 0);
  EXPECT_EQ(scrambledFile(2, folder.root(), "a.dat", "", {}, 0), 10);
  Bytes small(9);
  EXPECT_EQ(scrambledFile(3, folder.root(), "a.dat", "", small, 0), -1);
  Bytes exact(10);
  EXPECT_EQ(scrambledFile(3, folder.root(), "a.dat", "", exact, 0), 10);
  EXPECT_EQ(exact, payload);
  EXPECT_EQ(scrambledFile(80 * 16 + 5, folder.root(), "a.dat", "", exact, 0), -1);  // 80 > 10
  EXPECT_EQ(scrambledFile(7, folder.root(), "a.dat", "", exact, 0), -1);
}

}  // namespace
}  // namespace qg
