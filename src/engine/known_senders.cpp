#include "engine/known_senders.h"

namespace qg {

KnownSendersLoad loadKnownSenders(const std::string& listDir, std::vector<std::uint8_t>& out) {
  return loadListPayload(listDir, kKnownSendersFile, out);
}

}  // namespace qg
