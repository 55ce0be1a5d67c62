// Stand-ins for the decision procedure and the request mails until they are
// built: every message gets the profile's default verdict, and no request or
// answer mail is written.
#include "classify/decision.h"
#include "classify/request_mail.h"
#include "engine/filter_profile.h"

namespace qg {

std::uint32_t decide(AnalysisContext& context, const DecisionSettings& /*settings*/,
                     DecisionReport* /*report*/) {
  if (context.message.text.empty()) return 0;
  const RecordFile& profile = context.profile;
  const std::uint8_t choice = profile.getByte(profile_field::kDefaultClass);
  const std::uint32_t verdictClass = choice == 0   ? verdict::kNotSpam
                                     : choice == 1 ? verdict::kUndetermined
                                                   : verdict::kSpam;
  std::uint32_t word = verdictClass | verdict::kDefaultRuleTag << verdict::kRuleTagShift;
  constexpr std::uint32_t kOptionBits[] = {verdict::kSound,      verdict::kNotice,
                                           verdict::kQuarantine, verdict::kMarkSubject,
                                           verdict::kAddHeader,  verdict::kSendRequest};
  constexpr std::uint32_t kOptionOffsets[] = {0, 2, 3, 4, 5, 6};
  for (std::size_t i = 0; i < 6; ++i) {
    if (profile.getFlag(profile_field::kDefaultOptions + kOptionOffsets[i])) word |= kOptionBits[i];
  }
  return word;
}

bool sendRequest(AnalysisContext& /*context*/, std::int64_t /*now*/, ProtocolWriter& /*protocol*/) {
  return false;
}

bool sendAnswer(AnalysisContext& /*context*/, std::int64_t /*now*/) {
  return false;
}

}  // namespace qg
