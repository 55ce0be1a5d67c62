#include "app/quillgated/worker_table.h"

#include "app/quillgated/analysis_stand_in.h"
#include "engine/new_mail_sound.h"
#include "platform/file.h"
#include "retrieval/mail_fetcher.h"

namespace qg::quillgated {

namespace {

// Stop checks of a placeholder, as often as a real worker's polling loop.
constexpr unsigned kPlaceholderStepMs = 50;

WorkerEntry placeholder(int stopFlag) {
  return [stopFlag](EngineState& state) { runPlaceholderWorker(state, stopFlag); };
}

}  // namespace

void runPlaceholderWorker(EngineState& state, int stopFlag) {
  while (state.flags.get(stopFlag) == 0) platform::sleepMilliseconds(kPlaceholderStepMs);
}

WorkerTable makeWorkerTable(const DaemonOptions& /*options*/, const WorkerServices& services) {
  // The local servers, the analysis worker, the address validation and the
  // DNSBL checker come with later changes; until then each slot holds a
  // placeholder so that start-up, reconfigure and exit already run the full
  // seven-worker protocol (the analysis slot answers the fetcher's
  // handshakes). The mail fetcher and the sound thread are the real ones.
  const FetcherServices fetcher{services.protocol, services.history, services.remoteAccess};
  return WorkerTable{{
      {kWorkers[0], "qg-pop3", placeholder(kWorkers[0].stopFlag)},
      {kWorkers[1], "qg-smtp", placeholder(kWorkers[1].stopFlag)},
      {kWorkers[2], "qg-analysis", [](EngineState& state) { runAnalysisStandIn(state); }},
      {kWorkers[3], "qg-fetcher",
       [fetcher](EngineState& state) { runMailFetcher(state, fetcher); }},
      {kWorkers[4], "qg-validation", placeholder(kWorkers[4].stopFlag)},
      {kWorkers[5], "qg-sound",
       [&player = services.player](EngineState& state) { runNewMailSound(state, player); }},
      {kWorkers[6], "qg-dnsbl", placeholder(kWorkers[6].stopFlag)},
  }};
}

}  // namespace qg::quillgated
