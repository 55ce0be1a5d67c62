#include "app/quillgated/worker_table.h"

#include "classify/analysis_worker.h"
#include "engine/new_mail_sound.h"
#include "netsvc/address_validation.h"
#include "netsvc/dnsbl_checker.h"
#include "netsvc/local_pop_server.h"
#include "netsvc/local_smtp_server.h"
#include "retrieval/mail_fetcher.h"

namespace qg::quillgated {

WorkerTable makeWorkerTable(const DaemonOptions& options, const WorkerServices& services) {
  LocalServerSettings pop3;
  pop3.port = options.pop3Port;
  LocalServerSettings smtp;
  smtp.port = options.smtpPort;
  const FetcherServices fetcher{services.protocol, services.history, services.remoteAccess};
  return WorkerTable{{
      {kWorkers[0], "qg-pop3",
       [&history = services.history, &protocol = services.protocol, pop3](EngineState& state) {
         runLocalPopServer(state, history, protocol, pop3);
       }},
      {kWorkers[1], "qg-smtp",
       [&protocol = services.protocol, smtp](EngineState& state) {
         runLocalSmtpServer(state, protocol, smtp);
       }},
      {kWorkers[2], "qg-analysis",
       [&history = services.history, &protocol = services.protocol, dns = options.dns](
           EngineState& state) { runAnalysisWorker(state, protocol, history, dns); }},
      {kWorkers[3], "qg-fetcher",
       [fetcher](EngineState& state) { runMailFetcher(state, fetcher); }},
      {kWorkers[4], "qg-validation",
       [&remoteAccess = services.remoteAccess, dns = options.dns](EngineState& state) {
         runAddressValidation(state, remoteAccess, dns);
       }},
      {kWorkers[5], "qg-sound",
       [&player = services.player](EngineState& state) { runNewMailSound(state, player); }},
      {kWorkers[6], "qg-dnsbl",
       [&remoteAccess = services.remoteAccess](EngineState& state) {
         runDnsblChecker(state, remoteAccess);
       }},
  }};
}

}  // namespace qg::quillgated
