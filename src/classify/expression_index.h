// The expression list prepared for matching: texts upper-cased and squeezed,
// sorted by field and text, with the range of each field's records, and the
// matcher the Subject, header and body rules use. Prepared once when the
// analysis worker loads its filter set and only read afterwards; the
// analysis thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/filter_lists.h"

namespace qg {

// Each half of a match result saturates here instead of running into the other.
inline constexpr std::uint32_t kMatchHalfLimit = 0xFFFF;

class ExpressionIndex {
 public:
  // Takes the entries: each text is upper-cased (Windows-1251) and squeezed;
  // entries whose text is then empty are dropped (they would match
  // everywhere). Sorts by field, then by text in byte order, and notes the
  // records of each field 0-9.
  void prepare(std::vector<ExpressionEntry> entries);

  // Matches the expressions of field against text (upper case). At the text
  // start and at every word start behind a blank or a LF (the start of a
  // header line), up to two characters
  // before the end, the longest expression that begins the text there
  // matches (found by halving for the last expression not greater than the
  // text, each compared over its own length). Returns the sum of the weights of
  // white matches in the upper 16 bits and, in the lower 16 bits, the sum of
  // the weights of black matches plus 1 when any black expression matched
  // (each half at most kMatchHalfLimit). 0 for an empty text or a field
  // without expressions.
  std::uint32_t match(std::string_view text, std::size_t field) const;

  const std::vector<ExpressionEntry>& entries() const { return entries_; }

 private:
  struct Range {
    std::size_t first = 0;
    std::size_t count = 0;
  };
  // The last expression of range not greater than text over its own length.
  std::size_t lastNotAbove(std::string_view text, const Range& range) const;
  // The longest expression of range that text begins with, or nullptr.
  const ExpressionEntry* longestAt(std::string_view text, const Range& range) const;

  std::vector<ExpressionEntry> entries_;
  std::array<Range, kExpressionFieldCount> fields_{};
};

}  // namespace qg
