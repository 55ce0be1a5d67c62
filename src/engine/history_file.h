// The history writer: adds a message's events to the current "%08X.hst" file
// of the history folder, one record per message. Called by the mail fetcher,
// the analysis worker and the local POP3 server; one HistoryWriter, owned by
// the engine state, serves them all and serialises the calls with its mutex.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "engine/history_entry.h"
#include "engine/log_table.h"

namespace qg {

// A new history file is started once the table reaches this many bytes.
inline constexpr std::size_t kHistoryRollBytes = 1'500'000;
// A stored size within this many bytes of a record's size matches the record.
inline constexpr std::uint32_t kHistorySizeSlack = 3;
// The table is written beside the current file under this name and renamed into place.
inline constexpr std::string_view kHistoryTempName = "history.tmp";

// Results of HistoryWriter::record.
inline constexpr int kHistoryRecorded = 1;
inline constexpr int kHistoryNoMessage = 0;     // the message file could not be opened
inline constexpr int kHistoryWriteFailed = -1;  // the history file could not be written

// The folder a stored file's history goes to: its path without the last three
// components (for "HOME/BOX_0001/TMP/00000001.hd", HOME). "." for a relative
// path that has no more components, "/" for a path at the root.
std::string historyFolderOf(const std::string& messagePath);

class HistoryWriter {
 public:
  HistoryWriter() = default;
  HistoryWriter(const HistoryWriter&) = delete;
  HistoryWriter& operator=(const HistoryWriter&) = delete;

  // Records event type (0 to 6; 0 only sets the first-seen time) for the
  // stored message at messagePath (the caller must not hold that file open),
  // at now (local time stamp; the current time without it). The record is the
  // one with the same Date, the same sender address and a size within
  // kHistorySizeSlack bytes, or a new one; a type already in it, or a seventh,
  // is not added. The whole table is then written back.
  // kHistoryRecorded, kHistoryNoMessage or kHistoryWriteFailed.
  int record(const std::string& messagePath, std::uint8_t type);
  int record(const std::string& messagePath, std::uint8_t type, std::int64_t now);

  // The same for a message already summarised, into folder.
  int recordSummary(const std::string& folder, const MessageSummary& message, std::uint8_t type,
                    std::int64_t now);

 private:
  // Loads the current table when none is held. False when no table could be
  // set up.
  bool holdTable(const std::string& folder, std::int64_t now);
  void startNewFile(const std::string& folder, std::int64_t now);

  std::mutex mutex_;
  std::string folder_;
  std::uint32_t period_ = 0;
  std::optional<LogTable> table_;  // the current file's table, or none
};

}  // namespace qg
