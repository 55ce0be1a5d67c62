// The unique-IDs the local POP3 server gives its messages (UIDL). A client
// that leaves mail on the server remembers them to skip what it has already
// taken, so an ID must stay the same for the same file across connections and
// restarts and must never name a different message later, although IN numbers
// are reused. It is therefore taken from the message itself: the file number,
// a dot and 32 hex digits of the SHA-256 digest of the file's bytes (after its
// lone-dot lines are blanked, as every transfer does first). Digests are kept
// per file status so that a file is read once while it does not change.
// Local POP3 server thread.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "engine/file_primitives.h"
#include "platform/file.h"

namespace qg {

// An ID holds "%08d." and this many hex digits (41 characters in all).
inline constexpr std::size_t kUniqueIdDigestDigits = 32;

// The ID of the message file number n from its open file (position left
// anywhere). Empty when the file cannot be read.
std::string messageUniqueId(int n, FileHandle& file);

class UniqueIds {
 public:
  // Remembered digests are forgotten past this many files.
  static constexpr std::size_t kRememberLimit = 65536;

  // The ID of the message file number n at path. A remembered ID is given
  // while the file has the status it had after its lone dots were blanked;
  // otherwise the file is opened (waiting while another thread holds it), its
  // lone dots are blanked and it is read. Empty when it cannot be opened or read.
  std::string idFor(const std::string& path, int n);

 private:
  struct Known {
    platform::FileStatus status;
    std::string id;
  };
  std::map<std::string, Known> known_;
};

}  // namespace qg
