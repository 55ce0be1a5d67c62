#include "classify/blocklist_rule.h"

#include <algorithm>
#include <vector>

#include "engine/file_primitives.h"

namespace qg {

namespace {

constexpr std::uint16_t kAnswerMarks = hop_mark::kBlocklistAnswered | hop_mark::kBlocklistListed;
// A queue this long (some 370,000 requests) is not read: the checker is far
// behind or the file is not a queue, and no more is added to it.
constexpr std::int64_t kMaxQueueBytes = 64 << 20;

}  // namespace

bool checkableHop(const ReceivedHop& hop) {
  return hop.hasFromAddress() && !hop.local();
}

BlocklistAnswer markListedHops(std::span<ReceivedHop> hops, const ZoneCache& cache) {
  bool unanswered = false;
  for (ReceivedHop& hop : hops) {
    if (!hop.valid()) break;
    if (!checkableHop(hop)) continue;
    hop.marks &= static_cast<std::uint16_t>(~kAnswerMarks);
    const ZoneCacheEntry* entry = cache.find(hop.fromAddress);
    if (entry == nullptr) {
      unanswered = true;
    } else if (entry->result == kZoneCacheListed) {
      hop.marks |= hop_mark::kBlocklistListed;
      return BlocklistAnswer::Listed;
    } else {
      hop.marks |= hop_mark::kBlocklistAnswered;
    }
  }
  return unanswered ? BlocklistAnswer::Unanswered : BlocklistAnswer::NotListed;
}

int queueBlocklistRequests(const std::string& programDir, std::span<const ReceivedHop> hops,
                           const DnsblRequest& request) {
  FileHandle queue;
  if (!openExclusive(programDir + "/" + std::string(kDnsblRequestFile), queue)) return -1;
  const std::int64_t size = queue.size();
  if (size < 0 || size > kMaxQueueBytes || !queue.seek(0)) return -1;
  std::vector<char> bytes(static_cast<std::size_t>(size));
  if (!readExact(queue, std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()))) {
    return -1;
  }
  const std::size_t whole = bytes.size() / kDnsblRequestSize * kDnsblRequestSize;
  const std::string zone = std::string(dnsblZoneName(request.zone));
  std::vector<Ipv4Number> waiting;
  for (std::size_t at = 0; at < whole; at += kDnsblRequestSize) {
    const auto queued = decodeDnsblRequest(std::span(bytes).subspan(at, kDnsblRequestSize));
    if (queued && queued->zone == zone) waiting.push_back(queued->address);
  }

  std::string added;
  for (const ReceivedHop& hop : hops) {
    if (!hop.valid()) break;
    if (!checkableHop(hop) || (hop.marks & kAnswerMarks) != 0) continue;
    if (std::find(waiting.begin(), waiting.end(), hop.fromAddress) != waiting.end()) continue;
    waiting.push_back(hop.fromAddress);
    DnsblRequest next = request;
    next.address = hop.fromAddress;
    next.zone = zone;
    const auto record = encodeDnsblRequest(next);
    added.append(record.begin(), record.end());
  }
  if (added.empty()) return 0;
  if (whole != bytes.size() && !queue.truncate(static_cast<std::int64_t>(whole))) return -1;
  if (!queue.seek(static_cast<std::int64_t>(whole)) || !writeText(queue, added)) return -1;
  return static_cast<int>(added.size() / kDnsblRequestSize);
}

}  // namespace qg
