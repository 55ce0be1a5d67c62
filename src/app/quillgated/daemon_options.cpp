#include "app/quillgated/daemon_options.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <utility>

#ifndef QG_VERSION
#define QG_VERSION "unknown"
#endif

namespace qg::quillgated {

int parseDaemonOptions(int argc, char** argv, DaemonOptions& options) {
  CLI::App app{"quillgated: the Quillgate mail agent without windows"};
  app.set_version_flag("--version", std::string("quillgated ") + QG_VERSION);
  app.add_option("--home", options.home,
                 "Program directory (default: $QUILLGATE_HOME, "
                 "else $XDG_DATA_HOME/quillgate, else "
                 "~/.local/share/quillgate; with --demo: $XDG_DATA_HOME/quillgate-demo, "
                 "else ~/.local/share/quillgate-demo)")
      ->type_name("DIR");
  app.add_flag("--demo", options.demo,
               "Run the demo: a demo box whose server is a built-in POP3 server with sample "
               "messages, sorted by a demo profile (local ports 1110 and 1025 unless given)");
  CLI::Option* pop3 =
      app.add_option("--pop3-port", options.pop3Port, "Port of the local POP3 server on 127.0.0.1")
          ->type_name("N")
          ->check(CLI::Range(1, 65535));
  CLI::Option* smtp =
      app.add_option("--smtp-port", options.smtpPort, "Port of the local SMTP server on 127.0.0.1")
          ->type_name("N")
          ->check(CLI::Range(1, 65535));
  std::string dnsServers;
  app.add_option("--dns-servers", dnsServers,
                 "DNS servers the lookup walk starts from (default: the nine gTLD servers)")
      ->type_name("IP[:PORT],...");
  app.add_option("--dns-port", options.dns.referralPort,
                 "Port of every other DNS exchange (referrals)")
      ->type_name("N")
      ->check(CLI::Range(1, 65535));
  app.add_option("--offline-file", options.offlineFile,
                 "While this file exists, no remote-access connection is active")
      ->type_name("PATH");

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& done) {  // --help, --version
    return app.exit(done);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return kExitUsage;
  }
  if (options.demo) {
    if (pop3->count() == 0) options.pop3Port = kDemoPop3Port;
    if (smtp->count() == 0) options.smtpPort = kDemoSmtpPort;
  }
  if (!dnsServers.empty()) {
    auto servers = parseDnsServerList(dnsServers);
    if (servers) {
      options.dns.startServers = std::move(*servers);
    } else {
      std::cerr << "quillgated: --dns-servers wants IP[:PORT],... with IPv4 addresses, got: "
                << dnsServers << "\n";
      return kExitUsage;
    }
  }
  return -1;
}

}  // namespace qg::quillgated
