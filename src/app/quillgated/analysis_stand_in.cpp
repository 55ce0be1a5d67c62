#include "app/quillgated/analysis_stand_in.h"

#include "platform/file.h"

namespace qg::quillgated {

namespace {

// As often as the fetcher looks at the handshake words.
constexpr unsigned kStepMs = 10;

}  // namespace

void runAnalysisStandIn(EngineState& state) {
  EngineFlags& flags = state.flags;
  while (flags.get(flag::kAnalysisStop) == 0) {
    const int paused = flags.get(flag::kPauseRequest) != 0 ? 1 : 0;
    if (flags.get(flag::kAnalysisPaused) != paused) flags.set(flag::kAnalysisPaused, paused);
    if (flags.get(flag::kEndOfBox) != 0) flags.set(flag::kEndOfBox, 0);
    platform::sleepMilliseconds(kStepMs);
  }
  flags.set(flag::kAnalysisPaused, 0);
}

}  // namespace qg::quillgated
