// Parse rate of DNS responses as the walk meets them: a gTLD referral (four NS
// records with glue A records) and an MX answer with its additional addresses,
// both with names compressed as servers write them. Each run copies the bytes
// into a fresh message, parses and renders the answer texts.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "netsvc/dns_message.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class Writer {
 public:
  void u16(std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
  }
  void name(std::string_view n) {
    while (!n.empty()) {
      const auto known = suffixes_.find(std::string(n));
      if (known != suffixes_.end()) {
        u16(static_cast<std::uint16_t>(0xC000 | known->second));
        return;
      }
      suffixes_[std::string(n)] = out.size();
      const std::size_t dot = n.find('.');
      const std::string_view label = n.substr(0, dot);
      out.push_back(static_cast<std::uint8_t>(label.size()));
      out.insert(out.end(), label.begin(), label.end());
      n = dot == std::string_view::npos ? std::string_view() : n.substr(dot + 1);
    }
    out.push_back(0);
  }
  // A record with its data written by fill; the length is patched afterwards.
  template <typename Fill>
  void record(std::string_view owner, std::uint16_t type, Fill fill) {
    name(owner);
    u16(type);
    u16(1);
    u16(2);
    u16(0xA300);
    const std::size_t at = out.size();
    u16(0);
    fill();
    const std::size_t length = out.size() - at - 2;
    out[at] = static_cast<std::uint8_t>(length >> 8);
    out[at + 1] = static_cast<std::uint8_t>(length);
  }
  Bytes out;

 private:
  std::map<std::string, std::size_t> suffixes_;
};

Bytes referral() {
  Writer w;
  for (const std::uint16_t v : {0x4D2, 0x8000, 1, 0, 4, 4}) w.u16(static_cast<std::uint16_t>(v));
  w.name("example-shop.com");
  w.u16(15);
  w.u16(1);
  const char* hosts[] = {"ns1.hosting-provider.net", "ns2.hosting-provider.net",
                         "ns3.hosting-provider.org", "ns4.hosting-provider.org"};
  for (const char* h : hosts) w.record("example-shop.com", 2, [&] { w.name(h); });
  std::uint8_t last = 10;
  for (const char* h : hosts) {
    w.record(h, 1, [&] { w.out.insert(w.out.end(), {198, 51, 100, last++}); });
  }
  return w.out;
}

Bytes mxAnswer() {
  Writer w;
  for (const std::uint16_t v : {0x4D2, 0x8400, 1, 3, 0, 3}) w.u16(static_cast<std::uint16_t>(v));
  w.name("example-shop.com");
  w.u16(15);
  w.u16(1);
  const char* hosts[] = {"mx1.mail.example-shop.com", "mx2.mail.example-shop.com",
                         "backup-mx.provider.example.net"};
  std::uint16_t preference = 10;
  for (const char* h : hosts) {
    w.record("example-shop.com", 15, [&] {
      w.u16(preference);
      preference += 10;
      w.name(h);
    });
  }
  std::uint8_t last = 20;
  for (const char* h : hosts) {
    w.record(h, 1, [&] { w.out.insert(w.out.end(), {203, 0, 113, last++}); });
  }
  return w.out;
}

void parse(benchmark::State& state, const Bytes& bytes) {
  std::size_t rendered = 0;
  for (auto _ : state) {
    qg::DnsMessage message;
    message.assign(bytes);
    qg::DnsResponse response;
    std::string error;
    if (qg::parseDnsResponse(message, response, error) != 1) {
      state.SkipWithError(error.c_str());
      break;
    }
    for (const auto& record : response.answers) rendered += record->text().size();
    benchmark::DoNotOptimize(response);
  }
  benchmark::DoNotOptimize(rendered);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

void BM_ParseReferral(benchmark::State& state) {
  parse(state, referral());
}
void BM_ParseMxAnswer(benchmark::State& state) {
  parse(state, mxAnswer());
}

}  // namespace

BENCHMARK(BM_ParseReferral);
BENCHMARK(BM_ParseMxAnswer);
