// toWindows1251 against glibc iconv doing the same conversion, UTF-8 and
// KOI8-R to Windows-1251, on about 300 KB of generated Russian mail text.
// Our conversion works in place, so each run also copies the input into the
// work buffer; iconv reads the input and writes a separate output buffer.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "text/charsets.h"

namespace {

constexpr std::size_t kTextBytes = 300 * 1024;

// Russian mail text in Windows-1251: words from a fixed list in a random
// order, with punctuation, digits and line breaks about every 70 bytes.
const std::string& russian1251() {
  static const std::string text = [] {
    const char* words[] = {
        "здравствуйте", "уважаемые",     "коллеги",  "предлагаем", "вам",
        "выгодное",     "предложение",   "по",       "поставке",   "оборудования",
        "для",          "офиса",         "и",        "склада",     "цены",
        "ниже",         "рыночных",      "скидки",   "до",         "процентов",
        "звоните",      "нам",           "прямо",    "сейчас",     "письмо",
        "отправлено",   "автоматически", "ответьте", "на",         "этот",
        "адрес",        "спасибо",       "с",        "уважением",  "менеджер",
        "отдела",       "продаж",        "Москва",   "Ёлкин",      "объём",
        "тираж",        "съезд",         "шёлк",     "щука",       "юность",
        "январь",       "компания",      "ООО",      "Рога",       "копыта"};
    std::mt19937 random(1251);
    std::string utf8;
    std::size_t lineLength = 0;
    while (utf8.size() < kTextBytes * 2) {
      const std::string word = words[random() % std::size(words)];
      utf8 += word;
      lineLength += word.size() / 2;
      const unsigned roll = random() % 20;
      if (roll == 0)
        utf8 += ", ";
      else if (roll == 1)
        utf8 += ". ";
      else if (roll == 2)
        utf8 += " 2004 ";
      else
        utf8 += ' ';
      if (lineLength > 70) {
        utf8 += "\r\n";
        lineLength = 0;
      }
    }
    std::string text = qg::utf8ToWindows1251(utf8);
    text.resize(kTextBytes);
    return text;
  }();
  return text;
}

std::string utf8Text() {
  return qg::windows1251ToUtf8(russian1251());
}

std::string koi8rText() {
  std::string text = russian1251();
  for (char& c : text) c = static_cast<char>(qg::toKoi8r(static_cast<std::uint8_t>(c)));
  return text;
}

void runOurs(benchmark::State& state, const std::string& input, int index) {
  std::vector<char> work(input.size());
  for (auto _ : state) {
    std::memcpy(work.data(), input.data(), input.size());
    qg::toWindows1251(work, index);
    benchmark::DoNotOptimize(work.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void runIconv(benchmark::State& state, const std::string& input, const char* from) {
  iconv_t cd = iconv_open("CP1251", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    state.SkipWithError("iconv_open failed");
    return;
  }
  std::vector<char> output(input.size());
  std::string source = input;
  for (auto _ : state) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = source.data();
    std::size_t inLeft = source.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
      state.SkipWithError("iconv failed");
      break;
    }
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void BM_Utf8_ToWindows1251(benchmark::State& state) {
  static const std::string input = utf8Text();
  runOurs(state, input, qg::kCharsetUtf8);
}
void BM_Utf8_Iconv(benchmark::State& state) {
  static const std::string input = utf8Text();
  runIconv(state, input, "UTF-8");
}
void BM_Koi8r_ToWindows1251(benchmark::State& state) {
  static const std::string input = koi8rText();
  runOurs(state, input, qg::kCharsetKoi8r);
}
void BM_Koi8r_Iconv(benchmark::State& state) {
  static const std::string input = koi8rText();
  runIconv(state, input, "KOI8-R");
}

}  // namespace

BENCHMARK(BM_Utf8_ToWindows1251);
BENCHMARK(BM_Utf8_Iconv);
BENCHMARK(BM_Koi8r_ToWindows1251);
BENCHMARK(BM_Koi8r_Iconv);
