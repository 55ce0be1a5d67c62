#include "classify/decision.h"

#include <algorithm>
#include <limits>
#include <string>
#include <string_view>

#include "classify/blocklist_rule.h"
#include "classify/header_analyzer.h"
#include "classify/request_code.h"
#include "classify/request_mail.h"
#include "engine/mail_address.h"
#include "engine/mail_store.h"
#include "text/charsets.h"
#include "text/date_record.h"

namespace qg {

namespace {

// The header text is upper case, so the mailer line of a request mail is
// looked for in upper case.
constexpr std::string_view kRequestMailerLine = "X-MAILER: QUILLGATE - REQUEST";
constexpr std::string_view kMailerDaemon = "MAILER-DAEMON";

enum class RuleKind { White, Black, Limit, Score, Blocklist };

RuleKind kindOf(std::uint8_t type) {
  switch (type) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 13:
      return RuleKind::White;
    case 11:
      return RuleKind::Limit;
    case kScoreRuleType:
      return RuleKind::Score;
    default:
      return type >= kFirstBlocklistType ? RuleKind::Blocklist : RuleKind::Black;
  }
}

std::uint32_t whiteHalf(std::uint32_t result) {
  return result >> 16;
}
std::uint32_t blackHalf(std::uint32_t result) {
  return result & 0xFFFF;
}

// The value of the first header line that begins with name (with its
// colon), with one leading and one trailing blank removed; empty when the
// header has no such line.
std::string_view headerValue(std::string_view header, std::string_view name) {
  const std::string needle = "\n" + std::string(name);
  const std::size_t at = header.find(needle);
  if (at == std::string_view::npos) return {};
  const std::size_t start = at + needle.size();
  std::string_view value = header.substr(start, header.find('\n', start) - start);
  if (value.starts_with(' ')) value.remove_prefix(1);
  if (value.ends_with(' ')) value.remove_suffix(1);
  return value;
}

// One run of decide over the current message.
class Decision {
 public:
  Decision(AnalysisContext& context, const DecisionSettings& settings, DecisionReport& report)
      : context_(context),
        settings_(settings),
        report_(report),
        header_(context.message.header()),
        body_(context.message.body()),
        subject_(headerValue(header_, "SUBJECT:")),
        sender_(senderAddress(context.message)) {
    toAndCc_ =
        std::string(headerValue(header_, "TO:")) + " " + std::string(headerValue(header_, "CC:"));
    std::string trimmed = sender_;
    senderValid_ = isValidAddress(trimmed);
    if (const auto& line = context.message.recordLine) {
      size_ = line->size;
      wholeMessage_ = (line->flags & verdict::kWholeMessageHeld) != 0;
    }
  }

  std::uint32_t run() {
    if (const auto reply = replyToRequest()) return *reply;
    context_.rules.update(context_.profile);
    for (const RuleEntry& rule : context_.rules.rules()) {
      if (const auto word = runRule(rule)) {
        report_.rule = rule.rule;
        return *word;
      }
    }
    return context_.rules.defaultVerdict();
  }

 private:
  // A reply to one of our requests, or a request of another copy of the
  // program: both carry a request code in their Subject.
  std::optional<std::uint32_t> replyToRequest() {
    const std::optional<RequestCode> code = findRequestCode(subject_);
    if (!code || !requestCodeInTime(code->stamp, settings_.now)) return std::nullopt;
    const bool request = header_.find(kRequestMailerLine) != std::string_view::npos;
    if (!request) {
      // A reply comes from the address our request went to.
      if (code->check != addressChecksum(sender_)) return std::nullopt;
      if (settings_.live) context_.filters.learnAddress(context_.message.from, list_colour::kWhite);
      return verdict::kReplyConsumed;
    }
    // Another copy's request carries the checksum of its recipient, one of
    // this box's addresses, which the answer must come from.
    if (code->check != addressChecksum(sender_) && !addressedToOwnAddress(code->check)) {
      return std::nullopt;
    }
    if (settings_.live) sendAnswer(context_, settings_.now);
    return verdict::kReplyConsumed;
  }

  bool addressedToOwnAddress(std::uint32_t check) const {
    std::string address = context_.boxSettings.getText(box_field::kAddress);
    upperCase1251(address);
    if (addressChecksum(address) == check) return true;
    return std::any_of(context_.own.addresses.begin(), context_.own.addresses.end(),
                       [&](const std::string& own) { return addressChecksum(own) == check; });
  }

  std::optional<std::uint32_t> runRule(const RuleEntry& rule) {
    const std::uint8_t type = rule.rule.type;
    switch (kindOf(type)) {
      case RuleKind::White: {
        if (type == 13 && !wholeMessage_) return verdict::kWholeMessageNeeded;
        if (type == 3 && !senderValid_) return std::nullopt;
        const std::uint32_t r = whiteCount(type);
        if (r == 0) {
          if (rule.mode == 1) return rule.undetermined;
          if (rule.mode == 2) return rule.spam;
          return std::nullopt;
        }
        if (rule.mode == 3) {
          addScore(-static_cast<std::int64_t>(rule.weight) * r);
          return std::nullopt;
        }
        return rule.notSpam;
      }
      case RuleKind::Black:
        if (type == 14 && !wholeMessage_) return verdict::kWholeMessageNeeded;
        if (type == 12 && !senderValid_) return std::nullopt;
        return blackDecision(rule, blackCount(type));
      case RuleKind::Limit:
        if (rule.sizeLimit != 0 && rule.sizeLimit < size_) return rule.spam;
        return std::nullopt;
      case RuleKind::Score:
        if (score_ < rule.lowBound) return rule.notSpam;
        if (score_ > rule.highBound) return rule.spam;
        return std::nullopt;
      case RuleKind::Blocklist:
        return blocklistRule(rule);
    }
    return std::nullopt;
  }

  // The rest of a black rule once its count r is known (also the blocklist
  // rules, with r 1 for a listed hop).
  std::optional<std::uint32_t> blackDecision(const RuleEntry& rule, std::uint32_t r) {
    if (r == 0) {
      if (rule.mode == 0) return rule.notSpam;
      if (rule.mode == 1) return rule.undetermined;
      return std::nullopt;
    }
    if (rule.mode == 3) {
      addScore(static_cast<std::int64_t>(rule.weight) * r);
      return std::nullopt;
    }
    return rule.spam;
  }

  std::uint32_t whiteCount(std::uint8_t type) {
    const FilterSet& filters = context_.filters;
    switch (type) {
      case 0:
        return whiteHalf(filters.addressLookup(sender_));
      case 1:
        return whiteHalf(filters.zoneLookup(list_colour::kWhite, context_.message.hops));
      case 2:
        return whiteHalf(filters.expressionMatch(subject_, expression_field::kSubject));
      case 3:
        return whiteHalf(filters.domainLookup(sender_));
      default:  // 13
        return whiteHalf(filters.expressionMatch(body_, expression_field::kBody));
    }
  }

  std::uint32_t blackCount(std::uint8_t type) {
    const FilterSet& filters = context_.filters;
    switch (type) {
      case 4:
        return blackHalf(filters.addressLookup(sender_));
      case 5:
        return blackHalf(filters.zoneLookup(list_colour::kBlack, context_.message.hops));
      case 6:
        return blackHalf(filters.expressionMatch(subject_, expression_field::kSubject));
      case 7:
        return blackHalf(filters.expressionMatch(header_, expression_field::kHeader));
      case 8:
        return addressedToOwn() ? 0 : 1;
      case 9:
        return static_cast<std::uint32_t>(
            firstHopCountryMismatch(context_.message, filters.ipCountries()));
      case 10:
        if (sameName(sender_, kMailerDaemon) == 0) return 0;
        return senderValid_ ? 0 : 1;
      case 12:
        return blackHalf(filters.domainLookup(sender_));
      default:  // 14
        return blackHalf(filters.expressionMatch(body_, expression_field::kBody));
    }
  }

  // One of the box's own addresses occurs in the To and Cc values. An empty
  // address would occur in every text and is passed over.
  bool addressedToOwn() const {
    return std::any_of(context_.own.addresses.begin(), context_.own.addresses.end(),
                       [&](const std::string& own) {
                         return !own.empty() && toAndCc_.find(own) != std::string::npos;
                       });
  }

  std::optional<std::uint32_t> blocklistRule(const RuleEntry& rule) {
    BlocklistAnswer answer = BlocklistAnswer::NotListed;
    // A rule without a zone has nothing to ask: no hop is listed by it.
    if (rule.zone.find_first_not_of(' ') != std::string::npos) {
      const std::optional<BlocklistAnswer> looked = lookUp(rule);
      if (!looked) return 0;
      answer = *looked;
    }
    if (answer == BlocklistAnswer::Unanswered) {
      if (settings_.live) return verdict::kAwaitingBlocklist;
      report_.blocklistUnanswered = true;
    }
    return blackDecision(rule, answer == BlocklistAnswer::Listed ? 1 : 0);
  }

  // The cache's answer for the hops; a live decision queues requests for
  // the unanswered ones. nullopt when a file cannot be read or written.
  std::optional<BlocklistAnswer> lookUp(const RuleEntry& rule) {
    ZoneCache& cache = context_.zoneCache;
    auto& hops = context_.message.hops;
    if (!settings_.live) {
      if (!cache.peek(context_.programDir, rule.zone)) return std::nullopt;
      return markListedHops(hops, cache);
    }
    const std::int32_t today = DateRecord::fromStamp(settings_.now).dayNumber;
    takeBlocklistAnswers(context_.programDir, 1, today, cache);
    if (!cache.load(context_.programDir, rule.zone, today)) return std::nullopt;
    const BlocklistAnswer answer = markListedHops(hops, cache);
    if (answer != BlocklistAnswer::Unanswered) return answer;
    DnsblRequest request;
    request.zone = rule.zone;
    request.codes = rule.codes;
    if (queueBlocklistRequests(context_.programDir, hops, request) < 0) return std::nullopt;
    return answer;
  }

  // The score stays inside 32 bits whatever the lists hold.
  void addScore(std::int64_t delta) {
    const std::int64_t sum = static_cast<std::int64_t>(score_) + delta;
    score_ = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        sum, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    report_.score = score_;
  }

  AnalysisContext& context_;
  const DecisionSettings& settings_;
  DecisionReport& report_;
  std::string_view header_;
  std::string_view body_;
  std::string_view subject_;
  std::string sender_;
  std::string toAndCc_;
  bool senderValid_ = false;
  std::uint32_t size_ = 0;
  bool wholeMessage_ = false;
  std::int32_t score_ = 0;
};

}  // namespace

std::uint32_t decide(AnalysisContext& context, const DecisionSettings& settings,
                     DecisionReport* report) {
  DecisionReport local;
  DecisionReport& out = report ? *report : local;
  out = DecisionReport{};
  if (context.message.text.empty()) return 0;
  return Decision(context, settings, out).run();
}

}  // namespace qg
