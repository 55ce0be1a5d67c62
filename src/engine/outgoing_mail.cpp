#include "engine/outgoing_mail.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "engine/mail_store.h"
#include "engine/work_queue.h"
#include "platform/file.h"

namespace qg {

namespace {

// Outgoing mail is the user's private mail.
constexpr unsigned kOutMessageMode = 0600;

}  // namespace

std::string outMessagePath(const std::string& boxDir, int n) {
  char name[32];
  std::snprintf(name, sizeof name, "/OUT/%08d.msg", n);
  return boxDir + name;
}

int createOutMessage(const std::string& boxDir, FileHandle& file, std::string& path) {
  file.close();
  MessageNumbers taken;
  if (!messageNumbersIn(boxDir + "/" + std::string(kOutFolder), taken)) return -2;
  for (int n = 0; n <= kMaxOutNumber; ++n) {
    if (taken.test(static_cast<std::size_t>(n))) continue;
    path = outMessagePath(boxDir, n);
    const int error = platform::createLocked(path, file, kOutMessageMode);
    if (error == 0) return n;
    // Another writer took the number since the listing.
    if (error != EEXIST) return -2;
  }
  return -1;
}

bool appendOutEmail(const std::string& programDir, std::string_view address) {
  std::vector<std::uint8_t> entry(address.begin(), address.end());
  entry.push_back(0);
  return queueAppend(programDir + "/" + std::string(kOutEmailName), entry);
}

}  // namespace qg
