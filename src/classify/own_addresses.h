// The user's own addresses of one box and the mail exchanges found for
// them, as the box settings keep them once the analysis worker has made the
// box current: the local test of the Received hops and the To/Cc rule read
// them. A value per current box; the analysis thread (qgctl reads a box
// the same way).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/record_file.h"

namespace qg {

struct OwnAddresses {
  std::vector<std::string> addresses;                   // upper case
  std::vector<std::vector<std::string>> mailExchanges;  // host names of each address
};

// The own addresses and mail-exchange hosts stored in box (fields 100,
// 101.., 200 + 10 i and 201 + 10 i..; counts beyond kMaxOwnAddresses and
// kMaxMailExchanges are cut). Empty when the box has not been made current yet.
OwnAddresses readOwnAddresses(const RecordFile& box);

// The domain a hop must end with to lie inside the provider of a mail
// exchange host: its last two labels (from behind the second-last "."), or
// the whole name when it has fewer than two dots.
std::string_view providerDomain(std::string_view host);

}  // namespace qg
