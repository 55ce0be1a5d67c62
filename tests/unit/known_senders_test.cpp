#include "engine/known_senders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/scrambled_file.h"
#include "test_folder.h"

namespace qg {
namespace {

namespace fs = std::filesystem;

const std::vector<std::uint8_t> kEmptyList{0, 0, 0, 0};

// A list of one 80-byte entry.
std::vector<std::uint8_t> oneEntryList() {
  std::vector<std::uint8_t> payload(4 + 80, 0);
  payload[0] = 1;
  const std::string address = "friend@example.org";
  std::copy(address.begin(), address.end(), payload.begin() + 8);
  return payload;
}

std::vector<std::uint8_t> storedPayload(const std::string& folder) {
  std::vector<std::uint8_t> payload;
  if (scrambledRead(folder, "femail.dat", "", payload) < 0) payload.assign({0xEE});
  return payload;
}

TEST(KnownSenders, ValidFileGivesItsPayload) {
  TestFolder folder;
  ASSERT_EQ(scrambledWrite(folder.root(), "femail.dat", "", oneEntryList()), 0);
  std::vector<std::uint8_t> senders{9, 9};
  EXPECT_EQ(loadKnownSenders(folder.root(), senders), KnownSendersLoad::Loaded);
  EXPECT_EQ(senders, oneEntryList());
}

TEST(KnownSenders, MissingOrDamagedFileIsReplacedByAnEmptyList) {
  struct Case {
    const char* name;
    void (*damage)(const std::string& path);
  };
  const Case cases[] = {
      {"missing", [](const std::string& path) { fs::remove(path); }},
      {"cut short",
       [](const std::string& path) { fs::resize_file(path, fs::file_size(path) - 1); }},
      {"last byte changed",
       [](const std::string& path) {
         std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
         file.seekg(-1, std::ios::end);
         const char last = static_cast<char>(file.get());
         file.seekp(-1, std::ios::end);
         file.put(static_cast<char>(last ^ 0x5A));
       }},
      {"empty file", [](const std::string& path) { fs::resize_file(path, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestFolder folder;
    ASSERT_EQ(scrambledWrite(folder.root(), "femail.dat", "", oneEntryList()), 0);
    c.damage(folder.path("femail.dat"));
    std::vector<std::uint8_t> senders;
    EXPECT_EQ(loadKnownSenders(folder.root(), senders), KnownSendersLoad::Replaced);
    EXPECT_EQ(senders, kEmptyList);
    EXPECT_EQ(storedPayload(folder.root()), kEmptyList);
  }
}

TEST(KnownSenders, PayloadWithoutCountWordIsReplaced) {
  TestFolder folder;
  ASSERT_EQ(scrambledWrite(folder.root(), "femail.dat", "", std::vector<std::uint8_t>{1, 0}), 0);
  std::vector<std::uint8_t> senders;
  EXPECT_EQ(loadKnownSenders(folder.root(), senders), KnownSendersLoad::Replaced);
  EXPECT_EQ(storedPayload(folder.root()), kEmptyList);
}

TEST(KnownSenders, UnwritableFolderStillGivesAnEmptyList) {
  TestFolder folder;
  std::vector<std::uint8_t> senders;
  EXPECT_EQ(loadKnownSenders(folder.path("no/such/folder"), senders),
            KnownSendersLoad::ReplaceFailed);
  EXPECT_EQ(senders, kEmptyList);
}

}  // namespace
}  // namespace qg
