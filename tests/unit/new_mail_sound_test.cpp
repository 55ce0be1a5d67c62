#include "engine/new_mail_sound.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "engine/filter_profile.h"
#include "engine/mail_store.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

namespace fs = std::filesystem;
using platform::FakeSoundPlayer;
using platform::PlayResult;

std::string words(std::initializer_list<std::uint32_t> values) {
  std::string out;
  for (std::uint32_t v : values) {
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
  }
  return out;
}

// Flag word of a message with the given rule tag and class bit.
constexpr std::uint32_t flagWord(std::uint32_t tag, std::uint32_t classBit) {
  return (tag << 12) | classBit;
}

TEST(MessageKey, FromBoxFolderAndFileNumber) {
  struct Case {
    const char* path;
    std::uint32_t want;
  };
  const Case cases[] = {
      {"/home/u/.local/share/quillgate/BOX_0012/IN/00000007.msg", (12u << 16) + 7},
      {"/home/u/q/box_0003/TMP/00000005.hd~", (3u << 16) + 5},    // lower-case folder
      {"/home/u/q/BOX_0002/TMP/00000041.hdrt", (2u << 16) + 41},  // rewrite copy
      {"BOX_9999/TMP/00008191.hd", (9999u << 16) + 8191},
      {"/srv/mail/00000009.msg", 9},                                  // no BOX_ folder
      {"/home/box_0009/q/BOX_0002/IN/00000001.msg", (2u << 16) + 1},  // last box folder counts
      {"/home/u/q/BOX_0004.old/IN/00000001.msg", 1},                  // not a box folder
      {"/home/u/q/BOX_12/IN/00000001.msg", 1},
      {"/home/u/q/BOX_0002/IN/tmp.tmp", 2u << 16},      // no digits before the dot
      {"/home/u/v1.2/BOX_0002/IN/00000003", 2u << 16},  // the dot is not in the name
      {"/home/u/q/BOX_0001/IN/12345678901.msg", (1u << 16) + 45678901},  // eight digits at most
  };
  for (const Case& c : cases) EXPECT_EQ(messageKey(c.path), c.want) << c.path;
}

TEST(SoundFieldNumber, RuleTagTimesHundredPlusClassOffset) {
  struct Case {
    std::uint32_t flags;
    std::uint32_t want;
  };
  const Case cases[] = {
      {flagWord(2, 2), 250},
      {flagWord(2, 4), 260},
      {flagWord(2, 8), 270},
      {flagWord(0, 8), 70},
      {flagWord(255, 2), 25550},
      {flagWord(7, 0), 700},
      // Action bits, the fetcher's bit 31 and bits above the tag do not count.
      {flagWord(3, 2) | 0x30 | 0x0FF00000u | 0x80000000u, 350},
  };
  for (const Case& c : cases) EXPECT_EQ(soundFieldNumber(c.flags), c.want) << std::hex << c.flags;
}

TEST(AnnounceSound, AppendsFlagWordAndKeyInOrder) {
  TestFolder folder;
  ASSERT_TRUE(announceSound(folder.root(), "/q/BOX_0001/IN/00000002.msg", 0x2032));
  ASSERT_TRUE(announceSound(folder.root(), "/q/BOX_0003/TMP/00000004.hd~", 0x80001018));
  EXPECT_EQ(readFile(folder.path("soun.inf")),
            words({0x2032, 0x10002}) + words({0x80001018, 0x30004}));
  EXPECT_FALSE(announceSound(folder.path("missing"), "/q/BOX_0001/IN/00000002.msg", 2));
}

TEST(AnnounceNotice, RecordLayoutAndTextLimits) {
  const std::string longText(250, 'x');
  const auto record = noticeRecord(0x1234, 0x50006, 777, 13 * 60 + 5, "a@b.c",
                                   std::string("to\0hidden", 9), longText);
  const std::string want = std::string(1, '\0') + words({0x1234, 0x50006, 777, 785}) +
                           std::string("a@b.c\0to\0", 9) + std::string(199, 'x') +
                           std::string(1, '\0');
  EXPECT_EQ(std::string(record.begin(), record.end()), want);
}

TEST(AnnounceNotice, ReadsTheHeaderOfTheMessage) {
  TestFolder folder;
  fs::create_directories(folder.path("BOX_0002/IN"));
  const std::string message = folder.path("BOX_0002/IN/00000003.msg");
  writeFile(message,
            "Received: x\r\nFrom: Ann <ann@example.org>\r\nTo: bob@example.org\r\n"
            "X-Note: none\r\n\r\nSubject: in the body\r\n");
  ASSERT_TRUE(announceNotice(folder.root(), message, 0x2, 1500));
  ASSERT_TRUE(announceNotice(folder.root(), folder.path("BOX_0002/IN/00000009.msg"), 0x8, 9));

  const std::string got = readFile(folder.path("wizi.inf"));
  const std::string first = std::string(1, '\0') + words({0x2, (2u << 16) + 3, 1500});
  ASSERT_GE(got.size(), first.size() + 4);
  EXPECT_EQ(got.substr(0, first.size()), first);
  const std::uint32_t minutes =
      static_cast<std::uint8_t>(got[13]) | static_cast<std::uint8_t>(got[14]) << 8;
  EXPECT_LT(minutes, 24u * 60);
  // A header without Subject gives an empty text; a missing file empty texts.
  const std::string texts = std::string("Ann <ann@example.org>\0bob@example.org\0\0", 39);
  EXPECT_EQ(got.substr(17, texts.size()), texts);
  const std::string second = std::string(1, '\0') + words({0x8, (2u << 16) + 9, 9});
  EXPECT_EQ(got.substr(17 + texts.size(), second.size()), second);
  EXPECT_EQ(got.substr(17 + texts.size() + second.size() + 4), std::string(3, '\0'));
}

// A program directory that is also the store: boxes with their box.log and
// profiles f_0001.log, f_0002.log, and a sound file.
class SoundStore : public ::testing::Test {
 protected:
  void SetUp() override {
    sound = folder.path("ding.wav");
    writeFile(sound, "RIFF");
    addProfile("f_0001.log", "Quiet", false);
    addProfile("f_0002.log", "Loud Box", true);
  }

  void addProfile(const std::string& file, const std::string& name, bool soundOn) {
    RecordFile profile;
    profile.setDirectory(folder.root());
    profile.setName(file);
    profile.setText(name, profile_field::kName);
    profile.setFlag(soundOn, 250);
    profile.setText(sound, 251);
    profile.setFlag(soundOn, 70);
    profile.setText("ding.wav", 71);  // relative: taken from the program directory
    ASSERT_TRUE(profile.save());
  }

  void addBox(int number, const std::string& profileName) {
    char name[16];
    std::snprintf(name, sizeof name, "BOX_%04d", number);
    fs::create_directories(folder.path(name));
    RecordFile box;
    box.setDirectory(folder.path(name));
    box.setName("box.log");
    box.setText(profileName, box_field::kProfile);
    ASSERT_TRUE(box.save());
  }

  void queue(const std::string& records) {
    std::ofstream(folder.path("soun.inf"), std::ios::binary | std::ios::app) << records;
  }

  NewMailSound makeSound() { return NewMailSound(folder.root(), folder.root(), player, {}); }

  TestFolder folder;
  std::string sound;
  FakeSoundPlayer player;
};

TEST_F(SoundStore, PlaysTheProfilesSoundOnce) {
  addBox(1, "  Loud Box");  // leading spaces of the box's profile name are skipped
  queue(words({flagWord(2, 2), (1u << 16) + 5}) + words({flagWord(0, 8), (1u << 16) + 6}));
  NewMailSound sounds = makeSound();
  EXPECT_EQ(sounds.turn(), SoundTurn::Played);
  EXPECT_EQ(sounds.turn(), SoundTurn::Played);
  EXPECT_EQ(sounds.turn(), SoundTurn::NoRecord);
  EXPECT_EQ(player.requested, (std::vector<std::string>{sound, folder.path("ding.wav")}));
  EXPECT_EQ(readFile(folder.path("soun.inf")), "");
}

TEST_F(SoundStore, RecordsWithoutSoundAreDroppedSilently) {
  addBox(1, "Quiet");     // sound off
  addBox(2, "   ");       // blank profile name
  addBox(3, "Nobody");    // no such profile
  addBox(4, "Loud Box");  // sound on, but not for this rule tag
  queue(words({flagWord(2, 2), 1u << 16}) + words({flagWord(2, 2), 2u << 16}) +
        words({flagWord(2, 2), 3u << 16}) + words({flagWord(3, 2), 4u << 16}) +
        words({flagWord(2, 2), 9u << 16}));  // no box 9
  NewMailSound sounds = makeSound();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(sounds.turn(), SoundTurn::Dropped) << i;
  EXPECT_EQ(sounds.turn(), SoundTurn::NoRecord);
  EXPECT_TRUE(player.requested.empty());
}

// A box whose lookup fails must not inherit the profile found for the box before.
TEST_F(SoundStore, AFailedLookupNeverPlaysTheProfileOfTheBoxBefore) {
  addBox(1, "Loud Box");
  addBox(2, "   ");
  queue(words({flagWord(2, 2), 1u << 16}) + words({flagWord(2, 2), 2u << 16}) +
        words({flagWord(2, 2), 2u << 16}) + words({flagWord(2, 2), 1u << 16}));
  NewMailSound sounds = makeSound();
  EXPECT_EQ(sounds.turn(), SoundTurn::Played);
  EXPECT_EQ(sounds.turn(), SoundTurn::Dropped);
  EXPECT_EQ(sounds.turn(), SoundTurn::Dropped);
  EXPECT_EQ(sounds.turn(), SoundTurn::Played);
  EXPECT_EQ(player.requested.size(), 2u);
}

TEST_F(SoundStore, MissingFileOrPlayerDropsTheRecord) {
  addBox(1, "Loud Box");
  fs::remove(sound);
  player.checkFiles = true;
  queue(words({flagWord(2, 2), 1u << 16}));
  NewMailSound sounds = makeSound();
  EXPECT_EQ(sounds.turn(), SoundTurn::Dropped);
  EXPECT_EQ(player.requested, std::vector<std::string>{sound});

  player.result = PlayResult::NoPlayer;
  writeFile(sound, "RIFF");
  queue(words({flagWord(2, 2), 1u << 16}));
  EXPECT_EQ(sounds.turn(), SoundTurn::Dropped);
  EXPECT_EQ(sounds.turn(), SoundTurn::NoRecord);
  EXPECT_EQ(readFile(folder.path("soun.inf")), "");
}

TEST_F(SoundStore, ATwelveByteQueueIsCutToFourThenEmptied) {
  addBox(1, "Loud Box");
  queue(words({flagWord(2, 2), 1u << 16, 0xDEADBEEF}));
  NewMailSound sounds = makeSound();
  EXPECT_EQ(sounds.turn(), SoundTurn::Played);
  EXPECT_EQ(fs::file_size(folder.path("soun.inf")), 4u);
  EXPECT_EQ(sounds.turn(), SoundTurn::Damaged);
  EXPECT_EQ(fs::file_size(folder.path("soun.inf")), 0u);
  EXPECT_EQ(sounds.turn(), SoundTurn::NoRecord);
  EXPECT_EQ(player.requested.size(), 1u);
}

// The sound thread as the supervisor runs it, with short waits.
class SoundThread : public SoundStore {
 protected:
  void start() {
    paths.setProgramDir(folder.root());
    paths.setStoreDir(folder.root());
    thread = std::thread([this] { runNewMailSound(flags, paths, player, {20, 20, 5}); });
  }
  // Waits up to five seconds for condition.
  template <typename Condition>
  bool eventually(Condition condition) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
  // Asks for the stop; true when the thread cleared its running flag.
  bool stopPromptly() {
    flags.set(flag::kSoundStop, 1);
    const bool ended = eventually([&] { return flags.get(flag::kSoundRunning) == 0; });
    if (thread.joinable()) thread.join();
    return ended;
  }
  void TearDown() override {
    flags.set(flag::kSoundStop, 1);
    if (thread.joinable()) thread.join();
  }

  EngineFlags flags;
  PathBlock paths;
  std::thread thread;
};

TEST_F(SoundThread, PlaysQueuedSoundsAndStopsPromptly) {
  addBox(1, "Loud Box");
  start();
  ASSERT_TRUE(eventually([&] { return flags.get(flag::kSoundRunning) == 1; }));
  ASSERT_TRUE(announceSound(folder.root(), folder.path("BOX_0001/IN/00000000.msg"), 0x2002));
  ASSERT_TRUE(announceSound(folder.root(), folder.path("BOX_0001/IN/00000001.msg"), 0x2002));
  ASSERT_TRUE(eventually([&] { return fs::file_size(folder.path("soun.inf")) == 0; }));
  const auto before = std::chrono::steady_clock::now();
  EXPECT_TRUE(stopPromptly());
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
  EXPECT_EQ(player.requested, (std::vector<std::string>{sound, sound}));
}

// A sound that does not end holds neither the writers nor the stop.
TEST_F(SoundThread, ALongSoundBlocksNoWriterAndEndsAtTheStop) {
  addBox(1, "Loud Box");
  player.playUntilStopped = true;
  queue(words({flagWord(2, 2), 1u << 16}));
  start();
  ASSERT_TRUE(eventually([&] { return fs::file_size(folder.path("soun.inf")) == 0; }));
  auto append = std::async(std::launch::async, [&] {
    return announceSound(folder.root(), folder.path("BOX_0001/IN/00000001.msg"), 0x2002);
  });
  const bool appendedWhilePlaying =
      append.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
  EXPECT_TRUE(appendedWhilePlaying);
  if (!appendedWhilePlaying) flags.set(flag::kSoundStop, 1);  // lets a blocked writer go
  EXPECT_TRUE(append.get());
  EXPECT_EQ(fs::file_size(folder.path("soun.inf")), kSoundRecordBytes);
  const auto before = std::chrono::steady_clock::now();
  EXPECT_TRUE(stopPromptly());
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
  EXPECT_EQ(player.requested.size(), 1u);
}

}  // namespace
}  // namespace qg
