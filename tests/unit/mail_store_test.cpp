#include "engine/mail_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "engine/filter_profile.h"
#include "test_folder.h"

namespace qg {
namespace {

namespace fs = std::filesystem;

// An empty file (plain POSIX calls: the full-IN case makes thousands).
void touch(const std::string& path) {
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  ::close(fd);
}

// A store with the profile "Standart 1" and helpers to write boxes into it.
class MailStore : public ::testing::Test {
 protected:
  void SetUp() override {
    RecordFile profile;
    profile.setDirectory(store());
    profile.setName("f_0001.log");
    profile.setText("Standart 1", profile_field::kName);
    ASSERT_TRUE(profile.save());
  }

  const std::string& store() const { return folder_.root(); }

  // Writes box n with every field a valid box needs, after edit has changed them.
  void writeBox(int n, const std::function<void(RecordFile&)>& edit = {}) {
    const std::string dir = boxDirectory(store(), n);
    for (const char* sub : {"/IN", "/OUT", "/TMP"}) fs::create_directories(dir + sub);
    RecordFile box;
    box.setDirectory(dir);
    box.setName("box.log");
    box.setText("pop.example.com", box_field::kPop3Host);
    box.setText("secret", box_field::kPassword);
    box.setText("Standart 1", box_field::kProfile);
    box.setFlag(true, box_field::kEnabled);
    box.setText("user" + std::to_string(n) + "@example.com", box_field::kAddress);
    if (edit) edit(box);
    ASSERT_TRUE(box.save());
  }

  BoxCheck check(int n) {
    RecordFile box;
    return checkBox(store(), n, box);
  }

  TestFolder folder_;
};

TEST_F(MailStore, Paths) {
  EXPECT_EQ(boxDirectory("/s", 7), "/s/BOX_0007");
  EXPECT_EQ(boxDirectory("/s", 9999), "/s/BOX_9999");
  EXPECT_EQ(messagePath("/s/BOX_0007", 12), "/s/BOX_0007/IN/00000012.msg");
  EXPECT_EQ(slotFilePath("/b", 8191, SlotState::Finished), "/b/TMP/00008191.hd~");
  EXPECT_EQ(boxNumberFromName("BOX_0042"), 42);
  for (const char* name : {"BOX_0000", "BOX_42", "BOX_00042", "box_0042", "BOX_00a2"}) {
    EXPECT_EQ(boxNumberFromName(name), -1) << name;
  }
}

TEST_F(MailStore, SlotFileNames) {
  const auto hdz = parseSlotFileName("00008191.hdz");
  ASSERT_TRUE(hdz);
  EXPECT_EQ(hdz->number, 8191);
  EXPECT_EQ(hdz->state, SlotState::Quarantined);
  EXPECT_EQ(parseSlotFileName("00000000.hd~")->state, SlotState::Finished);
  for (const char* name : {"00008192.hd", "0000001.hd", "000000001.hd", "00000001.hdx",
                           "00000001.hd.tmp", "0000000a.hd", "tmphead.tmp", "00000001"}) {
    EXPECT_FALSE(parseSlotFileName(name)) << name;
  }
}

TEST_F(MailStore, SlotLookupFollowsStateOrder) {
  writeBox(1);
  const std::string box = boxDirectory(store(), 1);
  EXPECT_EQ(slotPath(box, 3), box + "/TMP/tmp.tmp");
  touch(slotFilePath(box, 3, SlotState::Finished));
  touch(slotFilePath(box, 3, SlotState::Quarantined));
  EXPECT_EQ(slotPath(box, 3), box + "/TMP/00000003.hdz");
  EXPECT_EQ(findSlot(box, 3), SlotState::Quarantined);
  touch(slotFilePath(box, 3, SlotState::New));
  EXPECT_EQ(slotPath(box, 3), box + "/TMP/00000003.hd");
  EXPECT_EQ(slotPath(box, 4), box + "/TMP/tmp.tmp");
  EXPECT_EQ(slotPath(box, -1), box + "/TMP/tmp.tmp");
  EXPECT_EQ(slotPath(box, kSlotCount), box + "/TMP/tmp.tmp");
}

TEST_F(MailStore, NextMessageNumberTakesLowestGap) {
  writeBox(1);
  const std::string box = boxDirectory(store(), 1);
  EXPECT_EQ(nextMessageNumber(box), 0);
  for (int n = 0; n <= 4; ++n) touch(messagePath(box, n));
  // Names that are not delivered messages do not take a number.
  touch(box + "/IN/0000005.msg");
  touch(box + "/IN/00000005.tmp");
  EXPECT_EQ(nextMessageNumber(box), 5);
  fs::remove(messagePath(box, 2));
  EXPECT_EQ(nextMessageNumber(box), 2);
  EXPECT_EQ(nextMessageNumber(boxDirectory(store(), 2)), -1);  // no IN folder
}

TEST_F(MailStore, NextMessageNumberNeverReplacesWhenFull) {
  writeBox(1);
  const std::string box = boxDirectory(store(), 1);
  for (int n = 0; n <= kMaxInNumber; ++n) touch(messagePath(box, n));
  EXPECT_EQ(nextMessageNumber(box), -1);
  fs::remove(messagePath(box, kMaxInNumber));
  EXPECT_EQ(nextMessageNumber(box), kMaxInNumber);
}

TEST_F(MailStore, ValidityRules) {
  const struct {
    const char* name;
    std::function<void(RecordFile&)> edit;
    BoxCheck want;
  } cases[] = {
      {"complete", {}, BoxCheck::Valid},
      {"password of 3", [](RecordFile& r) { r.setText("abc", box_field::kPassword); },
       BoxCheck::Valid},
      {"password of 2", [](RecordFile& r) { r.setText("ab", box_field::kPassword); },
       BoxCheck::ShortPassword},
      {"no field 11",
       [](RecordFile& r) {
         r.clear();
         r.setText("secret", box_field::kPassword);
         r.setText("Standart 1", box_field::kProfile);
         r.setText("ab@example.com", box_field::kAddress);
       },
       BoxCheck::Disabled},
      {"field 11 off", [](RecordFile& r) { r.setFlag(false, box_field::kEnabled); },
       BoxCheck::Disabled},
      {"one-character local part",
       [](RecordFile& r) { r.setText("a@example.com", box_field::kAddress); },
       BoxCheck::BadAddress},
      {"address with blanks around",
       [](RecordFile& r) { r.setText("  ab@example.com ", box_field::kAddress); }, BoxCheck::Valid},
      {"further addresses",
       [](RecordFile& r) { r.setText("cd@example.org; ef@localhost;", box_field::kMoreAddresses); },
       BoxCheck::Valid},
      {"bad further address",
       [](RecordFile& r) { r.setText("cd@example.org;x@example.org", box_field::kMoreAddresses); },
       BoxCheck::BadMoreAddresses},
      {"profile in other case", [](RecordFile& r) { r.setText("STANDART 1", box_field::kProfile); },
       BoxCheck::Valid},
      {"profile not found", [](RecordFile& r) { r.setText("Standart 2", box_field::kProfile); },
       BoxCheck::ProfileNotFound},
      {"profile prefix only", [](RecordFile& r) { r.setText("Standart", box_field::kProfile); },
       BoxCheck::ProfileNotFound},
      {"no profile", [](RecordFile& r) { r.setText("", box_field::kProfile); },
       BoxCheck::ProfileNotFound},
  };
  for (const auto& c : cases) {
    writeBox(1, c.edit);
    EXPECT_EQ(check(1), c.want) << c.name;
  }
  EXPECT_EQ(check(2), BoxCheck::NotLoaded);
  std::ofstream(boxDirectory(store(), 1) + "/box.log", std::ios::binary) << "damaged";
  EXPECT_EQ(check(1), BoxCheck::NotLoaded);
}

TEST_F(MailStore, ValidityWithLoadedRecordAndNewProfile) {
  writeBox(1, [](RecordFile& r) { r.setText("Mine", box_field::kProfile); });
  RecordFile box;
  ASSERT_TRUE(loadBox(store(), 1, box));
  EXPECT_FALSE(isValidBox(store(), -1, box));
  RecordFile profile;
  profile.setDirectory(store());
  profile.setName("f_0007.log");
  profile.setText("Mine", profile_field::kName);
  ASSERT_TRUE(profile.save());
  EXPECT_TRUE(isValidBox(store(), -1, box));
}

TEST_F(MailStore, ScanVisitsValidBoxesInOrder) {
  writeBox(10);
  writeBox(2, [](RecordFile& r) { r.setText("ab", box_field::kPassword); });
  writeBox(1);
  fs::create_directories(store() + "/BOX_12");
  touch(store() + "/BOX_0003");
  EXPECT_EQ(scanBoxes(store()), (std::vector<int>{1, 10}));

  int seen = 0;
  EXPECT_EQ(scanBoxes(store(),
                      [&](int n, RecordFile& record) {
                        seen = n;
                        EXPECT_EQ(record.getText(box_field::kAddress), "user1@example.com");
                        return false;
                      }),
            1u);
  EXPECT_EQ(seen, 1);
}

TEST_F(MailStore, ScanStopsAtTableSize) {
  writeBox(37);
  // Copies of one box.log (tied to its name, not its folder) make the boxes.
  const std::string first = boxDirectory(store(), 37) + "/box.log";
  for (int n = 2; n <= static_cast<int>(kMaxScannedBoxes) + 3; ++n) {
    const std::string dir = boxDirectory(store(), n * 37);
    fs::create_directories(dir);
    fs::copy_file(first, dir + "/box.log");
  }
  const std::vector<int> got = scanBoxes(store());
  ASSERT_EQ(got.size(), kMaxScannedBoxes);
  EXPECT_EQ(got.front(), 37);
  EXPECT_EQ(got.back(), static_cast<int>(kMaxScannedBoxes) * 37);
}

TEST_F(MailStore, RemovalRefusedWhileMailWaits) {
  const struct {
    const char* file;
    BoxRemoval want;
  } cases[] = {
      {"IN/00000000.msg", BoxRemoval::HoldsMail},  {"IN/00000001.hdr", BoxRemoval::HoldsMail},
      {"OUT/00000000.msg", BoxRemoval::HoldsMail}, {"TMP/00000002.hd~", BoxRemoval::HoldsMail},
      {"TMP/00000002.hd", BoxRemoval::HoldsMail},  {"TMP/00000000.msg", BoxRemoval::Removed},
      {"TMP/tmpmail.tmp", BoxRemoval::Removed},
  };
  for (const auto& c : cases) {
    writeBox(1);
    const std::string box = boxDirectory(store(), 1);
    touch(box + "/" + c.file);
    EXPECT_EQ(removeBox(store(), 1), c.want) << c.file;
    EXPECT_EQ(fs::exists(box), c.want != BoxRemoval::Removed) << c.file;
    fs::remove_all(box);
  }
  EXPECT_EQ(removeBox(store(), 1), BoxRemoval::Missing);
}

TEST_F(MailStore, RemoveDirectoryKeepsFolderHoldingFolder) {
  const std::string dir = store() + "/TMPWIEV";
  fs::create_directories(dir + "/inner");
  touch(dir + "/a.htm");
  EXPECT_FALSE(removeDirectory(dir));
  EXPECT_FALSE(fs::exists(dir + "/a.htm"));
  fs::remove(dir + "/inner");
  EXPECT_TRUE(removeDirectory(dir));
  EXPECT_FALSE(fs::exists(dir));
}

TEST_F(MailStore, MailCounts) {
  writeBox(1);
  const std::string box = boxDirectory(store(), 1);
  EXPECT_EQ(boxMailCountsText(countBoxMail(box)), "");
  touch(box + "/OUT/00000000.msg");
  touch(box + "/OUT/00000001.msg");
  touch(box + "/TMP/00000000.hdr");
  touch(box + "/TMP/tmphead.tmp");
  const BoxMailCounts counts = countBoxMail(box);
  EXPECT_EQ(counts.in, 0);
  EXPECT_EQ(boxMailCountsText(counts), "out=2 tmp=1");
  EXPECT_EQ(boxMailCountsText({3, 0, 1}), "in=3 tmp=1");
}

}  // namespace
}  // namespace qg
