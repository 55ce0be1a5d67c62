// Builders of DNS responses for the DNS tests: names written without
// compression unless a test writes its own pointer bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qg::dnstest {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

inline void putName(Bytes& out, std::string_view name) {
  while (!name.empty()) {
    const std::size_t dot = name.find('.');
    const std::string_view label = name.substr(0, dot);
    out.push_back(static_cast<std::uint8_t>(label.size()));
    out.insert(out.end(), label.begin(), label.end());
    if (dot == std::string_view::npos) break;
    name.remove_prefix(dot + 1);
  }
  out.push_back(0);
}

struct Rr {
  std::string name;
  std::uint16_t type;
  Bytes data;
};

inline Rr mx(std::string name, std::uint16_t preference, std::string_view exchange) {
  Rr r{std::move(name), 15, {}};
  put16(r.data, preference);
  putName(r.data, exchange);
  return r;
}

inline Rr ns(std::string name, std::string_view host) {
  Rr r{std::move(name), 2, {}};
  putName(r.data, host);
  return r;
}

inline Rr a(std::string name, Bytes address) {
  return Rr{std::move(name), 1, std::move(address)};
}

inline void putRecord(Bytes& out, const Rr& r, std::uint32_t ttl = 3600) {
  putName(out, r.name);
  put16(out, r.type);
  put16(out, 1);
  put16(out, static_cast<std::uint16_t>(ttl >> 16));
  put16(out, static_cast<std::uint16_t>(ttl));
  put16(out, static_cast<std::uint16_t>(r.data.size()));
  out.insert(out.end(), r.data.begin(), r.data.end());
}

// A whole response to an MX question for qname.
inline Bytes response(std::string_view qname, const std::vector<Rr>& answers,
                      const std::vector<Rr>& authority = {},
                      const std::vector<Rr>& additional = {}) {
  Bytes out;
  for (const std::uint16_t v :
       {std::uint16_t{0x1234}, std::uint16_t{0x8400}, std::uint16_t{1},
        static_cast<std::uint16_t>(answers.size()), static_cast<std::uint16_t>(authority.size()),
        static_cast<std::uint16_t>(additional.size())}) {
    put16(out, v);
  }
  putName(out, qname);
  put16(out, 15);
  put16(out, 1);
  for (const auto* list : {&answers, &authority, &additional}) {
    for (const Rr& r : *list) putRecord(out, r);
  }
  return out;
}

}  // namespace qg::dnstest
