#include "engine/language_table.h"

#include <algorithm>
#include <span>
#include <vector>

#include "engine/file_primitives.h"

namespace qg {

namespace {

// Section header: offset of the next section (32-bit) and the letter.
constexpr std::size_t kSectionHeaderBytes = 5;
constexpr std::size_t kNumberBytes = 4;

std::uint32_t wordAt(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

}  // namespace

int LanguageTable::load(const std::string& path, std::uint8_t letter) {
  texts_.clear();
  // Read without a lock: nothing writes the file while the program runs, and
  // a shipped copy is read-only, which the retried exclusive open would wait
  // on for ever.
  FileHandle file = platform::openShared(path);
  if (!file.isOpen()) return kLanguageMissing;
  const std::int64_t size = file.size();
  if (size > kMaxLanguageFileBytes) return kLanguageTooLarge;
  if (size <= 0) return kLanguageMissing;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!file.seek(0) || !readExact(file, bytes)) return kLanguageMissing;
  file.close();

  const std::span<const std::uint8_t> all(bytes);
  std::size_t section = 0;
  while (section + kSectionHeaderBytes <= all.size()) {
    const std::size_t next = wordAt(all, section);
    if (all[section + 4] == letter) {
      const std::size_t end = next > section && next <= all.size() ? next : all.size();
      std::size_t at = section + kSectionHeaderBytes;
      while (at + kNumberBytes <= end) {
        const std::uint32_t number = wordAt(all, at);
        at += kNumberBytes;
        const auto textEnd = std::find(all.begin() + static_cast<std::ptrdiff_t>(at),
                                       all.begin() + static_cast<std::ptrdiff_t>(end), 0);
        const std::size_t stop = static_cast<std::size_t>(textEnd - all.begin());
        // The first entry of a number wins; later ones are never looked up.
        texts_.try_emplace(number, reinterpret_cast<const char*>(all.data() + at), stop - at);
        at = stop + 1;
      }
      return kLanguageLoaded;
    }
    // Only a forward offset is followed, so a damaged file cannot loop.
    if (next <= section) break;
    section = next;
  }
  return kLanguageMissing;
}

std::string_view LanguageTable::text(std::uint32_t number) const {
  const auto found = texts_.find(number);
  return found == texts_.end() ? std::string_view() : std::string_view(found->second);
}

}  // namespace qg
