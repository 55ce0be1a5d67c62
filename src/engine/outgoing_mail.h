// Outgoing mail in the store: the message files of a box's OUT folder and the
// queue "OutEmail.dat" in the program directory, which holds the addresses the
// user writes to until the analysis worker learns them. Written by the local
// SMTP server (and by the request mails); any thread, files only through the
// file primitives.
#pragma once

#include <string>
#include <string_view>

#include "engine/file_primitives.h"

namespace qg {

inline constexpr std::string_view kOutEmailName = "OutEmail.dat";
// OUT messages are numbered 0 to kMaxOutNumber.
inline constexpr int kMaxOutNumber = 8191;

// boxDir + "/OUT/%08d.msg".
std::string outMessagePath(const std::string& boxDir, int n);

// Creates the OUT message file with the lowest free number (0 to
// kMaxOutNumber), new and empty, and holds it open and locked in file, its
// path in path. A number is taken by creating its file, so two writers never
// share one. Returns the number; -1 when every number is taken, -2 when the
// folder cannot be read or written (file is then closed).
int createOutMessage(const std::string& boxDir, FileHandle& file, std::string& path);

// Appends address and one zero byte to "OutEmail.dat" in programDir. False
// when the queue cannot be opened or written.
bool appendOutEmail(const std::string& programDir, std::string_view address);

}  // namespace qg
