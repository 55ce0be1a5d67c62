// Carrying out the analysis worker's decision on one classified staging file
// (".hdr"): fetch the whole message and hand it back for analysis, deliver it
// into the box's IN folder, or withhold it. Runs on the mail fetcher's thread
// inside a box fetch, with the box's server connection logged in; the fetcher
// owns ".hdr" files, so no other thread changes the file meanwhile.
#pragma once

#include <functional>
#include <string>

#include "engine/record_file.h"
#include "retrieval/fetch_context.h"
#include "retrieval/pop3_client.h"

namespace qg {

struct DecisionContext {
  PopClient& client;
  const std::string& programDir;
  const std::string& boxDir;
  const RecordFile& profile;  // fields 461 and 462: days a finished slot is kept
  ProtocolWriter& protocol;
  HistoryWriter& history;
  std::function<void()> transferred;  // after every RETR: restarts the keep-alive clock
};

enum class DecisionResult {
  Done,    // the decision was carried out
  Left,    // nothing to do now: no decision bit, a damaged record line, IN full, a
           // file that could not be written; the file waits for a later turn
  Failed,  // the server transfer failed: the box fetch ends with its error ending
};

// Acts on the ".hdr" file of slot according to its flag word:
// - bit 28: RETR into "tmpmail.tmp", record line with bit 31 set in front,
//   protocol event 4, and the slot goes back to state ".hd";
// - else bit 1: RETR first unless bit 31 says the whole message is there; the
//   message goes into "IN/%08d.msg" with the lowest free number and the slot
//   becomes ".hd~" stamped now + field 462 days; history 5 and 1, protocol
//   events 5 and 12, "soun.inf" / "wizi.inf" records for bits 4 / 5;
// - else bit 3: the slot becomes ".hd~" stamped now + field 461 days; protocol
//   event 5, history 1, "soun.inf" / "wizi.inf" records for bits 4 / 5.
// Every step leaves the slot in exactly one state, and the IN file appears
// whole before the slot is marked finished, so a crash at any point loses no
// mail (at worst a message is delivered twice).
DecisionResult actOnClassified(DecisionContext& context, int slot);

}  // namespace qg
