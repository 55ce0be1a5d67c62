// The "profile" command group of qgctl: list the filter profiles of the home
// folder, reset one to its defaults (a built-in name to that built-in
// profile), and create the built-in profiles that are missing.
// Single-threaded (the tool's main thread); run it while the agent's workers
// are stopped, or reload the agent afterwards.
#pragma once

#include <CLI/CLI.hpp>

#include "app/qgctl/command_context.h"

namespace qg::qgctl {

// Adds "profile list|reset|ensure-builtin" to app. The chosen command runs
// during parsing and leaves its exit status in context.exitCode: kExitOk;
// kExitFailure when the home folder cannot be read or a profile cannot be
// written; kExitUsage for a bad NAME.
void addProfileCommands(CLI::App& app, CommandContext& context);

}  // namespace qg::qgctl
