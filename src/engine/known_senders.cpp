#include "engine/known_senders.h"

#include "engine/scrambled_file.h"

namespace qg {

namespace {

// The empty list: a count word of 0.
constexpr std::size_t kEmptyListBytes = 4;

}  // namespace

KnownSendersLoad loadKnownSenders(const std::string& listDir, std::vector<std::uint8_t>& out) {
  const std::string name(kKnownSendersFile);
  // The probe rejects a file whose header does not fit its size before any
  // payload is decoded; the read then checks the payload's checksum. A file
  // failing either, or too short to hold the count word that every reader
  // starts with, is damaged, and a damaged list is replaced like a missing one.
  if (scrambledProbe(listDir, name, kKnownSendersKey) >= 0 &&
      scrambledRead(listDir, name, kKnownSendersKey, out) >= 0 && out.size() >= kEmptyListBytes) {
    return KnownSendersLoad::Loaded;
  }
  out.assign(kEmptyListBytes, 0);
  return scrambledWrite(listDir, name, kKnownSendersKey, out) == 0
             ? KnownSendersLoad::Replaced
             : KnownSendersLoad::ReplaceFailed;
}

}  // namespace qg
