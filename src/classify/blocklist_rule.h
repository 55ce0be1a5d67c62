// The test of a blocklist rule: whether a Received hop of the message is
// listed by one blocklist zone, answered from that zone's cache, and the
// requests for the hops the cache has no answer for yet, queued in
// "dnsbl.inf" for the DNSBL checker. The analysis thread (the queue is
// shared with the checker through its exclusive open).
#pragma once

#include <span>
#include <string>

#include "classify/received_hop.h"
#include "classify/zone_cache.h"
#include "engine/dnsbl_records.h"

namespace qg {

enum class BlocklistAnswer {
  Listed,      // a checkable hop is listed
  NotListed,   // every checkable hop is answered and none is listed, or there is none
  Unanswered,  // none is listed, but the cache lacks an answer for a checkable hop
};

// True for a hop the blocklist rules ask about: it has an address and is not local.
bool checkableHop(const ReceivedHop& hop);

// Marks the checkable hops (the valid hops in header order) from cache, the
// loaded cache of the rule's zone: each gets its answered and listed marks
// cleared, then kBlocklistListed when the cache lists its address (the
// search stops at the first such hop) or kBlocklistAnswered when the cache
// holds another answer for it.
BlocklistAnswer markListedHops(std::span<ReceivedHop> hops, const ZoneCache& cache);

// Appends to programDir/"dnsbl.inf" a request (the hop's address with the
// zone and codes of request) for every checkable hop marked neither answered
// nor listed, unless the queue already holds one for that address whose
// trimmed zone is the request's zone. A torn record at the end of the queue
// is cut first, so the records behind it stay in step. Returns the number of
// requests appended, or -1 when the queue cannot be opened or written or is
// over 64 MiB long.
int queueBlocklistRequests(const std::string& programDir, std::span<const ReceivedHop> hops,
                           const DnsblRequest& request);

}  // namespace qg
