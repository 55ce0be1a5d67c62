// What the history takes from a stored message file (a staged header or a
// message of the store: the stage line, then the message header): sender,
// recipient, subject, Date and size. Used by the history writer on the
// calling worker's thread; pure apart from reading the one file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qg {

// Longest stage line that is read for the size.
inline constexpr std::size_t kStageLineLimit = 100;

struct MessageSummary {
  std::int64_t messageDate = 0;  // Date header as a local time stamp, 0 when none or unreadable
  std::uint32_t size = 0;
  std::string displayName;    // sender's name, without quotes
  std::string senderAddress;  // sender's address, empty when none is found
  std::string recipient;      // the address of To, empty when none is found
  std::string subject;
};

// Reads the summary of the stored message at path. The size is the stage
// line's second field (hexadecimal), or with sizeFromFile the file's size.
// 1 on success; 0 when the file cannot be opened (nothing is filled in).
// The file is opened exclusively: the caller must not hold it open.
int readMessageSummary(const std::string& path, bool sizeFromFile, MessageSummary& out);

// The size field of a stage line: the hexadecimal digits (at most 8) that
// begin the second blank-separated field; 0 when there are none.
std::uint32_t stageLineSize(std::string_view line);

// Splits a From value into display name and address. The address is the text
// between "<" and ">", or else the first word that passes isValidAddress (the
// store's address rule); a
// scheme prefix such as "mailto:" before it is removed. The name is the rest,
// trimmed, without the quotes or parentheses around it.
void splitSender(std::string_view from, std::string& displayName, std::string& address);
// The address of a To value, found as in splitSender; empty when there is none.
std::string addressOf(std::string_view value);

}  // namespace qg
