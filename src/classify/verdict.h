// The verdict word: the 32-bit result of the decision procedure that travels
// to the record line of a staging file and to "zap.inf", "soun.inf" and
// "wizi.inf". Constants and small helpers only; any thread. The bits the
// fetcher also acts on are its own constants (engine/staging_line.h) under the
// decision's names: one word, one set of values.
#pragma once

#include <cstdint>

#include "engine/staging_line.h"

namespace qg::verdict {

// Bits 0-3: the class.
inline constexpr std::uint32_t kClassMask = 0x0F;
inline constexpr std::uint32_t kNotSpam = staging::kNotSpam;
inline constexpr std::uint32_t kUndetermined = 4;
inline constexpr std::uint32_t kSpam = staging::kSpam;
// The whole value 1: the whole message is needed before a decision.
inline constexpr std::uint32_t kWholeMessageNeeded = 1;

inline constexpr std::uint32_t kSound = staging::kAnnounceSound;  // queue a new-mail sound
inline constexpr std::uint32_t kNotice = staging::kAnnounceWizi;  // queue a new-mail notice
inline constexpr std::uint32_t kQuarantine = 0x40;                // to "zap.inf", not delivered
inline constexpr std::uint32_t kMarkSubject =
    staging::kSubjectMarked;  // mark the delivered Subject
inline constexpr std::uint32_t kAddHeader = staging::kVerdictLineAdded;  // add the "X-QG:" line
inline constexpr std::uint32_t kSendRequest = 0x200;  // request mail + history type 3

// Bits 12-19: the rule tag, 10 + the deciding rule's number, or 4 for the
// profile's default.
inline constexpr int kRuleTagShift = 12;
inline constexpr std::uint32_t kRuleTagMask = 0xFF000;
inline constexpr std::uint32_t kDefaultRuleTag = 4;
inline constexpr std::uint32_t kFirstRuleTag = 10;

// Special verdicts, never combined with other bits.
inline constexpr std::uint32_t kReplyConsumed = 0x100000;
inline constexpr std::uint32_t kAwaitingBlocklist = 0x200000;

inline constexpr std::uint32_t kFetchWhole =
    staging::kFetchWhole;                              // the fetcher retrieves the whole message
inline constexpr std::uint32_t kUserSet = 0x20000000;  // set in the quarantine window
inline constexpr std::uint32_t kLearnSender = 0x40000000;  // learn as white (2) or black (8)
// In a record line's flag word: the file holds the whole message.
inline constexpr std::uint32_t kWholeMessageHeld = staging::kWholeMessage;

inline constexpr std::uint32_t classOf(std::uint32_t word) {
  return word & kClassMask;
}
inline constexpr std::uint32_t ruleTagOf(std::uint32_t word) {
  return (word & kRuleTagMask) >> kRuleTagShift;
}

}  // namespace qg::verdict
