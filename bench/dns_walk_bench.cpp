// Time of the MX walk against real DNS servers on loopback: one MailHostAddress
// (a referral from the start server, the answer from the zones' server, the
// first exchange's address from the system resolver), the MX walk alone, and
// beside them one plain TCP exchange with the zones' server as the floor that
// every step of a walk pays. The servers come from bench/dns_walk.py, which
// starts them in a private namespace and runs this program there with:
//   QG_BENCH_DNS_SERVERS  start servers, as --dns-servers takes them
//   QG_BENCH_DNS_PORT     referral port, as --dns-port
//   QG_BENCH_DNS_ZONES    address of the zones' server (port 53)
//   QG_BENCH_DNS_DOMAIN   a domain with MX records there
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "netsvc/dns_exchange.h"
#include "netsvc/dns_resolver.h"

namespace {

struct Setup {
  qg::DnsResolverConfig config;
  std::string zones;
  std::string domain;
};

std::optional<Setup> setupFromEnvironment() {
  const char* servers = std::getenv("QG_BENCH_DNS_SERVERS");
  const char* port = std::getenv("QG_BENCH_DNS_PORT");
  const char* zones = std::getenv("QG_BENCH_DNS_ZONES");
  const char* domain = std::getenv("QG_BENCH_DNS_DOMAIN");
  if (servers == nullptr || port == nullptr || zones == nullptr || domain == nullptr) return {};
  auto list = qg::parseDnsServerList(servers);
  if (!list) return {};
  Setup setup;
  setup.config.startServers = std::move(*list);
  setup.config.referralPort = static_cast<std::uint16_t>(std::atoi(port));
  setup.zones = zones;
  setup.domain = domain;
  return setup;
}

// Runs body once per iteration; stops with an error when the servers are
// missing or body finds nothing.
template <typename Body>
void measure(benchmark::State& state, Body body) {
  const std::optional<Setup> setup = setupFromEnvironment();
  if (!setup) {
    state.SkipWithError("no DNS servers: run this program through bench/dns_walk.py");
    return;
  }
  for (auto _ : state) {
    if (!body(*setup)) {
      state.SkipWithError("the lookup found nothing: are the servers up?");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_MailHostAddressWalk(benchmark::State& state) {
  measure(state, [](const Setup& setup) {
    qg::DnsResolver resolver(setup.config);
    return !resolver.mailHostAddress(setup.domain).empty();
  });
}

void BM_LookupMxWalk(benchmark::State& state) {
  measure(state, [](const Setup& setup) {
    qg::DnsResolver resolver(setup.config);
    return !resolver.lookupMx(setup.domain).empty();
  });
}

void BM_OneTcpExchange(benchmark::State& state) {
  measure(state, [](const Setup& setup) {
    qg::DnsExchange exchange(qg::tcpDnsTransport());
    return exchange.run({setup.zones, 53}, setup.domain, "MX") == 1 &&
           !exchange.response().answers.empty();
  });
}

}  // namespace

BENCHMARK(BM_MailHostAddressWalk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LookupMxWalk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OneTcpExchange)->Unit(benchmark::kMicrosecond);
