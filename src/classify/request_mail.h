// Request (challenge) mails to unknown senders of undetermined mail, and the
// automatic answer to another copy's request: written into the current box's
// OUT folder in the form the local SMTP server stores outgoing mail. Called
// on the analysis thread (sendRequest by the verdict, sendAnswer by the
// decision procedure).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "classify/analysis_context.h"
#include "classify/request_code.h"
#include "classify/request_log.h"  // the request log the mails are logged in      // addressChecksum, requestCode
#include "classify/request_template.h"  // fillTemplate
#include "engine/protocol_file.h"

namespace qg {

inline constexpr std::string_view kRequestMailer = "Quillgate - request";
inline constexpr std::string_view kAnswerMailer = "Quillgate - answer";
// The temporary file in OUT a mail is written to before it takes its number.
inline constexpr std::string_view kLetterTempName = "tmpLetter.tmp";

// Writes a request mail to the sender of context.message (the code of now
// and the sender's address as Subject, the body from the profile's request
// template), a protocol entry (type 7, the received From and Subject) and a
// record of the request log of the box. The mail is written whole into
// OUT/tmpLetter.tmp and then moved to the lowest free OUT number, never over
// another file. False when no mail was written: the sender's address is
// invalid or in the address list (in any letter case), the template gives
// no body, no OUT number is free, or a file cannot be written.
bool sendRequest(AnalysisContext& context, std::int64_t now, ProtocolWriter& protocol);

// Writes the automatic answer to the sender of context.message: the
// received Subject unchanged (so the other copy finds its code in it) and a
// fixed text. False when no mail was written (invalid sender address, no free
// OUT number, a file error).
bool sendAnswer(AnalysisContext& context, std::int64_t now);

// The text of a request or answer mail, for the two calls above and tests:
// every line from the envelope line to the body. recipient is the upper-case
// address and name the display name (Windows-1251; none when empty).
struct OutgoingLetter {
  std::string recipient;
  std::string name;
  std::string mailer;   // kRequestMailer or kAnswerMailer
  std::string subject;  // the request code, or the received Subject
  std::string body;
  bool quotedPrintable = false;  // the body is KOI8-R quoted-printable
};
std::string letterText(const OutgoingLetter& letter, const RecordFile& boxSettings,
                       std::int64_t now);

}  // namespace qg
