// A stand-in for the analysis worker (slot 3) until the real one is built: it
// answers the mail fetcher's handshakes so that a box fetch ends right after
// its headers are staged. Flag 46 follows flag 45 (1 while the fetcher asks
// for a pause), flag 55 is cleared when the fetcher sets it, and flag 47 stays
// 0, so no decision is ever waited for. Runs on the slot-3 thread until flag 51.
#pragma once

#include "engine/engine_state.h"

namespace qg::quillgated {

void runAnalysisStandIn(EngineState& state);

}  // namespace qg::quillgated
