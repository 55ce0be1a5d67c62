// The "dns" commands of qgctl: the lookups of the agent's own DNS client, run
// once from the command line, to see what the address validation and the
// analysis worker would see for a domain. Single-threaded (the tool's main
// thread).
#pragma once

#include <CLI/CLI.hpp>

#include "app/qgctl/command_context.h"

namespace qg::qgctl {

// Adds "dns mx DOMAIN" (the text forms of every answer record of the MX walk,
// as the agent hands them on) and "dns mailhost NAME" (the address of the
// first mail exchange and every exchange host, or the name's own address and
// the name, on one line). "--dns-servers IP[:PORT],..." and "--dns-port N"
// set the walk's start servers and referral port as for the agent. Exit
// status kExitOk with a result, kExitFailure when the lookup found nothing,
// kExitUsage for a bad server list.
void addDnsCommands(CLI::App& app, CommandContext& context);

}  // namespace qg::qgctl
