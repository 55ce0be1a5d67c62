#include "platform/sound_player.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "test_files.h"
#include "test_folder.h"

namespace qg::platform {
namespace {

namespace fs = std::filesystem;

// A player program that logs its arguments, one per line, and exits with status.
std::string writePlayer(const TestFolder& folder, const std::string& name, int status = 0) {
  const std::string path = folder.path(name);
  writeFile(path, "#!/bin/sh\nprintf '[%s]\\n' \"$@\" >> '" + folder.path("args.log") + "'\nexit " +
                      std::to_string(status) + "\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

TEST(LinuxSoundPlayer, PassesAFileWithShellCharactersAsOneArgument) {
  TestFolder folder;
  fs::create_directory(folder.path("bin"));
  writePlayer(folder, "bin/play-it");
  const std::string sound = folder.path("a b;touch pwned $(touch pwned2) `x`.wav");
  writeFile(sound, "RIFF");
  LinuxSoundPlayer player({"play-it"}, folder.path("bin"));

  EXPECT_EQ(player.play(sound, {}), PlayResult::Played);
  EXPECT_EQ(readFile(folder.path("args.log")), "[" + sound + "]\n");
  EXPECT_FALSE(fs::exists("pwned"));
  EXPECT_FALSE(fs::exists(folder.path("pwned")));
}

TEST(LinuxSoundPlayer, TakesTheFirstCandidateThatExists) {
  TestFolder folder;
  fs::create_directory(folder.path("empty"));
  fs::create_directory(folder.path("bin"));
  writePlayer(folder, "bin/second");
  writePlayer(folder, "bin/third");
  fs::create_directory(folder.path("bin/first"));  // a folder is no player
  LinuxSoundPlayer player({"", "first", "second", "third"},
                          "::" + folder.path("empty") + ":" + folder.path("bin") + "/");
  EXPECT_EQ(player.findPlayer(), folder.path("bin/second"));

  // A candidate with a "/" is a path, not searched.
  LinuxSoundPlayer byPath({folder.path("bin/third")}, "");
  EXPECT_EQ(byPath.findPlayer(), folder.path("bin/third"));
  LinuxSoundPlayer relative({"bin/third"}, folder.root());
  EXPECT_EQ(relative.findPlayer(), "");
}

TEST(LinuxSoundPlayer, MissingPlayerOrFileGivesNoSound) {
  TestFolder folder;
  writePlayer(folder, "player");
  const std::string sound = folder.path("ding.wav");
  writeFile(sound, "RIFF");
  fs::create_directory(folder.path("folder.wav"));

  LinuxSoundPlayer none({"no-such-player"}, folder.root());
  EXPECT_EQ(none.play(sound, {}), PlayResult::NoPlayer);

  LinuxSoundPlayer player({"player"}, folder.root());
  EXPECT_EQ(player.play(folder.path("missing.wav"), {}), PlayResult::NoFile);
  EXPECT_EQ(player.play(folder.path("folder.wav"), {}), PlayResult::NoFile);
  EXPECT_EQ(player.play("", {}), PlayResult::NoFile);
  EXPECT_FALSE(fs::exists(folder.path("args.log")));  // never started
}

TEST(LinuxSoundPlayer, AFailingPlayerIsNoSound) {
  TestFolder folder;
  writePlayer(folder, "player", 1);
  const std::string sound = folder.path("ding.wav");
  writeFile(sound, "RIFF");
  LinuxSoundPlayer player({"player"}, folder.root());
  EXPECT_EQ(player.play(sound, {}), PlayResult::Failed);
}

TEST(LinuxSoundPlayer, AStopEndsAPlayerThatDoesNotEnd) {
  TestFolder folder;
  const std::string script = folder.path("slow");
  writeFile(script, "#!/bin/sh\nsleep 30\n");
  ::chmod(script.c_str(), 0755);
  const std::string sound = folder.path("ding.wav");
  writeFile(sound, "RIFF");
  LinuxSoundPlayer player({script}, "");

  const auto start = std::chrono::steady_clock::now();
  const auto stopAfter = start + std::chrono::milliseconds(200);
  const PlayResult result =
      player.play(sound, [&] { return std::chrono::steady_clock::now() >= stopAfter; });
  EXPECT_EQ(result, PlayResult::Stopped);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace qg::platform
