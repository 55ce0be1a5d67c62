#include "netsvc/maildrop.h"

#include "engine/file_primitives.h"
#include "engine/history_record.h"
#include "engine/mail_store.h"

namespace qg {

void Maildrop::scan(const std::string& boxDir) {
  messages_.clear();
  octets_ = 0;
  MessageNumbers numbers;
  messageNumbersIn(boxDir + "/" + std::string(kInFolder), numbers);
  for (int n = 0; n < kMessageNumberCount; ++n) {
    if (!numbers.test(static_cast<std::size_t>(n))) continue;
    MaildropMessage message;
    message.number = n;
    message.path = messagePath(boxDir, n);
    // A file that went between the listing and now is not offered.
    if (!platform::fileStatus(message.path, message.status)) continue;
    octets_ += message.status.size;
    messages_.push_back(std::move(message));
  }
}

MaildropMessage* Maildrop::message(std::uint64_t k) {
  if (k == 0 || k > messages_.size()) return nullptr;
  return &messages_[k - 1];
}

int Maildrop::removeMarked(HistoryWriter& history) {
  int removed = 0;
  for (const MaildropMessage& message : messages_) {
    if (message.kept) continue;
    platform::FileStatus now;
    // Blanking lone dots may have touched the file; another file under the
    // same number (delivered after this one went some other way) is never
    // taken for it.
    if (!platform::fileStatus(message.path, now) || now.device != message.status.device ||
        now.inode != message.status.inode || now.size != message.status.size)
      continue;
    history.record(message.path, kHistoryHandedToClient);
    if (deleteFileRetry(message.path)) ++removed;
  }
  return removed;
}

}  // namespace qg
