// Cost of the scrambled container: a RecordFile save + load of a 1 MB store
// beside a plain write + read of the same payload bytes through the same file
// primitives. The ratio of the two byte rates is the price of the scrambling.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/file_primitives.h"
#include "engine/record_file.h"
#include "unit/test_folder.h"

namespace {

constexpr int kFields = 10000;
constexpr std::size_t kTextBytes = 100;  // about 1 MB of payload in all

qg::RecordFile megabyteStore(const std::string& directory) {
  qg::RecordFile store;
  store.setDirectory(directory);
  store.setName("f_0001.log");
  store.setExtraKey("bench");
  std::string text(kTextBytes, 'a');
  for (int i = 0; i < kFields; ++i) {
    text[i % kTextBytes] = static_cast<char>('a' + i % 26);
    store.setText(text, static_cast<std::uint32_t>(i));
  }
  return store;
}

void recordFileSaveLoad(benchmark::State& state) {
  const qg::TestFolder folder;
  qg::RecordFile store = megabyteStore(folder.root());
  const std::size_t bytes = store.payload().size();
  for (auto _ : state) {
    if (!store.save() || !store.load()) state.SkipWithError("save or load failed");
    benchmark::DoNotOptimize(store.payload().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["payload_bytes"] = static_cast<double>(bytes);
}

void plainWriteRead(benchmark::State& state) {
  const qg::TestFolder folder;
  const std::vector<std::uint8_t> payload = megabyteStore(folder.root()).payload();
  const std::string path = folder.root() + "/plain.dat";
  std::vector<std::uint8_t> back;
  for (auto _ : state) {
    {
      qg::FileHandle file;
      if (!qg::openExclusive(path, file) || !qg::writeBytes(file, payload) ||
          !file.truncate(static_cast<std::int64_t>(payload.size()))) {
        state.SkipWithError("write failed");
      }
    }
    qg::FileHandle file;
    if (!qg::openExisting(path, file)) state.SkipWithError("open failed");
    back.resize(static_cast<std::size_t>(file.size()));
    if (!qg::readExact(file, back)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}

}  // namespace

BENCHMARK(recordFileSaveLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(plainWriteRead)->Unit(benchmark::kMillisecond);
