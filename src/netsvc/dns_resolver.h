// The DNS client of the workers: the address of a host through the system
// resolver, and the mail hosts of a domain through an iterative walk that starts
// at the configured root-side servers and follows NS referrals, one fresh TCP
// exchange per step and no cache. Each worker owns its own DnsResolver and
// calls it only from its own thread; nothing here throws.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "netsvc/dns_exchange.h"
#include "netsvc/dns_message.h"

namespace qg {

// Queries one walk may make before it gives up.
inline constexpr int kDnsQueryBudget = 10;

// The nine gTLD server addresses, A to I, on port 53.
std::vector<DnsEndpoint> defaultDnsStartServers();

// Parses the "--dns-servers" text "IP[:PORT],...": each entry a dotted IPv4
// address with an optional port (1-65535; defaultPort when absent). Returns no
// result for an empty list or any bad entry.
std::optional<std::vector<DnsEndpoint>> parseDnsServerList(std::string_view text,
                                                           std::uint16_t defaultPort = 53);

// Where a walk starts and which port the servers it is referred to listen on.
// A plain value: app/ builds it once from "--dns-servers" and "--dns-port" and
// hands a copy to every worker that owns a resolver.
struct DnsResolverConfig {
  std::vector<DnsEndpoint> startServers = defaultDnsStartServers();
  std::uint16_t referralPort = 53;  // port of every server reached by a referral
  bool operator==(const DnsResolverConfig&) const = default;
};

struct DnsResolverOptions {
  DnsResolverConfig servers;
  DnsTcpTimeouts timeouts;
  // Replacements for tests; empty means TCP and the system resolver.
  DnsTransport transport;
  std::function<std::optional<std::string>(const std::string& host)> hostLookup;
};

class DnsResolver {
 public:
  explicit DnsResolver(DnsResolverOptions options = {});
  explicit DnsResolver(DnsResolverConfig servers);

  // The first IPv4 address of host from the system resolver, dotted; no result
  // when it does not resolve.
  std::optional<std::string> hostAddress(const std::string& host) const;

  // The text forms of every answer record of the MX walk for domain, in order
  // (CNAME and other records the servers sent with them included); empty when
  // the walk fails or ends without answers.
  std::string lookupMx(const std::string& domain);

  // "<address of the first exchange> <host> <host>..." with every exchange in
  // answer order (preference plays no part); with no MX answer, "<address>
  // <domain>" when the domain itself resolves; else empty.
  std::string mailHostAddress(const std::string& domain);

  // One step of the walk (see the source for the rules). With no server the
  // walk runs over the start servers. budget is shared by all steps of one
  // lookup. Returns 1 on success (answers may be empty when the budget ran
  // out), 0 on failure.
  int queryRecords(const std::optional<DnsEndpoint>& server, std::string_view name,
                   std::string_view typeName, DnsRecordList& answers, DnsRecordList& additional,
                   std::vector<std::string>& triedServers, int& budget);

 private:
  DnsResolverOptions options_;
};

}  // namespace qg
