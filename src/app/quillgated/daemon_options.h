// The command line of quillgated: the home folder, the ports of the local
// servers, the DNS servers the resolver starts from and the offline file.
// Parsed once on the main thread before anything else runs.
#pragma once

#include <cstdint>
#include <string>

#include "netsvc/dns_resolver.h"

namespace qg::quillgated {

// Exit statuses of the agent (the README and the tests rely on them).
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the home folder or "set.log" could not be used
inline constexpr int kExitUsage = 2;    // wrong arguments
inline constexpr int kExitRunning = 3;  // another agent runs for this home folder
inline constexpr int kExitNoBox = 4;    // no valid box: add one with qgctl box add

// The local servers' ports of the demo when none is given: ports any user
// may listen on, so the demo never needs privileges.
inline constexpr std::uint16_t kDemoPop3Port = 1110;
inline constexpr std::uint16_t kDemoSmtpPort = 1025;

struct DaemonOptions {
  std::string home;  // --home; empty: the environment decides
  // --demo: a demo home folder of its own, the built-in upstream server with
  // the sample messages, and the ports kDemoPop3Port and kDemoSmtpPort unless
  // given.
  bool demo = false;
  std::uint16_t pop3Port = 110;
  std::uint16_t smtpPort = 25;
  // --dns-servers (default: the nine gTLD servers, port 53 where an entry
  // names none) and --dns-port (default 53): built once here and handed to
  // every worker that owns a resolver.
  DnsResolverConfig dns;
  std::string offlineFile;  // --offline-file; empty: none
};

// Parses argv into options. -1 when the agent should run; otherwise the exit
// status to end with at once: 0 after --help or --version (printed on
// stdout), kExitUsage after a usage error (explained on stderr).
int parseDaemonOptions(int argc, char** argv, DaemonOptions& options);

}  // namespace qg::quillgated
