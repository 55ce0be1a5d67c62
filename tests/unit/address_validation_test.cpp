#include "netsvc/address_validation.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "netsvc/online_passes.h"
#include "test_files.h"
#include "test_folder.h"
#include "worker_test_clock.h"

namespace qg {
namespace {

using namespace std::chrono_literals;
using platform::FakeRemoteAccess;

struct Bench {
  TestFolder folder;
  EngineFlags flags;
  FakeRemoteAccess remote;
  FakeWorkerClock clock;
  std::map<std::string, std::string> answers;
  std::vector<std::string> asked;
  std::function<void()> duringLookup;

  std::string inf() const { return folder.path("vlde.inf"); }
  std::string inp() const { return folder.path("vlde.inp"); }

  AddressValidation worker() {
    return AddressValidation(
        flags, folder.root(), remote,
        [this](const std::string& name) {
          asked.push_back(name);
          if (duringLookup) duringLookup();
          const auto it = answers.find(name);
          return it == answers.end() ? std::string() : it->second;
        },
        clock.workerClock());
  }
};

using namespace std::string_literals;

TEST(AddressValidation, OneLookupPerName) {
  Bench bench;
  const std::string longName(60, 'n');  // read as its first 50 bytes, then the rest
  writeFile(bench.inf(), "mx.test\0own.test\0mx.test\0none.test\0known.test\0"s + longName + '\0');
  writeFile(bench.inp(), "known.test\0\0"s);
  bench.answers = {{"mx.test", "192.0.2.1 mail.mx.test"}, {"own.test", "192.0.2.2 own.test"}};
  bench.worker().pass();
  EXPECT_EQ(bench.asked, (std::vector<std::string>{"mx.test", "own.test", "none.test",
                                                   longName.substr(0, 50), longName.substr(50)}));
  EXPECT_EQ(readFile(bench.inp()), "known.test\0\0mx.test\0\1own.test\0\1none.test\0\0"s +
                                       longName.substr(0, 50) + "\0\0"s + longName.substr(50) +
                                       "\0\0"s);
  EXPECT_EQ(readFile(bench.inf()), "");
  // 100 ms after each name.
  EXPECT_EQ(bench.clock.time - WorkerTime{} - 1h, 7 * 100ms);
}

TEST(AddressValidation, ConnectionLostDuringALookupKeepsTheName) {
  Bench bench;
  const std::string queue = "mx.test\0other.test\0"s;
  writeFile(bench.inf(), queue);
  bench.answers = {{"mx.test", "192.0.2.1 mail.mx.test"}};
  bench.duringLookup = [&] { bench.remote.online = false; };
  AddressValidation worker = bench.worker();
  worker.pass();
  EXPECT_EQ(readFile(bench.inf()), queue);
  EXPECT_EQ(readFile(bench.inp()), "");

  bench.remote.online = true;
  bench.duringLookup = nullptr;
  worker.pass();
  EXPECT_EQ(bench.asked, (std::vector<std::string>{"mx.test", "mx.test", "other.test"}));
  EXPECT_EQ(readFile(bench.inp()), "mx.test\0\1other.test\0\0"s);
}

TEST(AddressValidation, RecordCutShortIsReplaced) {
  // A crash in the middle of an append left "b.te"; the next record must not
  // be read as its continuation.
  Bench bench;
  writeFile(bench.inp(), "a.test\0\1b.te"s);
  writeFile(bench.inf(), "c.test\0"s);
  bench.answers = {{"c.test", "192.0.2.3 c.test"}};
  bench.worker().pass();
  EXPECT_EQ(readFile(bench.inp()), "a.test\0\1c.test\0\1"s);
}

TEST(OnlinePasses, PassesOnlyWhileOnlineUntilStopped) {
  EngineFlags flags;
  FakeRemoteAccess remote;
  WorkerTime time{};
  // The stop request comes 1.5 s in, in the middle of an offline wait.
  WorkerClock clock{[&] { return time; },
                    [&](std::chrono::milliseconds duration) {
                      time += duration;
                      if (time >= WorkerTime{} + 1500ms) flags.set(flag::kValidationStop, 1);
                    }};
  StopWait wait(flags, flag::kValidationStop, clock, 50ms);
  int passes = 0;
  runOnlinePasses(wait, remote, [&] {
    if (++passes == 2) remote.online = false;
  });
  // Passes at 0 and 100 ms, offline waits from 200 ms on.
  EXPECT_EQ(passes, 2);
  EXPECT_EQ(time, WorkerTime{} + 1500ms);
}

}  // namespace
}  // namespace qg
