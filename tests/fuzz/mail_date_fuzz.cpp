// Date texts of received mail: any bytes must read as 0 or as a stamp that is
// already normalised, whatever the local zone.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/mail_date.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const int zone : {0, 3 * 3600, -(9 * 3600 + 1800)}) {
    const std::int64_t stamp = qg::parseMailDate(text, zone);
    if (stamp != 0 && qg::DateRecord::fromStamp(stamp).stamp != stamp) __builtin_trap();
  }
  return 0;
}
