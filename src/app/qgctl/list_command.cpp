#include "app/qgctl/list_command.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/qgctl/command_support.h"
#include "engine/address_import.h"
#include "engine/dnsbl_records.h"
#include "engine/filter_lists.h"
#include "engine/mail_address.h"
#include "engine/mail_store.h"
#include "text/charsets.h"

namespace qg::qgctl {

namespace {

struct ListKind {
  std::string_view name;
  std::string_view file;
};
constexpr ListKind kAddresses{"addresses", kAddressListFile};
constexpr ListKind kExpressions{"expressions", kExpressionListFile};
constexpr ListKind kZones{"zones", kCountryZoneListFile};
constexpr ListKind kDomains{"domains", kDomainListFile};
constexpr ListKind kIpCountries{"ip-countries", kIpCountryListFile};

// The import file is read up to this size.
constexpr std::size_t kImportFileLimit = 64u << 20;

struct AddArguments {
  std::string text;  // address, expression, code or domain
  std::string name;
  std::string field;
  int weight = 1;
  bool black = false;
  std::string first;
  std::string last;
  std::string code;
};

std::string colourText(std::uint8_t colour) {
  if (colour == list_colour::kWhite) return "white";
  if (colour == list_colour::kBlack) return "black";
  return std::to_string(colour);
}

std::uint8_t colourOf(bool black) {
  return black ? list_colour::kBlack : list_colour::kWhite;
}

nlohmann::ordered_json entryJson(const AddressEntry& entry) {
  nlohmann::ordered_json json;
  json["colour"] = colourText(entry.colour);
  json["origin"] = entry.origin;
  json["name"] = windows1251ToUtf8(entry.name);
  json["address"] = windows1251ToUtf8(entry.address);
  return json;
}

nlohmann::ordered_json entryJson(const ExpressionEntry& entry) {
  nlohmann::ordered_json json;
  json["colour"] = colourText(entry.colour);
  json["field"] = entry.field;
  json["fieldName"] = entry.field < kExpressionFieldCount
                          ? std::string(kExpressionFieldNames[entry.field])
                          : std::string();
  json["text"] = windows1251ToUtf8(entry.text);
  json["weight"] = entry.weight;
  return json;
}

nlohmann::ordered_json entryJson(const ZoneEntry& entry) {
  nlohmann::ordered_json json;
  json["colour"] = colourText(entry.colour);
  json["code"] = windows1251ToUtf8(entry.codeText());
  json["weight"] = entry.weight;
  return json;
}

nlohmann::ordered_json entryJson(const DomainEntry& entry) {
  nlohmann::ordered_json json;
  json["colour"] = colourText(entry.colour);
  json["domain"] = windows1251ToUtf8(entry.text);
  return json;
}

nlohmann::ordered_json entryJson(const IpCountryRange& range) {
  nlohmann::ordered_json json;
  json["first"] = ipv4Text(range.first);
  json["last"] = ipv4Text(range.last);
  json["code"] = windows1251ToUtf8(range.codeText());
  return json;
}

int complainDamaged(const std::string& home, const ListKind& kind) {
  return complain(std::string(kind.file) + " in " + home + " is damaged", kExitFailure);
}

// The stored payload of a list; a missing file is the empty list. nullopt,
// after one line on stderr, for a damaged file: the tool never replaces one.
std::optional<std::vector<std::uint8_t>> storedList(const std::string& home, const ListKind& kind) {
  auto payload = listForAddition(home, kind.file);
  if (!payload) complainDamaged(home, kind);
  return payload;
}

template <typename Entry>
int runDump(const CommandContext& context, const ListKind& kind) {
  const auto home = commandHome(context, false);
  if (!home) return kExitFailure;
  const auto payload = storedList(*home, kind);
  if (!payload) return kExitFailure;
  LinePrinter out;
  for (const Entry& entry : decodeList<Entry>(*payload)) out.add(jsonLine(entryJson(entry)));
  return kExitOk;
}

// Adds entry unless isSame finds it listed already; prints it as dump does.
template <typename Entry, typename Same>
int addEntry(const CommandContext& context, const ListKind& kind, const Entry& entry, Same isSame) {
  const auto home = commandHome(context, true);
  if (!home) return kExitFailure;
  Entry listed;
  switch (addListEntry(*home, kind.file, entry, isSame, &listed)) {
    case ListAddition::Added:
      std::cout << jsonLine(entryJson(entry)) << std::endl;
      return kExitOk;
    case ListAddition::AlreadyListed:
      return complain(
          "already in the " + std::string(kind.name) + " list (" + colourText(listed.colour) + ")",
          kExitFailure);
    case ListAddition::Damaged:
      return complainDamaged(*home, kind);
    case ListAddition::WriteFailed:
      break;
  }
  return complain("cannot write " + std::string(kind.file) + " in " + *home, kExitFailure);
}

int usage(const std::string& message) {
  return complain(message, kExitUsage);
}

// A command-line text as the list stores it, or nullopt when it is empty or
// longer than limit.
std::optional<std::string> listText(const std::string& utf8, std::size_t limit) {
  std::string text = utf8ToWindows1251(utf8);
  if (text.empty() || text.size() > limit) return std::nullopt;
  return text;
}

// Two ASCII letters, upper-cased.
std::optional<std::array<char, 2>> countryCode(std::string_view text) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (text.size() != 2 || !letter(text[0]) || !letter(text[1])) return std::nullopt;
  return std::array<char, 2>{static_cast<char>(upperCase1251(static_cast<std::uint8_t>(text[0]))),
                             static_cast<char>(upperCase1251(static_cast<std::uint8_t>(text[1])))};
}

std::optional<std::uint8_t> fieldIndex(const std::string& text) {
  for (std::size_t i = 0; i < kExpressionFieldCount; ++i) {
    if (text == std::to_string(i) || sameTextIgnoringCase(text, kExpressionFieldNames[i])) {
      return static_cast<std::uint8_t>(i);
    }
  }
  return std::nullopt;
}

int runAddAddress(const CommandContext& context, const AddArguments& arguments) {
  std::string address = utf8ToWindows1251(arguments.text);
  if (!isValidAddress(address) || address.size() > AddressEntry::kAddressMax) {
    return usage("'" + arguments.text + "' is not a valid mail address of at most " +
                 std::to_string(AddressEntry::kAddressMax) + " characters");
  }
  const std::string name = utf8ToWindows1251(arguments.name);
  if (name.size() > AddressEntry::kNameMax) {
    return usage("--name may have at most " + std::to_string(AddressEntry::kNameMax) +
                 " characters");
  }
  AddressEntry entry;
  entry.colour = colourOf(arguments.black);
  entry.name = name;
  entry.address = address;
  return addEntry(context, kAddresses, entry,
                  [&](const AddressEntry& listed) { return sameListedAddress(listed, entry); });
}

int runAddExpression(const CommandContext& context, const AddArguments& arguments) {
  const auto text = listText(arguments.text, ExpressionEntry::kTextMax);
  if (!text) {
    return usage("TEXT must have 1 to " + std::to_string(ExpressionEntry::kTextMax) +
                 " characters");
  }
  const auto field = fieldIndex(arguments.field);
  if (!field) return usage("--field must be 0 to 9 or a field name such as Subject or Body");
  ExpressionEntry entry;
  entry.colour = colourOf(arguments.black);
  entry.field = *field;
  entry.text = *text;
  entry.weight = static_cast<std::uint8_t>(arguments.weight);
  return addEntry(context, kExpressions, entry, [&](const ExpressionEntry& listed) {
    return sameListedExpression(listed, entry);
  });
}

int runAddZone(const CommandContext& context, const AddArguments& arguments) {
  const auto code = countryCode(arguments.text);
  if (!code) return usage("CODE must be two letters");
  ZoneEntry entry;
  entry.colour = colourOf(arguments.black);
  entry.code = *code;
  entry.weight = static_cast<std::uint8_t>(arguments.weight);
  return addEntry(context, kZones, entry,
                  [&](const ZoneEntry& listed) { return listed.code == entry.code; });
}

int runAddDomain(const CommandContext& context, const AddArguments& arguments) {
  const auto text = listText(arguments.text, DomainEntry::kTextMax);
  if (!text) {
    return usage("DOMAIN must have 1 to " + std::to_string(DomainEntry::kTextMax) + " characters");
  }
  DomainEntry entry;
  entry.colour = colourOf(arguments.black);
  entry.text = *text;
  return addEntry(context, kDomains, entry, [&](const DomainEntry& listed) {
    return sameTextIgnoringCase(listed.text, entry.text);
  });
}

// Ranges are kept in ascending order of their first address, so the new
// one is inserted in its place rather than appended.
int runAddIpCountry(const CommandContext& context, const AddArguments& arguments) {
  const auto first = parseIpv4(arguments.first);
  const auto last = parseIpv4(arguments.last);
  const auto code = countryCode(arguments.code);
  if (!first || !last || *first > *last) {
    return usage("FIRST and LAST must be dotted IPv4 addresses with FIRST not above LAST");
  }
  if (!code) return usage("CODE must be two letters");
  const auto home = commandHome(context, true);
  if (!home) return kExitFailure;
  const auto payload = storedList(*home, kIpCountries);
  if (!payload) return kExitFailure;
  std::vector<IpCountryRange> ranges = decodeList<IpCountryRange>(*payload);
  const IpCountryRange range{*first, *last, *code};
  const auto at = std::upper_bound(
      ranges.begin(), ranges.end(), range.first,
      [](Ipv4Number value, const IpCountryRange& listed) { return value < listed.first; });
  ranges.insert(at, range);
  if (!saveListPayload(*home, kIpCountries.file, encodeList<IpCountryRange>(ranges))) {
    return complain("cannot write " + std::string(kIpCountries.file) + " in " + *home,
                    kExitFailure);
  }
  std::cout << jsonLine(entryJson(range)) << std::endl;
  return kExitOk;
}

int runImport(const CommandContext& context, const std::string& path, bool black) {
  const std::optional<std::string> bytes = readInputFile(path, kImportFileLimit);
  if (!bytes) return complain("cannot read " + path, kExitFailure);
  const auto home = commandHome(context, true);
  if (!home) return kExitFailure;
  auto payload = storedList(*home, kAddresses);
  if (!payload) return kExitFailure;

  std::vector<AddressEntry> list = decodeList<AddressEntry>(*payload);
  const std::size_t before = list.size();
  const AddressImportResult result =
      importAddressList(utf8ToWindows1251(*bytes), colourOf(black), list);
  if (result.stoppedAtLine) {
    complain(path + ": import stopped at line " + std::to_string(*result.stoppedAtLine) +
                 " (a control character)",
             kExitOk);
  }
  if (result.added == 0) return kExitOk;
  std::string out;
  for (std::size_t i = before; i < list.size(); ++i) {
    appendListRecord(*payload, list[i]);
    out += jsonLine(entryJson(list[i]));
    out += '\n';
  }
  if (!saveListPayload(*home, kAddresses.file, *payload)) {
    return complain("cannot write " + std::string(kAddresses.file) + " in " + *home, kExitFailure);
  }
  std::cout << out << std::flush;
  return kExitOk;
}

}  // namespace

void addListCommands(CLI::App& app, CommandContext& context) {
  CLI::App* group =
      app.add_subcommand("list", "Print, add to or import the filter lists of the home folder");
  group->require_subcommand(1);

  auto kind = std::make_shared<std::string>();
  CLI::App* dump =
      group->add_subcommand("dump", "One JSON object per entry of the list, in stored order");
  dump->add_option("KIND", *kind, "addresses, expressions, zones, domains or ip-countries")
      ->required()
      ->check(CLI::IsMember({std::string(kAddresses.name), std::string(kExpressions.name),
                             std::string(kZones.name), std::string(kDomains.name),
                             std::string(kIpCountries.name)}));
  dump->callback([kind, &context] {
    if (*kind == kAddresses.name) context.exitCode = runDump<AddressEntry>(context, kAddresses);
    if (*kind == kExpressions.name) {
      context.exitCode = runDump<ExpressionEntry>(context, kExpressions);
    }
    if (*kind == kZones.name) context.exitCode = runDump<ZoneEntry>(context, kZones);
    if (*kind == kDomains.name) context.exitCode = runDump<DomainEntry>(context, kDomains);
    if (*kind == kIpCountries.name) {
      context.exitCode = runDump<IpCountryRange>(context, kIpCountries);
    }
  });

  auto arguments = std::make_shared<AddArguments>();
  CLI::App* add = group->add_subcommand("add", "Add one entry to a list; prints it as dump does");
  add->require_subcommand(1);
  const auto colourFlag = [&](CLI::App* command) {
    command->add_flag("--black", arguments->black, "A black entry (speaks against a message)");
  };
  const auto weightOption = [&](CLI::App* command) {
    command->add_option("--weight", arguments->weight, "Weight 0 to 255 (1 by default)")
        ->check(CLI::Range(0, 255));
  };

  CLI::App* address = add->add_subcommand("addresses", "A sender address");
  address->add_option("ADDRESS", arguments->text, "The address")->required();
  address->add_option("--name", arguments->name, "Display name (20 characters)");
  colourFlag(address);
  address->callback(
      [arguments, &context] { context.exitCode = runAddAddress(context, *arguments); });

  CLI::App* expression = add->add_subcommand("expressions", "An expression for a message field");
  expression->add_option("TEXT", arguments->text, "The expression (50 characters)")->required();
  expression
      ->add_option("--field", arguments->field, "Field index 0-9 or name (Subject, Body, ...)")
      ->required();
  weightOption(expression);
  colourFlag(expression);
  expression->callback(
      [arguments, &context] { context.exitCode = runAddExpression(context, *arguments); });

  CLI::App* zone = add->add_subcommand("zones", "A country of the Received hops");
  zone->add_option("CODE", arguments->text, "Two-letter country code")->required();
  weightOption(zone);
  colourFlag(zone);
  zone->callback([arguments, &context] { context.exitCode = runAddZone(context, *arguments); });

  CLI::App* domain = add->add_subcommand("domains", "A sender domain (matches as a suffix)");
  domain->add_option("DOMAIN", arguments->text, "The domain (30 characters)")->required();
  colourFlag(domain);
  domain->callback([arguments, &context] { context.exitCode = runAddDomain(context, *arguments); });

  CLI::App* range = add->add_subcommand("ip-countries", "An address range and its country");
  range->add_option("FIRST", arguments->first, "First address of the range")->required();
  range->add_option("LAST", arguments->last, "Last address of the range")->required();
  range->add_option("CODE", arguments->code, "Two-letter country code")->required();
  range->callback(
      [arguments, &context] { context.exitCode = runAddIpCountry(context, *arguments); });

  auto importPath = std::make_shared<std::string>();
  auto importBlack = std::make_shared<bool>(false);
  CLI::App* import = group->add_subcommand(
      "import",
      "Add every valid address of a text file to the address list, named after the text before "
      "it on its line; prints the entries added");
  import->add_option("FILE", *importPath, "Text file (UTF-8)")->required();
  import->add_flag("--black", *importBlack, "Add the addresses as black entries");
  import->callback([importPath, importBlack, &context] {
    context.exitCode = runImport(context, *importPath, *importBlack);
});
}  // namespace qg::qgctl

}  // namespace qg::qgctl
