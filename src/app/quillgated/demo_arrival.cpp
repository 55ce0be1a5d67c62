#include "app/quillgated/demo_arrival.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "engine/mail_store.h"
#include "engine/staging_line.h"
#include "platform/file.h"
#include "platform/file_listing.h"

namespace qg::quillgated {

namespace {

// Enough for the record line and a Message-ID line.
constexpr std::size_t kHeadBytes = kStagingLineBytes + 512;

bool isEnd(SlotState state) {
  return state == SlotState::Finished || state == SlotState::Held ||
         state == SlotState::Quarantined;
}

}  // namespace

DemoArrival::DemoArrival(std::string boxDir, const std::vector<std::string>& messageIds)
    : boxDir_(std::move(boxDir)) {
  for (const std::string& id : messageIds) waiting_.insert("Message-ID: <" + id + ">\r\n");
}

bool DemoArrival::look() {
  if (waiting_.empty()) return true;
  const std::string tmp = boxDir_ + "/" + std::string(kTmpFolder);
  std::vector<std::string> names;
  platform::listFileNames(tmp, names);
  for (const std::string& name : names) {
    const std::optional<SlotFileName> slot = parseSlotFileName(name);
    if (!slot || !isEnd(slot->state) || read_.count(name) != 0) continue;
    platform::File file = platform::openShared(tmp + "/" + name);
    std::array<char, kHeadBytes> head{};
    const long got = file.isOpen() ? file.readFull(head.data(), head.size()) : -1;
    if (got < static_cast<long>(kStagingLineBytes)) continue;
    read_.insert(name);
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(head.data()),
                                 static_cast<std::size_t>(got));
    const std::optional<StagingLine> line = parseStagingLine(bytes);
    const std::string_view first(head.data() + kStagingLineBytes,
                                 static_cast<std::size_t>(got) - kStagingLineBytes);
    const auto id = std::find_if(waiting_.begin(), waiting_.end(), [&](const std::string& wanted) {
      return first.starts_with(wanted);
    });
    if (!line || id == waiting_.end()) continue;
    waiting_.erase(id);
    if (slot->state == SlotState::Held) {
      ++counts_.held;
    } else if (slot->state == SlotState::Quarantined) {
      ++counts_.quarantined;
    } else if ((line->flags & staging::kNotSpam) != 0) {
      ++counts_.delivered;
    } else {
      ++counts_.withheld;
    }
  }
  return waiting_.empty();
}

}  // namespace qg::quillgated
