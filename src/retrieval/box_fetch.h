// One fetch of one box by the mail fetcher: pause the analysis worker, log in,
// match the server's message list with the box's staging slots (renumbering,
// and removing the slots of messages gone from the server), stage the header
// of every new message, then keep the connection alive while the analysis
// worker decides and carry out its decisions, until the end-of-box handshake.
// Runs on the mail fetcher's thread; writes flags 42, 45, 49 and 55. Mail is
// never deleted on the server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_state.h"
#include "engine/record_file.h"
#include "retrieval/fetch_context.h"
#include "retrieval/mail_socket.h"
#include "retrieval/pop3_client.h"
#include "retrieval/staging_table.h"

namespace qg {

class BoxFetch {
 public:
  // box and profile are the loaded "box.log" and filter profile of box
  // number boxNumber; all arguments must outlive the object.
  BoxFetch(EngineFlags& flags, PathBlock& paths, const FetcherServices& services,
           const FetcherTiming& timing, const RecordFile& box, const RecordFile& profile,
           int boxNumber);

  // The whole fetch. kFetchDone after the end-of-box handshake; kFetchFailed
  // when a POP3 operation failed (the connection is closed without QUIT, no
  // half-written file is left, and the box may be tried again); kFetchStopped
  // when flag 41 was set. Flags 42 and 45 are 0 afterwards in every case.
  int run();

 private:
  bool stopped() const;
  // Flags 41 and 42 both set: the stop test of the matching and staging loops.
  bool stoppedWhileFetching() const;
  bool analysisIdle() const;
  void sleep(unsigned milliseconds) const;

  bool pauseAnalysis();
  // The listing, matching and staging steps give -1 to go on, or the fetch's
  // result. Every server message is listed once, before the matching.
  int listSizes(int count);
  // A slot is matched by size alone only when no other slot and no other
  // server message has that size; otherwise by its header.
  int matchServerList(int count);
  void renumber(int slot, int serverNumber);
  int stageNewMessages(int count);
  int decide();
  void keepAlive();

  int endOfBox();
  int stopEnding();
  int errorEnding();
  void removeTemporaryFiles();

  EngineFlags& flags_;
  PathBlock& paths_;
  const FetcherServices& services_;
  const FetcherTiming& timing_;
  const RecordFile& box_;
  const RecordFile& profile_;
  const int boxNumber_;
  const std::string boxDir_;
  const std::string tmpHead_;

  MailSocket socket_;
  PopClient client_{socket_};
  std::unique_ptr<StagingTable> slots_ = std::make_unique<StagingTable>();
  std::vector<std::uint32_t> serverSizes_;  // LIST sizes, index 1..count
  std::vector<bool> serverMatched_;         // index 1..count
  std::int64_t keepAliveSince_ = 0;
};

}  // namespace qg
