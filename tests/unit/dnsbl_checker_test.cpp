#include "netsvc/dnsbl_checker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "engine/work_queue.h"
#include "test_files.h"
#include "test_folder.h"
#include "worker_test_clock.h"

namespace qg {
namespace {

using namespace std::chrono_literals;
using platform::FakeRemoteAccess;

constexpr Ipv4Number ip(unsigned a, unsigned b, unsigned c, unsigned d) {
  return a << 24 | b << 16 | c << 8 | d;
}

DnsblRequest request(Ipv4Number address, std::string zone,
                     std::initializer_list<std::uint8_t> codes = {2, 4, 5, 6}) {
  DnsblRequest r{address, std::move(zone), {}};
  std::copy(codes.begin(), codes.end(), r.codes.begin());
  return r;
}

std::string requestBytes(const DnsblRequest& r) {
  const auto bytes = encodeDnsblRequest(r);
  return std::string(bytes.data(), bytes.size());
}

std::string resultBytes(Ipv4Number address, std::uint32_t word) {
  const auto bytes = encodeDnsblResult({address, word});
  return std::string(bytes.data(), bytes.size());
}

// A checker on a fake clock, with a resolver that answers from a table and
// records each name it is asked with the time of asking.
struct Bench {
  TestFolder folder;
  EngineFlags flags;
  FakeRemoteAccess remote;
  FakeWorkerClock clock;
  std::map<std::string, std::string> answers;
  std::vector<std::pair<std::string, WorkerTime>> asked;
  std::function<void()> duringLookup;

  std::string inf() const { return folder.path("dnsbl.inf"); }
  std::string inp() const { return folder.path("dnsbl.inp"); }

  DnsblChecker checker(DnsblPacing pacing = {}) {
    return DnsblChecker(
        flags, folder.root(), remote,
        [this](const std::string& name) -> std::optional<std::string> {
          asked.emplace_back(name, clock.time);
          clock.time += 200ms;  // the lookup itself takes a while
          if (duringLookup) duringLookup();
          const auto it = answers.find(name);
          if (it == answers.end()) return std::nullopt;
          return it->second;
        },
        clock.workerClock(), pacing);
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& [name, when] : asked) out.push_back(name);
    return out;
  }
};

TEST(DnsblChecker, ResultsFromTheAnswers) {
  Bench bench;
  const std::uint32_t bl = zoneSignature("bl.test");
  std::string unparsable = requestBytes(request(ip(192, 0, 2, 14), "bl.test"));
  unparsable[4 + 50 + 4 * 3 + 2] = 'x';  // fourth code field
  writeFile(bench.inf(),
            requestBytes(request(ip(192, 0, 2, 10), "bl.test")) +         // listed
                requestBytes(request(ip(192, 0, 2, 11), "bl.test")) +     // no code matches
                requestBytes(request(ip(192, 0, 2, 12), "bl.test")) +     // no answer
                requestBytes(request(ip(192, 0, 2, 10), "other.test")) +  // known address
                requestBytes(request(ip(192, 0, 2, 13), "bl.test", {0, 9})) + unparsable);
  bench.answers = {{"10.2.0.192.bl.test", "127.0.0.4"},
                   {"11.2.0.192.bl.test", "127.0.0.9"},
                   {"13.2.0.192.bl.test", "127.0.0.0"}};  // a code of 0 is unused
  bench.checker().pass();
  EXPECT_EQ(bench.names(), (std::vector<std::string>{"10.2.0.192.bl.test", "11.2.0.192.bl.test",
                                                     "12.2.0.192.bl.test", "13.2.0.192.bl.test"}));
  EXPECT_EQ(readFile(bench.inp()), resultBytes(ip(192, 0, 2, 10), bl | kDnsblListedBit) +
                                       resultBytes(ip(192, 0, 2, 12), bl));
  EXPECT_EQ(readFile(bench.inf()), "");
  EXPECT_EQ(bench.flags.get(flag::kDnsblBusy), 0);
}

TEST(DnsblChecker, ThirtyFirstLookupWaitsFiveSeconds) {
  Bench bench;
  std::string queue;
  for (unsigned i = 1; i <= 32; ++i) queue += requestBytes(request(ip(10, 0, 0, i), "bl.test"));
  writeFile(bench.inf(), queue);
  const WorkerTime start = bench.clock.time;
  bench.checker().pass();
  ASSERT_EQ(bench.asked.size(), 32u);
  EXPECT_EQ(bench.asked[0].second, start);  // the first lookup at once
  for (std::size_t i = 1; i < bench.asked.size(); ++i) {
    // From the end of one lookup (200 ms after it began) to the start of the next.
    const auto gap = bench.asked[i].second - (bench.asked[i - 1].second + 200ms);
    EXPECT_EQ(gap, i == 30 ? 5000ms : 1000ms) << "lookup " << i + 1;
  }
}

TEST(DnsblChecker, ConnectionLostDuringALookupKeepsTheRequest) {
  Bench bench;
  const std::string queue = requestBytes(request(ip(192, 0, 2, 10), "bl.test")) +
                            requestBytes(request(ip(192, 0, 2, 12), "bl.test"));
  writeFile(bench.inf(), queue);
  bench.duringLookup = [&] { bench.remote.online = false; };
  DnsblChecker checker = bench.checker();
  checker.pass();
  EXPECT_EQ(readFile(bench.inf()), queue);
  EXPECT_EQ(readFile(bench.inp()), "");
  EXPECT_EQ(bench.flags.get(flag::kDnsblBusy), 0);

  bench.remote.online = true;
  bench.duringLookup = nullptr;
  checker.pass();
  EXPECT_EQ(bench.names(), (std::vector<std::string>{"10.2.0.192.bl.test", "10.2.0.192.bl.test",
                                                     "12.2.0.192.bl.test"}));
  EXPECT_EQ(readFile(bench.inf()), "");
  EXPECT_EQ(readFile(bench.inp()).size(), 2 * kDnsblResultSize);
}

TEST(DnsblChecker, DamagedOrMissingQueues) {
  const std::string whole = requestBytes(request(ip(192, 0, 2, 10), "bl.test"));
  struct Case {
    const char* what;
    std::optional<std::string> queue;  // no file when empty
  };
  const Case cases[] = {
      {"no queue file", std::nullopt},
      {"empty queue", std::string()},
      {"shorter than an address", std::string("\x0A\x02", 2)},
      {"a cut record", whole.substr(0, 100)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bench bench;
    if (c.queue) writeFile(bench.inf(), *c.queue);
    bench.flags.set(flag::kDnsblBusy, 1);
    bench.checker().pass();
    EXPECT_TRUE(bench.asked.empty());
    EXPECT_EQ(bench.flags.get(flag::kDnsblBusy), 0);  // the fetcher may finish its box
    EXPECT_EQ(fileExists(bench.inf()), c.queue.has_value());
    EXPECT_EQ(readFile(bench.inf()), "");
    EXPECT_FALSE(fileExists(bench.inp()));
  }
}

TEST(DnsblChecker, StopCutsThePacingWaitShort) {
  // Real time: the thread must see its stop flag within a step, not after the gap.
  TestFolder folder;
  EngineFlags flags;
  FakeRemoteAccess remote;
  const std::string second = requestBytes(request(ip(192, 0, 2, 12), "bl.test"));
  writeFile(folder.path("dnsbl.inf"), requestBytes(request(ip(192, 0, 2, 10), "bl.test")) + second);
  std::atomic<int> lookups{0};
  DnsblPacing pacing;
  pacing.gap = 60s;
  DnsblChecker checker(
      flags, folder.root(), remote,
      [&](const std::string&) -> std::optional<std::string> {
        ++lookups;
        return std::nullopt;
      },
      WorkerClock::system(), pacing);
  std::thread worker([&] { checker.run(); });
  while (lookups == 0 || readFile(folder.path("dnsbl.inf")) != second) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(flags.get(flag::kDnsblBusy), 1);
  const auto stopped = std::chrono::steady_clock::now();
  flags.set(flag::kDnsblStop, 1);
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1s);
  EXPECT_EQ(lookups, 1);
  EXPECT_EQ(readFile(folder.path("dnsbl.inf")), second);
  EXPECT_EQ(flags.get(flag::kDnsblBusy), 0);
}

}  // namespace
}  // namespace qg
