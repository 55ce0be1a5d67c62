#include "app/qgctl/box_command.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/qgctl/command_support.h"
#include "engine/box_setup.h"
#include "engine/filter_profile.h"
#include "engine/mail_address.h"
#include "engine/mail_store.h"
#include "platform/file_listing.h"
#include "platform/folder_listing.h"
#include "text/charsets.h"

namespace qg::qgctl {

namespace {

struct AddArguments {
  std::string address;
  std::string pop3;
  std::string user;
  std::string password;
  std::string profile;
  std::string interval;  // empty when not given
  bool noCheckAtStart = false;
};

// HOST[:PORT] of --pop3; nullopt for an empty host or a port outside 1..65535.
std::optional<std::pair<std::string, std::uint16_t>> parseServer(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  std::string host = text.substr(0, colon);
  std::uint16_t port = kDefaultPop3Port;
  if (colon != std::string::npos) {
    const std::string_view digits = std::string_view(text).substr(colon + 1);
    unsigned value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || error != std::errc() || stop != end || value < 1 || value > 65535) {
      return std::nullopt;
    }
    port = static_cast<std::uint16_t>(value);
  }
  if (host.empty()) return std::nullopt;
  return std::pair{std::move(host), port};
}

// Minutes 0..kMaxInterval, or nullopt.
std::optional<int> parseInterval(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || value < 0 || value > kMaxInterval) return std::nullopt;
  return value;
}

// A text typed on the command line as the record stores it, or nullopt when
// it is longer than the setup's edit field allows (a cut password or server
// name would give a box that cannot log in).
std::optional<std::string> boxText(const std::string& utf8, std::size_t limit) {
  std::string text = utf8ToWindows1251(utf8);
  if (text.size() > limit) return std::nullopt;
  return text;
}

int usage(const std::string& message) {
  return complain(message, kExitUsage);
}

int runAdd(const CommandContext& context, const AddArguments& arguments) {
  NewBoxOptions options;
  const auto server = parseServer(arguments.pop3);
  if (!server) return usage("--pop3 must be HOST or HOST:PORT with a port from 1 to 65535");
  options.pop3Host = boxText(server->first, kMaxBoxText);
  options.pop3Port = server->second;
  options.user = boxText(arguments.user, kMaxBoxText);
  options.password = boxText(arguments.password, kMaxPassword);
  if (!options.pop3Host || !options.user) {
    return usage("--pop3 host and --user may have at most " + std::to_string(kMaxBoxText) +
                 " characters");
  }
  if (!options.password || options.password->size() < kMinPassword) {
    return usage("--password must have " + std::to_string(kMinPassword) + " to " +
                 std::to_string(kMaxPassword) + " characters");
  }
  if (!arguments.interval.empty()) {
    options.interval = parseInterval(arguments.interval);
    if (!options.interval) {
      return usage("--interval must be 0 (no timed checks) to " + std::to_string(kMaxInterval) +
                   " minutes");
    }
  }
  options.checkAtStart = !arguments.noCheckAtStart;
  const std::string profile =
      arguments.profile.empty() ? std::string(kDefaultProfile) : arguments.profile;
  options.profile = boxText(profile, kMaxBoxText);
  if (!options.profile) {
    return usage("--profile may have at most " + std::to_string(kMaxBoxText) + " characters");
  }

  // The setup would quietly use placeholders for a bad address; a command
  // line refuses it instead, so a typing error does not become a box.
  std::string address = arguments.address;
  if (!isValidAddress(address)) {
    return complain("'" + arguments.address +
                        "' is not a valid mail address (local part of 2 to 39 letters, digits, "
                        "'-', '_' or '.', then '@' and a domain with a dot)",
                    kExitFailure);
  }

  const auto home = commandHome(context, true);
  if (!home) return kExitFailure;
  if (ensureBuiltinProfiles(*home) < 0) {
    return complain("cannot create the built-in profiles in " + *home, kExitFailure);
  }
  // The same comparison a box's validity check makes.
  const std::vector<std::string> names = loadProfileNames(*home);
  if (std::none_of(names.begin(), names.end(), [&](const std::string& name) {
        return sameTextIgnoringCase(name, *options.profile);
      })) {
    return complain("no profile named '" + profile + "' (see qgctl profile list)", kExitFailure);
  }

  const int number = createBox(*home, address, options);
  switch (number) {
    case kBoxDuplicateAddress:
      return complain("a box for " + address + " already exists", kExitFailure);
    case kBoxNoFreeNumber:
      return complain("no free box number from 1 to " + std::to_string(kMaxNewBoxNumber),
                      kExitFailure);
    case kBoxCannotCreate:
      return complain("cannot create the box folders or box.log in " + *home, kExitFailure);
    default:
      break;
  }
  std::cout << number << std::endl;
  return kExitOk;
}

// Why the agent skips a box with this check result; null for a valid box.
nlohmann::ordered_json problemText(BoxCheck check) {
  switch (check) {
    case BoxCheck::Valid:
      return nullptr;
    case BoxCheck::NotLoaded:
      return "box.log missing or damaged";
    case BoxCheck::Disabled:
      return "disabled";
    case BoxCheck::BadAddress:
      return "address not valid";
    case BoxCheck::BadMoreAddresses:
      return "an additional address not valid";
    case BoxCheck::ShortPassword:
      return "password shorter than " + std::to_string(kMinPassword) + " characters";
    case BoxCheck::ProfileNotFound:
      return "profile not found";
  }
  return "unknown";
}

// Slot files "%08d.<state>" of TMP by state, in lookup order.
nlohmann::ordered_json slotCounts(const std::string& boxDir) {
  std::array<int, kSlotLookupOrder.size()> counts{};
  std::vector<std::string> names;
  platform::listFileNames(boxDir + "/" + std::string(kTmpFolder), names);
  constexpr std::size_t kDigits = 8;
  for (const std::string_view name : names) {
    if (name.size() <= kDigits + 1 || name[kDigits] != '.') continue;
    if (!std::all_of(name.begin(), name.begin() + kDigits,
                     [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    const std::string_view extension = name.substr(kDigits + 1);
    for (std::size_t i = 0; i < kSlotLookupOrder.size(); ++i) {
      if (extension == slotStateName(kSlotLookupOrder[i])) ++counts[i];
    }
  }
  nlohmann::ordered_json slots = nlohmann::ordered_json::object();
  for (std::size_t i = 0; i < kSlotLookupOrder.size(); ++i) {
    slots[std::string(slotStateName(kSlotLookupOrder[i]))] = counts[i];
  }
  return slots;
}

int runList(const CommandContext& context) {
  const auto home = commandHome(context, false);
  if (!home) return kExitFailure;
  std::vector<std::string> folders;
  if (!platform::listFolderNames(*home, folders)) {
    return complain("cannot read " + *home, kExitFailure);
  }
  std::vector<int> numbers;
  for (const std::string& name : folders) {
    if (const int n = boxNumberFromName(name); n > 0) numbers.push_back(n);
  }
  std::sort(numbers.begin(), numbers.end());
  const std::vector<std::string> profiles = loadProfileNames(*home);

  std::string out;
  RecordFile record;
  for (const int n : numbers) {
    const BoxCheck check = checkBox(*home, n, record, profiles);
    const std::string boxDir = boxDirectory(*home, n);
    const BoxMailCounts mail = countBoxMail(boxDir);
    nlohmann::ordered_json line;
    line["number"] = n;
    line["address"] = windows1251ToUtf8(record.getText(box_field::kAddress));
    line["valid"] = check == BoxCheck::Valid;
    line["problem"] = problemText(check);
    line["in"] = mail.in;
    line["out"] = mail.out;
    line["slots"] = slotCounts(boxDir);
    out += jsonLine(line);
    out += '\n';
  }
  std::cout << out << std::flush;
  return kExitOk;
}

}  // namespace

void addBoxCommands(CLI::App& app, CommandContext& context) {
  CLI::App* box = app.add_subcommand("box", "Add a mail box or list the boxes of the store");
  box->require_subcommand(1);
  auto arguments = std::make_shared<AddArguments>();

  CLI::App* add = box->add_subcommand(
      "add",
      "Create a box as the setup does and print its number; makes sure the built-in "
      "profiles exist");
  add->add_option("ADDRESS", arguments->address, "The box's mail address")->required();
  add->add_option("--pop3", arguments->pop3, "POP3 server of the box (port 110 by default)")
      ->type_name("HOST[:PORT]")
      ->required();
  add->add_option("--user", arguments->user, "User name on the POP3 server")->required();
  add->add_option("--password", arguments->password, "Password on the POP3 server")->required();
  add->add_option("--profile", arguments->profile,
                  "Filter profile of the box (\"" + std::string(kDefaultProfile) + "\" by default)")
      ->type_name("NAME");
  add->add_option(
         "--interval", arguments->interval,
         "Minutes between checks, 0 for none (" + std::to_string(kDefaultInterval) + " by default)")
      ->type_name("MIN");
  add->add_flag("--no-check-at-start", arguments->noCheckAtStart,
                "Do not check the box when the agent starts");
  add->callback([arguments, &context] { context.exitCode = runAdd(context, *arguments); });

  CLI::App* list = box->add_subcommand(
      "list", "One JSON object per box: number, address, valid and why not, mail counts");
  list->callback([&context] { context.exitCode = runList(context); });
}

}  // namespace qg::qgctl
