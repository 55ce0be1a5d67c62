#include "retrieval/verdict_actions.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "engine/file_primitives.h"
#include "engine/filter_profile.h"
#include "engine/history_record.h"
#include "engine/mail_store.h"
#include "engine/new_mail_sound.h"
#include "engine/staging_line.h"
#include "platform/file.h"
#include "text/date_record.h"
#include "text/header_field.h"

namespace qg {

namespace {

// Profile fields: days a finished slot is kept after withholding / delivering.
constexpr std::uint32_t kWithheldKeepDays = profile_field::kHoldDays + 1;
constexpr std::uint32_t kDeliveredKeepDays = profile_field::kHoldDays + 2;

constexpr std::size_t kCopyBlock = 64 * 1024;

std::string tmpPath(const std::string& boxDir, std::string_view name) {
  return boxDir + "/" + std::string(kTmpFolder) + "/" + std::string(name);
}

std::optional<StagingLine> readLineOf(const std::string& path) {
  FileHandle file;
  if (!openExisting(path, file)) return std::nullopt;
  return readStagingLine(file);
}

bool writeLineInto(const std::string& path, const StagingLine& line) {
  FileHandle file;
  return openExisting(path, file) && writeStagingLine(file, line);
}

// The From and Subject values of a stored message, for the protocol.
std::pair<std::string, std::string> fromAndSubject(const std::string& path) {
  std::pair<std::string, std::string> texts;
  // No lock: the texts are only for the protocol, and this thread writes the file.
  platform::File file = platform::openShared(path);
  if (file.isOpen()) {
    readHeaderField(file, "From", texts.first);
    readHeaderField(file, "Subject", texts.second);
  }
  return texts;
}

void recordEvent(DecisionContext& context, std::uint8_t event, const std::string& path) {
  const auto [from, subject] = fromAndSubject(path);
  context.protocol.append(context.programDir, event, from, subject);
}

// The time stamp of a finished slot: now plus the profile's days.
std::int64_t keptUntil(const RecordFile& profile, std::uint32_t field) {
  DateRecord when = DateRecord::now();
  return when.addDays(profile.getByte(field));
}

// The message text of a staging file (everything behind its record line) into
// a new file at to, readable by its owner only. False, with to removed, when
// either side fails.
bool copyMessageText(const std::string& from, const std::string& to) {
  FileHandle source;
  FileHandle target;
  if (!openExisting(from, source)) return false;
  if (!openExclusive(to, target, 0600)) return false;
  bool ok = target.truncate(0) && target.seek(0) && source.seek(kStagingLineBytes);
  std::vector<char> block(kCopyBlock);
  while (ok) {
    const long got = source.read(block.data(), block.size());
    if (got == 0) break;
    ok = got > 0 && target.writeAll(block.data(), static_cast<std::size_t>(got));
  }
  target.close();
  if (!ok) deleteFileRetry(to);
  return ok;
}

void announce(DecisionContext& context, const std::string& path, const StagingLine& line) {
  if ((line.flags & staging::kAnnounceSound) != 0) {
    announceSound(context.programDir, path, line.flags);
  }
  if ((line.flags & staging::kAnnounceWizi) != 0) {
    announceNotice(context.programDir, path, line.flags, line.size);
  }
}

// RETR of the record's message into "tmpmail.tmp" with the record line in
// front (bit 31 set, the byte count of the transfer), and protocol event 4.
DecisionResult retrieveWhole(DecisionContext& context, StagingLine& line,
                             const std::string& tmpMail) {
  const std::int64_t got = context.client.retr(line.serverNumber, tmpMail, kStagingReserve);
  context.transferred();
  if (got < 0) return DecisionResult::Failed;
  line.received = static_cast<std::uint32_t>(std::min<std::int64_t>(got, 0xFFFFFFFF));
  line.flags |= staging::kWholeMessage;
  if (!writeLineInto(tmpMail, line)) {
    deleteFileRetry(tmpMail);
    return DecisionResult::Left;
  }
  recordEvent(context, fetch_event::kWholeFetched, tmpMail);
  return DecisionResult::Done;
}

DecisionResult fetchWhole(DecisionContext& context, int slot, StagingLine line) {
  const std::string tmpMail = tmpPath(context.boxDir, kTmpMailName);
  if (DecisionResult result = retrieveWhole(context, line, tmpMail); result != DecisionResult::Done)
    return result;
  // The classified file goes first: once the new ".hd" is in place the
  // analysis worker may take it up at once.
  deleteFileRetry(slotFilePath(context.boxDir, slot, SlotState::Classified));
  if (!moveReplace(tmpMail, slotFilePath(context.boxDir, slot, SlotState::New)))
    return DecisionResult::Left;
  return DecisionResult::Done;
}

DecisionResult deliver(DecisionContext& context, int slot, StagingLine line) {
  const std::string classified = slotFilePath(context.boxDir, slot, SlotState::Classified);
  const std::string tmpMail = tmpPath(context.boxDir, kTmpMailName);
  if ((line.flags & staging::kWholeMessage) == 0) {
    if (DecisionResult result = retrieveWhole(context, line, tmpMail);
        result != DecisionResult::Done)
      return result;
    if (!moveReplace(tmpMail, classified)) return DecisionResult::Left;
  }
  // Every number taken: the message waits, whole, in its slot; a waiting
  // message is never replaced.
  const int number = nextMessageNumber(context.boxDir);
  if (number < 0) return DecisionResult::Left;

  line.stamp = keptUntil(context.profile, kDeliveredKeepDays);
  if (!writeLineInto(classified, line)) return DecisionResult::Left;
  if (!copyMessageText(classified, tmpMail)) return DecisionResult::Left;
  context.history.record(classified, kHistoryFetcherEvent);
  context.history.record(classified, kHistoryMessageTaken);
  recordEvent(context, fetch_event::kFinished, classified);

  // The IN file first: a crash before the slot is marked finished delivers
  // the message again instead of losing it.
  const std::string delivered = messagePath(context.boxDir, number);
  if (!moveReplace(tmpMail, delivered)) {
    deleteFileRetry(tmpMail);
    return DecisionResult::Left;
  }
  moveReplace(classified, slotFilePath(context.boxDir, slot, SlotState::Finished));
  announce(context, delivered, line);
  recordEvent(context, fetch_event::kDelivered, delivered);
  return DecisionResult::Done;
}

DecisionResult withhold(DecisionContext& context, int slot, StagingLine line) {
  const std::string classified = slotFilePath(context.boxDir, slot, SlotState::Classified);
  const std::string finished = slotFilePath(context.boxDir, slot, SlotState::Finished);
  line.stamp = keptUntil(context.profile, kWithheldKeepDays);
  if (!writeLineInto(classified, line)) return DecisionResult::Left;
  if (!moveReplace(classified, finished)) return DecisionResult::Left;
  announce(context, finished, line);
  recordEvent(context, fetch_event::kFinished, finished);
  context.history.record(finished, kHistoryMessageTaken);
  return DecisionResult::Done;
}

}  // namespace

DecisionResult actOnClassified(DecisionContext& context, int slot) {
  const std::optional<StagingLine> line =
      readLineOf(slotFilePath(context.boxDir, slot, SlotState::Classified));
  if (!line) return DecisionResult::Left;
  if ((line->flags & staging::kFetchWhole) != 0) return fetchWhole(context, slot, *line);
  if ((line->flags & staging::kNotSpam) != 0) return deliver(context, slot, *line);
  if ((line->flags & staging::kSpam) != 0) return withhold(context, slot, *line);
  return DecisionResult::Left;
}

}  // namespace qg
