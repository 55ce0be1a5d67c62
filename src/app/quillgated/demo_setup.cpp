#include "app/quillgated/demo_setup.h"

#include <cstdint>
#include <iostream>
#include <tuple>

#include "app/quillgated/demo_messages.h"
#include "engine/box_setup.h"
#include "engine/filter_lists.h"
#include "engine/filter_profile.h"
#include "engine/mail_address.h"
#include "engine/mail_store.h"
#include "engine/record_file.h"
#include "engine/zone_table.h"
#include "platform/file.h"
#include "text/charsets.h"

namespace qg::quillgated {

namespace {

// The senders and the expression of the sample messages.
constexpr std::string_view kFriendAddress = "anna.berg@example.org";
constexpr std::string_view kFriendName = "Anna Berg";
constexpr std::string_view kBlackAddress = "offers@bargain-mail.example";
constexpr std::string_view kBlackName = "Bargain Mail";
constexpr std::string_view kSpamExpression = "free money";

constexpr std::string_view kUpstreamHost = "127.0.0.1";
// Message-IDs of the seeded copies end in this domain (reserved, so never real).
constexpr std::string_view kMessageIdDomain = "quillgate-demo.invalid";

// Rule types the demo profile runs, in this order.
constexpr std::uint8_t kWhiteSender = 0;
constexpr std::uint8_t kBlackSender = 4;
constexpr std::uint8_t kBlackSubject = 6;
// Field 410: 1 gives "Is not determined".
constexpr std::uint8_t kUndeterminedDefault = 1;

// The demo profile, as the profile editor would leave it after these steps:
// a reset profile named "Demo"; a white-listed sender is "Not spam" with the
// X-QG line; a black-listed sender is "Spam" and withheld (as a new rule of
// that type has it); a black Subject expression is "Spam", delivered with the
// Subject marked and the X-QG line instead of quarantined; any other message
// is "Is not determined", marked the same way.
bool makeDemoProfile(const std::string& home, std::string& problem) {
  if (findProfile(home, kDemoProfileName)) return true;
  const std::optional<std::string> fileName = freeProfileFileName(home);
  if (!fileName) {
    problem = "no free profile number in " + home;
    return false;
  }
  RecordFile profile;
  profile.setDirectory(home);
  profile.setName(*fileName);
  resetProfile(profile, 0);
  profile.setText(kDemoProfileName, profile_field::kName);

  const ZoneTable zones = builtinZoneTable();
  for (const std::uint8_t type : {kWhiteSender, kBlackSender, kBlackSubject}) {
    const int slot = addRule(profile, type, zones);
    if (slot < 0) {
      problem = "cannot add the demo rules to " + *fileName;
      return false;
    }
    const std::uint32_t base =
        ruleBase(profileRules(profile)[static_cast<std::size_t>(slot)].number);
    const std::uint32_t spam = base + rule_field::kSpamOptions;
    if (type == kWhiteSender) {
      profile.setFlag(true, base + rule_field::kNotSpamOptions + option_field::kVerdictHeader);
    } else if (type == kBlackSubject) {
      profile.setFlag(false, spam + option_field::kQuarantine);
      profile.setFlag(true, spam + option_field::kMarkSubject);
      profile.setFlag(true, spam + option_field::kVerdictHeader);
    }
  }
  profile.setFlag(true, profile_field::kDefaultOptions + option_field::kMarkSubject);
  profile.setFlag(true, profile_field::kDefaultOptions + option_field::kVerdictHeader);
  profile.setByte(kUndeterminedDefault, profile_field::kDefaultClass);

  if (!saveProfile(profile, home)) {
    problem = "cannot write " + *fileName + " in " + home;
    return false;
  }
  return true;
}

void warnAboutList(const std::string& home, std::string_view file, ListAddition result) {
  if (result == ListAddition::Damaged) {
    std::cerr << "quillgated: " << file << " in " << home
              << " is damaged; the demo's entries are not added\n";
  } else if (result == ListAddition::WriteFailed) {
    std::cerr << "quillgated: cannot write " << file << " in " << home << "\n";
  }
}

// The entries are compared as qgctl list add compares them, so an entry the
// user has changed (a sender made black, say) is left as it is.
void addDemoListEntries(const std::string& home) {
  for (const auto& [address, name, colour] :
       {std::tuple{kFriendAddress, kFriendName, list_colour::kWhite},
        std::tuple{kBlackAddress, kBlackName, list_colour::kBlack}}) {
    AddressEntry entry;
    entry.colour = colour;
    entry.name = name;
    entry.address = address;
    warnAboutList(home, kAddressListFile,
                  addListEntry(home, kAddressListFile, entry, [&](const AddressEntry& listed) {
                    return sameListedAddress(listed, entry);
                  }));
  }
  ExpressionEntry expression;
  expression.colour = list_colour::kBlack;
  expression.field = expression_field::kSubject;
  expression.text = kSpamExpression;
  expression.weight = 1;
  warnAboutList(
      home, kExpressionListFile,
      addListEntry(home, kExpressionListFile, expression, [&](const ExpressionEntry& listed) {
        return sameListedExpression(listed, expression);
      }));
}

// The box among those createBox looks at whose address is the demo's.
std::optional<int> findDemoBox(const std::string& home) {
  RecordFile record;
  for (int n = 1; n <= kMaxNewBoxNumber; ++n) {
    if (!loadBox(home, n, record)) continue;
    std::string address = record.getText(box_field::kAddress);
    trimAddressText(address);
    if (sameTextIgnoringCase(address, kDemoAddress)) return n;
  }
  return std::nullopt;
}

std::optional<int> makeDemoBox(const std::string& home, std::string& problem) {
  if (const std::optional<int> found = findDemoBox(home)) return found;
  NewBoxOptions options;
  options.pop3Host = std::string(kUpstreamHost);
  options.user = std::string(kDemoUser);
  options.password = std::string(kDemoPassword);
  options.profile = std::string(kDemoProfileName);
  options.checkAtStart = true;
  const int number = createBox(home, kDemoAddress, options);
  if (number > 0) return number;
  problem = number == kBoxNoFreeNumber ? "no free box number in " + home
                                       : "cannot create the demo box in " + home;
  return std::nullopt;
}

// LF line ends become CR LF, as the messages travel; CR LF stays.
std::string withCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
    out.push_back(text[i]);
  }
  return out;
}

bool writeNewFile(const std::string& path, std::string_view bytes) {
  platform::File file;
  if (platform::createLocked(path, file, 0600) != 0) return false;
  if (file.writeAll(bytes.data(), bytes.size())) return true;
  file.close();
  platform::removeFile(path);
  return false;
}

}  // namespace

std::optional<DemoBox> prepareDemoHome(const std::string& home, std::string& problem) {
  // As qgctl box add does: the built-in profiles are there to switch to.
  if (ensureBuiltinProfiles(home) < 0) {
    problem = "cannot create the built-in profiles in " + home;
    return std::nullopt;
  }
  if (!makeDemoProfile(home, problem)) return std::nullopt;
  addDemoListEntries(home);
  const std::optional<int> number = makeDemoBox(home, problem);
  if (!number) return std::nullopt;
  RecordFile record;
  if (!loadBox(home, *number, record)) {
    problem = "cannot read the demo box's box.log in " + home;
    return std::nullopt;
  }
  return DemoBox{*number, boxDirectory(home, *number), record.getText(box_field::kUser),
                 record.getText(box_field::kPassword)};
}

std::optional<std::vector<std::string>> seedUpstream(const std::string& folder,
                                                     std::string_view run) {
  if (!platform::makeDirectories(folder + "/" + std::string(kInFolder))) return std::nullopt;
  std::vector<std::string> ids;
  for (const DemoMessageFile& sample : demoMessageFiles()) {
    const int number = nextMessageNumber(folder);
    if (number < 0) return std::nullopt;
    std::string id = std::string(run) + "." + std::to_string(ids.size() + 1) + "@" +
                     std::string(kMessageIdDomain);
    const std::string text = "Message-ID: <" + id + ">\r\n" + withCrLf(sample.text);
    if (!writeNewFile(messagePath(folder, number), text)) return std::nullopt;
    ids.push_back(std::move(id));
  }
  return ids;
}

bool pointBoxAt(const std::string& home, int box, int port) {
  RecordFile record;
  if (!loadBox(home, box, record)) return false;
  record.setText(kUpstreamHost, box_field::kPop3Host);
  record.setShort(static_cast<std::int16_t>(static_cast<std::uint16_t>(port)),
                  box_field::kPop3Port);
  return saveBoxRecord(record);
}

}  // namespace qg::quillgated
