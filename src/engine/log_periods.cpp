#include "engine/log_periods.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <limits>
#include <utility>

#include "engine/file_primitives.h"
#include "platform/file_listing.h"
#include "text/date_record.h"
#include "text/hex_digits.h"

namespace qg {
namespace {

constexpr std::size_t kMaxPeriodDigits = 8;

// One deletion, and one more after making the file writable: the listing must
// not hang on a file it may not remove.
void deleteOldLogFile(const std::string& path) {
  if (platform::removeFile(path) == 0) return;
  platform::makeWritable(path);
  platform::removeFile(path);
}

// The matching files of folder, newest first. Every matching name is taken,
// not a fixed first few: the directory order is arbitrary, and a partial
// listing could miss the newest file. Only names spelt as the writers spell
// them count: a file the writers would reopen under another name ("1a2b.prt" as
// "00001A2B.prt") is left alone.
std::vector<std::pair<std::uint32_t, std::string>> periodFiles(const std::string& folder,
                                                               std::string_view extension) {
  std::vector<std::string> names;
  platform::listFileNames(folder, names);
  std::vector<std::pair<std::uint32_t, std::string>> found;
  for (std::string& name : names) {
    const auto period = parsePeriodFileName(name, extension);
    if (period && name == periodFileName(*period, extension)) {
      found.emplace_back(*period, std::move(name));
    }
  }
  std::sort(found.begin(), found.end(), std::greater<>());
  return found;
}

}  // namespace

std::uint32_t periodOfStamp(std::int64_t stamp) {
  if (stamp <= 0) return 0;
  const std::int64_t period = stamp / kStampMinute;
  constexpr std::int64_t kMax = std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(std::min(period, kMax));
}

std::int64_t stampOfPeriod(std::uint32_t period) {
  return static_cast<std::int64_t>(period) * kStampMinute;
}

std::string periodFileName(std::uint32_t period, std::string_view extension) {
  std::array<char, 16> digits{};
  std::snprintf(digits.data(), digits.size(), "%08X", static_cast<unsigned>(period));
  std::string name(digits.data());
  name += extension;
  return name;
}

std::optional<std::uint32_t> parsePeriodFileName(std::string_view name,
                                                 std::string_view extension) {
  if (name.size() <= extension.size() || !name.ends_with(extension)) return std::nullopt;
  const std::string_view stem = name.substr(0, name.size() - extension.size());
  if (stem.size() > kMaxPeriodDigits) return std::nullopt;
  std::uint32_t period = 0;
  for (const char c : stem) {
    const int digit = hexDigitValue(c);
    if (digit < 0) return std::nullopt;
    period = period << 4 | static_cast<std::uint32_t>(digit);
  }
  return period;
}

std::string logFilePath(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

std::vector<std::uint32_t> listLogPeriods(const std::string& folder, std::string_view extension) {
  const auto found = periodFiles(folder, extension);
  std::vector<std::uint32_t> kept;
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (i < kKeptLogFiles) {
      // Two spellings of one number ("1A.hst", "0000001A.hst") count once.
      if (kept.empty() || kept.back() != found[i].first) kept.push_back(found[i].first);
    } else {
      deleteOldLogFile(logFilePath(folder, found[i].second));
    }
  }
  return kept;
}

std::vector<std::uint32_t> peekLogPeriods(const std::string& folder, std::string_view extension) {
  std::vector<std::uint32_t> periods;
  for (const auto& [period, name] : periodFiles(folder, extension)) {
    if (periods.empty() || periods.back() != period) periods.push_back(period);
  }
  return periods;
}

std::optional<std::uint32_t> newLogPeriod(const std::string& folder, std::string_view extension,
                                          std::int64_t now, std::optional<std::uint32_t> after) {
  std::uint32_t period = periodOfStamp(now);
  if (after) {
    if (*after == std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    period = std::max(period, *after + 1);
  }
  while (fileExists(logFilePath(folder, periodFileName(period, extension)))) {
    if (period == std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    ++period;
  }
  return period;
}

}  // namespace qg
