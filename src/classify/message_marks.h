// Marking a message for delivery: the Subject marker and the "X-QG:" verdict
// line that the analysis worker writes into a whole staged message before the
// fetcher delivers it. The line rules are pure (MessageMarker); the file copy
// works on a staging file the analysis thread owns at that moment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/record_file.h"

namespace qg {

// Lines are read in pieces of at most this many bytes; only the first piece
// of a longer line counts as a line start.
inline constexpr std::size_t kMarkLineLimit = 1999;

// Where the marker goes on the Subject line (profile byte base + 1; any
// value other than 1 and 2 reads as 0).
enum class MarkerPosition : std::uint8_t { Before = 0, After = 1, Instead = 2 };

struct MessageMarks {
  bool markSubject = false;  // verdict bit 7
  bool addHeader = false;    // verdict bit 8
  std::string marker;        // "__Spam", or the profile's own text
  std::string headerValue;   // "Spam", or the profile's own text
  MarkerPosition position = MarkerPosition::Before;
};

// The marks verdict asks for with the texts of its class from profile: the
// last of the classes 2, 4 and 8 the verdict holds ("Not spam" when it holds
// none); a non-empty profile text (fields 430/432, 440/442, 450/452)
// replaces the built-in marker and header value, fields 431/441/451 give the
// position.
MessageMarks marksFor(std::uint32_t verdict, const RecordFile& profile);

// The line rules over one message, line after line. A Subject line (with its
// folded continuation lines) is rewritten once, with the marker before, after
// or instead of its text; "X-QG: value" goes in before the first "Status:"
// line or the empty line that ends the header, preceded by a Subject line
// of its own when the header had none before that point. Both marks end at a
// "Status:" line and at the end of the header.
class MessageMarker {
 public:
  explicit MessageMarker(MessageMarks marks);

  // One piece of the message: a line with its LF (or the last bytes, which
  // have none), or with lineStart false a further piece of a line longer
  // than kMarkLineLimit. Appends what the marked message holds for it to out.
  void feed(std::string_view piece, bool lineStart, std::string& out);
  // The end of the message: appends what is still pending to out.
  void finish(std::string& out);
  // True once nothing further can change: the rest is copied as it stands.
  bool done() const;

 private:
  enum class Subject { Waiting, Rewriting, Done };
  void endSubject(std::string& out);

  MessageMarks marks_;
  Subject subject_;
  bool headerPending_;
  // The line end of the last piece of a Subject line being rewritten (After
  // and Instead), written when the Subject line is over.
  std::string pendingEnd_;
};

// The whole message marked, for messages held in memory.
std::string markMessage(std::string_view message, const MessageMarks& marks);

// Copies the file at from into a new file at to (replacing one of that name),
// marked. Returns the size of the new file; -1 when a file cannot be opened,
// read or written, and to is then removed.
std::int64_t markMessageFile(const std::string& from, const std::string& to,
                             const MessageMarks& marks);

}  // namespace qg
