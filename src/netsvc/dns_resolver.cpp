#include "netsvc/dns_resolver.h"

#include <arpa/inet.h>

#include <charconv>
#include <utility>

#include "platform/dns_tcp.h"

namespace qg {

namespace {

constexpr std::string_view kExchangeKey = "Exchange=";

// The host name after "Exchange=": up to the first byte that, taken as a signed
// byte, is 32 or less (a blank, a control byte or any byte of 128 and above).
std::string hostAfter(std::string_view text) {
  std::size_t end = 0;
  while (end < text.size() && static_cast<signed char>(text[end]) > 32) ++end;
  return std::string(text.substr(0, end));
}

DnsResolverOptions withServers(DnsResolverConfig servers) {
  DnsResolverOptions options;
  options.servers = std::move(servers);
  return options;
}

}  // namespace

std::vector<DnsEndpoint> defaultDnsStartServers() {
  return {{"192.5.6.30", 53},   {"192.33.14.30", 53},  {"192.26.92.30", 53},
          {"192.31.80.30", 53}, {"192.12.94.30", 53},  {"192.35.51.30", 53},
          {"192.42.93.30", 53}, {"192.54.112.30", 53}, {"192.43.172.30", 53}};
}

std::optional<std::vector<DnsEndpoint>> parseDnsServerList(std::string_view text,
                                                           std::uint16_t defaultPort) {
  std::vector<DnsEndpoint> servers;
  while (true) {
    const std::size_t comma = text.find(',');
    std::string_view entry = text.substr(0, comma);
    DnsEndpoint server{std::string(entry), defaultPort};
    if (const std::size_t colon = entry.find(':'); colon != std::string_view::npos) {
      const std::string_view port = entry.substr(colon + 1);
      unsigned value = 0;
      const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
      if (error != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
        return {};
      }
      server.host = std::string(entry.substr(0, colon));
      server.port = static_cast<std::uint16_t>(value);
    }
    in_addr address{};
    if (inet_pton(AF_INET, server.host.c_str(), &address) != 1) return {};
    servers.push_back(std::move(server));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return servers;
}

DnsResolver::DnsResolver(DnsResolverOptions options) : options_(std::move(options)) {
  if (!options_.transport) options_.transport = tcpDnsTransport(options_.timeouts);
}

DnsResolver::DnsResolver(DnsResolverConfig servers)
    : DnsResolver(withServers(std::move(servers))) {}

std::optional<std::string> DnsResolver::hostAddress(const std::string& host) const {
  if (options_.hostLookup) return options_.hostLookup(host);
  return platform::firstIpv4Address(host);
}

// The walk. Without a server: each start server in order until one succeeds; a
// failure that used up the budget ends the walk, otherwise the budget is reset
// for the next start server. With a server: a spent budget is success with no
// records; else one exchange. Answers end the step with success (the A records
// of the additional section are kept). No answers: each NS host of the
// authority section not tried before in this lookup is walked in turn, and the
// first that succeeds or leaves answers ends the step with success.
int DnsResolver::queryRecords(const std::optional<DnsEndpoint>& server, std::string_view name,
                              std::string_view typeName, DnsRecordList& answers,
                              DnsRecordList& additional, std::vector<std::string>& triedServers,
                              int& budget) {
  if (!server) {
    int result = 0;
    for (const DnsEndpoint& start : options_.servers.startServers) {
      result = queryRecords(start, name, typeName, answers, additional, triedServers, budget);
      if (result == 1) return 1;
      if (budget <= 0) return 0;
      budget = kDnsQueryBudget;
    }
    return result;
  }
  if (budget <= 0) return 1;
  --budget;
  DnsExchange exchange(options_.transport);
  if (exchange.run(*server, name, typeName) == 0) return 0;
  const DnsResponse& response = exchange.response();
  if (!response.answers.empty()) {
    for (const auto& record : response.answers) answers.push_back(record->clone());
    for (const auto& record : response.additional) {
      if (record->type == kDnsTypeA) additional.push_back(record->clone());
    }
    return 1;
  }
  for (const auto& record : response.authority) {
    if (record->type != kDnsTypeNs) continue;
    const std::string& host = static_cast<const DnsNsRecord&>(*record).host;
    bool tried = false;
    for (const std::string& done : triedServers) tried = tried || done == host;
    if (tried) continue;
    triedServers.push_back(host);
    const DnsEndpoint next{host, options_.servers.referralPort};
    if (queryRecords(next, name, typeName, answers, additional, triedServers, budget) == 1) {
      return 1;
    }
    if (!answers.empty()) return 1;
  }
  return 0;
}

std::string DnsResolver::lookupMx(const std::string& domain) {
  DnsRecordList answers;
  DnsRecordList additional;
  std::vector<std::string> triedServers;
  int budget = kDnsQueryBudget;
  if (queryRecords(std::nullopt, domain, "MX", answers, additional, triedServers, budget) == 0) {
    return {};
  }
  std::string text;
  for (const auto& record : answers) text += record->text();
  return text;
}

std::string DnsResolver::mailHostAddress(const std::string& domain) {
  const std::string found = lookupMx(domain);
  if (found.empty()) {
    const std::optional<std::string> address = hostAddress(domain);
    return address ? *address + " " + domain : std::string();
  }
  std::string_view rest = found;
  std::size_t at = rest.find(kExchangeKey);
  if (at == std::string_view::npos) return {};
  const std::string first = hostAfter(rest.substr(at + kExchangeKey.size()));
  const std::optional<std::string> address = hostAddress(first);
  if (!address) return {};
  std::string result = *address;
  while (at != std::string_view::npos) {
    rest.remove_prefix(at + kExchangeKey.size());
    result += ' ';
    result += hostAfter(rest);
    at = rest.find(kExchangeKey);
  }
  return result;
}

}  // namespace qg
