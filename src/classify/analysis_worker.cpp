#include "classify/analysis_worker.h"

#include <utility>

#include "classify/header_analyzer.h"
#include "classify/quarantine_list.h"
#include "classify/request_log.h"
#include "classify/request_mail.h"
#include "classify/staging_files.h"
#include "classify/verdict.h"
#include "engine/file_primitives.h"
#include "engine/filter_lists.h"
#include "engine/mail_store.h"
#include "engine/outgoing_mail.h"
#include "platform/file.h"
#include "platform/file_listing.h"
#include "text/date_record.h"

namespace qg {

namespace {

constexpr std::string_view kZoneCacheExtension = ".dbl";
// Records of "OutEmail.dat" are read in pieces of at most this many bytes.
constexpr std::size_t kOutEmailRecordLimit = 500;
// Blocklist answers taken while the box is otherwise idle, and after a pass.
constexpr int kIdleAnswerMinimum = 7;
constexpr int kPassAnswerMinimum = 1;

}  // namespace

AnalysisWorker::AnalysisWorker(EngineFlags& flags, const PathBlock& paths, ProtocolWriter& protocol,
                               HistoryWriter& history, AnalysisOptions options)
    : flags_(flags),
      options_(std::move(options)),
      services_{protocol, history, nullptr},
      knownSenders_(paths.knownSenders) {
  if (!options_.decide)
    options_.decide = [](AnalysisContext& context, const DecisionSettings& s) {
      return decide(context, s);
    };
  if (!options_.sendRequest) {
    options_.sendRequest = [&protocol](AnalysisContext& context, std::int64_t stamp) {
      return sendRequest(context, stamp, protocol);
    };
  }
  if (!options_.lookup) options_.lookup = [](const std::string&) { return std::string(); };
  services_.sendRequest = options_.sendRequest;
  context_.programDir = paths.programDir;
  context_.storeDir = paths.storeDir;
  context_.listDir = paths.listDir;
}

std::int64_t AnalysisWorker::now() const {
  return options_.now ? options_.now() : DateRecord::now().stamp;
}

std::int32_t AnalysisWorker::today() const {
  return DateRecord::fromStamp(now()).dayNumber;
}

void AnalysisWorker::sleep(std::chrono::milliseconds duration) const {
  if (options_.sleep) {
    options_.sleep(duration);
  } else {
    platform::sleepMilliseconds(static_cast<unsigned>(duration.count()));
  }
}

bool AnalysisWorker::loadFilters() {
  return context_.filters.load(context_.listDir, knownSenders_);
}

void AnalysisWorker::run() {
  if (!loadFilters()) flags_.set(flag::kFilterLoadFailed, 1);
  const AnalysisTiming& timing = options_.timing;
  while (flags_.get(flag::kAnalysisStop) == 0) {
    for (int i = 0; i < timing.fetchWaitSteps && flags_.get(flag::kAnalysisStop) == 0 &&
                    flags_.get(flag::kFetcherBox) == 0;
         ++i) {
      sleep(timing.step);
      flags_.set(flag::kEndOfBox, 0);
    }
    learnOutgoingMail();
    if (flags_.get(flag::kAnalysisStop) != 0) break;
    if (flags_.get(flag::kFetcherBox) == 0) continue;
    if (flags_.get(flag::kFilterLoadFailed) != 1) {
      cycle();
    } else {
      // Nothing is analysed, but the loop must not spin while a box is fetched.
      sleep(timing.step);
    }
  }
  flags_.set(flag::kAnalysisPaused, 0);
  flags_.set(flag::kAnalysisBusy, 0);
}

bool AnalysisWorker::pauseCheck() {
  if (flags_.get(flag::kPauseRequest) == 1) {
    flags_.set(flag::kAnalysisPaused, 1);
    while (flags_.get(flag::kPauseRequest) == 1 && flags_.get(flag::kAnalysisStop) == 0 &&
           flags_.get(flag::kFetcherBox) != 0) {
      sleep(options_.timing.pauseStep);
    }
  }
  flags_.set(flag::kAnalysisPaused, 0);
  return flags_.get(flag::kAnalysisStop) == 0 && flags_.get(flag::kFetcherBox) != 0;
}

void AnalysisWorker::learnOutgoingMail() {
  FileHandle file;
  // Never created here: only the local SMTP server writes it.
  if (!openExisting(context_.programDir + "/" + std::string(kOutEmailName), file)) return;
  if (!file.seek(0)) return;
  std::string record;
  while (readUntil(file, record, kOutEmailRecordLimit, '\0')) {
    if (!record.empty() && record.back() == '\0') record.pop_back();
    if (!record.empty() && context_.filters.addressLookup(record) == 0) {
      context_.filters.learnAddress(record, list_colour::kWhite);
    }
  }
  file.truncate(0);
}

void AnalysisWorker::pruneZoneCaches() {
  // Once a day: a pruned file keeps today's day and would be read for nothing.
  const std::int32_t day = today();
  if (prunedDay_ == day) return;
  std::vector<std::string> names;
  platform::listFileNames(context_.programDir, names);
  bool everyFile = true;
  for (const std::string& name : names) {
    if (!name.ends_with(kZoneCacheExtension)) continue;
    if (!pauseCheck()) return;
    everyFile = pruneZoneCacheFile(context_.programDir + "/" + name, day) && everyFile;
  }
  // The loaded copy may hold what the pruning dropped.
  context_.zoneCache.unload();
  if (everyFile) prunedDay_ = day;
}

void AnalysisWorker::cycle() {
  flags_.set(flag::kAnalysisPaused, 1);
  flags_.set(flag::kAnalysisBusy, 1);
  const AnalysisTiming& timing = options_.timing;
  const auto end = [this] {
    flags_.set(flag::kAnalysisPaused, 0);
    flags_.set(flag::kAnalysisBusy, 0);
  };

  pruneZoneCaches();
  const int box = flags_.get(flag::kFetcherBox) - 1;
  if (box < 0) return end();
  // The log of the box being fetched, where its request mails are logged.
  pruneRequestLog(boxDirectory(context_.storeDir, box), now());
  learnOutgoingMail();
  BoxResult result = processBox(box);
  const std::string boxDir = boxDirectory(context_.storeDir, box);
  for (int idle = 0; result == BoxResult::Done && idle < timing.idlePasses;) {
    if (!pauseCheck()) return end();
    sleep(timing.idlePass);
    const SlotStates states = stagingStatesIn(boxDir);
    bool quiet = false;
    if (holds(states, SlotState::New)) {
      int moved = 0;
      result = processBox(box, &moved);
      // Files that cannot be analysed wait for a later fetch; they must not
      // keep the fetcher on this box.
      quiet = moved == 0;
    } else if (holds(states, SlotState::Classified)) {
      // The fetcher still works on them.
    } else if (takeBlocklistAnswers(context_.programDir, kIdleAnswerMinimum, today(),
                                    context_.zoneCache) > 0) {
      result = processBox(box);
    } else {
      quiet = true;
    }
    if (quiet && flags_.get(flag::kHeadersStaged) != 0 && flags_.get(flag::kDnsblBusy) != 1) {
      ++idle;
    }
  }
  if (result == BoxResult::Aborted) return end();
  flags_.set(flag::kAnalysisBusy, 0);
  while (flags_.get(flag::kFetcherBox) != 0 && flags_.get(flag::kAnalysisStop) == 0) {
    sleep(timing.step);
  }
  end();
}

std::optional<StagingMessage> AnalysisWorker::take(const std::string& path) {
  if (parseStagingFile(path, context_.own, context_.message) <= 0) return std::nullopt;
  // A line that fails the strict check gives no values at all: the file is
  // never judged by the fields of the message read before.
  if (!context_.message.recordLine) return std::nullopt;
  StagingMessage message;
  message.path = path;
  message.line = *context_.message.recordLine;
  message.whole = (message.line.flags & verdict::kWholeMessageHeld) != 0;
  return message;
}

bool AnalysisWorker::isWhiteSender() const {
  return context_.filters.addressLookup(senderAddress(context_.message)) == kListWhite;
}

Applied AnalysisWorker::apply(std::uint32_t verdictWord, StagingMessage& message) {
  return applyVerdict(verdictWord, message, context_, services_, now());
}

AnalysisWorker::BoxResult AnalysisWorker::processBox(int boxNumber, int* moved) {
  if (!selectBox(context_, boxNumber, options_.lookup)) return BoxResult::Unavailable;
  const std::string boxDir = context_.boxDirectory;
  int movedOn = 0;

  // New files: the user's verdict when it came from the quarantine window,
  // else the decision procedure's.
  bool recheckHeld = false;
  bool first = true;
  for (const std::string& path : stagingFilesIn(boxDir, SlotState::New)) {
    if (!first) sleep(options_.timing.betweenFiles);
    first = false;
    if (!pauseCheck()) return BoxResult::Aborted;
    std::optional<StagingMessage> message = take(path);
    if (!message) continue;
    const std::uint32_t verdictWord =
        (message->line.flags & verdict::kUserSet) != 0
            ? message->line.flags
            : options_.decide(context_, DecisionSettings{now(), true});
    if (verdictWord == verdict::kReplyConsumed) recheckHeld = true;
    const Applied applied = apply(verdictWord, *message);
    if (applied != Applied::Ignored && applied != Applied::Failed) ++movedOn;
  }
  if (moved) *moved = movedOn;

  // A sender just approved by a reply releases the mail held from it.
  if (recheckHeld) {
    for (const std::string& path : stagingFilesIn(boxDir, SlotState::Held)) {
      if (!pauseCheck()) return BoxResult::Aborted;
      std::optional<StagingMessage> message = take(path);
      if (!message || !isWhiteSender()) continue;
      message->line.flags = (message->line.flags & ~verdict::kClassMask) + verdict::kNotSpam;
      renameStaging(message->path, message->line, SlotState::Classified);
    }
  }

  takeBlocklistAnswers(context_.programDir, kPassAnswerMinimum, today(), context_.zoneCache);
  for (const std::string& path : stagingFilesIn(boxDir, SlotState::AwaitingBlocklist)) {
    if (!pauseCheck()) return BoxResult::Aborted;
    moveReplace(path, stagingPathIn(path, SlotState::New));
  }

  // The user's decisions from the list windows.
  for (const std::string& path : stagingFilesIn(boxDir, SlotState::UserDecision)) {
    if (!pauseCheck()) return BoxResult::Aborted;
    std::optional<StagingMessage> message = take(path);
    if (!message) continue;
    if (isWhiteSender()) {
      message->line.flags = (message->line.flags & ~verdict::kClassMask) + verdict::kNotSpam;
      renameStaging(message->path, message->line, SlotState::Classified);
    } else {
      apply(message->line.flags, *message);
    }
  }

  // Releases asked for in the quarantine window; each makes its own box current.
  releaseQuarantined(
      context_.programDir, context_.storeDir,
      [this](const QuarantineRecord& record, const std::string& path) {
        if (!selectBox(context_, static_cast<int>(record.key >> 16), options_.lookup)) {
          return ReleaseOutcome::Kept;
        }
        std::optional<StagingMessage> message = take(path);
        if (!message) return ReleaseOutcome::Kept;
        message->line.flags = storedFlagWord(record.verdict | verdict::kUserSet, message->whole);
        const Applied applied = apply(record.verdict, *message);
        return applied == Applied::Failed || applied == Applied::Ignored ? ReleaseOutcome::Kept
                                                                         : ReleaseOutcome::Released;
      });
  return BoxResult::Done;
}

void runAnalysisWorker(EngineState& state, ProtocolWriter& protocol, HistoryWriter& history,
                       const DnsResolverConfig& servers) {
  DnsResolver resolver(servers);
  AnalysisOptions options;
  options.lookup = [&resolver](const std::string& domain) {
    return resolver.mailHostAddress(domain);
  };
  AnalysisWorker worker(state.flags, state.paths, protocol, history, std::move(options));
  worker.run();
}

}  // namespace qg
