// What every qgctl command group shares: the global options and the exit
// status the chosen command leaves for main(). Single-threaded (the tool's
// main thread).
#pragma once

#include <string>

namespace qg::qgctl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the command could not do its work
inline constexpr int kExitUsage = 2;    // wrong arguments

struct CommandContext {
  std::string home;  // --home DIR, empty when not given
  int exitCode = kExitOk;
};

}  // namespace qg::qgctl
