#include "classify/box_selection.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "classify/box_context.h"
#include "classify/own_addresses.h"
#include "engine/mail_store.h"
#include "text/charsets.h"

namespace qg {

namespace {

std::string upperCased(std::string text) {
  upperCase1251(text);
  return text;
}

std::vector<std::string> wordsOf(std::string_view text) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t start = text.find_first_not_of(" \t\r\n", at);
    if (start == std::string_view::npos) break;
    std::size_t end = text.find_first_of(" \t\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    words.emplace_back(text.substr(start, end - start));
    at = end;
  }
  return words;
}

}  // namespace

bool fillOwnAddresses(RecordFile& box, const MailExchangeLookup& lookup) {
  bool changed = false;
  if (box.getByte(box_field::kOwnAddressCount) == 0) {
    std::vector<std::string> texts = ownAddressesFromFields(box).addresses;
    if (texts.size() > box_field::kMaxOwnAddresses) texts.resize(box_field::kMaxOwnAddresses);
    box.setByte(static_cast<std::uint8_t>(texts.size()), box_field::kOwnAddressCount);
    for (std::uint32_t i = 0; i < texts.size(); ++i) {
      box.setText(texts[i], box_field::kFirstOwnAddress + i);
      box.setByte(0, box_field::mailExchangeCountField(i));
      box.setByte(0, box_field::kLookupTriesBase + i);
    }
    changed = true;
  }
  const std::uint32_t count = std::min<std::uint32_t>(box.getByte(box_field::kOwnAddressCount),
                                                      box_field::kMaxOwnAddresses);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t tries = box.getByte(box_field::kLookupTriesBase + i);
    if (box.getByte(box_field::mailExchangeCountField(i)) != 0 || tries >= kMailExchangeTries) {
      continue;
    }
    box.setByte(static_cast<std::uint8_t>(tries + 1), box_field::kLookupTriesBase + i);
    changed = true;
    const std::string address = box.getText(box_field::kFirstOwnAddress + i);
    const std::size_t at = address.rfind('@');
    if (at == std::string::npos || at + 1 == address.size()) continue;
    const std::vector<std::string> words = wordsOf(upperCased(lookup(address.substr(at + 1))));
    // The first word is the first exchange's address.
    const std::size_t hosts = std::min<std::size_t>(words.size() > 0 ? words.size() - 1 : 0,
                                                    box_field::kMaxMailExchanges);
    for (std::uint32_t j = 0; j < hosts; ++j) {
      box.setText(words[j + 1], box_field::mailExchangeField(i, j));
    }
    box.setByte(static_cast<std::uint8_t>(hosts), box_field::mailExchangeCountField(i));
  }
  return changed;
}

bool selectBox(AnalysisContext& context, int boxNumber, const MailExchangeLookup& lookup) {
  if (boxNumber == context.boxNumber && boxNumber > 0) return true;
  if (loadBoxContext(context, boxNumber) != BoxContextLoad::Loaded) return false;
  // The lookups are kept in "box.log"; a save that fails only means they are
  // made again when the box next becomes current.
  if (fillOwnAddresses(context.boxSettings, lookup)) context.boxSettings.save();
  context.own = readOwnAddresses(context.boxSettings);
  return true;
}

}  // namespace qg
