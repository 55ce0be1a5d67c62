#include "netsvc/local_pop_server.h"

#include "netsvc/pop3_session.h"
#include "netsvc/unique_id.h"

namespace qg {

void runLocalPopServer(EngineState& state, HistoryWriter& history, ProtocolWriter& protocol,
                       const LocalServerSettings& settings) {
  UniqueIds uniqueIds;
  PopServerContext context{state.paths.programDir, state.paths.storeDir, history, protocol,
                           uniqueIds};
  serveLocalClients("POP3", settings, state.flags, flag::kPop3Stop, protocol,
                    state.paths.programDir,
                    [&](ClientLink& client) { Pop3Session(context, client).run(); });
}

}  // namespace qg
