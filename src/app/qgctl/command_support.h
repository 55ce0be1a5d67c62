// Helpers the box, profile and log commands of qgctl share: finding the home
// folder a command works on, and writing one JSON object per output line in
// the tool's layout. Single-threaded (the tool's main thread).
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "app/qgctl/command_context.h"
#include "classify/own_addresses.h"
#include "classify/parsed_message.h"

namespace qg::qgctl {

// The home folder for a command: --home, else $QUILLGATE_HOME, else the XDG
// data folder. With create (commands that write) it is made when missing;
// without, it must already be a folder. nullopt after one line on stderr
// saying why.
std::optional<std::string> commandHome(const CommandContext& context, bool create);

// value on one line, keys in insertion order, with ": " after a key and ", "
// between items ({"number": 1, "valid": true}). Strings must be UTF-8; bytes
// that are not are shown as U+FFFD.
std::string jsonLine(const nlohmann::ordered_json& value);

// Lines of output gathered and written to stdout in pieces of about 64 KiB,
// so a long listing neither waits for its end nor gathers in memory. What is
// left is written, and stdout flushed, when the printer ends.
class LinePrinter {
 public:
  LinePrinter() = default;
  LinePrinter(const LinePrinter&) = delete;
  LinePrinter& operator=(const LinePrinter&) = delete;
  ~LinePrinter();

  // Adds line and its line feed.
  void add(std::string_view line);

 private:
  std::string pending_;
};

// The first limit bytes of the file at path, read without a lock (the agent
// may hold it); nullopt when it cannot be opened or read.
std::optional<std::string> readInputFile(const std::string& path, std::size_t limit);

// Reads the file at path (its first kAnalysedBytesLimit bytes), gives a raw
// message its record line and parses it into message with own. Returns
// what went wrong for the user ("cannot read PATH", "PATH is empty",
// "cannot parse PATH"), or an empty text when message holds the parse.
std::string parseMessageFile(const std::string& path, const OwnAddresses& own,
                             ParsedMessage& message);

// Prints "qgctl: " and message on stderr and returns status.
int complain(const std::string& message, int status);

}  // namespace qg::qgctl
