#include "classify/request_code.h"

#include <cstdio>

#include "text/date_record.h"
#include "text/hex_digits.h"

namespace qg {

namespace {

constexpr std::uint32_t kChecksumMask = 0xFFFFF;
constexpr std::uint32_t kChecksumXor = 0xA25A;
constexpr std::size_t kStampDigits = 16;
constexpr std::size_t kCheckDigits = 5;

// The value of digits as hex, or nullopt when one is no hex digit.
std::optional<std::uint64_t> hexValue(std::string_view digits) {
  std::uint64_t value = 0;
  for (const char c : digits) {
    const int digit = hexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<std::uint64_t>(digit);
  }
  return value;
}

}  // namespace

std::uint32_t addressChecksum(std::string_view address) {
  std::uint32_t sum = 0;
  std::uint32_t position = 1;
  for (const char c : address) {
    // Unsigned arithmetic gives the bits of the signed 32-bit product.
    const auto byte =
        static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
    sum += (position * byte) ^ kChecksumXor;
    ++position;
  }
  return sum & kChecksumMask;
}

std::string requestCode(std::int64_t stamp, std::string_view recipient) {
  char code[kRequestCodeLength + 1];
  std::snprintf(code, sizeof code, "%016llX%05X", static_cast<unsigned long long>(stamp),
                static_cast<unsigned>(addressChecksum(recipient)));
  return code;
}

std::optional<RequestCode> findRequestCode(std::string_view subject) {
  const std::size_t at = subject.substr(0, kRequestCodeSearchLimit).find(kRequestCodeLead);
  if (at == std::string_view::npos || subject.size() - at < kRequestCodeLength) {
    return std::nullopt;
  }
  const auto stamp = hexValue(subject.substr(at, kStampDigits));
  const auto check = hexValue(subject.substr(at + kStampDigits, kCheckDigits));
  if (!stamp || !check) return std::nullopt;
  return RequestCode{static_cast<std::int64_t>(*stamp), static_cast<std::uint32_t>(*check)};
}

bool requestCodeInTime(std::int64_t stamp, std::int64_t now) {
  if (DateRecord::fromStamp(stamp).stamp != stamp || stamp > now) return false;
  DateRecord oldest = DateRecord::fromStamp(now);
  return stamp >= oldest.addDays(-kRequestCodeMaxAgeDays);
}

}  // namespace qg
