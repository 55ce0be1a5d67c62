#include "classify/own_addresses.h"

#include <algorithm>

#include "engine/mail_store.h"

namespace qg {

OwnAddresses readOwnAddresses(const RecordFile& box) {
  OwnAddresses own;
  const std::uint32_t count = std::min<std::uint32_t>(box.getByte(box_field::kOwnAddressCount),
                                                      box_field::kMaxOwnAddresses);
  for (std::uint32_t i = 0; i < count; ++i) {
    own.addresses.push_back(box.getText(box_field::kFirstOwnAddress + i));
    std::vector<std::string> hosts;
    const std::uint32_t hostCount = std::min<std::uint32_t>(
        box.getByte(box_field::mailExchangeCountField(i)), box_field::kMaxMailExchanges);
    for (std::uint32_t j = 0; j < hostCount; ++j) {
      hosts.push_back(box.getText(box_field::mailExchangeField(i, j)));
    }
    own.mailExchanges.push_back(std::move(hosts));
  }
  return own;
}

std::string_view providerDomain(std::string_view host) {
  const std::size_t last = host.rfind('.');
  if (last == std::string_view::npos || last == 0) return host;
  const std::size_t secondLast = host.rfind('.', last - 1);
  return secondLast == std::string_view::npos ? host : host.substr(secondLast + 1);
}

}  // namespace qg
