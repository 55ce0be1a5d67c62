#include "app/quillgated/daemon_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <iostream>
#include <optional>
#include <string_view>

#ifndef QG_VERSION
#define QG_VERSION "unknown"
#endif

namespace qg::quillgated {

namespace {

std::optional<unsigned> parseDecimal(std::string_view text, unsigned high) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value > high) return std::nullopt;
  return value;
}

bool isDottedAddress(std::string_view text) {
  int parts = 0;
  while (true) {
    const std::size_t dot = text.find('.');
    const std::string_view part = text.substr(0, dot);
    if (part.size() > 3 || !parseDecimal(part, 255)) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  return parts == 4;
}

std::optional<DnsServer> parseDnsServer(std::string_view item) {
  DnsServer server;
  const std::size_t colon = item.find(':');
  if (colon != std::string_view::npos) {
    const auto port = parseDecimal(item.substr(colon + 1), 65535);
    if (!port || *port == 0) return std::nullopt;
    server.port = static_cast<std::uint16_t>(*port);
    item = item.substr(0, colon);
  }
  if (!isDottedAddress(item)) return std::nullopt;
  server.address = std::string(item);
  return server;
}

}  // namespace

bool parseDnsServers(const std::string& text, std::vector<DnsServer>& out) {
  std::vector<DnsServer> servers;
  std::string_view rest(text);
  while (true) {
    const std::size_t comma = rest.find(',');
    const auto server = parseDnsServer(rest.substr(0, comma));
    if (!server) return false;
    servers.push_back(*server);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  out = std::move(servers);
  return true;
}

int parseDaemonOptions(int argc, char** argv, DaemonOptions& options) {
  CLI::App app{"quillgated: the Quillgate mail agent without windows"};
  app.set_version_flag("--version", std::string("quillgated ") + QG_VERSION);
  app.add_option("--home", options.home,
                 "Program directory (default: $QUILLGATE_HOME, "
                 "else $XDG_DATA_HOME/quillgate, else "
                 "~/.local/share/quillgate)")
      ->type_name("DIR");
  app.add_option("--pop3-port", options.pop3Port, "Port of the local POP3 server on 127.0.0.1")
      ->type_name("N")
      ->check(CLI::Range(1, 65535));
  app.add_option("--smtp-port", options.smtpPort, "Port of the local SMTP server on 127.0.0.1")
      ->type_name("N")
      ->check(CLI::Range(1, 65535));
  std::string dnsServers;
  app.add_option("--dns-servers", dnsServers,
                 "DNS servers the lookup walk starts from (default: the nine gTLD servers)")
      ->type_name("IP[:PORT],...");
  app.add_option("--dns-port", options.dnsPort, "Port of every other DNS exchange (referrals)")
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
  if (!dnsServers.empty() && !parseDnsServers(dnsServers, options.dnsServers)) {
    std::cerr << "quillgated: --dns-servers wants IP[:PORT],... with IPv4 addresses, got: "
              << dnsServers << "\n";
    return kExitUsage;
  }
  return -1;
}

}  // namespace qg::quillgated
