#include "classify/quarantine_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/mail_store.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

std::string text(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

QuarantineRecord record(std::uint32_t key, std::uint8_t flags) {
  QuarantineRecord r;
  r.key = key;
  r.verdict = 0x00014048;
  r.size = 0x1234;
  r.stamp = 0x0102030405060708;
  r.flags = flags;
  r.from = "Ann <a@b.cc>";
  r.to = "me@x.yy";
  r.subject = "Hi";
  r.path = "/h/BOX_0003/TMP/00000007.hdz";
  return r;
}

TEST(QuarantineList, RecordBytes) {
  const QuarantineRecord r = record(0x00030007, kQuarantineHeaderOnly);
  const std::string want = std::string("\x07\x00\x03\x00\x48\x40\x01\x00\x34\x12\x00\x00", 12) +
                           std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8) +
                           std::string(8, '\0') + "\x90" + "Ann <a@b.cc>" + '\0' + "me@x.yy" +
                           '\0' + "Hi" + '\0' + "/h/BOX_0003/TMP/00000007.hdz" + '\0';
  const std::vector<std::uint8_t> bytes = encodeQuarantineRecord(r);
  EXPECT_EQ(text(bytes), want);

  std::size_t used = 0;
  const std::optional<QuarantineRecord> back = decodeQuarantineRecord(bytes, used);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, r);
  EXPECT_EQ(used, bytes.size());
  // Cut inside the last text: no record.
  EXPECT_FALSE(decodeQuarantineRecord(std::span(bytes).first(bytes.size() - 1), used));

  QuarantineRecord longer = r;
  longer.subject = std::string(400, 's');
  std::size_t longUsed = 0;
  EXPECT_EQ(decodeQuarantineRecord(encodeQuarantineRecord(longer), longUsed)->subject,
            std::string(kQuarantineTextLimit, 's'));
}

struct ZapHome {
  TestFolder folder;
  std::string zap = folder.path("zap.inf");

  // Creates the quarantined staging file of key.
  void stage(std::uint32_t key) {
    const std::string path = quarantinedPath(folder.root(), key);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    writeFile(path, "x");
  }
  void write(const std::vector<QuarantineRecord>& records, std::string_view tail = {}) {
    std::string bytes;
    for (const QuarantineRecord& r : records) bytes += text(encodeQuarantineRecord(r));
    writeFile(zap, bytes + std::string(tail));
  }
};

TEST(QuarantineList, ReleasePassHandsOnMarkedRecordsAndKeepsTheRest) {
  ZapHome home;
  const QuarantineRecord released = record(0x00010001, kQuarantineRelease);
  const QuarantineRecord waiting = record(0x00010002, 0);
  const QuarantineRecord refused = record(0x00010003, kQuarantineRelease | kQuarantineHeaderOnly);
  const QuarantineRecord gone = record(0x00010004, 0);
  const QuarantineRecord goneMarked = record(0x00010005, kQuarantineRelease);
  for (const auto key : {0x00010001u, 0x00010002u, 0x00010003u}) home.stage(key);
  home.write({released, waiting, refused, gone, goneMarked}, "\x01\x02torn");

  std::vector<std::pair<std::uint32_t, std::string>> calls;
  const int count = releaseQuarantined(home.folder.root(), home.folder.root(),
                                       [&](const QuarantineRecord& r, const std::string& path) {
                                         calls.emplace_back(r.verdict, path);
                                         return r.key == released.key ? ReleaseOutcome::Released
                                                                      : ReleaseOutcome::Kept;
                                       });
  EXPECT_EQ(count, 1);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].first, 0x00014008u);  // the quarantine bit cleared
  EXPECT_EQ(calls[0].second, home.folder.root() + "/BOX_0001/TMP/00000001.hdz");
  EXPECT_EQ(calls[1].second, home.folder.root() + "/BOX_0001/TMP/00000003.hdz");
  // Records of files that are gone are dropped; a refused one stays as it was.
  EXPECT_EQ(readFile(home.zap), text(encodeQuarantineRecord(waiting)) +
                                    text(encodeQuarantineRecord(refused)) + "\x01\x02torn");
}

TEST(QuarantineList, NothingChangesWithoutAReleaseMark) {
  ZapHome home;
  home.write({record(0x00010001, 0), record(0x00010009, kQuarantineHeaderOnly)});
  const std::string before = readFile(home.zap);
  int calls = 0;
  EXPECT_EQ(releaseQuarantined(home.folder.root(), home.folder.root(),
                               [&](const QuarantineRecord&, const std::string&) {
                                 ++calls;
                                 return ReleaseOutcome::Released;
                               }),
            0);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(readFile(home.zap), before);  // even records whose files are gone
}

}  // namespace
}  // namespace qg
