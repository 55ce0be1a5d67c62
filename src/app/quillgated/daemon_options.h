// The command line of quillgated: the home folder, the ports of the local
// servers, the DNS servers the resolver starts from and the offline file.
// Parsed once on the main thread before anything else runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qg::quillgated {

// Exit statuses of the agent (the README and the tests rely on them).
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the home folder or "set.log" could not be used
inline constexpr int kExitUsage = 2;    // wrong arguments
inline constexpr int kExitRunning = 3;  // another agent runs for this home folder
inline constexpr int kExitNoBox = 4;    // no valid box: add one with qgctl box add

struct DnsServer {
  std::string address;  // dotted IPv4 address
  std::uint16_t port = 53;
};

struct DaemonOptions {
  std::string home;  // --home; empty: the environment decides
  std::uint16_t pop3Port = 110;
  std::uint16_t smtpPort = 25;
  // --dns-servers; empty: the resolver's own list of the nine gTLD servers.
  std::vector<DnsServer> dnsServers;
  std::uint16_t dnsPort = 53;
  std::string offlineFile;  // --offline-file; empty: none
};

// Parses a "--dns-servers" value: "IP[:PORT],..." with dotted IPv4 addresses
// and ports 1 to 65535 (53 when left out). False, with out untouched, when
// any item is malformed or the list is empty.
bool parseDnsServers(const std::string& text, std::vector<DnsServer>& out);

// Parses argv into options. -1 when the agent should run; otherwise the exit
// status to end with at once: 0 after --help or --version (printed on
// stdout), kExitUsage after a usage error (explained on stderr).
int parseDaemonOptions(int argc, char** argv, DaemonOptions& options);

}  // namespace qg::quillgated
