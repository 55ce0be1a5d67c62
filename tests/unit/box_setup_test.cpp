#include "engine/box_setup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "engine/mail_address.h"
#include "engine/mail_store.h"
#include "test_folder.h"

namespace qg {
namespace {

namespace fs = std::filesystem;

unsigned modeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

class BoxSetup : public ::testing::Test {
 protected:
  const std::string& store() const { return folder_.root(); }
  RecordFile load(int n) {
    RecordFile box;
    EXPECT_TRUE(loadBox(store(), n, box)) << n;
    return box;
  }
  TestFolder folder_;
};

TEST_F(BoxSetup, NewBoxValuesFoldersAndMode) {
  ASSERT_EQ(createBox(store(), "  Anna.K@mail.example.org \r\n"), 1);
  const std::string dir = boxDirectory(store(), 1);
  for (const char* sub : {"/IN", "/OUT", "/TMP"}) EXPECT_TRUE(fs::is_directory(dir + sub)) << sub;
  EXPECT_EQ(modeOf(dir + "/box.log"), 0600u);

  const RecordFile box = load(1);
  EXPECT_EQ(box.getText(box_field::kSmtpHost), "mail.example.org");
  EXPECT_EQ(box.getShort(box_field::kSmtpPort), 25);
  EXPECT_EQ(box.getText(box_field::kPop3Host), "mail.example.org");
  EXPECT_EQ(box.getShort(box_field::kPop3Port), 110);
  EXPECT_EQ(box.getText(box_field::kUser), "Anna.K");
  EXPECT_EQ(box.getText(box_field::kPassword), "");
  EXPECT_EQ(box.getShort(box_field::kInterval), 30);
  EXPECT_EQ(box.getText(box_field::kProfile), "Standart 1");
  EXPECT_EQ(box.getByte(box_field::kOption), 2);
  EXPECT_TRUE(box.getFlag(box_field::kEnabled));
  EXPECT_TRUE(box.getFlag(box_field::kCheckAtStart));
  EXPECT_EQ(box.getText(box_field::kAddress), "Anna.K@mail.example.org");
  EXPECT_EQ(box.typeOf(box_field::kMoreAddresses), FieldType::Text);
  EXPECT_EQ(box.typeOf(box_field::kOwnAddressCount), FieldType::Byte);
  // An empty password keeps a new box from counting until the user sets one.
  RecordFile copy = box;
  EXPECT_EQ(checkBox(store(), -1, copy, {"Standart 1"}), BoxCheck::ShortPassword);
}

TEST_F(BoxSetup, NumberingAndDuplicates) {
  ASSERT_EQ(createBox(store(), "one@example.com"), 1);
  std::ofstream(store() + "/BOX_0002") << "a stray file, not a box";
  ASSERT_EQ(createBox(store(), "two@example.com"), 3);
  fs::remove(store() + "/BOX_0002");
  fs::rename(boxDirectory(store(), 3), boxDirectory(store(), 2));
  ASSERT_EQ(createBox(store(), "three@example.com"), 3);
  fs::remove_all(boxDirectory(store(), 2));
  EXPECT_EQ(createBox(store(), " ONE@Example.com"), kBoxDuplicateAddress);
  EXPECT_FALSE(fs::exists(boxDirectory(store(), 2)));
  EXPECT_EQ(createBox(store(), "four@example.com"), 2);

  // A folder whose box.log does not load gives its number away, and the new
  // box.log is made owner-only even though a file of that name was there.
  const std::string dir3 = boxDirectory(store(), 3);
  std::ofstream(dir3 + "/box.log") << "damaged";
  fs::permissions(dir3 + "/box.log", fs::perms(0644));
  EXPECT_EQ(createBox(store(), "three@example.com"), 3);
  EXPECT_EQ(modeOf(dir3 + "/box.log"), 0600u);
  EXPECT_EQ(load(3).getText(box_field::kAddress), "three@example.com");
}

TEST_F(BoxSetup, InvalidAddressGivesPlaceholders) {
  ASSERT_EQ(createBox(store(), ""), 1);
  const RecordFile box = load(1);
  EXPECT_EQ(box.getText(box_field::kAddress), kPlaceholderAddress);
  EXPECT_EQ(box.getText(box_field::kUser), "User");
  EXPECT_EQ(box.getText(box_field::kPop3Host), "example.com");
  std::string placeholder(kPlaceholderAddress);
  EXPECT_TRUE(isValidAddress(placeholder));
  // A second box without an address would repeat the placeholder.
  EXPECT_EQ(createBox(store(), "x@y"), kBoxDuplicateAddress);
}

TEST_F(BoxSetup, OptionsReplaceDefaults) {
  NewBoxOptions options;
  options.pop3Host = "pop.example.net";
  options.pop3Port = 995;
  options.user = "anna";
  options.password = std::string(40, 'p');
  options.profile = "Standart 3";
  options.interval = 5000;
  options.checkAtStart = false;
  ASSERT_EQ(createBox(store(), "anna@example.org", options), 1);
  const RecordFile box = load(1);
  EXPECT_EQ(box.getText(box_field::kSmtpHost), "example.org");
  EXPECT_EQ(box.getText(box_field::kPop3Host), "pop.example.net");
  EXPECT_EQ(static_cast<std::uint16_t>(box.getShort(box_field::kPop3Port)), 995);
  EXPECT_EQ(box.getText(box_field::kUser), "anna");
  EXPECT_EQ(box.getText(box_field::kPassword), std::string(kMaxPassword, 'p'));
  EXPECT_EQ(box.getText(box_field::kProfile), "Standart 3");
  EXPECT_EQ(box.getShort(box_field::kInterval), kMaxInterval);
  EXPECT_FALSE(box.getFlag(box_field::kCheckAtStart));
}

TEST_F(BoxSetup, NoFreeNumberAndCannotCreate) {
  ASSERT_EQ(createBox(store(), "first@example.com"), 1);
  // The same box.log copied into every other number (the file is tied to its
  // name, not its folder) fills 1..499 without 499 separate creations.
  const std::string first = boxDirectory(store(), 1) + "/box.log";
  for (int n = 2; n <= kMaxNewBoxNumber; ++n) {
    const std::string dir = boxDirectory(store(), n);
    fs::create_directories(dir);
    fs::copy_file(first, dir + "/box.log");
  }
  EXPECT_EQ(createBox(store(), "last@example.com"), kBoxNoFreeNumber);
  fs::remove(boxDirectory(store(), 321) + "/box.log");
  EXPECT_EQ(createBox(store(), "last@example.com"), 321);

  const std::string plainFile = folder_.path("not-a-folder");
  std::ofstream(plainFile) << "x";
  EXPECT_EQ(createBox(plainFile, "ab@example.com"), kBoxCannotCreate);
}

TEST_F(BoxSetup, SaveCreatesOwnerOnlyFile) {
  fs::create_directories(store() + "/BOX_0005");
  RecordFile box;
  box.setDirectory(store() + "/BOX_0005");
  box.setName("box.log");
  box.setText("secret", box_field::kPassword);
  ASSERT_TRUE(saveBoxRecord(box));
  EXPECT_EQ(modeOf(store() + "/BOX_0005/box.log"), 0600u);
  ASSERT_TRUE(saveBoxRecord(box));
  EXPECT_EQ(modeOf(store() + "/BOX_0005/box.log"), 0600u);
}

}  // namespace
}  // namespace qg
