#include "engine/new_mail_sound.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "engine/filter_profile.h"
#include "engine/mail_store.h"
#include "engine/work_queue.h"
#include "platform/file.h"
#include "platform/file_listing.h"
#include "text/charsets.h"
#include "text/date_record.h"
#include "text/header_field.h"

namespace qg {

namespace {

constexpr std::string_view kBoxPrefix = "BOX_";
constexpr std::size_t kBoxDigits = 4;
constexpr std::size_t kFileNumberDigits = 8;

// Class bits of a flag word and the field offset each adds.
constexpr std::uint32_t kClassNotSpam = 2;
constexpr std::uint32_t kClassUndetermined = 4;
constexpr std::uint32_t kClassSpam = 8;
constexpr std::uint32_t kNotSpamOffset = 50;
constexpr std::uint32_t kUndeterminedOffset = 60;
constexpr std::uint32_t kSpamOffset = 70;
constexpr unsigned kRuleTagShift = 12;
constexpr std::uint32_t kRuleTagMask = 0xFF;
constexpr std::uint32_t kFieldsPerRule = 100;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

void putWord(std::vector<std::uint8_t>& out, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(word >> shift));
}

std::uint32_t getWord(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// text up to its first zero byte and at most limit bytes.
std::string_view cutText(std::string_view text, std::size_t limit) {
  text = text.substr(0, text.find('\0'));
  return text.substr(0, std::min(text.size(), limit));
}

// The box number of the last "BOX_dddd" folder of an upper-cased path.
std::uint32_t boxNumberOf(std::string_view upper) {
  std::size_t at = upper.rfind(kBoxPrefix);
  while (at != std::string_view::npos) {
    const std::size_t digitsAt = at + kBoxPrefix.size();
    const std::size_t end = digitsAt + kBoxDigits;
    const bool startsFolder = at == 0 || upper[at - 1] == '/';
    const bool endsFolder = end < upper.size() && upper[end] == '/';
    if (startsFolder && endsFolder &&
        std::all_of(upper.begin() + static_cast<std::ptrdiff_t>(digitsAt),
                    upper.begin() + static_cast<std::ptrdiff_t>(end), isDigit)) {
      std::uint32_t box = 0;
      for (std::size_t i = digitsAt; i < end; ++i)
        box = box * 10 + static_cast<std::uint32_t>(upper[i] - '0');
      return box;
    }
    if (at == 0) break;
    at = upper.rfind(kBoxPrefix, at - 1);
  }
  return 0;
}

// The number formed by the digits just before the last dot of the file name.
std::uint32_t fileNumberOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return 0;
  std::size_t begin = dot;
  while (begin > 0 && dot - begin < kFileNumberDigits && isDigit(name[begin - 1])) --begin;
  std::uint32_t number = 0;
  for (std::size_t i = begin; i < dot; ++i)
    number = number * 10 + static_cast<std::uint32_t>(name[i] - '0');
  return number;
}

std::string queuePath(const std::string& programDir, std::string_view name) {
  return programDir + "/" + std::string(name);
}

// Sleeps about milliseconds in steps of stepMs, ending early on a stop request.
void waitWatching(const EngineFlags& flags, unsigned milliseconds, unsigned stepMs) {
  const unsigned step = std::max(stepMs, 1u);
  for (unsigned waited = 0; waited < milliseconds; waited += step) {
    if (flags.get(flag::kSoundStop) != 0) return;
    platform::sleepMilliseconds(std::min(step, milliseconds - waited));
  }
}

}  // namespace

std::uint32_t messageKey(std::string_view path) {
  std::string upper(path);
  upperCase1251(upper);
  return (boxNumberOf(upper) << 16) + fileNumberOf(path);
}

std::uint32_t soundFieldNumber(std::uint32_t flagWord) {
  std::uint32_t field = ((flagWord >> kRuleTagShift) & kRuleTagMask) * kFieldsPerRule;
  if ((flagWord & kClassNotSpam) != 0) field += kNotSpamOffset;
  if ((flagWord & kClassUndetermined) != 0) field += kUndeterminedOffset;
  if ((flagWord & kClassSpam) != 0) field += kSpamOffset;
  return field;
}

bool announceSound(const std::string& programDir, std::string_view messagePath,
                   std::uint32_t flagWord) {
  std::vector<std::uint8_t> record;
  record.reserve(kSoundRecordBytes);
  putWord(record, flagWord);
  putWord(record, messageKey(messagePath));
  return queueAppend(queuePath(programDir, kSoundQueueName), record);
}

std::vector<std::uint8_t> noticeRecord(std::uint32_t flagWord, std::uint32_t key,
                                       std::uint32_t size, std::uint32_t minutes,
                                       std::string_view from, std::string_view to,
                                       std::string_view subject) {
  std::vector<std::uint8_t> record;
  record.push_back(0);
  putWord(record, flagWord);
  putWord(record, key);
  putWord(record, size);
  putWord(record, minutes);
  for (std::string_view text : {from, to, subject}) {
    const std::string_view cut = cutText(text, kNoticeTextLimit);
    record.insert(record.end(), cut.begin(), cut.end());
    record.push_back(0);
  }
  return record;
}

bool announceNotice(const std::string& programDir, const std::string& messagePath,
                    std::uint32_t flagWord, std::uint32_t size) {
  std::array<std::string, 3> values;
  // No lock: the announcing worker may hold the message file open itself.
  platform::File message = platform::openShared(messagePath);
  if (message.isOpen()) {
    constexpr std::array<std::string_view, 3> kNames = {"From", "To", "Subject"};
    for (std::size_t i = 0; i < kNames.size(); ++i) readHeaderField(message, kNames[i], values[i]);
  }
  const DateRecord now = DateRecord::now();
  const auto minutes = static_cast<std::uint32_t>(now.hour * 60 + now.minute);
  return queueAppend(queuePath(programDir, kNoticeQueueName),
                     noticeRecord(flagWord, messageKey(messagePath), size, minutes, values[0],
                                  values[1], values[2]));
}

NewMailSound::NewMailSound(std::string programDir, std::string storeDir,
                           platform::SoundPlayer& player, std::function<bool()> stopRequested)
    : programDir_(std::move(programDir)),
      storeDir_(std::move(storeDir)),
      player_(player),
      stopRequested_(std::move(stopRequested)) {
  box_.setName(kBoxRecordName);
}

bool NewMailSound::findProfile(std::uint32_t box) {
  const std::string directory = boxDirectory(storeDir_, static_cast<int>(box));
  if (!cachedBoxDirectory_.empty() && directory == cachedBoxDirectory_) return true;
  // Only a found profile is kept: after a failure the next record of the
  // same box looks again, and never plays another box's sound.
  cachedBoxDirectory_.clear();
  box_.setDirectory(directory);
  if (!box_.load()) return false;
  const std::string field = box_.getText(box_field::kProfile);
  const std::size_t first = field.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  const std::string name = field.substr(first);
  if (profile_.getText(profile_field::kName) != name) {
    // The lowest file wins when two profiles share a name.
    const std::optional<std::string> file = qg::findProfile(storeDir_, name);
    profile_.setDirectory(storeDir_);
    if (file) profile_.setName(*file);
    if (!file || !profile_.load()) {
      profile_.clear();
      return false;
    }
  }
  cachedBoxDirectory_ = directory;
  return true;
}

SoundTurn NewMailSound::turn() {
  std::array<std::uint8_t, kSoundRecordBytes> record{};
  switch (queueTakeHead(queuePath(programDir_, kSoundQueueName), record)) {
    case QueueTake::Empty:
      return SoundTurn::NoRecord;
    case QueueTake::Damaged:
      return SoundTurn::Damaged;
    case QueueTake::Taken:
      break;
  }
  const std::uint32_t flagWord = getWord(std::span(record).first(4));
  const std::uint32_t key = getWord(std::span(record).subspan(4));
  if (!findProfile(key >> 16)) return SoundTurn::Dropped;
  const std::uint32_t field = soundFieldNumber(flagWord);
  if (!profile_.getFlag(field)) return SoundTurn::Dropped;
  const std::string text = profile_.getText(field + 1);
  if (text.empty()) return SoundTurn::Dropped;
  // Profile texts are Windows-1251; a name with letters beyond ASCII is on
  // disk in UTF-8 when the user picked it on the desktop, so that spelling is
  // tried when the stored one names no file.
  std::vector<std::string> spellings{text};
  if (std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; })) {
    spellings.push_back(windows1251ToUtf8(text));
  }
  platform::PlayResult result = platform::PlayResult::NoFile;
  for (const std::string& spelling : spellings) {
    // A relative name is taken from the program directory, where the user's
    // own files sit beside the profiles.
    const std::string file = spelling.front() == '/' ? spelling : programDir_ + "/" + spelling;
    result = player_.play(file, stopRequested_);
    if (result != platform::PlayResult::NoFile) break;
  }
  return result == platform::PlayResult::Played ? SoundTurn::Played : SoundTurn::Dropped;
}

void runNewMailSound(EngineFlags& flags, const PathBlock& paths, platform::SoundPlayer& player,
                     const SoundTiming& timing) {
  flags.set(flag::kSoundRunning, 1);
  const auto stopRequested = [&flags] { return flags.get(flag::kSoundStop) != 0; };
  NewMailSound sound(paths.programDir, paths.storeDir, player, stopRequested);
  // The first turn waits as if a sound had just ended.
  bool justPlayed = true;
  for (;;) {
    if (justPlayed) waitWatching(flags, timing.pauseAfterSoundMs, timing.stepMs);
    if (stopRequested()) break;
    const SoundTurn turn = sound.turn();
    justPlayed = turn == SoundTurn::Played;
    if (turn == SoundTurn::NoRecord || turn == SoundTurn::Damaged) {
      waitWatching(flags, timing.idleMs, timing.stepMs);
    }
  }
  flags.set(flag::kSoundRunning, 0);
}

void runNewMailSound(EngineState& state, platform::SoundPlayer& player) {
  runNewMailSound(state.flags, state.paths, player);
}

}  // namespace qg
