// DNS responses from hostile servers: any bytes must parse or fail with an
// error text, without a loop, a crash or a read past the message; every parsed
// record must copy and render.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "netsvc/dns_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qg::DnsMessage message;
  message.assign(std::span(data, size));
  qg::DnsResponse response;
  std::string error;
  if (qg::parseDnsResponse(message, response, error) == 1) {
    std::size_t total = 0;
    for (const auto* list : {&response.answers, &response.authority, &response.additional}) {
      for (const auto& record : *list) total += record->clone()->text().size();
    }
    if (total == 0 && !response.answers.empty()) __builtin_trap();
  } else if (error.empty()) {
    __builtin_trap();
  }
  return 0;
}
