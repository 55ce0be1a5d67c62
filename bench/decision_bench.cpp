// Decision throughput over the whole sample corpus beside the parse that
// precedes it, in one run: every message is parsed once up front, then
// decide runs over the parsed messages with the first built-in profile, every
// rule put in score mode so that every rule (lists, expressions over header
// and body, the offline blocklist caches) runs for every message. BM_Parse
// parses the same messages, so the two figures say what the decision adds to
// the analysis of a message. One thread; bench/classify_compare.py sets the
// whole of qgctl classify beside other filters.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench_corpus.h"
#include "classify/decision.h"
#include "classify/header_analyzer.h"
#include "engine/filter_profile.h"

namespace {

qg::ExpressionEntry expression(const char* text, std::uint8_t field, std::uint8_t colour) {
  qg::ExpressionEntry entry;
  entry.text = text;
  entry.field = field;
  entry.colour = colour;
  entry.weight = 1;
  return entry;
}

void prepare(qg::AnalysisContext& context, const std::string& folder) {
  namespace ef = qg::expression_field;
  constexpr std::uint8_t kWhite = qg::list_colour::kWhite;
  constexpr std::uint8_t kBlack = qg::list_colour::kBlack;
  context.programDir = context.storeDir = context.listDir = folder;
  context.own.addresses = {"ME@EXAMPLE.NET"};
  context.own.mailExchanges = {{"MX.EXAMPLE.NET"}};
  qg::resetProfile(context.profile, 1);
  for (const qg::ProfileRule& rule : qg::profileRules(context.profile)) {
    context.profile.setByte(3, rule.base() + qg::rule_field::kMode);
  }
  context.filters.setAddresses({{kWhite, 0, "", "friend@example.org"}});
  context.filters.setExpressions(
      {expression("free", ef::kSubject, kBlack), expression("re:", ef::kSubject, kWhite),
       expression("viagra", ef::kBody, kBlack), expression("unsubscribe", ef::kBody, kBlack),
       expression("meeting", ef::kBody, kWhite),
       expression("x-mailer: outlook", ef::kHeader, kBlack)});
}

void BM_Parse(benchmark::State& state) {
  const std::vector<std::string>& messages = stagedCorpus();
  if (messages.empty()) {
    state.SkipWithError("no corpus at " QG_CORPUS_DIR);
    return;
  }
  const qg::OwnAddresses own;
  qg::ParsedMessage parsed;
  for (auto _ : state) {
    for (const std::string& message : messages) {
      qg::parseStagingText(message, own, parsed);
      benchmark::DoNotOptimize(parsed.text.data());
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * messages.size()));
}
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);

void BM_Decide(benchmark::State& state) {
  const std::vector<std::string>& messages = stagedCorpus();
  if (messages.empty()) {
    state.SkipWithError("no corpus at " QG_CORPUS_DIR);
    return;
  }
  std::string folder = (std::filesystem::temp_directory_path() / "qgbench.XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  qg::AnalysisContext context;
  prepare(context, folder);
  std::vector<qg::ParsedMessage> parsed(messages.size());
  for (std::size_t k = 0; k < messages.size(); ++k) {
    qg::parseStagingText(messages[k], context.own, parsed[k]);
  }
  const qg::DecisionSettings settings{0, false};
  for (auto _ : state) {
    for (qg::ParsedMessage& message : parsed) {
      std::swap(context.message, message);
      benchmark::DoNotOptimize(qg::decide(context, settings));
      std::swap(context.message, message);
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * parsed.size()));
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Decide)->Unit(benchmark::kMillisecond);

}  // namespace
