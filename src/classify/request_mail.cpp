#include "classify/request_mail.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "classify/sender_split.h"
#include "engine/file_primitives.h"
#include "engine/filter_profile.h"
#include "engine/mail_address.h"
#include "engine/mail_store.h"
#include "engine/outgoing_mail.h"
#include "text/charsets.h"
#include "text/date_record.h"
#include "text/encoded_word.h"
#include "text/mail_date.h"

namespace qg {

namespace {

constexpr std::string_view kAnswerBody = " Automatic answer Quillgate\r\n";
constexpr std::string_view kPlainBodyType =
    "Content-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n";
constexpr std::string_view kKoi8rBodyType =
    "Content-Type: text/plain; charset=koi8-r\r\nContent-Transfer-Encoding: quoted-printable\r\n";

// The Date text of the moment now (a local stamp).
std::string mailDateAt(std::int64_t now) {
  const DateRecord local = DateRecord::fromStamp(now);
  DateRecord universal = local;
  universal.second -= localZoneSeconds();
  universal.normalise();
  return mailDate(local, universal);
}

// "%02d%s%016llX@%s": the user name's length, its bytes in hex, the stamp
// and the box's mail server.
std::string messageId(const RecordFile& boxSettings, std::int64_t now) {
  const std::string user = boxSettings.getText(box_field::kUser);
  std::string id;
  std::array<char, 24> number{};
  std::snprintf(number.data(), number.size(), "%02zu", user.size());
  id += number.data();
  for (const char c : user) {
    std::snprintf(number.data(), number.size(), "%02X", static_cast<unsigned char>(c));
    id += number.data();
  }
  std::snprintf(number.data(), number.size(), "%016llX", static_cast<unsigned long long>(now));
  id += number.data();
  return id + "@" + boxSettings.getText(box_field::kSmtpHost);
}

// The recipient of a mail to the sender of the current message, or nullopt
// when no box is current or the address is not valid. Clears a letter left in OUT by an earlier
// failure first (nullopt when it cannot be removed).
std::optional<SenderParts> startLetter(const AnalysisContext& context) {
  if (context.boxDirectory.empty()) return std::nullopt;  // no box is current
  const std::string temp =
      context.boxDirectory + "/" + std::string(kOutFolder) + "/" + std::string(kLetterTempName);
  if (fileExists(temp) && !deleteFileRetry(temp)) return std::nullopt;
  SenderParts sender = splitSender(context.message.from);
  upperCase1251(sender.address);
  if (!isValidAddress(sender.address)) return std::nullopt;
  return sender;
}

// Writes text into OUT/tmpLetter.tmp and moves it to the lowest free OUT
// number. The number is taken by creating its file, so the move replaces
// only that empty file of our own, never another writer's mail.
bool storeLetter(const std::string& boxDir, std::string_view text) {
  const std::string temp =
      boxDir + "/" + std::string(kOutFolder) + "/" + std::string(kLetterTempName);
  {
    FileHandle file;
    if (!openExclusive(temp, file, 0600)) return false;
    if (!file.truncate(0) || !writeText(file, text)) {
      file.close();
      deleteFileRetry(temp);
      return false;
    }
  }
  FileHandle placeholder;
  std::string path;
  if (createOutMessage(boxDir, placeholder, path) < 0 || !moveReplace(temp, path)) {
    deleteFileRetry(temp);
    return false;
  }
  return true;
}

bool knownSender(const FilterSet& filters, std::string_view address) {
  return std::any_of(
      filters.addresses().begin(), filters.addresses().end(),
      [&](const AddressEntry& entry) { return sameName(entry.address, address) == 0; });
}

}  // namespace

std::string letterText(const OutgoingLetter& letter, const RecordFile& boxSettings,
                       std::int64_t now) {
  const std::string own = boxSettings.getText(box_field::kAddress);
  std::string text;
  text += "RCTP TO: " + letter.recipient + "\r\n";
  text += "Date: " + mailDateAt(now) + "\r\n";
  text += "From: " + own + "\r\n";
  text += "X-Mailer: " + letter.mailer + "\r\n";
  text += "Reply-To: " + own + "\r\n";
  text += "Message-ID: <" + messageId(boxSettings, now) + ">\r\n";
  text += "To: ";
  text += letter.name.empty() ? letter.recipient
                              : encodeKoi8rWords(letter.name) + " <" + letter.recipient + ">";
  text += "\r\nSubject: " + letter.subject + "\r\n";
  text += letter.quotedPrintable ? kKoi8rBodyType : kPlainBodyType;
  text += "Status:\r\n\r\n";
  text += letter.body;
  return text;
}

bool sendRequest(AnalysisContext& context, std::int64_t now, ProtocolWriter& protocol) {
  const std::optional<SenderParts> sender = startLetter(context);
  if (!sender || knownSender(context.filters, sender->address)) return false;
  const ParsedMessage& message = context.message;
  // [FromReceived] stays empty: the request does not repeat the sender's own From.
  const FilledTemplate filled =
      fillTemplate(context.profile.getText(profile_field::kRequestTemplate), message.date, "",
                   message.to, message.subject);
  if (filled.body.empty()) return false;

  OutgoingLetter letter;
  letter.recipient = sender->address;
  letter.name = sender->name;
  letter.mailer = kRequestMailer;
  letter.subject = requestCode(now, sender->address);
  letter.body = filled.body;
  letter.quotedPrintable = filled.quotedPrintable;
  if (!storeLetter(context.boxDirectory, letterText(letter, context.boxSettings, now))) {
    return false;
  }
  protocol.append(context.programDir, kProtocolAutoAnswer, message.from, message.subject, now);
  DateRecord holdEnd = DateRecord::fromStamp(now);
  holdEnd.addDays(context.profile.getByte(profile_field::kHoldDays));
  appendRequestLog(context.boxDirectory, holdEnd.stamp, sender->address);
  return true;
}

bool sendAnswer(AnalysisContext& context, std::int64_t now) {
  const std::optional<SenderParts> sender = startLetter(context);
  if (!sender) return false;
  OutgoingLetter letter;
  letter.recipient = sender->address;
  letter.name = sender->name;
  letter.mailer = kAnswerMailer;
  letter.subject = context.message.subject;
  letter.body = kAnswerBody;
  return storeLetter(context.boxDirectory, letterText(letter, context.boxSettings, now));
}

}  // namespace qg
