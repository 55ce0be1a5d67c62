// Plays the analysis worker's part for tests of the mail fetcher, on a thread
// of its own: it answers the pause request (flag 45 with 46), and while a box
// is fetched it sets flag 47, gives every new staging file (".hd") of that box
// the flag word a test-chosen rule returns and renames it ".hdr", and clears
// 47 once the fetcher has staged the box and no ".hdr" file is left; it clears
// flag 55 whenever the fetcher sets it. With no rule it never sets 47, so a
// box fetch ends right after staging (as with the agent's stand-in).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_state.h"
#include "engine/file_primitives.h"
#include "engine/mail_store.h"
#include "engine/staging_line.h"
#include "platform/file.h"
#include "platform/file_listing.h"

namespace qg::fakes {

class TestAnalysis {
 public:
  // The flag word for a staged slot, or nullopt to leave it as ".hd".
  using Rule = std::function<std::optional<std::uint32_t>(int slot, const StagingLine& line)>;

  TestAnalysis(EngineFlags& flags, std::string storeDir, Rule rule = {})
      : flags_(flags), storeDir_(std::move(storeDir)), rule_(std::move(rule)) {
    thread_ = std::thread([this] { loop(); });
  }
  ~TestAnalysis() {
    done_ = true;
    thread_.join();
  }
  TestAnalysis(const TestAnalysis&) = delete;
  TestAnalysis& operator=(const TestAnalysis&) = delete;

  // Staging files renamed to ".hdr" so far.
  int decided() const { return decided_; }

 private:
  void loop() {
    bool cycle = false;
    int idlePasses = 0;
    while (!done_) {
      if (flags_.get(flag::kEndOfBox) != 0) flags_.set(flag::kEndOfBox, 0);
      const int box = flags_.get(flag::kFetcherBox) - 1;
      if (flags_.get(flag::kPauseRequest) != 0) {
        // As the real worker does, a cycle starts with both words raised.
        if (rule_ && box >= 0 && !cycle) {
          cycle = true;
          idlePasses = 0;
          flags_.set(flag::kAnalysisBusy, 1);
        }
        flags_.set(flag::kAnalysisPaused, 1);
        platform::sleepMilliseconds(1);
        continue;
      }
      if (flags_.get(flag::kAnalysisPaused) != 0) flags_.set(flag::kAnalysisPaused, 0);
      if (!cycle) {
        platform::sleepMilliseconds(1);
        continue;
      }
      if (box < 0) {  // the fetch ended without the handshake (an error)
        cycle = false;
        flags_.set(flag::kAnalysisBusy, 0);
        continue;
      }
      const std::string tmp = boxDirectory(storeDir_, box) + "/TMP";
      const bool renamed = decideAll(tmp);
      const bool classifiedLeft = anyClassified(tmp);
      if (!renamed && !classifiedLeft && flags_.get(flag::kHeadersStaged) == 1) {
        if (++idlePasses >= 2) {
          cycle = false;
          flags_.set(flag::kAnalysisBusy, 0);
        }
      } else {
        idlePasses = 0;
      }
      platform::sleepMilliseconds(2);
    }
  }

  // Renames every ".hd" the rule decides. True when any was renamed.
  bool decideAll(const std::string& tmp) {
    std::vector<std::string> names;
    platform::listFileNames(tmp, names);
    std::sort(names.begin(), names.end());
    bool renamed = false;
    for (const std::string& name : names) {
      const std::optional<SlotFileName> slot = parseSlotFileName(name);
      if (!slot || slot->state != SlotState::New) continue;
      const std::string path = tmp + "/" + name;
      std::optional<std::uint32_t> word;
      {
        FileHandle file;
        if (!openExisting(path, file)) continue;
        const std::optional<StagingLine> line = readStagingLine(file);
        if (!line || !(word = rule_(slot->number, *line))) continue;
        rewriteFlagWord(file, *word);
      }
      moveReplace(path, path + "r");
      ++decided_;
      renamed = true;
    }
    return renamed;
  }

  static bool anyClassified(const std::string& tmp) {
    std::vector<std::string> names;
    platform::listFileNames(tmp, names);
    return std::any_of(names.begin(), names.end(), [](const std::string& name) {
      const std::optional<SlotFileName> slot = parseSlotFileName(name);
      return slot && slot->state == SlotState::Classified;
    });
  }

  EngineFlags& flags_;
  const std::string storeDir_;
  const Rule rule_;
  std::atomic<bool> done_{false};
  std::atomic<int> decided_{0};
  std::thread thread_;
};

}  // namespace qg::fakes
