#include "app/qgctl/profile_command.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/qgctl/command_support.h"
#include "engine/filter_profile.h"
#include "engine/mail_store.h"
#include "text/charsets.h"

namespace qg::qgctl {

namespace {

// {"file": "f_0001.log", "name": "Standart 1", "rules": 13}
std::string profileLine(const std::string& fileName, const RecordFile& profile) {
  nlohmann::ordered_json line;
  line["file"] = fileName;
  line["name"] = windows1251ToUtf8(profile.getText(profile_field::kName));
  line["rules"] = profileRules(profile).size();
  return jsonLine(line);
}

int runList(const CommandContext& context) {
  const auto home = commandHome(context, false);
  if (!home) return kExitFailure;
  std::string out;
  RecordFile profile;
  profile.setDirectory(*home);
  for (const ProfileEntry& entry : listProfiles(*home)) {
    profile.setName(entry.fileName);
    // A file that vanished or was damaged since the listing is left out as
    // the listing leaves out the others.
    if (!profile.load()) continue;
    out += profileLine(entry.fileName, profile);
    out += '\n';
  }
  std::cout << out << std::flush;
  return kExitOk;
}

// The profile named name: the first whose name is the same byte for byte,
// else the first that differs only in letter case (boxes find their profile
// that way).
std::optional<ProfileEntry> profileNamed(const std::string& home, const std::string& name) {
  if (auto exact = findProfile(home, name)) return ProfileEntry{*exact, name};
  for (ProfileEntry& entry : listProfiles(home)) {
    if (sameTextIgnoringCase(entry.name, name)) return std::move(entry);
  }
  return std::nullopt;
}

int runReset(const CommandContext& context, const std::string& nameArgument) {
  const std::string name = utf8ToWindows1251(nameArgument);
  if (name.empty() || name.size() > kMaxUniqueNameBytes) {
    return complain("NAME must have 1 to " + std::to_string(kMaxUniqueNameBytes) + " characters",
                    kExitUsage);
  }
  const auto home = commandHome(context, true);
  if (!home) return kExitFailure;

  RecordFile profile;
  profile.setDirectory(*home);
  std::optional<std::string> fileName;
  std::string storedName = name;
  if (const std::optional<ProfileEntry> found = profileNamed(*home, name)) {
    fileName = found->fileName;
    storedName = found->name;
    profile.setName(*fileName);
    if (!profile.load()) return complain(*fileName + " cannot be read", kExitFailure);
  } else {
    fileName = freeProfileFileName(*home);
    if (!fileName) return complain("no free profile number in " + *home, kExitFailure);
    profile.setName(*fileName);
  }
  const int builtin = builtinProfileNumber(name);
  resetProfile(profile, builtin);
  // A reset clears the name of any profile that is not built in; the profile
  // asked for by name keeps its name, or the next reset by that name would
  // find nothing and make yet another profile.
  if (builtin == 0) profile.setText(storedName, profile_field::kName);
  if (!saveProfile(profile, *home)) return complain(*fileName + " cannot be written", kExitFailure);
  std::cout << profileLine(*fileName, profile) << std::endl;
  return kExitOk;
}

int runEnsureBuiltin(const CommandContext& context) {
  const auto home = commandHome(context, true);
  if (!home) return kExitFailure;
  const int created = ensureBuiltinProfiles(*home);
  if (created < 0) return complain("cannot create the built-in profiles in " + *home, kExitFailure);
  std::cout << created << std::endl;
  return kExitOk;
}

}  // namespace

void addProfileCommands(CLI::App& app, CommandContext& context) {
  CLI::App* group = app.add_subcommand("profile", "List, reset or create filter profiles");
  group->require_subcommand(1);
  auto name = std::make_shared<std::string>();

  CLI::App* list =
      group->add_subcommand("list", "One JSON object per profile: file, name and number of rules");
  list->callback([&context] { context.exitCode = runList(context); });

  CLI::App* reset = group->add_subcommand(
      "reset",
      "Reset the profile of that name to the defaults (a built-in name to that built-in "
      "profile), creating it when missing; prints it as profile list does");
  reset->add_option("NAME", *name, "Name of the profile (letter case does not matter)")->required();
  reset->callback([name, &context] { context.exitCode = runReset(context, *name); });

  CLI::App* ensure = group->add_subcommand(
      "ensure-builtin", "Create the built-in profiles that are missing; prints how many");
  ensure->callback([&context] { context.exitCode = runEnsureBuiltin(context); });
}

}  // namespace qg::qgctl
