#include "retrieval/box_fetch.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "engine/file_primitives.h"
#include "engine/history_record.h"
#include "engine/mail_store.h"
#include "engine/staging_line.h"
#include "platform/file.h"
#include "platform/file_listing.h"
#include "retrieval/staged_header.h"
#include "retrieval/verdict_actions.h"
#include "text/date_record.h"

namespace qg {

namespace {

// A QUIT on the way out of a stop may wait this long for its reply.
constexpr int kQuitOnStopSeconds = 1;

std::string tmpPath(const std::string& boxDir, std::string_view name) {
  return boxDir + "/" + std::string(kTmpFolder) + "/" + std::string(name);
}

std::uint32_t clampToWord(std::int64_t value) {
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(value, 0, 0xFFFFFFFF));
}

}  // namespace

BoxFetch::BoxFetch(EngineFlags& flags, PathBlock& paths, const FetcherServices& services,
                   const FetcherTiming& timing, const RecordFile& box, const RecordFile& profile,
                   int boxNumber)
    : flags_(flags),
      paths_(paths),
      services_(services),
      timing_(timing),
      box_(box),
      profile_(profile),
      boxNumber_(boxNumber),
      boxDir_(boxDirectory(paths.storeDir, boxNumber)),
      tmpHead_(tmpPath(boxDir_, kTmpHeadName)) {}

bool BoxFetch::stopped() const {
  return flags_.get(flag::kFetcherStop) != 0;
}

bool BoxFetch::stoppedWhileFetching() const {
  return stopped() && flags_.get(flag::kFetcherBox) != 0;
}

bool BoxFetch::analysisIdle() const {
  return flags_.get(flag::kAnalysisBusy) == 0 && flags_.get(flag::kDnsblBusy) == 0;
}

void BoxFetch::sleep(unsigned milliseconds) const {
  platform::sleepMilliseconds(milliseconds);
}

int BoxFetch::run() {
  if (stopped()) return kFetchStopped;
  flags_.set(flag::kHeadersStaged, 0);
  // The box number, not its table slot: the analysis worker finds the box by it.
  flags_.set(flag::kFetcherBox, boxNumber_ + 1);
  socket_.timeoutSeconds = timing_.socketTimeoutSeconds;
  if (!pauseAnalysis()) return stopEnding();

  const std::string host = box_.getText(box_field::kPop3Host);
  const auto port = static_cast<std::uint16_t>(box_.getShort(box_field::kPop3Port));
  if (client_.login(host, port, box_.getText(box_field::kUser), box_.getText(box_field::kPassword),
                    kFetcherLoginOptions, &flags_) != 0) {
    return errorEnding();
  }
  services_.protocol.append(paths_.programDir, fetch_event::kLoggedIn, host, "");
  std::uint32_t totalSize = 0;
  int count = client_.stat(totalSize);
  if (count < 0) return errorEnding();
  count = std::min(count, kMaxServerMessages);
  if (stopped()) return stopEnding();

  slots_->scan(boxDir_);
  serverMatched_.assign(static_cast<std::size_t>(count) + 1, false);
  std::uint8_t& fetches = paths_.statusBytes[kFetchCounterIndex];
  fetches = static_cast<std::uint8_t>(fetches + 1);

  if (const int result = listSizes(count); result >= 0) return result;
  if (const int result = matchServerList(count); result >= 0) return result;
  // What no server message matched is gone from the server.
  for (const int slot : slots_->unmatched()) {
    // Looked up again: a list window may have moved the slot on since the scan.
    if (const std::optional<SlotState> state = findSlot(boxDir_, slot)) {
      deleteFileRetry(slotFilePath(boxDir_, slot, *state));
    }
    slots_->release(slot);
  }
  flags_.set(flag::kPauseRequest, 0);

  if (const int result = stageNewMessages(count); result >= 0) return result;
  deleteFileRetry(tmpHead_);
  keepAliveSince_ = timing_.clock();
  flags_.set(flag::kPauseRequest, 0);
  flags_.set(flag::kHeadersStaged, 1);
  return decide();
}

bool BoxFetch::pauseAnalysis() {
  flags_.set(flag::kPauseRequest, 1);
  sleep(timing_.pauseStepMs);
  while (flags_.get(flag::kAnalysisPaused) == 0 && !stopped()) sleep(timing_.pauseStepMs);
  return !stopped();
}

int BoxFetch::listSizes(int count) {
  serverSizes_.assign(static_cast<std::size_t>(count) + 1, 0);
  for (int i = 1; i <= count; ++i) {
    if (stoppedWhileFetching()) return stopEnding();
    const std::int64_t size = client_.list(i);
    if (size < 0) return errorEnding();
    serverSizes_[static_cast<std::size_t>(i)] = clampToWord(size);
  }
  return -1;
}

int BoxFetch::matchServerList(int count) {
  std::unordered_map<std::uint32_t, int> sameSize;  // server messages per size
  for (int i = 1; i <= count; ++i) ++sameSize[serverSizes_[static_cast<std::size_t>(i)]];
  for (int i = 1; i <= count; ++i) {
    // Nothing left to match: the remaining messages are all new.
    if (!slots_->anyUnmatched()) break;
    const std::uint32_t size = serverSizes_[static_cast<std::size_t>(i)];
    const std::vector<int> candidates = slots_->unmatchedOfSize(size);
    if (candidates.empty()) continue;
    std::optional<int> chosen;
    if (candidates.size() == 1 && sameSize[size] == 1) {
      chosen = candidates.front();
    } else {
      // The size alone is ambiguous, among the slots or on the server: the
      // header tells the messages apart.
      if (stoppedWhileFetching()) return stopEnding();
      if (client_.top(i, tmpHead_, kStagingReserve) < 0) return errorEnding();
      for (const int slot : candidates) {
        if (sameStagedHeader(slotFilePath(boxDir_, slot, (*slots_)[slot].state), tmpHead_)) {
          chosen = slot;
          break;
        }
      }
    }
    if (!chosen) continue;
    if ((*slots_)[*chosen].serverNumber != i) renumber(*chosen, i);
    slots_->markMatched(*chosen);
    serverMatched_[static_cast<std::size_t>(i)] = true;
  }
  return -1;
}

void BoxFetch::renumber(int slot, int serverNumber) {
  FileHandle file;
  // Looked up again: a list window may have moved the slot on since the scan.
  if (openExisting(slotPath(boxDir_, slot), file)) {
    rewriteServerNumber(file, static_cast<std::uint16_t>(serverNumber));
  }
}

int BoxFetch::stageNewMessages(int count) {
  for (int i = 1; i <= count; ++i) {
    if (serverMatched_[static_cast<std::size_t>(i)]) continue;
    if (stoppedWhileFetching()) return stopEnding();
    // Cannot happen while at most kSlotCount messages are looked at; never
    // stage over a slot in use.
    const std::optional<int> slot = slots_->takeFree(boxDir_);
    if (!slot) break;
    const std::int64_t received = client_.top(i, tmpHead_, kStagingReserve);
    if (received < 0) return errorEnding();

    StagingLine line;
    line.stamp = DateRecord::now().stamp;
    line.size = serverSizes_[static_cast<std::size_t>(i)];
    line.serverNumber = static_cast<std::uint16_t>(i);
    line.received = clampToWord(received);
    {
      FileHandle file;
      if (!openExisting(tmpHead_, file) || !writeStagingLine(file, line)) {
        // Staged again at the next fetch.
        file.close();
        deleteFileRetry(tmpHead_);
        continue;
      }
    }
    // Recorded before the rename: from then on the analysis worker may move the file.
    services_.history.record(tmpHead_, kHistoryHeaderStaged);
    moveReplace(tmpHead_, slotFilePath(boxDir_, *slot, SlotState::New));
  }
  return -1;
}

void BoxFetch::keepAlive() {
  if (timing_.clock() - keepAliveSince_ < std::int64_t{timing_.keepAliveMs} * 1000) return;
  client_.list(1);
  keepAliveSince_ = timing_.clock();
}

int BoxFetch::decide() {
  DecisionContext context{
      client_, paths_.programDir, boxDir_, profile_, services_.protocol, services_.history, [this] {
        keepAliveSince_ = timing_.clock();
      }};
  for (;;) {
    keepAlive();
    if (stopped()) return stopEnding();
    if (analysisIdle()) return endOfBox();
    bool first = true;
    for (const int slot : slotNumbersIn(boxDir_, SlotState::Classified)) {
      if (!first) sleep(timing_.turnMs);
      first = false;
      keepAlive();
      if (stopped()) return stopEnding();
      if (analysisIdle()) break;
      if (actOnClassified(context, slot) == DecisionResult::Failed) return errorEnding();
    }
    sleep(timing_.turnMs);
  }
}

int BoxFetch::endOfBox() {
  client_.quit();
  socket_.close();
  flags_.set(flag::kFetcherBox, 0);
  flags_.set(flag::kEndOfBox, 1);
  while (flags_.get(flag::kEndOfBox) != 0) {
    // The analysis worker is stopped before the fetcher: never wait for it then.
    if (stopped()) return kFetchStopped;
    sleep(timing_.stepMs);
  }
  return kFetchDone;
}

int BoxFetch::stopEnding() {
  if (socket_.loggedIn == 1) {
    // The stop flags would fail the QUIT at once; a short one still lets the
    // server end the session in order.
    socket_.flags = nullptr;
    socket_.timeoutSeconds = kQuitOnStopSeconds;
    client_.quit();
  }
  socket_.close();
  removeTemporaryFiles();
  flags_.set(flag::kPauseRequest, 0);
  flags_.set(flag::kFetcherBox, 0);
  return kFetchStopped;
}

int BoxFetch::errorEnding() {
  socket_.close();
  removeTemporaryFiles();
  // A paused analysis worker must not wait for the next fetch to go on.
  flags_.set(flag::kPauseRequest, 0);
  flags_.set(flag::kFetcherBox, 0);
  return kFetchFailed;
}

void BoxFetch::removeTemporaryFiles() {
  deleteFileRetry(tmpHead_);
  deleteFileRetry(tmpPath(boxDir_, kTmpMailName));
}

}  // namespace qg
