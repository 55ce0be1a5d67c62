// Splitting a From value into the display name and the bare address, as the
// address learning and the rules take them. Pure function; any thread.
#pragma once

#include <string>
#include <string_view>

namespace qg {

struct SenderParts {
  std::string name;     // display name, squeezed, one surrounding double quote removed
  std::string address;  // empty when the value holds none
};

// The address is the text between the first "<" and the first ">" behind
// it; without such a pair, the first blank-separated word that passes
// isValidAddress. Everything else, squeezed and without a double quote at
// its start or end, is the name. An address holding a colon loses
// everything up to and including the first one (a route or group prefix).
SenderParts splitSender(std::string_view fromValue);

}  // namespace qg
