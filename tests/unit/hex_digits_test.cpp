#include "text/hex_digits.h"

#include <gtest/gtest.h>

#include <utility>

namespace qg {
namespace {

// The edges of each digit range and their neighbours, both letter cases, and
// bytes above 0x7F, which are negative as a signed char.
TEST(HexDigits, ValueOfEachRangeEdgeAndItsNeighbours) {
  const std::pair<char, int> cases[] = {
      {'0', 0},   {'9', 9},  {'A', 10}, {'F', 15},    {'a', 10},    {'f', 15},
      {'/', -1},  {':', -1}, {'@', -1}, {'G', -1},    {'`', -1},    {'g', -1},
      {'\0', -1}, {' ', -1}, {'x', -1}, {'\xC0', -1}, {'\xFF', -1}, {'\x80', -1},
  };
  for (const auto& [c, want] : cases) {
    EXPECT_EQ(hexDigitValue(c), want) << "byte " << static_cast<int>(static_cast<unsigned char>(c));
  }
}

}  // namespace
}  // namespace qg
