// The "check", "reload" and "stop" commands of qgctl: signal the agent that
// runs for the home folder (check mail now, reconfigure, orderly exit). The
// agent is found through the process id in its lock file. Single-threaded
// (the tool's main thread).
#pragma once

#include <CLI/CLI.hpp>

#include "app/qgctl/command_context.h"

namespace qg::qgctl {

// Adds "check", "reload" and "stop" to app. The chosen command runs during
// parsing and leaves its exit status in context.exitCode: kExitOk when the
// signal was sent, kExitFailure (with one line on stderr) when no agent runs
// for the home folder or it cannot be signalled.
void addAgentCommands(CLI::App& app, CommandContext& context);

}  // namespace qg::qgctl
