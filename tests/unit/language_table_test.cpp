#include "engine/language_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

using Bytes = std::vector<std::uint8_t>;

void appendWord(Bytes& out, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(word >> shift));
}

struct Entry {
  std::uint32_t number;
  std::string text;
};

// One section as the file holds it; next is patched by the caller when the
// file is assembled (0 here).
Bytes section(char letter, const std::vector<Entry>& entries) {
  Bytes out;
  appendWord(out, 0);
  out.push_back(static_cast<std::uint8_t>(letter));
  for (const Entry& entry : entries) {
    appendWord(out, entry.number);
    out.insert(out.end(), entry.text.begin(), entry.text.end());
    out.push_back(0);
  }
  return out;
}

// The sections one after the other, each pointing at the next.
Bytes file(const std::vector<Bytes>& sections) {
  Bytes out;
  for (const Bytes& part : sections) {
    const std::size_t start = out.size();
    out.insert(out.end(), part.begin(), part.end());
    const std::uint32_t next = static_cast<std::uint32_t>(out.size());
    for (int i = 0; i < 4; ++i) out[start + i] = static_cast<std::uint8_t>(next >> (8 * i));
  }
  return out;
}

TEST(LanguageTable, LoadsTheSectionOfTheLetterAndTheFirstEntryOfANumberWins) {
  TestFolder folder;
  const std::string path = folder.path("language.dat");
  putFileBytes(path,
               file({section('e', {{1, "Check mail"}, {124, "Start~Fetch"}}),
                     section('r', {{1, "Proverka"}, {2, ""}, {1, "second"}, {9999, "last"}})}));
  LanguageTable table;
  ASSERT_EQ(table.load(path, 'r'), kLanguageLoaded);
  EXPECT_EQ(table.text(1), "Proverka");
  EXPECT_EQ(table.text(2), "");
  EXPECT_EQ(table.text(9999), "last");
  EXPECT_EQ(table.text(124), "");  // only in the English section
  ASSERT_EQ(table.load(path, 'e'), kLanguageLoaded);
  EXPECT_EQ(table.text(124), "Start~Fetch");
  EXPECT_EQ(table.text(9999), "");
  // A letter without a section leaves the table empty.
  EXPECT_EQ(table.load(path, 'u'), kLanguageMissing);
  EXPECT_EQ(table.size(), 0u);
  EXPECT_EQ(table.text(1), "");
  EXPECT_EQ(table.load(folder.path("absent.dat"), 'e'), kLanguageMissing);
}

TEST(LanguageTable, DamagedFilesReadAsFarAsTheyAreWhole) {
  Bytes backwards = section('e', {{1, "one"}});  // next offset 0: points back at itself
  Bytes cutText = file({section('e', {{1, "whole"}, {2, "cut"}})});
  cutText.pop_back();  // the last text loses its zero byte
  Bytes beyond = section('r', {{3, "three"}});
  beyond[0] = 0xFF;  // next offset far behind the end of the file
  beyond[1] = 0xFF;
  const Bytes cutNumber = {10, 0, 0, 0, 'e', 1, 0};  // an entry number cut short

  struct Case {
    const char* name;
    Bytes bytes;
    char letter;
    int want;
    std::vector<Entry> wantTexts;
  };
  const Case cases[] = {
      {"backward offset, letter absent", backwards, 'r', kLanguageMissing, {}},
      {"backward offset, letter present", backwards, 'e', kLanguageLoaded, {{1, "one"}}},
      {"text without zero at the end", cutText, 'e', kLanguageLoaded, {{1, "whole"}, {2, "cut"}}},
      {"offset behind the end", beyond, 'r', kLanguageLoaded, {{3, "three"}}},
      {"entry number cut short", cutNumber, 'e', kLanguageLoaded, {}},
      {"shorter than a section header", Bytes{5, 0, 0}, 'e', kLanguageMissing, {}},
  };
  TestFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.path("language.dat");
    putFileBytes(path, c.bytes);
    LanguageTable table;
    EXPECT_EQ(table.load(path, static_cast<std::uint8_t>(c.letter)), c.want);
    EXPECT_EQ(table.size(), c.wantTexts.size());
    for (const Entry& entry : c.wantTexts) EXPECT_EQ(table.text(entry.number), entry.text);
  }
}

}  // namespace
}  // namespace qg
