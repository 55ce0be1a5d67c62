// Playing a sound file and waiting until it has ended: the new-mail sound
// thread's only way to the speakers. The Linux player runs an outside player
// program; the fake records what it was asked to play, for tests. A player
// object belongs to one thread (the sound thread); several objects may exist.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qg::platform {

enum class PlayResult {
  Played,    // the player ran and ended with status 0
  NoPlayer,  // no player program was found: no sound
  NoFile,    // the file is missing, not a regular file or not readable: no sound
  Failed,    // the player could not be started or ended with an error
  Stopped,   // stopRequested turned true while the sound played; the player was ended
};

class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // Plays file and returns when the sound has ended. stopRequested (may be
  // empty) is asked every few milliseconds while the sound plays; when it
  // turns true the sound is cut short and the result is Stopped. Never fails
  // loudly: every result other than Played means there was no (whole) sound.
  virtual PlayResult play(const std::string& file, const std::function<bool()>& stopRequested) = 0;
};

// The programs tried in order when $QUILLGATE_PLAYER is unset or empty.
inline constexpr const char* kDefaultPlayers[] = {"pw-play", "paplay", "aplay"};

// Runs the first player program that exists with the file as its only
// argument, without a shell (a file name cannot become a command), stdin,
// stdout and stderr on /dev/null, and waits for it.
class LinuxSoundPlayer : public SoundPlayer {
 public:
  // Candidates: $QUILLGATE_PLAYER (when set and not empty), then
  // kDefaultPlayers; searched along $PATH. Reads the environment here, so
  // construct it on the thread that starts the workers.
  LinuxSoundPlayer();
  // Explicit candidates and search path (a ":"-separated folder list; empty
  // entries are skipped, never taken as the current folder). A candidate with
  // a "/" is used as a path and not searched.
  LinuxSoundPlayer(std::vector<std::string> candidates, std::string searchPath);

  PlayResult play(const std::string& file, const std::function<bool()>& stopRequested) override;

  // Full path of the first candidate that is an executable regular file, or
  // an empty text when there is none. Looked up again for every sound, so a
  // player installed while the agent runs is found.
  std::string findPlayer() const;

 private:
  std::vector<std::string> candidates_;
  std::string searchPath_;
};

// For tests: records each file it is asked to play and answers result
// (Played unless told). With checkFiles, a file that is not a readable
// regular file gives NoFile, as with the real player.
class FakeSoundPlayer : public SoundPlayer {
 public:
  PlayResult play(const std::string& file, const std::function<bool()>& stopRequested) override;

  PlayResult result = PlayResult::Played;
  bool checkFiles = false;
  // When set, play waits until stopRequested turns true and answers Stopped
  // (a sound that never ends on its own).
  bool playUntilStopped = false;
  std::vector<std::string> requested;  // every file asked for, in order
};

}  // namespace qg::platform
