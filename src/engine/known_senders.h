// Loading of the known-senders buffer: the whole payload of "femail.dat" in
// the list directory (a count word and 80-byte entries). The supervisor loads
// it before the workers start and again after every stop of the workers;
// while workers run it is only read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qg {

inline constexpr std::string_view kKnownSendersFile = "femail.dat";
// "femail.dat" is tied to no extra key text.
inline constexpr std::string_view kKnownSendersKey = "";

enum class KnownSendersLoad {
  Loaded,         // the file was valid; out holds its payload
  Replaced,       // missing or damaged: out holds an empty list, written as a new file
  ReplaceFailed,  // as Replaced, but the new file could not be written
};

// Fills out from "femail.dat" in listDir. A file that is missing, whose
// header does not match its size, whose checksum fails, or whose payload is
// shorter than the count word is replaced by the empty list: out becomes the
// 4-byte payload with count 0 and that payload is written as a new file. out
// always holds at least the count word afterwards.
KnownSendersLoad loadKnownSenders(const std::string& listDir, std::vector<std::uint8_t>& out);

}  // namespace qg
