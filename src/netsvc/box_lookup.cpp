#include "netsvc/box_lookup.h"

#include "engine/mail_address.h"
#include "engine/mail_store.h"
#include "platform/file.h"

namespace qg {

namespace {

// The first valid box that fits, whatever its number (log-in and sending are
// not bounded by the fetcher's table).
std::optional<int> firstBox(const std::string& storeDir,
                            const std::function<bool(int number, RecordFile& record)>& fits) {
  std::optional<int> found;
  scanBoxes(
      storeDir,
      [&](int number, RecordFile& record) {
        if (!fits(number, record)) return true;
        found = number;
        return false;
      },
      static_cast<std::size_t>(kMaxBoxNumber));
  return found;
}

// Field 15 as the validity check reads it, without surrounding blanks.
std::string boxAddress(const RecordFile& record) {
  std::string address = record.getText(box_field::kAddress);
  trimAddressText(address);
  return address;
}

}  // namespace

std::optional<int> findLoginBox(const std::string& storeDir, std::string_view user,
                                std::string_view password) {
  if (user.empty() || password.empty()) return std::nullopt;
  return firstBox(storeDir, [&](int, RecordFile& record) {
    const bool userFits = sameTextIgnoringCase(record.getText(box_field::kUser), user) ||
                          sameTextIgnoringCase(boxAddress(record), user);
    // The whole password, exactly: a shorter text must not log in.
    return userFits && record.getText(box_field::kPassword) == password;
  });
}

std::optional<int> findSendingBox(const std::string& storeDir, std::string_view address) {
  if (address.empty()) return std::nullopt;
  return firstBox(storeDir, [&](int number, RecordFile& record) {
    return sameTextIgnoringCase(boxAddress(record), address) &&
           platform::isWritableFolder(boxDirectory(storeDir, number) + "/" +
                                      std::string(kOutFolder));
  });
}

}  // namespace qg
