#include "retrieval/mail_fetcher.h"

#include <optional>
#include <string>

#include "engine/filter_profile.h"
#include "engine/mail_address.h"
#include "engine/mail_store.h"
#include "platform/file.h"
#include "retrieval/box_fetch.h"

namespace qg {

namespace {

// A box fetch is tried this often in one pass.
constexpr int kFetchAttempts = 3;

// Field 8 without leading blanks: the name of the box's filter profile.
std::string profileName(const RecordFile& box) {
  std::string name = box.getText(box_field::kProfile);
  name.erase(0, name.find_first_not_of(' '));
  return name;
}

}  // namespace

MailFetcher::MailFetcher(EngineFlags& flags, PathBlock& paths, FetcherServices services,
                         FetcherTiming timing)
    : flags_(flags),
      paths_(paths),
      programDir_(paths.programDir),
      storeDir_(paths.storeDir),
      listDir_(paths.listDir),
      services_(services),
      timing_(std::move(timing)) {
  box_.setName(kBoxRecordName);
}

bool MailFetcher::stopped() const {
  return flags_.get(flag::kFetcherStop) != 0;
}

// Sleeps steps times stepMs, ending early on flag 41. False when stopped.
bool MailFetcher::sleepWatching(unsigned steps) {
  for (unsigned k = 0; k < steps; ++k) {
    if (stopped()) return false;
    platform::sleepMilliseconds(timing_.stepMs);
  }
  return !stopped();
}

void MailFetcher::run() {
  flags_.set(flag::kCheckNow, 0);
  buildTable();
  for (;;) {
    int due = recomputeDue();
    if (due == kDueStop) return;
    if (due == 0) {
      if (waitForDue() == kDueStop) return;
      if (recomputeDue() == kDueStop) return;
    }
    for (;;) {
      if (runPass() == PassEnd::Stop) {
        hangUpIfArranged();
        return;
      }
      due = recomputeDue();
      if (due == 1 || due == 2) continue;
      hangUpIfArranged();
      if (due == kDueStop) return;
      break;
    }
  }
}

std::size_t MailFetcher::buildTable() {
  const std::size_t count = table_.build(storeDir_, timing_.clock());
  // Only ever raised here: the supervisor may already have asked the analysis
  // worker to stop, and clearing the word would undo that.
  if (count == 0) flags_.set(flag::kAnalysisStop, 1);
  return count;
}

int MailFetcher::recomputeDue() {
  if (stopped()) return kDueStop;
  if (const std::int32_t request = flags_.get(flag::kCheckNow); request != 0) {
    table_.markRequested(request);
    flags_.set(flag::kCheckNow, 0);
  }
  table_.markDueByInterval(timing_.clock(), kDueSlackMicros);
  return table_.dueBits();
}

int MailFetcher::waitForDue() {
  const auto takeRequest = [this] {
    table_.markRequested(flags_.get(flag::kCheckNow));
    flags_.set(flag::kCheckNow, 0);
    return kDueSome;
  };
  for (;;) {
    for (unsigned k = 0; k < timing_.idleSteps; ++k) {
      if (stopped() || flags_.get(flag::kCheckNow) != 0) break;
      platform::sleepMilliseconds(timing_.stepMs);
    }
    if (stopped()) return kDueStop;
    if (flags_.get(flag::kCheckNow) != 0) return takeRequest();
    for (std::size_t i = 0; i < table_.size(); ++i) {
      platform::sleepMilliseconds(timing_.stepMs);
      if (stopped()) return kDueStop;
      if (flags_.get(flag::kCheckNow) != 0) return takeRequest();
      if (!table_[i].exists()) continue;
      platform::sleepMilliseconds(timing_.stepMs);
      if (table_.markIfIntervalPassed(i, timing_.clock())) {
        platform::sleepMilliseconds(timing_.stepMs);
        return kDueSome;
      }
    }
  }
}

MailFetcher::PassEnd MailFetcher::runPass() {
  bool announced = false;
  bool fetchedAny = false;
  for (std::size_t i = 0; i < table_.size(); ++i) {
    if (!table_[i].exists() || !table_[i].due()) continue;
    if (stopped()) return PassEnd::Stop;
    if (!prepareBox(i)) {
      platform::sleepMilliseconds(timing_.skipBoxMs);
      continue;
    }
    if (!ensureConnection()) {
      if (!waitOffline()) break;
      i = static_cast<std::size_t>(-1);  // the pass starts again from the first entry
      continue;
    }
    if (!announced) {
      services_.protocol.append(programDir_, fetch_event::kPassStart, "", "");
      announced = true;
    }
    bool stop = false;
    const bool goOn = fetchWithRetries(i, stop);
    if (stop) return PassEnd::Stop;
    if (!goOn) break;
    fetchedAny = true;
    // Even after three failures: the box waits a full interval.
    recomputeDue();
    table_.finish(i, timing_.clock());
    flags_.set(flag::kFetcherBox, 0);
  }
  if (fetchedAny) services_.protocol.append(programDir_, fetch_event::kPassEnd, "", "");
  flags_.set(flag::kCheckNow, 0);
  flags_.set(flag::kFetcherBox, 0);
  return PassEnd::Done;
}

bool MailFetcher::fetchWithRetries(std::size_t i, bool& stop) {
  int result = fetchBox(i);
  for (int attempt = 1; result != kFetchDone; ++attempt) {
    if (stopped()) {
      stop = true;
      return false;
    }
    services_.protocol.append(programDir_, fetch_event::kRetry, "", "");
    if (attempt == kFetchAttempts) break;
    if (!ensureConnection()) return false;
    result = fetchBox(i);
  }
  return true;
}

bool MailFetcher::waitOffline() {
  return sleepWatching(timing_.offlineSteps);
}

bool MailFetcher::prepareBox(std::size_t i) {
  const int number = table_[i].boxNumber;
  if (loadedBox_ != number) {
    loadedBox_ = -1;
    if (!loadBox(storeDir_, number, box_)) return false;
    loadedBox_ = number;
  }
  const std::string name = profileName(box_);
  if (name.empty()) return false;
  std::string address = box_.getText(box_field::kAddress);
  if (!isValidAddress(address)) return false;
  if (profileLoaded_ && profile_.getText(profile_field::kName) == name) return true;
  profileLoaded_ = false;
  profile_.clear();
  const std::optional<std::string> file = findProfile(listDir_, name);
  if (!file) return false;
  profile_.setDirectory(listDir_);
  profile_.setName(*file);
  profileLoaded_ = profile_.load();
  return profileLoaded_;
}

bool MailFetcher::ensureConnection() {
  platform::RemoteAccess& remote = services_.remoteAccess;
  if (remote.connected()) {
    if (profile_.getByte(profile_field::kDialByte) == 0) hangUpAfterPass_ = true;
    return true;
  }
  if (!profile_.getFlag(profile_field::kDialFlag)) return false;
  platform::DialRequest request;
  request.entry = profile_.getText(profile_field::kDialFirst);
  request.number = profile_.getText(profile_field::kDialFirst + 1);
  request.user = profile_.getText(profile_field::kDialFirst + 2);
  request.password = profile_.getText(profile_field::kDialFirst + 3);
  if (!remote.dial(request, [this] { return stopped(); }) || !remote.connected()) return false;
  if (profile_.getByte(profile_field::kDialByte) == 1) hangUpAfterPass_ = true;
  return true;
}

void MailFetcher::hangUpIfArranged() {
  if (!hangUpAfterPass_) return;
  services_.remoteAccess.hangUp();
  hangUpAfterPass_ = false;
}

int MailFetcher::fetchBox(std::size_t i) {
  BoxFetch fetch(flags_, paths_, services_, timing_, box_, profile_, table_[i].boxNumber);
  return fetch.run();
}

void runMailFetcher(EngineState& state, const FetcherServices& services) {
  MailFetcher fetcher(state.flags, state.paths, services);
  fetcher.run();
}

}  // namespace qg
