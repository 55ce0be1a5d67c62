// The "parse" command of qgctl: the parsed message of one staging file or
// raw message as the analysis sees it, as one JSON object. Only reads (the
// home's IP-country list and, with --box, the box's settings); safe while
// the agent runs. Single-threaded (the tool's main thread).
#pragma once

#include <CLI/CLI.hpp>

#include "app/qgctl/command_context.h"

namespace qg::qgctl {

// Adds "parse FILE... [--box N]" to app. A file that does not begin with a
// valid record line is taken as a raw message and given one in memory. One
// JSON object per file; with several files each object begins with "file"
// and a file that cannot be parsed gives {"file": ..., "error": ...}. The
// command runs during parsing and leaves its exit status in
// context.exitCode: kExitOk; kExitFailure when a file is missing, empty or
// unreadable, or the box cannot be read; kExitUsage for a bad N.
void addParseCommand(CLI::App& app, CommandContext& context);

}  // namespace qg::qgctl
