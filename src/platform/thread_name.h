// Names for threads as process listings show them (top -H, /proc/PID/task),
// so that a user or a test can tell the agent's workers apart. Any thread
// names itself.
#pragma once

#include <cstddef>
#include <string_view>

namespace qg::platform {

// Linux keeps 15 bytes of a thread name; longer names are cut.
inline constexpr std::size_t kThreadNameLimit = 15;

// Names the calling thread. False when the system refused the name.
bool nameCurrentThread(std::string_view name);

}  // namespace qg::platform
