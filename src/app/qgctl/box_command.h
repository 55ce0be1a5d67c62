// The "box" command group of qgctl: add a box the way the setup does (with
// the built-in profiles made sure of first) and list the boxes of the store
// with their validity and the mail they hold. Single-threaded (the tool's
// main thread); run it while the agent's workers are stopped, or reload the
// agent afterwards.
#pragma once

#include <CLI/CLI.hpp>

#include "app/qgctl/command_context.h"

namespace qg::qgctl {

// Adds "box add|list" to app. The chosen command runs during parsing and
// leaves its exit status in context.exitCode: kExitOk; kExitFailure for an
// invalid or duplicate address, a profile that does not exist, or a store that
// cannot be written; kExitUsage for a bad option value.
void addBoxCommands(CLI::App& app, CommandContext& context);

}  // namespace qg::qgctl
