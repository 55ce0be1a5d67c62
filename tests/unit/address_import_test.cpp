#include "engine/address_import.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qg {
namespace {

struct Imported {
  std::string name;
  std::string address;
  bool operator==(const Imported&) const = default;
};

std::vector<Imported> imported(const std::vector<AddressEntry>& list, std::size_t from = 0) {
  std::vector<Imported> out;
  for (std::size_t i = from; i < list.size(); ++i) out.push_back({list[i].name, list[i].address});
  return out;
}

TEST(ImportAddressList, CandidatesAroundAtSigns) {
  std::vector<AddressEntry> list{{1, 0, "Old", "old@example.org"}};
  const AddressImportResult result = importAddressList(
      "John Smith <john@example.com>\r\n"
      "\"Roe, Jane\" <jane@example.com>, x@y, old@example.org\n"
      "bad@@example.com;ann@example.net|Bob@Example.NET\n"
      "\tmail:carl@example.com\n"
      "Old@Example.org\n"
      "no addresses here\n" +
          std::string(120, 'a') + "@example.com\n",
      list_colour::kBlack, list);
  EXPECT_EQ(result.added, 5u);
  EXPECT_FALSE(result.stoppedAtLine);
  // The exact comparison lets another letter case in; runs longer than 99
  // characters and invalid addresses ("mail:carl@...", "x@y") are no candidates.
  EXPECT_EQ(imported(list, 1),
            (std::vector<Imported>{{"John Smith", "john@example.com"},
                                   {"Roe, Jane", "jane@example.com"},
                                   {"bad@@example.com", "ann@example.net"},
                                   {"bad@@example.com;ann@example.net", "Bob@Example.NET"},
                                   {"", "Old@Example.org"}}));
  EXPECT_EQ(list[1].colour, list_colour::kBlack);
  EXPECT_EQ(list[1].origin, 0);
}

TEST(ImportAddressList, AControlCharacterStopsTheImport) {
  std::vector<AddressEntry> list;
  const AddressImportResult result =
      importAddressList("a1@example.com\nb2@example.com \x01\nc3@example.com\n", 1, list);
  EXPECT_EQ(result.added, 1u);
  EXPECT_EQ(result.stoppedAtLine, 2u);
  EXPECT_EQ(imported(list), (std::vector<Imported>{{"", "a1@example.com"}}));
}

TEST(ImportAddressList, LongLinesAreReadInPieces) {
  std::vector<AddressEntry> list;
  // The second address is split by the end of the first 999-byte piece.
  const std::string line = "ab@example.com " + std::string(975, ' ') + "cd@example.com\n";
  importAddressList(line, 1, list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].address, "ab@example.com");
}

}  // namespace
}  // namespace qg
