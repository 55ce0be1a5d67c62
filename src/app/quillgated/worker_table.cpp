#include "app/quillgated/worker_table.h"

#include "engine/new_mail_sound.h"
#include "platform/file.h"

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
  // The local servers, the analysis worker, the mail fetcher, the address
  // validation and the DNSBL checker come with later changes; until then each
  // slot holds a placeholder so that start-up, reconfigure and exit already
  // run the full seven-worker protocol. The sound thread is the real one.
  return WorkerTable{{
      {kWorkers[0], "qg-pop3", placeholder(kWorkers[0].stopFlag)},
      {kWorkers[1], "qg-smtp", placeholder(kWorkers[1].stopFlag)},
      {kWorkers[2], "qg-analysis", placeholder(kWorkers[2].stopFlag)},
      {kWorkers[3], "qg-fetcher", placeholder(kWorkers[3].stopFlag)},
      {kWorkers[4], "qg-validation", placeholder(kWorkers[4].stopFlag)},
      {kWorkers[5], "qg-sound",
       [&player = services.player](EngineState& state) { runNewMailSound(state, player); }},
      {kWorkers[6], "qg-dnsbl", placeholder(kWorkers[6].stopFlag)},
  }};
}

}  // namespace qg::quillgated
