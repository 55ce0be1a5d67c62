// A home folder for the analysis tests: the built-in profiles, box 1 with
// address user@example.com on profile "Standart 1", an AnalysisContext for
// it with the filter lists loaded, the shared writers, and staging files
// written as the fetcher writes them.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "classify/analysis_context.h"
#include "engine/box_setup.h"
#include "engine/filter_profile.h"
#include "engine/history_file.h"
#include "engine/history_record.h"
#include "engine/known_senders.h"
#include "engine/mail_store.h"
#include "engine/protocol_file.h"
#include "engine/staging_line.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {

struct AnalysisHome {
  static constexpr const char* kAddress = "user@example.com";

  AnalysisHome() {
    ensureBuiltinProfiles(home());
    NewBoxOptions options;
    options.password = "secret";
    box = createBox(home(), kAddress, options);
    boxDir = boxDirectory(home(), box);
    context.programDir = context.storeDir = context.listDir = home();
    std::vector<std::uint8_t> known;
    loadKnownSenders(home(), known);
    context.filters.load(home(), known);
  }

  const std::string& home() const { return folder.root(); }
  std::string slot(int n, SlotState state) const { return slotFilePath(boxDir, n, state); }

  std::vector<std::string> filesEndingIn(std::string_view extension) const {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(home())) {
      if (entry.path().extension() == extension) paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  // Writes slot n in state: the record line, then text.
  std::string stage(int n, std::string_view text, std::uint32_t flags = 0,
                    SlotState state = SlotState::New, std::uint32_t size = 1000) const {
    StagingLine line;
    line.stamp = 0x00E1F3A400000000;
    line.size = size;
    line.serverNumber = static_cast<std::uint16_t>(n + 1);
    line.received = static_cast<std::uint32_t>(text.size());
    line.flags = flags;
    const StagingLineBytes bytes = formatStagingLine(line);
    const std::string path = slot(n, state);
    writeFile(path, std::string(bytes.data(), bytes.size()) + std::string(text));
    return path;
  }

  // The profile file of box 1, for tests that change its fields.
  RecordFile profile() const {
    RecordFile profile;
    profile.setDirectory(home());
    profile.setName(*findProfile(home(), kDefaultProfile));
    profile.load();
    return profile;
  }

  // Every protocol and history record of the home, in file order.
  std::vector<ProtocolRecord> protocolRecords() const {
    std::vector<ProtocolRecord> all;
    for (const std::string& path : filesEndingIn(".prt")) {
      std::vector<ProtocolRecord> records;
      readProtocolFile(path, records);
      all.insert(all.end(), records.begin(), records.end());
    }
    return all;
  }
  std::vector<HistoryRecord> historyRecords() const {
    std::vector<HistoryRecord> all;
    for (const std::string& path : filesEndingIn(".hst")) {
      const std::vector<std::uint8_t> bytes = fileBytes(path);
      const std::vector<HistoryRecord> records = decodeHistoryTable(bytes);
      all.insert(all.end(), records.begin(), records.end());
    }
    return all;
  }

  TestFolder folder;
  int box = 0;
  std::string boxDir;
  AnalysisContext context;
  HistoryWriter history;
  ProtocolWriter protocol;
};

}  // namespace qg
