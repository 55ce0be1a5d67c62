// The mail fetcher: the worker thread (slot 4, flags 40 and 41) that polls the
// POP3 server of every valid box when it is due, stages new headers for the
// analysis worker and carries out its decisions (see BoxFetch). It keeps the
// table of boxes, waits while none is due, goes online through the
// remote-access layer (dialling when the box's profile allows it) and hangs up
// again. Owns its thread; writes flags 42, 45, 49, 51 and 55 and clears 44;
// reads 41, 44, 46, 47 and 48. It never deletes mail on a server.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/engine_state.h"
#include "engine/record_file.h"
#include "retrieval/box_table.h"
#include "retrieval/fetch_context.h"

namespace qg {

// Results of the due test and the idle wait.
inline constexpr int kDueStop = 100;  // flag 41 is set
inline constexpr int kDueSome = 1;    // the idle wait: some box became due

class MailFetcher {
 public:
  // paths is read at construction (programDir, storeDir, listDir) and its
  // status byte 256 counts the box fetches. Everything must outlive run().
  MailFetcher(EngineFlags& flags, PathBlock& paths, FetcherServices services,
              FetcherTiming timing = {});

  // The worker: clears flag 44, builds the box table (flag 51 = 1 when there
  // is no valid box), then runs passes over the due boxes and idle waits until
  // flag 41 is set. Returns then; the supervisor clears flag 40.
  void run();

  // Fills the box table from the store (at the start of run). Returns the
  // number of boxes; flag 51 is set to 1 when there is none.
  std::size_t buildTable();
  // The due test: kDueStop when flag 41 is set; otherwise applies a check-now
  // request (flag 44, then cleared) and the intervals, and returns the OR of
  // the entries' states shifted right by 2 (0: no box is due).
  int recomputeDue();
  // Sleeps until a box is due: kDueStop on flag 41, kDueSome when flag 44 or
  // an interval made a box due.
  int waitForDue();
  // Loads the box of table entry i and its filter profile. False when it
  // cannot be loaded, field 8 is blank, field 15 is not a valid address or no
  // profile in listDir has that name.
  bool prepareBox(std::size_t i);
  // The dial-up rule with the prepared profile's fields 411 to 416: true when
  // a connection is active (dialled if needed and allowed).
  bool ensureConnection();
  // One fetch of table entry i (a prepared box): kFetchDone, kFetchFailed or
  // kFetchStopped.
  int fetchBox(std::size_t i);

  const BoxTable& table() const { return table_; }

 private:
  enum class PassEnd { Done, Stop };

  PassEnd runPass();
  // Tries a prepared box up to three times. False when the pass must end
  // (stopped, or no connection for another try); stop tells which.
  bool fetchWithRetries(std::size_t i, bool& stop);
  // The wait after a failed connection: false when flag 41 ended it.
  bool waitOffline();
  void hangUpIfArranged();
  bool stopped() const;
  bool sleepWatching(unsigned steps);

  EngineFlags& flags_;
  PathBlock& paths_;
  const std::string programDir_;
  const std::string storeDir_;
  const std::string listDir_;
  FetcherServices services_;
  FetcherTiming timing_;
  BoxTable table_;
  RecordFile box_;
  RecordFile profile_;
  int loadedBox_ = -1;  // the box whose "box.log" box_ holds
  bool profileLoaded_ = false;
  bool hangUpAfterPass_ = false;
};

// The thread entry the supervisor starts in slot 4.
void runMailFetcher(EngineState& state, const FetcherServices& services);

}  // namespace qg
