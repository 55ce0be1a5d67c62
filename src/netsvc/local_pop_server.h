// The local POP3 server: the worker in slot 1 (running flag 70, stop flag 71)
// through which the user's mail client takes the delivered mail of its box.
// It listens on 127.0.0.1, serves one client at a time (Pop3Session) and
// returns when flag 71 is set. It reads the IN folders of the boxes, deletes
// IN files the client has deleted (history event 6) and writes protocol event
// 13 for each message sent; it owns no file of its own.
#pragma once

#include "engine/engine_state.h"
#include "engine/history_file.h"
#include "engine/protocol_file.h"
#include "netsvc/local_listener.h"

namespace qg {

// The worker body: serves until flag 71 of state is 1. The paths are those of
// state's path block; history and protocol are the agent's shared writers.
void runLocalPopServer(EngineState& state, HistoryWriter& history, ProtocolWriter& protocol,
                       const LocalServerSettings& settings);

}  // namespace qg
