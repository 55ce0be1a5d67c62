#include "classify/verdict_apply.h"

#include <optional>

#include "classify/message_marks.h"
#include "classify/quarantine_list.h"
#include "classify/staging_files.h"
#include "classify/verdict.h"
#include "engine/file_primitives.h"
#include "engine/filter_lists.h"
#include "engine/filter_profile.h"
#include "engine/history_record.h"
#include "engine/new_mail_sound.h"
#include "text/date_record.h"
#include "text/mail_date.h"

namespace qg {

namespace {

constexpr std::uint32_t kMarkBits = verdict::kMarkSubject | verdict::kAddHeader;
// Bits 28 to 31: the fetcher's requests and marks, not the verdict's own.
constexpr std::uint32_t kFetcherBits = 0xF0000000;

bool has(std::uint32_t word, std::uint32_t bits) {
  return (word & bits) != 0;
}

// The flag word of a decided file: the verdict, without a fetch request left
// over from an earlier pass.
std::uint32_t decidedFlagWord(std::uint32_t verdictWord, bool whole) {
  return storedFlagWord(verdictWord & ~verdict::kFetchWhole, whole);
}

bool moveOn(StagingMessage& message, SlotState state) {
  const std::optional<std::string> renamed = renameStaging(message.path, message.line, state);
  if (!renamed) return false;
  message.path = *renamed;
  return true;
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

QuarantineRecord quarantineRecord(std::uint32_t verdictWord, const StagingMessage& message,
                                  const ParsedMessage& parsed) {
  QuarantineRecord record;
  record.key = messageKey(message.path);
  record.verdict = verdictWord;
  record.size = message.line.size;
  record.stamp = message.line.stamp;
  record.sent = parseMailDate(parsed.date);
  record.flags = message.whole ? 0 : kQuarantineHeaderOnly;
  record.from = parsed.from;
  record.to = parsed.to;
  record.subject = parsed.subject;
  record.path = message.path;
  return record;
}

// The marked copy replaces the staging file, its record line already the
// new one, so the file never holds the marked text under the old line.
bool markInPlace(std::uint32_t verdictWord, StagingMessage& message, AnalysisContext& context) {
  const std::string temp = folderOf(message.path) + "/" + std::string(kMarkTempName);
  deleteFileRetry(temp);
  const std::int64_t size =
      markMessageFile(message.path, temp, marksFor(verdictWord, context.profile));
  if (size < static_cast<std::int64_t>(kStagingLineBytes)) {
    deleteFileRetry(temp);
    return false;
  }
  // The file keeps bit 31: it holds the whole message, and a fetcher that
  // took it for a header would fetch the message again over the marks.
  message.line.flags = storedFlagWord(
      ((verdictWord & ~verdict::kClassMask) + verdict::kNotSpam) & ~kFetcherBits, true);
  message.line.received = static_cast<std::uint32_t>(
      std::min<std::int64_t>(size - static_cast<std::int64_t>(kStagingLineBytes), 0xFFFFFFFF));
  {
    FileHandle file;
    if (!openExisting(temp, file) || !writeStagingLine(file, message.line)) {
      file.close();
      deleteFileRetry(temp);
      return false;
    }
  }
  return moveReplace(temp, message.path);
}

void recordHistory(std::uint32_t verdictWord, const StagingMessage& message,
                   const ApplyServices& services) {
  services.history.record(message.path, kHistoryClassified);
  if (has(verdictWord, verdict::kSendRequest)) {
    services.history.record(message.path, kHistoryRequestSent);
  }
}

void protocol(std::uint8_t type, const AnalysisContext& context, const ApplyServices& services) {
  services.protocol.append(context.programDir, type, context.message.from, context.message.subject);
}

}  // namespace

std::uint32_t storedFlagWord(std::uint32_t word, bool whole) {
  return (word & ~verdict::kWholeMessageHeld) | (whole ? verdict::kWholeMessageHeld : 0);
}

Applied applyVerdict(std::uint32_t verdictWord, StagingMessage& message, AnalysisContext& context,
                     const ApplyServices& services, std::int64_t now) {
  if (verdictWord == verdict::kWholeMessageNeeded ||
      (has(verdictWord, kMarkBits) && !message.whole)) {
    message.line.flags |= verdict::kFetchWhole;
    return moveOn(message, SlotState::Classified) ? Applied::WholeRequested : Applied::Failed;
  }
  if (verdictWord == verdict::kReplyConsumed) {
    message.line.flags = storedFlagWord(verdict::kSpam, message.whole);
    if (!moveOn(message, SlotState::Classified)) return Applied::Failed;
    protocol(kProtocolReplyConsumed, context, services);
    return Applied::ReplyConsumed;
  }
  if (verdictWord == verdict::kAwaitingBlocklist) {
    message.line.flags = storedFlagWord(verdict::kAwaitingBlocklist, message.whole);
    return moveOn(message, SlotState::AwaitingBlocklist) ? Applied::AwaitingBlocklist
                                                         : Applied::Failed;
  }
  const std::uint32_t verdictClass = verdict::classOf(verdictWord);
  if (has(verdictWord, verdict::kLearnSender)) {
    if (verdictClass == verdict::kNotSpam) {
      context.filters.learnAddress(context.message.from, list_colour::kWhite);
    } else if (verdictClass == verdict::kSpam) {
      context.filters.learnAddress(context.message.from, list_colour::kBlack);
    }
  }
  if (has(verdictWord, verdict::kQuarantine)) {
    message.line.flags = decidedFlagWord(verdictWord, message.whole);
    if (!moveOn(message, SlotState::Quarantined)) return Applied::Failed;
    if (!appendQuarantineRecord(context.programDir,
                                quarantineRecord(verdictWord, message, context.message))) {
      // Only its zap.inf record ever takes a message out of quarantine: without
      // one it goes back to be decided again at the next pass.
      moveReplace(message.path, stagingPathIn(message.path, SlotState::New));
      return Applied::Failed;
    }
    return Applied::Quarantined;
  }
  if (has(verdictWord, kMarkBits)) {
    if (!markInPlace(verdictWord, message, context)) return Applied::Failed;
    recordHistory(verdictWord, message, services);
    if (!moveOn(message, SlotState::Classified)) return Applied::Failed;
    if (has(verdictWord, verdict::kSendRequest)) services.sendRequest(context, now);
    return Applied::Marked;
  }
  if (verdictClass == verdict::kNotSpam || verdictClass == verdict::kSpam) {
    message.line.flags = decidedFlagWord(verdictWord, message.whole);
    if (!moveOn(message, SlotState::Classified)) return Applied::Failed;
    protocol(verdictClass == verdict::kNotSpam ? kProtocolNotSpam : kProtocolSpam, context,
             services);
    return Applied::Classified;
  }
  if (verdictClass == verdict::kUndetermined) {
    message.line.flags = decidedFlagWord(verdictWord, message.whole);
    DateRecord until = DateRecord::fromStamp(now);
    message.line.stamp = until.addDays(context.profile.getByte(profile_field::kHoldDays));
    recordHistory(verdictWord, message, services);
    if (!moveOn(message, SlotState::Held)) return Applied::Failed;
    if (has(verdictWord, verdict::kSendRequest)) services.sendRequest(context, now);
    if (has(message.line.flags, verdict::kNotice)) {
      announceNotice(context.programDir, message.path, message.line.flags, message.line.size);
    }
    if (has(message.line.flags, verdict::kSound)) {
      announceSound(context.programDir, message.path, message.line.flags);
    }
    return Applied::Held;
  }
  return Applied::Ignored;
}

}  // namespace qg
