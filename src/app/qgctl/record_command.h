// The "record" command group of qgctl: dump, get and set the fields of a
// record file. FILE is a path; the directory part and the name are handed to
// the file engine separately, since the name is part of the scrambling.
// Single-threaded (the tool's main thread).
#pragma once

#include <CLI/CLI.hpp>

#include "app/qgctl/command_context.h"

namespace qg::qgctl {

// Adds "record dump|get|set" to app. The chosen command runs during parsing
// and leaves its exit status in context.exitCode.
void addRecordCommands(CLI::App& app, CommandContext& context);

}  // namespace qg::qgctl
