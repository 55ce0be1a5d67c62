// The local SMTP server: the worker in slot 2 (running flag 60, stop flag 61)
// that takes the mail client's outgoing mail. It listens on 127.0.0.1,
// serves one client at a time (SmtpSession) and returns when flag 61 is set.
// It writes the OUT message files of the sending boxes, appends the first
// recipient of each message to "OutEmail.dat" and writes protocol event 14
// for each message stored. Nothing is relayed.
#pragma once

#include "engine/engine_state.h"
#include "engine/protocol_file.h"
#include "netsvc/local_listener.h"

namespace qg {

// The worker body: serves until flag 61 of state is 1. The paths are those of
// state's path block; protocol is the agent's shared writer.
void runLocalSmtpServer(EngineState& state, ProtocolWriter& protocol,
                        const LocalServerSettings& settings);

}  // namespace qg
