// The parsed message the rules work on: one normalised, decoded, upper-cased
// text (header lines, an empty line, then the body as one run of words), the
// From, To, Cc, Subject and Date values in the case they were written in, and
// up to ten Received hops. Part of the analysis context; the analysis
// thread fills it anew for each staging file and keeps its text buffer's
// capacity from one message to the next.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "classify/received_hop.h"
#include "engine/staging_line.h"

namespace qg {

inline constexpr std::size_t kMaxHops = 10;
// Field values are cut at these many characters.
inline constexpr std::size_t kFieldValueLimit = 1000;
inline constexpr std::size_t kCcValueLimit = 999;

struct ParsedMessage {
  // The staging file normalised: its header (the record line first), squeezed
  // and ended by an empty line, then the decoded body squeezed to one line.
  std::string text;
  std::size_t headerLength = 0;  // bytes of text up to and including the empty line
  std::string from;
  std::string to;
  std::string cc;
  std::string subject;
  std::string date;
  // Valid hops first, in header order (the hop nearest to the user first).
  std::array<ReceivedHop, kMaxHops> hops;
  // The record line as the file began, when it passed the strict check.
  std::optional<StagingLine> recordLine;

  std::string_view header() const { return std::string_view(text).substr(0, headerLength); }
  std::string_view body() const { return std::string_view(text).substr(headerLength); }
  // The number of valid hops.
  std::size_t hopCount() const;
  // Empties every field; the text buffer keeps its capacity.
  void clear();
};

}  // namespace qg
