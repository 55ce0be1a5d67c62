// The "list" command group of qgctl: print the filter lists of the home
// folder (addresses, expressions, zones, domains and the IP-country list) as
// JSON, add entries to them, and import an address list from a text file.
// Writing commands are for a stopped agent (or reload it afterwards: the
// analysis worker reads the lists when it starts). Single-threaded (the
// tool's main thread).
#pragma once

#include <CLI/CLI.hpp>

#include "app/qgctl/command_context.h"

namespace qg::qgctl {

// Adds "list dump KIND", "list add KIND ..." and "list import FILE" to app.
// The chosen command runs during parsing and leaves its exit status in
// context.exitCode: kExitOk; kExitFailure when a list file is damaged or
// cannot be written, the import file cannot be read, or the entry is
// already listed; kExitUsage for an entry that cannot be stored.
void addListCommands(CLI::App& app, CommandContext& context);

}  // namespace qg::qgctl
