// Applying a verdict word to one staging file: the record line's flag word
// (and, where the verdict asks, its stamp and received size), the rename
// that tells the fetcher or the windows what to do next, the marked copy of
// a message to be delivered, the quarantine list, learning the sender,
// request mails, history and protocol entries, sound and notice records.
// The analysis thread, on the staging file it has just parsed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "classify/analysis_context.h"
#include "engine/history_file.h"
#include "engine/protocol_file.h"
#include "engine/staging_line.h"

namespace qg {

// Protocol event of a consumed reply to a request mail (9 and 10 are the
// classes Spam and Not spam).
inline constexpr std::uint8_t kProtocolReplyConsumed = 11;
// The marked copy of a message is built under this name in the box's TMP.
inline constexpr std::string_view kMarkTempName = "tmpmark.tmp";

// The staging file being handled: its path and its record line as read with
// the parse. Each rename writes line back first and updates path.
struct StagingMessage {
  std::string path;
  StagingLine line;
  // The file holds the whole message (bit 31 of the flag word as it was read).
  bool whole = false;
};

struct ApplyServices {
  ProtocolWriter& protocol;
  HistoryWriter& history;
  // Writes a request mail to the sender of context.message; false when none
  // was written. The worker's is sendRequest.
  std::function<bool(AnalysisContext& context, std::int64_t now)> sendRequest;
};

enum class Applied {
  WholeRequested,     // ".hdr" with bit 28: the fetcher brings the whole message back as ".hd"
  ReplyConsumed,      // ".hdr" as Spam: a reply to a request is never delivered
  AwaitingBlocklist,  // ".hdd"
  Quarantined,        // ".hdz", listed in "zap.inf"
  Marked,             // marked and ".hdr" as Not spam
  Classified,         // ".hdr" as Not spam or Spam
  Held,               // ".hdp" until the hold ends
  Ignored,            // a verdict that asks for nothing (0 included): the file stays
  Failed,             // the file could not be rewritten or renamed; it stays for a later cycle
};

// Applies verdict to message, the staging file of context's current box that
// context.message was parsed from, at now (the current time stamp).
Applied applyVerdict(std::uint32_t verdict, StagingMessage& message, AnalysisContext& context,
                     const ApplyServices& services, std::int64_t now);

// The flag word as stored: word with bit 31 telling whether the file holds
// the whole message.
std::uint32_t storedFlagWord(std::uint32_t word, bool whole);

}  // namespace qg
