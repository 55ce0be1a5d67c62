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
#include "engine/protocol_file.h"

namespace qg {

// The 20-bit checksum of an address: for each byte c (signed) at position i
// from 0, add ((i + 1) * c) XOR 0xA25A in 32-bit arithmetic; the low 20 bits.
std::uint32_t addressChecksum(std::string_view address);

// "%016llX%05X" of stamp and addressChecksum(recipient): 21 hex digits.
std::string requestCode(std::int64_t stamp, std::string_view recipient);

struct FilledTemplate {
  std::string body;              // empty: the template has no "Text:" { ... } body
  bool quotedPrintable = false;  // true: KOI8-R quoted-printable (a byte above 127)
};

// The request body of a template (profile field 420) with its placeholders
// filled from the received message's values.
FilledTemplate fillTemplate(std::string_view templateText, std::string_view date,
                            std::string_view from, std::string_view to, std::string_view subject);

// Writes a request mail to the sender of context.message, a protocol entry
// (type 7) and a request-log record. False when no mail was written (invalid
// or known sender, empty template, no free OUT number, a file error).
bool sendRequest(AnalysisContext& context, std::int64_t now, ProtocolWriter& protocol);

// Writes the automatic answer to the sender of context.message. False when no
// mail was written.
bool sendAnswer(AnalysisContext& context, std::int64_t now);

}  // namespace qg
