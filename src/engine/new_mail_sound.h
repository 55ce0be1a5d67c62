// New-mail announcements: the writers of the sound queue "soun.inf" and the
// notice queue "wizi.inf" (called by the mail fetcher and the analysis worker),
// and the sound thread, which plays for each sound record the file that the
// box's filter profile assigns to that kind of message. The sound thread owns
// flags 20 (running) and reads 21 (stop); it is the only consumer of "soun.inf".
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_state.h"
#include "engine/record_file.h"
#include "platform/sound_player.h"

namespace qg {

// Queue files in the program directory.
inline constexpr std::string_view kSoundQueueName = "soun.inf";
inline constexpr std::string_view kNoticeQueueName = "wizi.inf";
// A sound record: flag word, message key (32-bit little-endian each).
inline constexpr std::size_t kSoundRecordBytes = 8;
// From, To and Subject of a notice record are cut to this many bytes.
inline constexpr std::size_t kNoticeTextLimit = 199;

// The message key of a stored message: (box number << 16) + file number. The
// box number is the four digits of the last "BOX_dddd" folder of the path
// (upper-cased first, so "box_0003" counts), 0 when there is none; the file
// number is the run of up to eight digits just before the last dot of the file
// name, 0 when the name has no dot or no digits there.
std::uint32_t messageKey(std::string_view path);

// The profile field that says whether to play a sound for a message with
// this flag word: the rule tag (bits 12 to 19) times 100, plus 50 for class
// "Not spam" (bit value 2), 60 for "Is not determined" (4), 70 for "Spam" (8).
// The next field holds the sound file.
std::uint32_t soundFieldNumber(std::uint32_t flagWord);

// Appends a sound record for the message file at messagePath to "soun.inf" in
// programDir. True when the record was written; false when the queue cannot
// be opened or written (the announcement is then lost, nothing else happens).
bool announceSound(const std::string& programDir, std::string_view messagePath,
                   std::uint32_t flagWord);

// The bytes of one "wizi.inf" record: a zero marker, flag word, key, size and
// minutes (hours x 60 + minutes of the local time), then From, To and Subject,
// each cut at its first zero byte and at kNoticeTextLimit, with a zero byte.
std::vector<std::uint8_t> noticeRecord(std::uint32_t flagWord, std::uint32_t key,
                                       std::uint32_t size, std::uint32_t minutes,
                                       std::string_view from, std::string_view to,
                                       std::string_view subject);

// Reads "From", "To" and "Subject" of the message file at messagePath (a field
// it lacks, or a file that cannot be read, gives an empty text; the file is
// read without a lock, so a caller may hold it open) and appends a "wizi.inf"
// record stamped with the current local time. True when the record was
// written; false when the queue cannot be opened or written.
bool announceNotice(const std::string& programDir, const std::string& messagePath,
                    std::uint32_t flagWord, std::uint32_t size);

// What one turn of the sound thread did.
enum class SoundTurn {
  NoRecord,  // no "soun.inf" or an empty one
  Damaged,   // the head record was cut short: the queue has been emptied
  Dropped,   // a record was taken without sound (no box, no profile, sound off, no player or file)
  Played,    // a record was taken and its sound played to the end
};

// The sound thread's work, one record per turn. It keeps the box and profile
// of the last sound across turns and loads them again only for another box
// (or after a lookup that failed). Belongs to the sound thread.
class NewMailSound {
 public:
  // programDir holds "soun.inf"; storeDir holds the "BOX_dddd" folders and the
  // "f_*.log" profiles. stopRequested cuts a playing sound short.
  NewMailSound(std::string programDir, std::string storeDir, platform::SoundPlayer& player,
               std::function<bool()> stopRequested);

  // Takes the head record of "soun.inf" and plays its sound. The record is
  // removed before the sound plays, so the writers never wait for a sound.
  SoundTurn turn();

  // Finds the filter profile of a box (by number) into profile(); false when
  // the box or its profile cannot be loaded or the box names no profile.
  bool findProfile(std::uint32_t box);
  const RecordFile& profile() const { return profile_; }

 private:
  std::string programDir_;
  std::string storeDir_;
  platform::SoundPlayer& player_;
  std::function<bool()> stopRequested_;
  RecordFile box_;
  RecordFile profile_;
  // The box folder whose profile profile_ holds; empty when none does.
  std::string cachedBoxDirectory_;
};

// Waits of the sound thread.
struct SoundTiming {
  unsigned pauseAfterSoundMs = 500;  // between two sounds
  unsigned idleMs = 1000;            // when the queue is empty or was damaged
  unsigned stepMs = 50;              // stop checks while waiting
};

// The sound thread: sets flag 20, plays the queued sounds one after the other
// until flag 21 is set, then clears flag 20 and returns. A stop cuts a playing
// sound short. The texts of paths are copied at the start.
void runNewMailSound(EngineFlags& flags, const PathBlock& paths, platform::SoundPlayer& player,
                     const SoundTiming& timing = {});
// The same on the shared state, as the supervisor starts it.
void runNewMailSound(EngineState& state, platform::SoundPlayer& player);

}  // namespace qg
