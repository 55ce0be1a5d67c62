// "zap.inf" from hostile bytes (the quarantine window writes it, a crash can
// tear it): records are read one after the other until one does not read;
// every record that reads must encode back to exactly the bytes it came from.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "classify/quarantine_list.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> copy(data, data + size);  // exactly as long as the input
  std::span<const std::uint8_t> rest(copy);
  std::size_t used = 0;
  while (const std::optional<qg::QuarantineRecord> record =
             qg::decodeQuarantineRecord(rest, used)) {
    check(used >= qg::kQuarantineFixedBytes && used <= rest.size());
    const std::vector<std::uint8_t> again = qg::encodeQuarantineRecord(*record);
    check(again.size() == used && std::equal(again.begin(), again.end(), rest.begin()));
    rest = rest.subspan(used);
  }
  return 0;
}
