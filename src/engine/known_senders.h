// Loading of the known-senders buffer: the whole payload of "femail.dat" in
// the list directory (a count word and 80-byte entries). The supervisor loads
// it before the workers start and again after every stop of the workers;
// while workers run it is only read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/filter_lists.h"

namespace qg {

inline constexpr std::string_view kKnownSendersFile = kAddressListFile;

using KnownSendersLoad = ListLoad;

// Fills out from "femail.dat" in listDir as loadListPayload does: a file that
// is missing or damaged is replaced by the empty list, written as a new file.
// out always holds at least the count word afterwards.
KnownSendersLoad loadKnownSenders(const std::string& listDir, std::vector<std::uint8_t>& out);

}  // namespace qg
