// The language table: the numbered user-interface texts of one language,
// read from a section of "language.dat". Every window looks its labels up
// here by number; a number the table lacks gives the empty text. The one
// table is loaded and read on the main thread (the supervisor owns it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qg {

inline constexpr std::string_view kLanguageFile = "language.dat";

// Results of LanguageTable::load.
inline constexpr int kLanguageLoaded = 1;
inline constexpr int kLanguageMissing = 0;    // no file, or no section for the letter
inline constexpr int kLanguageTooLarge = -1;  // file larger than kMaxLanguageFileBytes

class LanguageTable {
 public:
  // A language file is a few hundred kilobytes; anything far larger is not one.
  static constexpr std::int64_t kMaxLanguageFileBytes = 16 * 1024 * 1024;

  // Replaces the table with the entries of the section for letter in the file
  // at path (read without a lock; it may be read-only). The table is empty
  // unless the result is kLanguageLoaded. A damaged file reads as far as it
  // is whole: a section offset that does not lead forward ends the search, a
  // text that reaches the end of its section ends there.
  int load(const std::string& path, std::uint8_t letter);
  // The text of the first entry with this number, "" when there is none. The
  // view is valid until the next load or clear.
  std::string_view text(std::uint32_t number) const;
  std::size_t size() const { return texts_.size(); }
  void clear() { texts_.clear(); }

 private:
  std::unordered_map<std::uint32_t, std::string> texts_;
};

}  // namespace qg
