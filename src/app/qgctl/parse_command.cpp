#include "app/qgctl/parse_command.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/qgctl/command_support.h"
#include "classify/header_analyzer.h"
#include "engine/dnsbl_records.h"
#include "engine/filter_lists.h"
#include "engine/mail_store.h"
#include "platform/home_folder.h"
#include "text/charsets.h"

namespace qg::qgctl {

namespace {

struct ParseArguments {
  std::vector<std::string> files;
  int box = 0;  // 0: no box
};

// The IP-country list of the home folder, read without creating it.
IpCountryList homeCountries(const std::optional<std::string>& home) {
  if (!home) return {};
  const auto payload = readListPayload(*home, kIpCountryListFile);
  return payload ? IpCountryList(decodeList<IpCountryRange>(*payload)) : IpCountryList();
}

std::string addressText(Ipv4Number address) {
  return address == 0 || address == kNoHopAddress ? std::string() : ipv4Text(address);
}

nlohmann::ordered_json hopJson(const ReceivedHop& hop) {
  nlohmann::ordered_json json;
  json["fromName"] = windows1251ToUtf8(hop.fromName);
  json["fromComment"] = windows1251ToUtf8(hop.fromComment);
  json["fromAddress"] = addressText(hop.fromAddress);
  json["byName"] = windows1251ToUtf8(hop.byName);
  json["country"] = windows1251ToUtf8(hop.countryText());
  json["stamp"] = hop.stamp;
  json["local"] = hop.local();
  return json;
}

// The parsed message's keys, added to json.
void messageJson(const ParsedMessage& message, nlohmann::ordered_json& json) {
  json["from"] = windows1251ToUtf8(message.from);
  json["to"] = windows1251ToUtf8(message.to);
  json["cc"] = windows1251ToUtf8(message.cc);
  json["subject"] = windows1251ToUtf8(message.subject);
  json["date"] = windows1251ToUtf8(message.date);
  json["sender"] = windows1251ToUtf8(senderAddress(message));
  json["text"] = windows1251ToUtf8(message.text);
  nlohmann::ordered_json hops = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < message.hopCount(); ++i) hops.push_back(hopJson(message.hops[i]));
  json["hops"] = std::move(hops);
}

int runParse(const CommandContext& context, const ParseArguments& arguments) {
  // The home matters only for the countries and the box; without --home or
  // --box a missing home folder just means no countries.
  std::optional<std::string> home;
  if (arguments.box != 0 || !context.home.empty()) {
    home = commandHome(context, false);
    if (!home) return kExitFailure;
  } else {
    const std::string chosen =
        platform::chooseHomeFolder(context.home, platform::currentHomeEnvironment());
    if (!chosen.empty() && platform::isDirectory(chosen)) home = chosen;
  }
  OwnAddresses own;
  if (arguments.box != 0) {
    RecordFile box;
    if (!loadBox(*home, arguments.box, box)) {
      return complain("box " + std::to_string(arguments.box) + " cannot be read", kExitFailure);
    }
    own = readOwnAddresses(box);
  }

  const IpCountryList countries = homeCountries(home);
  // One file prints its object alone; several print one object per line,
  // each led by its file, and a file that fails gives its error there.
  const bool several = arguments.files.size() > 1;
  int status = kExitOk;
  ParsedMessage message;
  LinePrinter out;
  for (const std::string& file : arguments.files) {
    const std::string problem = parseMessageFile(file, own, message);
    nlohmann::ordered_json json;
    if (several) json["file"] = file;
    if (!problem.empty()) {
      status = kExitFailure;
      if (!several) return complain(problem, kExitFailure);
      json["error"] = problem;
    } else {
      hopCountries(message.hops, countries);
      messageJson(message, json);
    }
    out.add(jsonLine(json));
  }
  return status;
}

}  // namespace

void addParseCommand(CLI::App& app, CommandContext& context) {
  auto arguments = std::make_shared<ParseArguments>();
  CLI::App* parse = app.add_subcommand(
      "parse",
      "Parse staging files or raw messages as the analysis does; prints one JSON object per "
      "file with the field values, the sender, the normalised text and the Received hops "
      "(led by \"file\" when several are given)");
  parse->add_option("FILE", arguments->files, "Staging files or raw messages")->required();
  parse
      ->add_option("--box", arguments->box,
                   "Box whose own mail exchanges mark hops as local (as last made current)")
      ->type_name("N")
      ->check(CLI::Range(1, kMaxBoxNumber));
  parse->callback([arguments, &context] { context.exitCode = runParse(context, *arguments); });
}

}  // namespace qg::qgctl
