#include "app/qgctl/dns_command.h"

#include <iostream>
#include <memory>
#include <string>

#include "app/qgctl/command_support.h"
#include "netsvc/dns_resolver.h"

namespace qg::qgctl {

namespace {

struct DnsArguments {
  std::string servers;  // --dns-servers; empty: the nine gTLD servers
  std::uint16_t port = 53;
  std::string name;
};

int lookUp(const DnsArguments& arguments, bool mailHost) {
  DnsResolverConfig config;
  config.referralPort = arguments.port;
  if (!arguments.servers.empty()) {
    auto servers = parseDnsServerList(arguments.servers);
    if (!servers) {
      return complain(
          "--dns-servers wants IP[:PORT],... with IPv4 addresses, got: " + arguments.servers,
          kExitUsage);
    }
    config.startServers = std::move(*servers);
  }
  DnsResolver resolver(config);
  const std::string found =
      mailHost ? resolver.mailHostAddress(arguments.name) : resolver.lookupMx(arguments.name);
  if (found.empty()) return kExitFailure;
  // The record texts end in their own line feeds; the mail-host text is one line.
  std::cout << found << (mailHost ? "\n" : "");
  return kExitOk;
}

}  // namespace

void addDnsCommands(CLI::App& app, CommandContext& context) {
  auto arguments = std::make_shared<DnsArguments>();
  CLI::App* dns = app.add_subcommand("dns", "Look names up with the agent's own DNS client");
  dns->require_subcommand(1);
  dns->fallthrough();
  dns->add_option("--dns-servers", arguments->servers,
                  "DNS servers the walk starts from (default: the nine gTLD servers)")
      ->type_name("IP[:PORT],...");
  dns->add_option("--dns-port", arguments->port, "Port of every server reached by a referral")
      ->type_name("N")
      ->check(CLI::Range(1, 65535));
  struct Command {
    const char* name;
    const char* help;
    bool mailHost;
  };
  static constexpr Command kCommands[] = {
      {"mx", "The MX walk's answer records for DOMAIN, as text forms", false},
      {"mailhost", "Address of NAME's first mail exchange and every exchange host", true},
  };
  for (const Command& command : kCommands) {
    CLI::App* sub = dns->add_subcommand(command.name, command.help);
    sub->add_option("name", arguments->name, "Domain or host name")->required();
    sub->callback([&context, &command, arguments] {
      context.exitCode = lookUp(*arguments, command.mailHost);
    });
  }
}

}  // namespace qg::qgctl
