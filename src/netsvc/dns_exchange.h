// One DNS query and its response (DnsExchange), and the TCP transport that
// carries it with the 2-byte length prefix. An exchange lives for one step of
// the resolver's walk on the resolver's thread; transports are injectable so
// the walk can run against fake servers inside the process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "netsvc/dns_message.h"

namespace qg {

struct DnsEndpoint {
  std::string host;  // dotted IPv4 or a host name for the system resolver
  std::uint16_t port = 53;
  bool operator==(const DnsEndpoint&) const = default;
};

// Sends query to server and fills response with the answer's bytes. Throws
// CSocketException with the failure's text; DnsExchange::run catches it.
using DnsTransport =
    std::function<void(const DnsEndpoint& server, const DnsMessage& query, DnsMessage& response)>;

struct DnsTcpTimeouts {
  int connectMs = 10000;   // the connection attempt
  int transferMs = 60000;  // each send and receive after the connection
};

// The TCP transport: a fresh connection, the 16-bit big-endian length then the
// query; the response's 16-bit length then exactly that many bytes. Throws
// "Could not connect to server <host>", "Error writing socket data" or "Error
// reading socket data", each with the system's detail.
void exchangeOverTcp(const DnsEndpoint& server, const DnsMessage& query, DnsMessage& response,
                     const DnsTcpTimeouts& timeouts);
DnsTransport tcpDnsTransport(DnsTcpTimeouts timeouts = {});

class DnsExchange {
 public:
  explicit DnsExchange(DnsTransport transport) : transport_(std::move(transport)) {}

  // One query for name and typeName to server and the parse of its response.
  // Returns 1 with response() filled; 0 when the name is not a valid query
  // name, the transport fails or the response does not parse (errorText()
  // then holds each failure's message followed by "\n").
  int run(const DnsEndpoint& server, std::string_view name, std::string_view typeName);

  const DnsResponse& response() const { return response_; }
  const std::string& errorText() const { return errorText_; }

 private:
  DnsTransport transport_;
  std::string errorText_;
  DnsMessage request_;
  DnsMessage reply_;
  DnsResponse response_;
};

}  // namespace qg
