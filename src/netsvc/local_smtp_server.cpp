#include "netsvc/local_smtp_server.h"

#include "netsvc/smtp_session.h"

namespace qg {

void runLocalSmtpServer(EngineState& state, ProtocolWriter& protocol,
                        const LocalServerSettings& settings) {
  SmtpServerContext context{state.paths.programDir, state.paths.storeDir, protocol};
  serveLocalClients("SMTP", settings, state.flags, flag::kSmtpStop, protocol,
                    state.paths.programDir,
                    [&](ClientLink& client) { SmtpSession(context, client).run(); });
}

}  // namespace qg
