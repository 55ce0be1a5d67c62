// Parse throughput of the header analyzer over the whole sample corpus: every
// message, held in memory behind a record line, is parsed into one reused
// ParsedMessage, as the analysis worker does one staging file after another.
// Reports bytes and messages per second on one thread. No outside program
// parses the way the analysis does, so bench/parse_ratio.py sets the figure
// beside Python's email package parsing the same files in the same run.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_corpus.h"
#include "classify/header_analyzer.h"

namespace {

void BM_ParseCorpus(benchmark::State& state) {
  const std::vector<std::string>& messages = stagedCorpus();
  if (messages.empty()) {
    state.SkipWithError("no corpus at " QG_CORPUS_DIR);
    return;
  }
  std::size_t bytes = 0;
  for (const std::string& message : messages) bytes += message.size();
  const qg::OwnAddresses own;
  qg::ParsedMessage parsed;
  for (auto _ : state) {
    for (const std::string& message : messages) {
      qg::parseStagingText(message, own, parsed);
      benchmark::DoNotOptimize(parsed.text.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * messages.size()));
}
BENCHMARK(BM_ParseCorpus)->Unit(benchmark::kMillisecond);

}  // namespace
