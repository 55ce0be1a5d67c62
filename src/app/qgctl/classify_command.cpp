#include "app/qgctl/classify_command.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/qgctl/command_support.h"
#include "classify/box_context.h"
#include "classify/decision.h"
#include "classify/header_analyzer.h"
#include "engine/mail_store.h"
#include "text/charsets.h"
#include "text/date_record.h"

namespace qg::qgctl {

namespace {

struct ClassifyArguments {
  std::vector<std::string> files;
  int box = 0;
  bool json = false;
};

std::string boxProblem(BoxContextLoad load, int box) {
  const std::string name = "box " + std::to_string(box);
  switch (load) {
    case BoxContextLoad::NoBox:
      return name + " cannot be read";
    case BoxContextLoad::BadAddress:
      return name + " has no valid address";
    case BoxContextLoad::NoProfileName:
      return name + " names no filter profile";
    case BoxContextLoad::NoProfile:
      return "the filter profile of " + name + " is missing";
    case BoxContextLoad::Loaded:
      break;
  }
  return {};
}

std::string className(std::uint32_t word) {
  switch (word) {
    case 0:
      return "try again later";
    case verdict::kWholeMessageNeeded:
      return "whole message needed";
    case verdict::kReplyConsumed:
      return "reply consumed";
    case verdict::kAwaitingBlocklist:
      return "awaiting blocklist";
  }
  switch (verdict::classOf(word)) {
    case verdict::kNotSpam:
      return "Not spam";
    case verdict::kUndetermined:
      return "Is not determined";
    case verdict::kSpam:
      return "Spam";
  }
  return "no class";
}

std::string hexWord(std::uint32_t word) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", word);
  return text;
}

bool byDefault(std::uint32_t word, const DecisionReport& report) {
  return !report.rule && word > verdict::kWholeMessageNeeded && word != verdict::kReplyConsumed &&
         word != verdict::kAwaitingBlocklist &&
         verdict::ruleTagOf(word) == verdict::kDefaultRuleTag;
}

std::string textLine(const std::string& file, std::uint32_t word, const DecisionReport& report) {
  std::string line = file + ": " + hexWord(word) + " " + className(word) + ", ";
  if (report.rule) {
    line += "rule " + std::to_string(report.rule->number) + " (type " +
            std::to_string(report.rule->type) + ")";
  } else {
    line += byDefault(word, report) ? "default" : "-";
  }
  if (report.blocklistUnanswered) line += "; some blocklist answers are not cached";
  return line;
}

nlohmann::ordered_json jsonObject(const std::string& file, std::uint32_t word,
                                  const DecisionReport& report) {
  nlohmann::ordered_json json;
  json["file"] = file;
  json["verdict"] = hexWord(word);
  json["class"] = className(word);
  json["rule"] = report.rule ? nlohmann::ordered_json(report.rule->number) : nullptr;
  json["ruleType"] = report.rule ? nlohmann::ordered_json(report.rule->type) : nullptr;
  json["default"] = byDefault(word, report);
  json["score"] = report.score;
  json["blocklistUnanswered"] = report.blocklistUnanswered;
  return json;
}

int runClassify(const CommandContext& context, const ClassifyArguments& arguments) {
  const std::optional<std::string> home = commandHome(context, false);
  if (!home) return kExitFailure;
  AnalysisContext analysis;
  analysis.programDir = analysis.storeDir = analysis.listDir = *home;
  const BoxContextLoad load = loadBoxContext(analysis, arguments.box);
  if (load != BoxContextLoad::Loaded)
    return complain(boxProblem(load, arguments.box), kExitFailure);
  readFilterLists(*home, analysis.filters);

  const DecisionSettings settings{DateRecord::now().stamp, false};
  int status = kExitOk;
  LinePrinter out;
  for (const std::string& file : arguments.files) {
    const std::string problem = parseMessageFile(file, analysis.own, analysis.message);
    if (!problem.empty()) {
      status = kExitFailure;
      if (arguments.json) {
        nlohmann::ordered_json json;
        json["file"] = file;
        json["error"] = problem;
        out.add(jsonLine(json));
      } else {
        out.add(file + ": " + problem);
      }
      continue;
    }
    DecisionReport report;
    const std::uint32_t word = decide(analysis, settings, &report);
    out.add(arguments.json ? jsonLine(jsonObject(file, word, report))
                           : textLine(file, word, report));
  }
  return status;
}

}  // namespace

void addClassifyCommand(CLI::App& app, CommandContext& context) {
  auto arguments = std::make_shared<ClassifyArguments>();
  CLI::App* classify = app.add_subcommand(
      "classify",
      "Classify staging files or raw messages with a box's filter profile and lists, offline "
      "(nothing is changed or queued; blocklist rules answer from the caches alone): per file "
      "the verdict word in hex, the class and the deciding rule");
  classify->add_option("FILE", arguments->files, "Staging files or raw messages")->required();
  classify->add_option("--box", arguments->box, "Box whose profile, lists and addresses to use")
      ->type_name("N")
      ->required()
      ->check(CLI::Range(1, kMaxBoxNumber));
  classify->add_flag("--json", arguments->json, "One JSON object per file");
  classify->callback(
      [arguments, &context] { context.exitCode = runClassify(context, *arguments); });
}

}  // namespace qg::qgctl
