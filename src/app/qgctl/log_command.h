// The "history" and "protocol" command groups of qgctl: print the records of
// the history ("%08X.hst") and protocol ("%08X.prt") files as JSON, one
// object per record, texts converted from Windows-1251 to UTF-8. Only reads;
// safe while the agent runs (a record being written may be missing).
// Single-threaded (the tool's main thread).
#pragma once

#include <CLI/CLI.hpp>

#include "app/qgctl/command_context.h"

namespace qg::qgctl {

// Adds "history dump [FILE]" and "protocol dump [FILE]" to app. Without FILE
// every file of that kind in the home folder is dumped, oldest first. The
// chosen command runs during parsing and leaves its exit status in
// context.exitCode: kExitOk; kExitFailure when a file cannot be read or is too
// large to be a log file (the other files are still dumped).
void addLogCommands(CLI::App& app, CommandContext& context);

}  // namespace qg::qgctl
