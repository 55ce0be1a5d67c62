#include "engine/box_setup.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/file_primitives.h"
#include "engine/mail_address.h"
#include "engine/mail_store.h"
#include "platform/file.h"
#include "platform/folder_listing.h"

namespace qg {

namespace {

std::string_view cut(std::string_view text, std::size_t limit) {
  return text.substr(0, limit);
}

}  // namespace

void fillNewBox(RecordFile& record, std::string_view address, bool addressValid,
                const NewBoxOptions& options) {
  std::string_view user = kPlaceholderUser;
  std::string_view domain = kPlaceholderDomain;
  std::string_view boxAddress = kPlaceholderAddress;
  if (addressValid) {
    const std::size_t at = address.find('@');
    user = address.substr(0, at);
    domain = address.substr(at + 1);
    boxAddress = address;
  }
  const int interval = std::clamp(options.interval.value_or(kDefaultInterval), 0, kMaxInterval);
  // The 16-bit fields are signed in the record; ports above 32767 keep their bits.
  const auto port = [](std::uint16_t value) { return static_cast<std::int16_t>(value); };

  record.clear();
  record.setText(cut(domain, kMaxBoxText), box_field::kSmtpHost);
  record.setShort(port(kDefaultSmtpPort), box_field::kSmtpPort);
  record.setText(cut(options.pop3Host.value_or(std::string(domain)), kMaxBoxText),
                 box_field::kPop3Host);
  record.setShort(port(options.pop3Port.value_or(kDefaultPop3Port)), box_field::kPop3Port);
  record.setText(cut(options.user.value_or(std::string(user)), kMaxBoxText), box_field::kUser);
  record.setText(cut(options.password.value_or(std::string()), kMaxPassword), box_field::kPassword);
  record.setShort(static_cast<std::int16_t>(interval), box_field::kInterval);
  record.setText(cut(options.profile.value_or(std::string(kDefaultProfile)), kMaxBoxText),
                 box_field::kProfile);
  record.setByte(kDefaultOption, box_field::kOption);
  record.setFlag(true, box_field::kEnabled);
  record.setFlag(options.checkAtStart.value_or(true), box_field::kCheckAtStart);
  record.setFlag(false, box_field::kOption14);
  record.setText(cut(boxAddress, kMaxBoxText), box_field::kAddress);
  record.setText("", box_field::kMoreAddresses);
  record.setByte(0, box_field::kOwnAddressCount);
}

bool saveBoxRecord(RecordFile& record) {
  const std::string path = record.directory() + "/" + record.name();
  if (!fileExists(path)) {
    // The container's writer creates files with the usual mode; creating the
    // file first with the owner-only mode keeps it when the writer reopens it.
    FileHandle file;
    if (!openExclusive(path, file, kBoxRecordMode)) return false;
  }
  return record.save();
}

int createBox(const std::string& storeDir, std::string_view address, const NewBoxOptions& options) {
  std::string trimmed(address);
  const bool valid = isValidAddress(trimmed);
  const std::string_view boxAddress = valid ? std::string_view(trimmed) : kPlaceholderAddress;

  // One pass over the existing folders: the duplicate check and, for each
  // number, whether its box.log loads (a number whose box.log does not load
  // may be taken again).
  std::vector<std::string> folders;
  platform::listFolderNames(storeDir, folders);
  std::array<bool, kMaxNewBoxNumber + 1> taken{};
  RecordFile record;
  for (const std::string& name : folders) {
    const int n = boxNumberFromName(name);
    if (n < 1 || n > kMaxNewBoxNumber) continue;
    if (!loadBox(storeDir, n, record)) continue;
    std::string existing = record.getText(box_field::kAddress);
    trimAddressText(existing);
    if (sameTextIgnoringCase(existing, boxAddress)) {
      return kBoxDuplicateAddress;
    }
    taken[static_cast<std::size_t>(n)] = true;
  }
  // A plain file under a box folder's name cannot become a box: passing over
  // it keeps one stray file from blocking every later creation.
  int number = 0;
  for (int n = 1; n <= kMaxNewBoxNumber && number == 0; ++n) {
    if (!taken[static_cast<std::size_t>(n)] && !fileExists(boxDirectory(storeDir, n))) number = n;
  }
  if (number == 0) return kBoxNoFreeNumber;

  const std::string folder = boxDirectory(storeDir, number);
  const auto inside = [&](std::string_view name) { return folder + "/" + std::string(name); };
  for (const std::string& path :
       {folder, inside(kInFolder), inside(kOutFolder), inside(kTmpFolder)}) {
    if (!platform::isDirectory(path) && !platform::makeDirectories(path)) {
      return kBoxCannotCreate;
    }
  }
  // A box.log left here does not load; it goes, so that the new one is
  // created with the owner-only mode rather than keeping the old file's.
  const std::string recordPath = inside(kBoxRecordName);
  if (fileExists(recordPath)) deleteFileRetry(recordPath);

  fillNewBox(record, boxAddress, valid, options);
  record.setDirectory(folder);
  record.setName(kBoxRecordName);
  if (!saveBoxRecord(record)) return kBoxCannotCreate;
  return number;
}

}  // namespace qg
