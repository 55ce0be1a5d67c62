// Fuzzes the header analyzer: the input is parsed as a staging file (behind a
// record line, so that its first line counts as a header field), then the
// sender, the hop countries, the first-hop test and the expression matcher
// run on the result. The input alone is also read as one Received line from
// an exactly sized heap copy, so any access outside it is caught.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "classify/filter_set.h"
#include "classify/header_analyzer.h"
#include "classify/received_hop.h"

#include "exact_copy.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

const qg::FilterSet& filters() {
  static const qg::FilterSet set = [] {
    qg::FilterSet s;
    s.setExpressions({{1, 0, "FREE", 3, {}}, {2, 0, "FREE MONEY", 5, {}}, {2, 1, "VIAGRA", 9, {}}});
    s.setIpCountries(
        {{0x0A000000u, 0x0AFFFFFFu, {'R', 'U'}}, {0xC0000200u, 0xC00002FFu, {'D', 'E'}}});
    s.setZones({});
    return s;
  }();
  return set;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  {
    qg::ExactCopy line(input.data(), input.size());
    const auto hop = qg::readReceivedLine(std::string_view(line.span().data(), line.length));
    if (hop) check(hop->fromName.size() <= qg::kHopNameLimit);
  }

  static const std::string kRecordLine = "0000000000000000 00000000 0000 00000000 80000000\r\n";
  qg::OwnAddresses own;
  own.mailExchanges = {{"MX.EXAMPLE.NET", "A", ""}};
  qg::ParsedMessage message;
  check(qg::parseStagingText(kRecordLine + std::string(input), own, message) == 1);
  const std::string_view header = message.header();
  check(header.size() >= 2 && header.ends_with("\n\n"));
  check(message.body().find('\n') == std::string_view::npos);
  check(message.hopCount() <= qg::kMaxHops);
  check(message.from.size() <= qg::kFieldValueLimit && message.cc.size() <= qg::kCcValueLimit);

  (void)qg::senderAddress(message);
  check(qg::firstHopCountryMismatch(message, filters().ipCountries()) <= 1);
  (void)filters().zoneLookup(qg::list_colour::kBlack, message.hops);
  const std::uint32_t match = filters().expressionMatch(message.header(), 0);
  check((match & 0xFFFF) <= qg::kMatchHalfLimit);
  (void)filters().expressionMatch(message.body(), 1);
  return 0;
}
