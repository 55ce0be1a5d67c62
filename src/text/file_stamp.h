// The time stamp of a file's last modification, as local time on the program's
// calendar. Any thread that holds the open file.
#pragma once

#include <cstdint>

#include "platform/file.h"

namespace qg {

// Stamp of the file's last modification in local time, milliseconds included;
// 0 when the file is not open or its time cannot be read.
std::int64_t fileStamp(const platform::File& file);

}  // namespace qg
