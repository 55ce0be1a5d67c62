#include "app/qgctl/command_support.h"

#include <algorithm>
#include <iostream>

#include "classify/header_analyzer.h"
#include "engine/staging_line.h"
#include "platform/file.h"
#include "platform/home_folder.h"

namespace qg::qgctl {

namespace {

// A raw message gets the record line the fetcher would give a whole message.
std::string asStagingFile(std::string bytes) {
  const auto head = std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  if (isValidStagingLine(head)) return bytes;
  StagingLine line;
  line.size = static_cast<std::uint32_t>(bytes.size());
  line.received = line.size;
  line.flags = staging::kWholeMessage;
  const StagingLineBytes record = formatStagingLine(line);
  return std::string(record.begin(), record.end()) + bytes;
}

}  // namespace

std::optional<std::string> commandHome(const CommandContext& context, bool create) {
  const platform::HomeEnvironment environment = platform::currentHomeEnvironment();
  if (create) {
    const platform::HomeFolder home = platform::prepareHomeFolder(context.home, environment);
    if (home.status != platform::HomeStatus::Ready) {
      complain(platform::homeProblem(home), kExitFailure);
      return std::nullopt;
    }
    return home.path;
  }
  // Reading commands do not leave an empty home folder behind a typing error.
  const std::string path = platform::chooseHomeFolder(context.home, environment);
  if (path.empty()) {
    complain(platform::homeProblem({platform::HomeStatus::NotChosen, path}), kExitFailure);
    return std::nullopt;
  }
  if (!platform::isDirectory(path)) {
    complain("no home folder at " + path, kExitFailure);
    return std::nullopt;
  }
  return path;
}

namespace {

constexpr std::size_t kOutputPiece = 64 * 1024;

}  // namespace

LinePrinter::~LinePrinter() {
  std::cout << pending_ << std::flush;
}

void LinePrinter::add(std::string_view line) {
  pending_ += line;
  pending_ += '\n';
  if (pending_.size() >= kOutputPiece) {
    std::cout << pending_;
    pending_.clear();
  }
}

std::string jsonLine(const nlohmann::ordered_json& value) {
  std::string line;
  if (value.is_object()) {
    line += '{';
    for (auto item = value.begin(); item != value.end(); ++item) {
      if (item != value.begin()) line += ", ";
      line +=
          nlohmann::json(item.key()).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      line += ": ";
      line += jsonLine(item.value());
    }
    line += '}';
  } else if (value.is_array()) {
    line += '[';
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (i != 0) line += ", ";
      line += jsonLine(value[i]);
    }
    line += ']';
  } else {
    line = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
  return line;
}

std::optional<std::string> readInputFile(const std::string& path, std::size_t limit) {
  platform::File file = platform::openShared(path);
  const std::int64_t size = file.isOpen() ? file.size() : -1;
  if (size < 0) return std::nullopt;
  std::string bytes(std::min(static_cast<std::size_t>(size), limit), '\0');
  if (file.readFull(bytes.data(), bytes.size()) != static_cast<long>(bytes.size())) {
    return std::nullopt;
  }
  return bytes;
}

std::string parseMessageFile(const std::string& path, const OwnAddresses& own,
                             ParsedMessage& message) {
  const std::optional<std::string> bytes = readInputFile(path, kAnalysedBytesLimit);
  if (!bytes) return "cannot read " + path;
  if (bytes->empty()) return path + " is empty";
  if (parseStagingText(asStagingFile(*bytes), own, message) < 0) return "cannot parse " + path;
  return {};
}

int complain(const std::string& message, int status) {
  std::cerr << "qgctl: " << message << "\n";
  return status;
}

}  // namespace qg::qgctl
