#include "app/qgctl/log_command.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/qgctl/command_support.h"
#include "engine/history_record.h"
#include "engine/log_periods.h"
#include "engine/protocol_file.h"
#include "platform/file_listing.h"
#include "text/charsets.h"
#include "text/date_record.h"

namespace qg::qgctl {

namespace {

// "yyyy-mm-dd hh:mm:ss.mmm" of a local time stamp; null for 0, which the logs
// use for "none".
nlohmann::ordered_json stampText(std::int64_t stamp) {
  if (stamp == 0) return nullptr;
  const DateRecord date = DateRecord::fromStamp(stamp);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", date.year, date.month,
                date.day, date.hour, date.minute, date.second, date.millisecond);
  return text;
}

std::string utf8(std::string_view windows1251) {
  return windows1251ToUtf8(windows1251);
}

std::string historyLine(const std::string& file, const HistoryRecord& record) {
  nlohmann::ordered_json line;
  line["file"] = file;
  line["messageDate"] = record.messageDate;
  line["messageDateText"] = stampText(record.messageDate);
  line["size"] = record.size;
  // The slots in use; the first empty slot ends the list, as for every reader.
  nlohmann::ordered_json events = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < record.eventCount(); ++i) {
    nlohmann::ordered_json event;
    event["type"] = record.events[i].type;
    event["time"] = record.events[i].time;
    event["timeText"] = stampText(record.events[i].time);
    events.push_back(std::move(event));
  }
  line["events"] = std::move(events);
  line["firstSeen"] = record.firstSeen;
  line["firstSeenText"] = stampText(record.firstSeen);
  line["displayName"] = utf8(record.displayName);
  line["senderAddress"] = utf8(record.senderAddress);
  line["recipient"] = utf8(record.recipient);
  line["subject"] = utf8(record.subject);
  return jsonLine(line);
}

std::string protocolLine(const std::string& file, const ProtocolRecord& record) {
  nlohmann::ordered_json line;
  line["file"] = file;
  line["time"] = record.time;
  line["timeText"] = stampText(record.time);
  line["type"] = record.type;
  line["first"] = utf8(record.first);
  line["second"] = utf8(record.second);
  return jsonLine(line);
}

// How one kind of log is read and shown.
struct LogKind {
  std::string_view extension;
  // Appends the lines of the file at path (shown as name) to out; the
  // reader's result: 1 read, 0 unreadable, -1 too large.
  int (*dumpFile)(const std::string& path, const std::string& name, std::string& out);
};

int dumpHistory(const std::string& path, const std::string& name, std::string& out) {
  std::vector<HistoryRecord> records;
  const int result = readHistoryFile(path, records);
  for (const HistoryRecord& record : records) out += historyLine(name, record) + "\n";
  return result;
}

int dumpProtocol(const std::string& path, const std::string& name, std::string& out) {
  std::vector<ProtocolRecord> records;
  const int result = readProtocolFile(path, records);
  for (const ProtocolRecord& record : records) out += protocolLine(name, record) + "\n";
  return result;
}

constexpr LogKind kHistory{kHistoryExtension, dumpHistory};
constexpr LogKind kProtocol{kProtocolExtension, dumpProtocol};

int runDump(const CommandContext& context, const LogKind& kind, const std::string& file) {
  std::vector<std::string> paths;
  if (!file.empty()) {
    paths.push_back(file);
  } else {
    const auto home = commandHome(context, false);
    if (!home) return kExitFailure;
    // The names as they are: a name with fewer digits or small letters is a
    // log file too. Reading never deletes the files beyond the kept number;
    // that is the agent's job.
    std::vector<std::string> names;
    if (!platform::listFileNames(*home, names)) {
      return complain("cannot read " + *home, kExitFailure);
    }
    std::vector<std::pair<std::uint32_t, std::string>> files;
    for (std::string& name : names) {
      if (const auto period = parsePeriodFileName(name, kind.extension)) {
        files.emplace_back(*period, std::move(name));
      }
    }
    std::sort(files.begin(), files.end());
    for (const auto& [period, name] : files) paths.push_back(logFilePath(*home, name));
  }
  int status = kExitOk;
  for (const std::string& path : paths) {
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string out;
    const int result = kind.dumpFile(path, name, out);
    std::cout << out << std::flush;
    if (result == 0) status = complain(path + ": cannot be read", kExitFailure);
    if (result < 0) status = complain(path + ": too large to be a log file", kExitFailure);
  }
  return status;
}

void addDump(CLI::App& app, CommandContext& context, const char* group, const char* description,
             const LogKind& kind) {
  CLI::App* logGroup = app.add_subcommand(group, description);
  logGroup->require_subcommand(1);
  auto file = std::make_shared<std::string>();
  CLI::App* dump = logGroup->add_subcommand(
      "dump", "One JSON object per record; without FILE every file of the home, oldest first");
  dump->add_option("FILE", *file, "Path of one log file");
  dump->callback([file, &context, &kind] { context.exitCode = runDump(context, kind, *file); });
}

}  // namespace

void addLogCommands(CLI::App& app, CommandContext& context) {
  addDump(app, context, "history", "Print the message history", kHistory);
  addDump(app, context, "protocol", "Print the protocol of program events", kProtocol);
}

}  // namespace qg::qgctl
