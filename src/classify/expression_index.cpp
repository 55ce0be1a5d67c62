#include "classify/expression_index.h"

#include <algorithm>

#include "text/charsets.h"
#include "text/white_space.h"

namespace qg {

namespace {

std::uint8_t byteAt(std::string_view text, std::size_t i) {
  return i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0;
}

// True when text, compared with the expression over the expression's length,
// is smaller at the first byte where they differ (the end of text counts as
// a zero byte).
bool textBefore(std::string_view text, std::string_view expression) {
  for (std::size_t i = 0; i < expression.size(); ++i) {
    const std::uint8_t t = byteAt(text, i);
    const std::uint8_t e = static_cast<std::uint8_t>(expression[i]);
    if (t != e) return t < e;
  }
  return false;
}

bool byteOrder(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<std::uint8_t>(x) < static_cast<std::uint8_t>(y);
  });
}

}  // namespace

void ExpressionIndex::prepare(std::vector<ExpressionEntry> entries) {
  entries_.clear();
  for (ExpressionEntry& entry : entries) {
    upperCase1251(entry.text);
    squeezeSpaces(entry.text);
    if (!entry.text.empty()) entries_.push_back(std::move(entry));
  }
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const ExpressionEntry& a, const ExpressionEntry& b) {
                     if (a.field != b.field) return a.field < b.field;
                     return byteOrder(a.text, b.text);
                   });
  fields_ = {};
  std::size_t at = 0;
  for (std::size_t field = 0; field < kExpressionFieldCount; ++field) {
    fields_[field].first = at;
    while (at < entries_.size() && entries_[at].field == field) ++at;
    fields_[field].count = at - fields_[field].first;
  }
}

std::size_t ExpressionIndex::lastNotAbove(std::string_view text, const Range& range) const {
  std::size_t lo = range.first;
  std::size_t hi = range.first + range.count - 1;
  while (hi - lo + 1 > 1) {
    const std::size_t mid = lo + (hi - lo + 1) / 2;
    if (textBefore(text, entries_[mid].text)) {
      hi = mid - 1;
    } else {
      lo = mid;
    }
  }
  return lo;
}

const ExpressionEntry* ExpressionIndex::longestAt(std::string_view text, const Range& range) const {
  // The halving finds the last expression not above the text. When that one
  // does not begin the text, a shorter expression still may (FREE in FREE
  // STUFF behind FREE MONEY): it begins the part the two have in common, so
  // the search goes on with that shorter text until it finds one or none.
  for (;;) {
    const ExpressionEntry& candidate = entries_[lastNotAbove(text, range)];
    if (text.starts_with(candidate.text)) return &candidate;
    if (textBefore(text, candidate.text)) return nullptr;
    const auto differ =
        std::mismatch(text.begin(), text.end(), candidate.text.begin(), candidate.text.end());
    const auto common = static_cast<std::size_t>(differ.first - text.begin());
    if (common == 0) return nullptr;
    text = text.substr(0, common);
  }
}

std::uint32_t ExpressionIndex::match(std::string_view text, std::size_t field) const {
  if (field >= kExpressionFieldCount || text.empty()) return 0;
  const Range range = fields_[field];
  if (range.count == 0) return 0;
  std::uint32_t white = 0;
  std::uint32_t black = 0;
  bool anyBlack = false;
  for (std::size_t p = 0; p < text.size(); ++p) {
    // A header line starts behind a LF: its field name is a word start too.
    if (p > 0 && ((text[p - 1] != ' ' && text[p - 1] != '\n') || p + 2 > text.size())) continue;
    const ExpressionEntry* found = longestAt(text.substr(p), range);
    if (found == nullptr) continue;
    const ExpressionEntry& candidate = *found;
    if (candidate.colour == list_colour::kWhite) {
      white += candidate.weight;
    } else if (candidate.colour == list_colour::kBlack) {
      black += candidate.weight;
      anyBlack = true;
    }
  }
  white = std::min(white, kMatchHalfLimit);
  black = std::min(black + (anyBlack ? 1u : 0u), kMatchHalfLimit);
  return (white << 16) | black;
}

}  // namespace qg
