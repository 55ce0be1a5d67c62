#include "netsvc/dns_resolver.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <map>
#include <thread>

#include "dns_test_messages.h"

namespace qg {
namespace {

using dnstest::Bytes;
using dnstest::mx;
using dnstest::ns;
using dnstest::response;

// Fake servers inside the process: host -> response bytes; a host without an
// entry cannot be reached. Every contact is recorded in order.
struct FakeNet {
  std::map<std::string, Bytes> servers;
  std::map<std::string, std::string> addresses;
  std::vector<std::string> contacted;

  DnsResolver resolver(std::vector<std::string> starts = {"s1", "s2"}) {
    DnsResolverOptions options;
    options.servers.startServers.clear();
    for (const std::string& s : starts) options.servers.startServers.push_back({s, 53});
    options.transport = [this](const DnsEndpoint& server, const DnsMessage&, DnsMessage& reply) {
      contacted.push_back(server.host);
      const auto it = servers.find(server.host);
      if (it == servers.end()) {
        throw CSocketException("Could not connect to server " + server.host, "refused");
      }
      reply.assign(it->second);
    };
    options.hostLookup = [this](const std::string& host) -> std::optional<std::string> {
      const auto it = addresses.find(host);
      if (it == addresses.end()) return {};
      return it->second;
    };
    return DnsResolver(options);
  }
};

const std::string kMxText =
    "MX Record\nName=d.test\nTTL=3600\nTYPE=15\nPreference=10\nExchange=mx.d.test\n\n";

Bytes referral(std::vector<std::string> hosts) {
  std::vector<dnstest::Rr> authority;
  for (const std::string& h : hosts) authority.push_back(ns("d.test", h));
  return response("d.test", {}, authority);
}

TEST(DnsResolverWalk, FollowsReferralsPastAnUnreachableHost) {
  FakeNet net;
  net.servers["s1"] = referral({"ns1", "ns2"});  // ns1 has no server
  net.servers["ns2"] = response("d.test", {mx("d.test", 10, "mx.d.test")});
  EXPECT_EQ(net.resolver().lookupMx("d.test"), kMxText);
  EXPECT_EQ(net.contacted, (std::vector<std::string>{"s1", "ns1", "ns2"}));
}

TEST(DnsResolverWalk, TriesEachNsHostOnceInALookup) {
  FakeNet net;
  net.servers["s1"] = referral({"ns1"});
  net.servers["ns1"] = referral({"ns1", "ns2"});
  net.servers["ns2"] = referral({"ns1"});
  net.servers["s2"] = referral({"ns2", "ns3"});
  net.servers["ns3"] = response("d.test", {mx("d.test", 10, "mx.d.test")});
  EXPECT_EQ(net.resolver().lookupMx("d.test"), kMxText);
  EXPECT_EQ(net.contacted, (std::vector<std::string>{"s1", "ns1", "ns2", "s2", "ns3"}));
}

TEST(DnsResolverWalk, BadResponseMovesOnToTheNextStartServer) {
  FakeNet net;
  Bytes shortAnswer = response("d.test", {mx("d.test", 10, "mx.d.test")});
  shortAnswer[7] = 2;  // claims two answers, holds one
  net.servers["s1"] = shortAnswer;
  net.servers["s2"] = response("d.test", {mx("d.test", 10, "mx.d.test")});
  EXPECT_EQ(net.resolver().lookupMx("d.test"), kMxText);
  EXPECT_EQ(net.contacted, (std::vector<std::string>{"s1", "s2"}));
}

std::string host(int i) {
  std::array<char, 16> text{};
  std::snprintf(text.data(), text.size(), "h%d", i);
  return text.data();
}

// A chain s1 -> h1 -> h2 -> ... where every host refers to the next one.
FakeNet chain(int hosts) {
  FakeNet net;
  net.servers["s1"] = referral({"h1"});
  for (int i = 1; i < hosts; ++i) net.servers[host(i)] = referral({host(i + 1)});
  net.servers["s2"] = response("d.test", {mx("d.test", 10, "mx.d.test")});
  return net;
}

TEST(DnsResolverWalk, BudgetEndsTheWalk) {
  // Ten queries all refer further: the eleventh step succeeds with nothing and
  // the second start server is never asked.
  FakeNet used = chain(12);
  EXPECT_EQ(used.resolver().lookupMx("d.test"), "");
  EXPECT_EQ(used.contacted.size(), 10u);
  EXPECT_EQ(used.contacted.back(), "h9");

  // The tenth query fails (h9 unreachable): failure, and no other start server.
  FakeNet failed = chain(9);
  EXPECT_EQ(failed.resolver().lookupMx("d.test"), "");
  EXPECT_EQ(failed.contacted.size(), 10u);
  EXPECT_EQ(failed.contacted.back(), "h9");

  // A failure with budget left gives the next start server a fresh budget.
  FakeNet early = chain(3);
  EXPECT_EQ(early.resolver().lookupMx("d.test"), kMxText);
  EXPECT_EQ(early.contacted, (std::vector<std::string>{"s1", "h1", "h2", "h3", "s2"}));
}

TEST(DnsResolverMailHost, Results) {
  FakeNet net;
  net.servers["s1"] =
      response("two.test", {mx("two.test", 20, "b.two.test"), mx("two.test", 10, "a.two.test")});
  net.addresses = {{"b.two.test", "192.0.2.2"}, {"a.two.test", "192.0.2.1"}};
  EXPECT_EQ(net.resolver({"s1"}).mailHostAddress("two.test"), "192.0.2.2 b.two.test a.two.test");

  net.addresses = {{"a.two.test", "192.0.2.1"}};  // first exchange does not resolve
  EXPECT_EQ(net.resolver({"s1"}).mailHostAddress("two.test"), "");

  net.servers.clear();  // no MX at all: the domain's own address
  net.addresses = {{"plain.test", "198.51.100.3"}};
  EXPECT_EQ(net.resolver({"s1"}).mailHostAddress("plain.test"), "198.51.100.3 plain.test");
  EXPECT_EQ(net.resolver({"s1"}).mailHostAddress("none.test"), "");
}

TEST(DnsResolverOptions, ParsesServerList) {
  const auto list = parseDnsServerList("127.0.0.2,127.0.0.3:5353", 53);
  ASSERT_TRUE(list);
  EXPECT_EQ(*list, (std::vector<DnsEndpoint>{{"127.0.0.2", 53}, {"127.0.0.3", 5353}}));
  for (const char* bad :
       {"", "127.0.0.1,", "host.test", "127.0.0.1:0", "127.0.0.1:70000", "127.0.0.1:5x"}) {
    EXPECT_FALSE(parseDnsServerList(bad)) << bad;
  }
  EXPECT_EQ(defaultDnsStartServers().size(), 9u);
}

// A one-shot TCP DNS server on a kernel-chosen loopback port.
class LoopbackServer {
 public:
  explicit LoopbackServer(bool answer) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    ::listen(fd_, 1);
    thread_ = std::thread([this, answer] { serve(answer); });
  }
  ~LoopbackServer() {
    thread_.join();
    ::close(fd_);
  }
  std::uint16_t port() const { return port_; }
  Bytes query;

 private:
  void serve(bool answer) {
    const int peer = ::accept(fd_, nullptr, nullptr);
    std::uint8_t length[2] = {};
    if (::recv(peer, length, 2, MSG_WAITALL) == 2) {
      query.resize(static_cast<std::size_t>(length[0] << 8 | length[1]));
      ::recv(peer, query.data(), query.size(), MSG_WAITALL);
    }
    if (answer) {
      Bytes reply = response("d.test", {mx("d.test", 10, "mx.d.test")});
      reply.insert(reply.begin(), {static_cast<std::uint8_t>(reply.size() >> 8),
                                   static_cast<std::uint8_t>(reply.size())});
      for (const std::uint8_t byte : reply) {  // one byte per segment
        ::send(peer, &byte, 1, MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(600));  // silent peer
    }
    ::close(peer);
  }

  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

TEST(DnsResolverTcp, LengthPrefixedExchangeOverLoopback) {
  LoopbackServer server(true);
  DnsResolverOptions options;
  options.servers.startServers = {{"127.0.0.1", server.port()}};
  EXPECT_EQ(DnsResolver(options).lookupMx("d.test"), kMxText);
  ASSERT_GT(server.query.size(), 12u);
  EXPECT_EQ(Bytes(server.query.begin() + 2, server.query.end()),
            (Bytes{0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 'd', 4, 't', 'e', 's', 't', 0, 0, 15, 0, 1}));
}

TEST(DnsResolverTcp, SilentOrMissingPeerFailsWithinTheTimeOut) {
  LoopbackServer silent(false);
  DnsResolverOptions options;
  options.timeouts = {200, 200};
  // The silent peer, then a port nobody listens on (the silent one's after it closes
  // is not safe to reuse, so port 1 of a loopback address stands in).
  options.servers.startServers = {{"127.0.0.1", silent.port()}, {"127.0.0.1", 1}};
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(DnsResolver(options).lookupMx("d.test"), "");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

  DnsMessage query;
  DnsMessage reply;
  ASSERT_EQ(buildDnsQuery("d.test", "MX", 1, query), 1);
  try {
    exchangeOverTcp({"127.0.0.1", 1}, query, reply, {200, 200});
    ADD_FAILURE() << "no exception";
  } catch (const CSocketException& e) {
    EXPECT_EQ(e.message().rfind("Could not connect to server 127.0.0.1\nSystem Error Detail:", 0),
              0u)
        << e.message();
  }
}

}  // namespace
}  // namespace qg
