// The messages one POP3 connection offers: the "%08d.msg" files of the box's
// IN folder numbered 0 to 8191 at the last scan, as messages 1, 2, ... in
// ascending file number, with the deletion marks of the connection. Files
// are deleted only by removeMarked (after QUIT), and only while they are still
// the files that were scanned. Local POP3 server thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/history_file.h"
#include "platform/file.h"

namespace qg {

struct MaildropMessage {
  int number = 0;               // IN file number
  std::string path;             // the IN file
  platform::FileStatus status;  // at the scan
  bool kept = true;             // false once DELE marked it
};

class Maildrop {
 public:
  // Forgets the last scan and every mark, then lists boxDir's IN folder. A
  // folder that cannot be read gives an empty maildrop.
  void scan(const std::string& boxDir);

  std::size_t count() const { return messages_.size(); }
  // Total size of the messages at the scan.
  std::int64_t octets() const { return octets_; }
  // Message k (from 1); null when k names none.
  MaildropMessage* message(std::uint64_t k);

  // For every message marked deleted whose file is still the scanned one (same
  // file system, inode and size): records history event 6 and deletes it.
  // Returns the count deleted.
  int removeMarked(HistoryWriter& history);

 private:
  std::vector<MaildropMessage> messages_;
  std::int64_t octets_ = 0;
};

}  // namespace qg
