// The analysis worker, the thread of slot 3. While the mail fetcher works on
// a box it classifies the box's staged messages: it parses each ".hd" file,
// has the decision procedure judge it (or takes the user's verdict), applies
// the verdict, re-checks held mail after a consumed reply, sends ".hdd" files
// back to ".hd" when blocklist answers come, applies the user's ".hdt"
// decisions and the quarantine window's releases, and learns the addresses
// the user writes to.
//
// Flags: owns 50-59 (50, its running flag, is raised and cleared by the
// supervisor around run; 46 paused and 47 busy for the fetcher; 52 when a
// filter list cannot be loaded; it clears the fetcher's 55); reads 42 (box
// being fetched), 45 (pause request), 48 (DNSBL worker busy), 49 (headers
// staged) and 51 (stop).
// Files: the TMP staging files of the box being fetched, its "box.log" (own
// addresses) and "request.rst"; in the program directory "OutEmail.dat",
// "zap.inf", "soun.inf", "wizi.inf", the "*.dbl" caches and, through the
// decision procedure, "dnsbl.inf" and "dnsbl.inp"; "femail.dat" in the list
// directory; request mails in the box's OUT.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "classify/analysis_context.h"
#include "classify/box_selection.h"
#include "classify/decision.h"
#include "classify/verdict_apply.h"
#include "engine/engine_state.h"
#include "engine/history_file.h"
#include "engine/protocol_file.h"
#include "netsvc/dns_resolver.h"

namespace qg {

// The worker's waits (all checked against its flags between steps).
struct AnalysisTiming {
  std::chrono::milliseconds step{50};  // waiting for a fetch cycle and for its end
  int fetchWaitSteps = 50;             // steps before the outgoing mail is looked at again
  std::chrono::milliseconds pauseStep{10};
  std::chrono::milliseconds betweenFiles{10};
  std::chrono::milliseconds idlePass{100};
  int idlePasses = 2;  // quiet passes before the box counts as done
};

using DecideFunction =
    std::function<std::uint32_t(AnalysisContext& context, const DecisionSettings& settings)>;
using RequestFunction = std::function<bool(AnalysisContext& context, std::int64_t now)>;

// What a test replaces; an empty member takes the real one.
struct AnalysisOptions {
  DecideFunction decide;                                 // decide
  RequestFunction sendRequest;                           // sendRequest
  MailExchangeLookup lookup;                             // no exchanges
  std::function<std::int64_t()> now;                     // the local time stamp
  std::function<void(std::chrono::milliseconds)> sleep;  // a real sleep
  AnalysisTiming timing;
};

class AnalysisWorker {
 public:
  // The texts of paths are copied; flags, protocol and history must outlive
  // the worker.
  AnalysisWorker(EngineFlags& flags, const PathBlock& paths, ProtocolWriter& protocol,
                 HistoryWriter& history, AnalysisOptions options = {});
  AnalysisWorker(const AnalysisWorker&) = delete;
  AnalysisWorker& operator=(const AnalysisWorker&) = delete;

  // The thread's loop: loads the filter lists (flag 52 when one cannot be
  // loaded: nothing is analysed then), then until flag 51 is set waits for a
  // box fetch, learns the outgoing mail's recipients and runs one analysis
  // cycle per box. Flags 46 and 47 are 0 when it returns.
  void run();

  // Loads the filter lists. False when one cannot be loaded.
  bool loadFilters();

  // One analysis cycle for the box of flag 42: flags 46 and 47 up, the
  // once-a-day pruning of the blocklist caches and the box's request log,
  // the box processed, then idle passes until nothing is left to do and the
  // fetcher and the DNSBL worker are done; then flag 47 down and a wait
  // until the fetcher leaves the box. Ends early when flag 51 is set or
  // flag 42 goes to 0.
  void cycle();

  enum class BoxResult {
    Done,         // the box was processed
    Aborted,      // a pause check saw flag 51 set or flag 42 at 0
    Unavailable,  // the box cannot be made current (selectBox failed)
  };
  // Processes the staging files of box boxNumber once (see the source for
  // the order). moved counts the ".hd" files that left that state.
  BoxResult processBox(int boxNumber, int* moved = nullptr);

  // Learns the addresses in "OutEmail.dat" as white and empties the file.
  void learnOutgoingMail();

  AnalysisContext& context() { return context_; }

 private:
  // False when the caller must end the cycle (flag 51 set or flag 42 at 0).
  bool pauseCheck();
  // Parses path into the context's message; nullopt when it cannot be parsed
  // or its record line fails the strict check (the file then waits).
  std::optional<StagingMessage> take(const std::string& path);
  bool isWhiteSender() const;
  Applied apply(std::uint32_t verdict, StagingMessage& message);
  void pruneZoneCaches();
  std::int64_t now() const;
  std::int32_t today() const;
  void sleep(std::chrono::milliseconds duration) const;

  EngineFlags& flags_;
  AnalysisOptions options_;
  ApplyServices services_;
  std::vector<std::uint8_t> knownSenders_;
  AnalysisContext context_;
  std::optional<std::int32_t> prunedDay_;  // the day every zone cache was last pruned
};

// The thread entry the supervisor starts for slot 3; servers configures the
// resolver of the mail-exchange lookups.
void runAnalysisWorker(EngineState& state, ProtocolWriter& protocol, HistoryWriter& history,
                       const DnsResolverConfig& servers);

}  // namespace qg
