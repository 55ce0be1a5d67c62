// The "classify" command of qgctl: runs the analysis of a box over staging
// files or raw messages, offline, and tells per file the verdict, its class
// and the rule that decided. Only reads the home folder (no file of the
// store is changed and nothing is queued); safe while the agent runs.
// Single-threaded (the tool's main thread).
#pragma once

#include <CLI/CLI.hpp>

#include "app/qgctl/command_context.h"

namespace qg::qgctl {

// Adds "classify --box N FILE... [--json]" to app. The box's settings,
// profile and the filter lists are read once; each file is parsed as the
// analysis worker parses it (a raw message gets a record line in memory)
// and decided with live effects off, blocklist rules answering from the
// caches alone. One line per file: the path, the verdict word in hex, the
// class name and the deciding rule, or with --json one object per file. The
// exit status goes to context.exitCode: kExitOk; kExitFailure when the box
// cannot be used or a file cannot be read (its line says so); kExitUsage for
// a bad N.
void addClassifyCommand(CLI::App& app, CommandContext& context);

}  // namespace qg::qgctl
