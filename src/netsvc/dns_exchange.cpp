#include "netsvc/dns_exchange.h"

#include <array>
#include <chrono>

#include "platform/dns_tcp.h"

namespace qg {

void exchangeOverTcp(const DnsEndpoint& server, const DnsMessage& query, DnsMessage& response,
                     const DnsTcpTimeouts& timeouts) {
  platform::DnsTcpSocket socket;
  if (socket.connectTo(server.host, server.port, timeouts.connectMs) == 0) {
    socket.close();
    throw CSocketException("Could not connect to server " + server.host, socket.lastErrorText());
  }
  const std::span<const std::uint8_t> body = query.bytes();
  const std::array<std::uint8_t, 2> length = {static_cast<std::uint8_t>(body.size() >> 8),
                                              static_cast<std::uint8_t>(body.size())};
  if (socket.sendAll(length, timeouts.transferMs) != length.size() ||
      socket.sendAll(body, timeouts.transferMs) != body.size()) {
    throw CSocketException("Error writing socket data", socket.lastErrorText());
  }
  std::array<std::uint8_t, 2> replyLength{};
  if (socket.receiveExact(replyLength, timeouts.transferMs) != replyLength.size()) {
    throw CSocketException("Error reading socket data", socket.lastErrorText());
  }
  response.prepareReceive(static_cast<std::size_t>(replyLength[0] << 8 | replyLength[1]));
  if (socket.receiveExact(response.writableBytes(), timeouts.transferMs) != response.size()) {
    throw CSocketException("Error reading socket data", socket.lastErrorText());
  }
  socket.close();
  response.setReadPosition(0);
}

DnsTransport tcpDnsTransport(DnsTcpTimeouts timeouts) {
  return [timeouts](const DnsEndpoint& server, const DnsMessage& query, DnsMessage& response) {
    exchangeOverTcp(server, query, response, timeouts);
  };
}

int DnsExchange::run(const DnsEndpoint& server, std::string_view name, std::string_view typeName) {
  response_ = DnsResponse{};
  const auto ticks = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  if (buildDnsQuery(name, typeName, static_cast<std::uint16_t>(ticks.count()), request_) == 0) {
    errorText_ += "Invalid query name\n";
    return 0;
  }
  try {
    transport_(server, request_, reply_);
  } catch (const CSocketException& e) {
    errorText_ += e.message();
    errorText_ += '\n';
    return 0;
  }
  std::string error;
  if (parseDnsResponse(reply_, response_, error) == 0) {
    errorText_ += error;
    errorText_ += '\n';
    response_ = DnsResponse{};
    return 0;
  }
  return 1;
}

}  // namespace qg
