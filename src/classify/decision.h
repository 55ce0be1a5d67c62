// The decision procedure: turns the parsed message of the current box into a
// verdict word by the box's filter profile: replies to request mails first,
// then the profile's rules in their running order, then its default. Runs on
// the analysis thread over its AnalysisContext, and in qgctl classify over a
// context of its own with no effects on the store.
#pragma once

#include <cstdint>
#include <optional>

#include "classify/analysis_context.h"
#include "classify/verdict.h"
#include "engine/filter_profile.h"

namespace qg {

struct DecisionSettings {
  // The current time stamp (the program's calendar); request codes are
  // checked against it.
  std::int64_t now = 0;
  // True on the analysis thread: decide may learn the sender of a reply,
  // answer another copy's request (sendAnswer), take blocklist answers from
  // "dnsbl.inp" and queue requests in "dnsbl.inf". False for qgctl classify:
  // nothing outside the context is changed, and blocklist rules answer from
  // the caches alone.
  bool live = true;
};

// What decide saw beyond its verdict, for qgctl classify.
struct DecisionReport {
  // Set when a blocklist rule had hops without a cached answer (in a live
  // decision that gives kAwaitingBlocklist; offline the rule goes on as if
  // they were not listed).
  bool blocklistUnanswered = false;
  // The rule whose test gave the verdict (a body rule's
  // verdict::kWholeMessageNeeded and a blocklist rule's kAwaitingBlocklist
  // included); nullopt when the profile's default decided, for a reply to a
  // request, and for 0.
  std::optional<ProfileRule> rule;
  // The score of the score rules when decide returned.
  std::int32_t score = 0;
};

// The verdict word for context.message (parsed from a staging file of the
// current box, whose profile and own addresses are in context): 0 (try again
// later: empty text), verdict::kWholeMessageNeeded, verdict::kReplyConsumed,
// verdict::kAwaitingBlocklist, or a class with its option bits and rule tag.
// A live decision also gives 0 when a blocklist cache or "dnsbl.inf" cannot
// be read or written (the file is tried again in a later cycle).
std::uint32_t decide(AnalysisContext& context, const DecisionSettings& settings,
                     DecisionReport* report = nullptr);

}  // namespace qg
