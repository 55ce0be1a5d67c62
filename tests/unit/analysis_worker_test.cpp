#include "classify/analysis_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "analysis_home.h"
#include "classify/header_analyzer.h"
#include "classify/quarantine_list.h"
#include "classify/staging_files.h"
#include "classify/verdict.h"
#include "engine/filter_lists.h"
#include "engine/known_senders.h"
#include "engine/outgoing_mail.h"

namespace qg {
namespace {

using namespace verdict;
using namespace std::chrono_literals;

constexpr std::uint32_t kTag = 14 << kRuleTagShift;

std::string header(std::string_view from, std::string_view subject) {
  return "From: " + std::string(from) +
         "\r\nTo: user@example.com\r\nSubject: " + std::string(subject) + "\r\n";
}
std::string whole(std::string_view from, std::string_view subject) {
  return header(from, subject) + "\r\nbody\r\n";
}

std::optional<StagingLine> lineOf(const std::string& path) {
  FileHandle file;
  if (!openExisting(path, file)) return std::nullopt;
  return readStagingLine(file);
}

// A worker over an AnalysisHome whose decision the test gives; every sleep
// is cut short unless the test runs the worker on a thread of its own.
struct WorkerBench {
  explicit WorkerBench(bool realSleeps = false) {
    paths.setProgramDir(home.home());
    paths.setStoreDir(home.home());
    paths.setListDir(home.home());
    loadKnownSenders(home.home(), paths.knownSenders);
    AnalysisOptions options;
    options.decide = [this](AnalysisContext& context, const DecisionSettings&) {
      decided.push_back(context.message.subject);
      return decision(context);
    };
    options.sendRequest = [](AnalysisContext&, std::int64_t) { return false; };
    if (!realSleeps) options.sleep = [](std::chrono::milliseconds) {};
    options.timing.step = 2ms;
    options.timing.idlePass = 5ms;
    worker.emplace(flags, paths, home.protocol, home.history, std::move(options));
    EXPECT_TRUE(worker->loadFilters());
    // As while the fetcher works on the box.
    flags.set(flag::kFetcherBox, home.box + 1);
  }

  AnalysisWorker::BoxResult process() { return worker->processBox(home.box); }

  AnalysisHome home;
  EngineFlags flags;
  PathBlock paths;
  std::function<std::uint32_t(AnalysisContext&)> decision = [](AnalysisContext&) {
    return kNotSpam | kTag;
  };
  std::vector<std::string> decided;  // the Subject of every message judged
  std::optional<AnalysisWorker> worker;
};

// What the fetcher does with a ".hdr" that asks for the whole message.
void fetchWhole(const AnalysisHome& home, int slot, std::string_view text) {
  const std::string classified = home.slot(slot, SlotState::Classified);
  const std::optional<StagingLine> line = lineOf(classified);
  ASSERT_TRUE(line && (line->flags & kFetchWhole) != 0);
  deleteFileRetry(classified);
  home.stage(slot, text, line->flags | kWholeMessageHeld);
}

TEST(AnalysisWorker, AFileWhoseRecordLineFailsTheCheckWaits) {
  WorkerBench bench;
  bench.home.stage(1, header("a@sender.org", "first"));
  const std::string damaged = bench.home.slot(2, SlotState::New);
  const std::string text =
      "0000000000000000 00000010 0001 0000000 00000000\r\n" + header("b@sender.org", "second");
  writeFile(damaged, text);

  EXPECT_EQ(bench.process(), AnalysisWorker::BoxResult::Done);
  EXPECT_EQ(bench.decided, std::vector<std::string>{"first"});
  EXPECT_TRUE(fileExists(bench.home.slot(1, SlotState::Classified)));
  EXPECT_EQ(readFile(damaged), text);
}

TEST(AnalysisWorker, AReplyIsNeverDeliveredAndReleasesTheSendersHeldMail) {
  WorkerBench bench;
  // The decision procedure learns the sender of a reply and consumes it.
  bench.decision = [](AnalysisContext& context) {
    context.filters.learnAddress(context.message.from, list_colour::kWhite);
    return kReplyConsumed;
  };
  bench.home.stage(1, header("Ann <ann@sender.org>", "RE: 00E1F3A400000000ABCDE"));
  bench.home.stage(2, header("ann@sender.org", "held"), kUndetermined | kTag, SlotState::Held);
  bench.home.stage(3, header("bob@other.org", "held too"), kUndetermined | kTag, SlotState::Held);

  EXPECT_EQ(bench.process(), AnalysisWorker::BoxResult::Done);
  const std::optional<StagingLine> reply = lineOf(bench.home.slot(1, SlotState::Classified));
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->flags, kSpam);
  const std::optional<StagingLine> released = lineOf(bench.home.slot(2, SlotState::Classified));
  ASSERT_TRUE(released);
  EXPECT_EQ(released->flags, kNotSpam | kTag);
  EXPECT_TRUE(fileExists(bench.home.slot(3, SlotState::Held)));
}

TEST(AnalysisWorker, WholeMessageIsFetchedFirstThenJudgedAgain) {
  const struct {
    std::string name;
    std::function<std::uint32_t(AnalysisContext&)> decision;
    std::uint32_t wantFlags;
    int wantDecisions;
  } cases[] = {
      {"a body rule on a header",
       [](AnalysisContext& context) {
         const bool isWhole = (context.message.recordLine->flags & kWholeMessageHeld) != 0;
         return isWhole ? kSpam | kTag : kWholeMessageNeeded;
       },
       kSpam | kTag | kWholeMessageHeld, 2},
      {"marking a header", [](AnalysisContext&) { return kSpam | kMarkSubject | kTag; },
       kNotSpam | kMarkSubject | kTag | kWholeMessageHeld, 2},
  };
  for (const auto& c : cases) {
    WorkerBench bench;
    bench.decision = c.decision;
    bench.home.stage(1, header("a@sender.org", "Hi"));
    bench.process();
    const std::optional<StagingLine> asked = lineOf(bench.home.slot(1, SlotState::Classified));
    ASSERT_TRUE(asked) << c.name;
    EXPECT_EQ(asked->flags, kFetchWhole) << c.name;

    fetchWhole(bench.home, 1, whole("a@sender.org", "Hi"));
    bench.process();
    const std::string path = bench.home.slot(1, SlotState::Classified);
    const std::optional<StagingLine> decided = lineOf(path);
    ASSERT_TRUE(decided) << c.name;
    EXPECT_EQ(decided->flags, c.wantFlags) << c.name;
    EXPECT_EQ(static_cast<int>(bench.decided.size()), c.wantDecisions) << c.name;
  }
  WorkerBench marked;
  marked.decision = cases[1].decision;
  marked.home.stage(1, whole("a@sender.org", "Hi"), kWholeMessageHeld);
  marked.process();
  EXPECT_NE(readFile(marked.home.slot(1, SlotState::Classified)).find("Subject: __Spam Hi\r\n"),
            std::string::npos);
}

TEST(AnalysisWorker, UserDecisionsAndBlocklistWaits) {
  WorkerBench bench;
  bench.worker->context().filters.learnAddress("friend@sender.org", list_colour::kWhite);
  // Set by the user: applied without a decision.
  bench.home.stage(1, header("x@sender.org", "user set"), kSpam | kUserSet);
  bench.home.stage(2, header("friend@sender.org", "from a list window"), kSpam | kUserSet,
                   SlotState::UserDecision);
  bench.home.stage(3, header("y@sender.org", "from a list window"), kSpam | kUserSet,
                   SlotState::UserDecision);
  bench.home.stage(4, header("z@sender.org", "waited"), kAwaitingBlocklist,
                   SlotState::AwaitingBlocklist);

  bench.process();
  EXPECT_TRUE(bench.decided.empty());
  EXPECT_EQ(lineOf(bench.home.slot(1, SlotState::Classified))->flags, kSpam | kUserSet);
  EXPECT_EQ(lineOf(bench.home.slot(2, SlotState::Classified))->flags, kNotSpam | kUserSet);
  EXPECT_EQ(lineOf(bench.home.slot(3, SlotState::Classified))->flags, kSpam | kUserSet);
  // Back for the next pass, where the answers are looked at again.
  EXPECT_TRUE(fileExists(bench.home.slot(4, SlotState::New)));
}

TEST(AnalysisWorker, QuarantineReleaseAppliesTheRecordedVerdict) {
  WorkerBench bench;
  bench.decision = [](AnalysisContext&) { return kSpam | kQuarantine | kTag; };
  bench.home.stage(1, header("a@sender.org", "parked"));
  bench.home.stage(2, header("b@sender.org", "parked too"));
  bench.process();
  ASSERT_TRUE(fileExists(bench.home.slot(1, SlotState::Quarantined)));
  const std::string zap = bench.home.folder.path("zap.inf");

  // The window asks for the first one's release by setting bit 1 of its flag byte.
  std::vector<std::uint8_t> bytes = fileBytes(zap);
  std::size_t first = 0;
  ASSERT_TRUE(decodeQuarantineRecord(bytes, first));
  bytes[kQuarantineFixedBytes - 1] |= kQuarantineRelease;
  putFileBytes(zap, bytes);

  bench.process();
  const std::optional<StagingLine> line = lineOf(bench.home.slot(1, SlotState::Classified));
  ASSERT_TRUE(line);
  EXPECT_EQ(line->flags, kSpam | kTag);
  EXPECT_TRUE(fileExists(bench.home.slot(2, SlotState::Quarantined)));
  EXPECT_EQ(fileBytes(zap), std::vector<std::uint8_t>(bytes.begin() + first, bytes.end()));
}

TEST(AnalysisWorker, LearnsTheRecipientsOfOutgoingMail) {
  WorkerBench bench;
  appendOutEmail(bench.home.home(), "<Carol@Friends.org>");
  appendOutEmail(bench.home.home(), "dave@friends.org");
  bench.worker->learnOutgoingMail();
  const FilterSet& filters = bench.worker->context().filters;
  EXPECT_EQ(filters.addressLookup("CAROL@FRIENDS.ORG"), kListWhite);
  EXPECT_EQ(filters.addressLookup("DAVE@FRIENDS.ORG"), kListWhite);
  EXPECT_EQ(fileSize(bench.home.folder.path("OutEmail.dat")), 0);
}

// The fetcher's side of the hand-over, on the test thread.
struct FakeFetcher {
  EngineFlags& flags;
  const AnalysisHome& home;

  static bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  // Starts a box fetch and waits until the analysis has paused.
  bool pause() {
    flags.set(flag::kHeadersStaged, 0);
    // The pause request before the box, so that no analysis can start in between.
    flags.set(flag::kPauseRequest, 1);
    flags.set(flag::kFetcherBox, home.box + 1);
    return waitFor([&] { return flags.get(flag::kAnalysisPaused) != 0; });
  }
  // Ends the staging, finishes every ".hdr" until the analysis is idle, then
  // leaves the box with the end-of-box handshake.
  bool finish() {
    flags.set(flag::kPauseRequest, 0);
    flags.set(flag::kHeadersStaged, 1);
    const bool idle = waitFor([&] {
      for (const std::string& path : stagingFilesIn(home.boxDir, SlotState::Classified)) {
        moveReplace(path, stagingPathIn(path, SlotState::Finished));
      }
      return flags.get(flag::kAnalysisBusy) == 0 && flags.get(flag::kDnsblBusy) == 0;
    });
    flags.set(flag::kFetcherBox, 0);
    flags.set(flag::kEndOfBox, 1);
    return idle && waitFor([&] { return flags.get(flag::kEndOfBox) == 0; });
  }
};

TEST(AnalysisWorker, HandOverWithTheFetcher) {
  WorkerBench bench(true);
  bench.flags.set(flag::kFetcherBox, 0);
  std::thread thread([&] { bench.worker->run(); });
  FakeFetcher fetcher{bench.flags, bench.home};

  for (int round = 0; round < 2; ++round) {
    bench.home.stage(round * 2, header("a@sender.org", "waiting"));
    ASSERT_TRUE(fetcher.pause());
    // Paused: nothing is touched while the fetcher matches its list.
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(fileExists(bench.home.slot(round * 2, SlotState::New)));
    bench.home.stage(round * 2 + 1, header("b@sender.org", "new"));
    ASSERT_TRUE(fetcher.finish());
    EXPECT_TRUE(fileExists(bench.home.slot(round * 2, SlotState::Finished)));
    EXPECT_TRUE(fileExists(bench.home.slot(round * 2 + 1, SlotState::Finished)));
  }

  // A stop while the fetcher holds the box ends the worker at once.
  ASSERT_TRUE(fetcher.pause());
  bench.flags.set(flag::kAnalysisStop, 1);
  thread.join();
  EXPECT_EQ(bench.flags.get(flag::kAnalysisPaused), 0);
  EXPECT_EQ(bench.flags.get(flag::kAnalysisBusy), 0);
  EXPECT_EQ(bench.decided.size(), 4u);
}

}  // namespace
}  // namespace qg
