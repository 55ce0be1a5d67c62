#include "classify/box_context.h"

#include <optional>
#include <vector>

#include "engine/filter_lists.h"
#include "engine/filter_profile.h"
#include "engine/mail_address.h"
#include "engine/mail_store.h"
#include "text/charsets.h"

namespace qg {

namespace {

template <typename Entry>
std::vector<Entry> readList(const std::string& listDir, std::string_view name) {
  const auto payload = readListPayload(listDir, name);
  return payload ? decodeList<Entry>(*payload) : std::vector<Entry>();
}

void forgetBox(AnalysisContext& context) {
  context.boxNumber = -1;
  context.boxDirectory.clear();
  context.boxSettings.clear();
  context.own = {};
}

}  // namespace

OwnAddresses ownAddressesFromFields(const RecordFile& box) {
  OwnAddresses own;
  auto add = [&own](std::string address) {
    trimAddressText(address);
    if (address.empty()) return;
    upperCase1251(address);
    own.addresses.push_back(std::move(address));
    own.mailExchanges.emplace_back();
  };
  add(box.getText(box_field::kAddress));
  const std::string field16 = box.getText(box_field::kMoreAddresses);
  std::string_view more = field16;
  while (!more.empty()) {
    const std::size_t end = more.find(';');
    add(std::string(more.substr(0, end)));
    if (end == std::string_view::npos) break;
    more.remove_prefix(end + 1);
  }
  return own;
}

BoxContextLoad loadBoxContext(AnalysisContext& context, int boxNumber) {
  forgetBox(context);
  RecordFile& box = context.boxSettings;
  if (!loadBox(context.storeDir, boxNumber, box)) return BoxContextLoad::NoBox;
  std::string address = box.getText(box_field::kAddress);
  if (!isValidAddress(address)) {
    forgetBox(context);
    return BoxContextLoad::BadAddress;
  }
  std::string name = box.getText(box_field::kProfile);
  name.erase(0, name.find_first_not_of(' '));
  if (name.empty()) {
    forgetBox(context);
    return BoxContextLoad::NoProfileName;
  }
  if (context.profile.getText(profile_field::kName) != name) {
    const std::optional<std::string> file = findProfile(context.listDir, name);
    context.profile.setDirectory(context.listDir);
    context.profile.setName(file.value_or(""));
    if (!file || !context.profile.load()) {
      context.profile.clear();
      forgetBox(context);
      return BoxContextLoad::NoProfile;
    }
  }
  context.boxNumber = boxNumber;
  context.boxDirectory = boxDirectory(context.storeDir, boxNumber);
  context.own = box.getByte(box_field::kOwnAddressCount) != 0 ? readOwnAddresses(box)
                                                              : ownAddressesFromFields(box);
  return BoxContextLoad::Loaded;
}

void readFilterLists(const std::string& listDir, FilterSet& filters) {
  filters.setListDirectory(listDir);
  filters.setAddresses(readList<AddressEntry>(listDir, kAddressListFile));
  filters.setExpressions(readList<ExpressionEntry>(listDir, kExpressionListFile));
  filters.setZones(readList<ZoneEntry>(listDir, kCountryZoneListFile));
  filters.setDomains(readList<DomainEntry>(listDir, kDomainListFile));
  filters.setIpCountries(readList<IpCountryRange>(listDir, kIpCountryListFile));
}

}  // namespace qg
