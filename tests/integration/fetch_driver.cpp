// Runs the mail fetcher in-process on every box of a home folder, once each,
// while a test thread plays the analysis worker: the integration tests use it
// to drive the delivery paths against a real POP3 server, since the agent's
// own analysis stand-in never decides.
//
// Usage: fetch_driver HOME [--deliver] [--whole-every K]
//   without --deliver the headers are only staged; with it every staged
//   message is classified "Not spam" (bit 1), and with --whole-every K the
//   messages in every K-th slot are first fetched whole (bit 28) and
//   classified when they come back.
// Prints one line per box: "box N: result R" (0 done). Exit status 0 when
// every box was fetched, 1 otherwise, 2 on a usage error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "engine/engine_state.h"
#include "engine/history_file.h"
#include "engine/protocol_file.h"
#include "engine/staging_line.h"
#include "platform/remote_access.h"
#include "retrieval/mail_fetcher.h"
#include "support/test_analysis.h"

int main(int argc, char** argv) {
  using namespace qg;
  if (argc < 2) {
    std::fprintf(stderr, "usage: fetch_driver HOME [--deliver] [--whole-every K]\n");
    return 2;
  }
  bool deliver = false;
  int wholeEvery = 0;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--deliver") == 0) {
      deliver = true;
    } else if (std::strcmp(argv[i], "--whole-every") == 0 && i + 1 < argc) {
      wholeEvery = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "fetch_driver: unknown argument %s\n", argv[i]);
      return 2;
    }
  }

  EngineFlags flags;
  PathBlock paths;
  paths.setProgramDir(argv[1]);
  paths.setStoreDir(argv[1]);
  paths.setListDir(argv[1]);
  ProtocolWriter protocol;
  HistoryWriter history;
  platform::LinuxRemoteAccess remote("");
  FetcherTiming timing;
  timing.turnMs = 1;
  timing.pauseStepMs = 1;
  timing.stepMs = 1;

  fakes::TestAnalysis::Rule rule;
  if (deliver) {
    rule = [wholeEvery](int slot, const StagingLine& line) -> std::optional<std::uint32_t> {
      const bool whole = (line.flags & staging::kWholeMessage) != 0;
      if (wholeEvery > 0 && slot % wholeEvery == 0 && !whole) return staging::kFetchWhole;
      return (line.flags & staging::kWholeMessage) | staging::kNotSpam;
    };
  }
  fakes::TestAnalysis analysis(flags, paths.storeDir, rule);
  MailFetcher fetcher(flags, paths, {protocol, history, remote}, timing);
  const std::size_t boxes = fetcher.buildTable();
  bool allDone = boxes > 0;
  for (std::size_t i = 0; i < boxes; ++i) {
    const int result = fetcher.prepareBox(i) ? fetcher.fetchBox(i) : -1;
    std::printf("box %d: result %d\n", fetcher.table()[i].boxNumber, result);
    allDone = allDone && result == kFetchDone;
  }
  return allDone ? 0 : 1;
}
