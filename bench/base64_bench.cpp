// decodeBase64 against OpenSSL on about 300 KB of base64: the attachment as
// mail carries it (76-character lines with CR LF), which OpenSSL decodes with
// EVP_DecodeUpdate, and the same text without line breaks, which it decodes
// with EVP_DecodeBlock. Our decoder works in place, so each run also copies
// the input into the work buffer.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "text/base64.h"

namespace {

constexpr std::size_t kDataBytes = 225 * 1024;  // 300 KB once encoded

const std::string& unbroken() {
  static const std::string text = [] {
    std::mt19937 random(64);
    std::vector<unsigned char> data(kDataBytes);
    for (auto& b : data) b = static_cast<unsigned char>(random());
    std::string encoded(4 * ((data.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                       data.data(), static_cast<int>(data.size()));
    encoded.resize(static_cast<std::size_t>(length));
    return encoded;
  }();
  return text;
}

const std::string& mailLines() {
  static const std::string text = [] {
    std::string lines;
    for (std::size_t i = 0; i < unbroken().size(); i += 76)
      lines += unbroken().substr(i, 76) + "\r\n";
    return lines;
  }();
  return text;
}

void runOurs(benchmark::State& state, const std::string& input) {
  std::vector<char> work(input.size());
  for (auto _ : state) {
    std::memcpy(work.data(), input.data(), input.size());
    const int decoded = qg::decodeBase64(work);
    if (decoded != static_cast<int>(kDataBytes)) {
      state.SkipWithError("decodeBase64 failed");
      break;
    }
    benchmark::DoNotOptimize(work.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void BM_Lines_DecodeBase64(benchmark::State& state) {
  runOurs(state, mailLines());
}

void BM_Lines_EvpDecodeUpdate(benchmark::State& state) {
  const std::string& input = mailLines();
  std::vector<unsigned char> output(input.size());
  EVP_ENCODE_CTX* context = EVP_ENCODE_CTX_new();
  for (auto _ : state) {
    EVP_DecodeInit(context);
    int length = 0;
    int last = 0;
    if (EVP_DecodeUpdate(context, output.data(), &length,
                         reinterpret_cast<const unsigned char*>(input.data()),
                         static_cast<int>(input.size())) < 0 ||
        EVP_DecodeFinal(context, output.data() + length, &last) < 0) {
      state.SkipWithError("EVP_DecodeUpdate failed");
      break;
    }
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  EVP_ENCODE_CTX_free(context);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void BM_Unbroken_DecodeBase64(benchmark::State& state) {
  runOurs(state, unbroken());
}

void BM_Unbroken_EvpDecodeBlock(benchmark::State& state) {
  const std::string& input = unbroken();
  std::vector<unsigned char> output(input.size());
  for (auto _ : state) {
    const int length =
        EVP_DecodeBlock(output.data(), reinterpret_cast<const unsigned char*>(input.data()),
                        static_cast<int>(input.size()));
    if (length < 0) {
      state.SkipWithError("EVP_DecodeBlock failed");
      break;
    }
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

}  // namespace

BENCHMARK(BM_Lines_DecodeBase64);
BENCHMARK(BM_Lines_EvpDecodeUpdate);
BENCHMARK(BM_Unbroken_DecodeBase64);
BENCHMARK(BM_Unbroken_EvpDecodeBlock);
