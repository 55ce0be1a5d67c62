// Period files of the two rolling logs (history "%08X.hst", protocol "%08X.prt"):
// the period number of a moment, the file names, the listing that keeps only
// the newest files, and the choice of the number of a new file. Stateless;
// any thread (the writers serialise their own calls).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qg {

inline constexpr std::string_view kHistoryExtension = ".hst";
inline constexpr std::string_view kProtocolExtension = ".prt";
// Only this many files of each kind are kept; older ones are deleted when listed.
inline constexpr std::size_t kKeptLogFiles = 100;

// The period number of a local time stamp: whole minutes of the stamp, kept
// within 32 bits (a stamp before year 1 gives 0).
std::uint32_t periodOfStamp(std::int64_t stamp);
// The first moment of a period, as a time stamp.
std::int64_t stampOfPeriod(std::uint32_t period);

// "%08X" and the extension, for example "4F3A2C10.hst".
std::string periodFileName(std::uint32_t period, std::string_view extension);
// The period of a name made of 1 to 8 hexadecimal digits (either case) and
// then exactly extension; nullopt for any other name.
std::optional<std::uint32_t> parsePeriodFileName(std::string_view name, std::string_view extension);
// folder + "/" + name.
std::string logFilePath(const std::string& folder, std::string_view name);

// The period numbers of the files in folder named like periodFileName with
// extension, newest (highest) first. Files beyond the kKeptLogFiles newest are
// deleted (a failed deletion is retried once after making the file writable)
// and are not in the result. A missing or unreadable folder gives an empty list.
std::vector<std::uint32_t> listLogPeriods(const std::string& folder, std::string_view extension);
// The same list without deleting anything, for tools that only read the logs.
std::vector<std::uint32_t> peekLogPeriods(const std::string& folder, std::string_view extension);

// The number for a new file started at now: the period of now, but at least
// one above after when it is given (so a clock that went back never starts a
// file older than the one it replaces), raised by 1 while a file of that
// number exists. nullopt when every number up to the largest is taken.
std::optional<std::uint32_t> newLogPeriod(const std::string& folder, std::string_view extension,
                                          std::int64_t now,
                                          std::optional<std::uint32_t> after = std::nullopt);

}  // namespace qg
