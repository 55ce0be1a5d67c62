#include "classify/message_marks.h"

#include <array>
#include <utility>
#include <vector>

#include "classify/verdict.h"
#include "engine/file_primitives.h"
#include "engine/filter_profile.h"
#include "text/charsets.h"

namespace qg {

namespace {

constexpr std::string_view kSubjectName = "Subject:";
constexpr std::string_view kStatusName = "Status:";
constexpr std::string_view kSubjectStart = "Subject: ";
constexpr std::string_view kHeaderStart = "X-QG: ";
constexpr std::size_t kCopyBlock = 64 * 1024;

struct ClassTexts {
  std::uint32_t verdictClass;
  std::uint32_t field;  // marker text; + 1 position, + 2 header value
  std::string_view marker;
  std::string_view headerValue;
};

// In the order in which a later class wins over an earlier one.
constexpr std::array<ClassTexts, 3> kClassTexts{{
    {verdict::kNotSpam, profile_field::kNotSpamMarker, "__Not spam", "Not spam"},
    {verdict::kUndetermined, profile_field::kUndeterminedMarker, "__Is not determined",
     "Is not determined"},
    {verdict::kSpam, profile_field::kSpamMarker, "__Spam", "Spam"},
}};

bool isEmptyLine(std::string_view line) {
  return line == "\n" || line == "\r\n";
}

// A line of a folded header field goes on with a blank or a tab.
bool isFolded(std::string_view line) {
  return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

// The line end of a piece: CR LF, LF, or nothing when it has no LF.
std::string_view lineEndOf(std::string_view piece) {
  if (!piece.ends_with('\n')) return {};
  return piece.ends_with("\r\n") ? piece.substr(piece.size() - 2) : piece.substr(piece.size() - 1);
}

std::string_view withoutLineEnd(std::string_view piece) {
  return piece.substr(0, piece.size() - lineEndOf(piece).size());
}

// Cuts a byte stream into the pieces MessageMarker takes: lines up to their
// LF, at most kMarkLineLimit bytes each, never split between a CR and its LF.
// Once the marker is done the rest is passed on as it stands.
class MarkStream {
 public:
  explicit MarkStream(const MessageMarks& marks) : marker_(marks) {}

  void push(std::string_view data, std::string& out) {
    while (!data.empty()) {
      if (marker_.done()) {
        out += pending_;
        pending_.clear();
        out += data;
        return;
      }
      const std::size_t room = kMarkLineLimit - pending_.size();
      const std::size_t lf = data.substr(0, room).find('\n');
      if (lf != std::string_view::npos) {
        pending_.append(data.substr(0, lf + 1));
        data.remove_prefix(lf + 1);
        emit(out, true);
        continue;
      }
      if (data.size() < room) {
        pending_.append(data);
        return;
      }
      pending_.append(data.substr(0, room));
      data.remove_prefix(room);
      emit(out, false);
    }
  }

  void finish(std::string& out) {
    if (!pending_.empty()) {
      marker_.feed(pending_, lineStart_, out);
      pending_.clear();
    }
    marker_.finish(out);
  }

 private:
  // Hands pending_ on as one piece; complete says whether it ended with its
  // LF. A full piece that ends in CR keeps the CR for the next piece.
  void emit(std::string& out, bool complete) {
    std::string carry;
    if (!complete && pending_.size() > 1 && pending_.back() == '\r') {
      carry = "\r";
      pending_.pop_back();
    }
    marker_.feed(pending_, lineStart_, out);
    lineStart_ = complete;
    pending_ = std::move(carry);
  }

  MessageMarker marker_;
  std::string pending_;
  bool lineStart_ = true;
};

}  // namespace

MessageMarks marksFor(std::uint32_t verdictWord, const RecordFile& profile) {
  const ClassTexts* texts = &kClassTexts[0];
  for (const ClassTexts& candidate : kClassTexts) {
    if ((verdictWord & candidate.verdictClass) != 0) texts = &candidate;
  }
  MessageMarks marks;
  marks.markSubject = (verdictWord & verdict::kMarkSubject) != 0;
  marks.addHeader = (verdictWord & verdict::kAddHeader) != 0;
  marks.marker = profile.getText(texts->field);
  if (marks.marker.empty()) marks.marker = texts->marker;
  marks.headerValue = profile.getText(texts->field + 2);
  if (marks.headerValue.empty()) marks.headerValue = texts->headerValue;
  switch (profile.getByte(texts->field + 1)) {
    case 1:
      marks.position = MarkerPosition::After;
      break;
    case 2:
      marks.position = MarkerPosition::Instead;
      break;
    default:
      marks.position = MarkerPosition::Before;
      break;
  }
  return marks;
}

MessageMarker::MessageMarker(MessageMarks marks)
    : marks_(std::move(marks)), subject_(Subject::Waiting), headerPending_(marks_.addHeader) {}

bool MessageMarker::done() const {
  const bool subjectOpen =
      subject_ == Subject::Rewriting || (subject_ == Subject::Waiting && marks_.markSubject);
  return !subjectOpen && !headerPending_;
}

void MessageMarker::endSubject(std::string& out) {
  if (marks_.position == MarkerPosition::After) out += marks_.marker;
  out += pendingEnd_;
  pendingEnd_.clear();
  subject_ = Subject::Done;
}

void MessageMarker::feed(std::string_view piece, bool lineStart, std::string& out) {
  if (subject_ == Subject::Rewriting) {
    // The rest of a long Subject line, or a folded line of it: the marker
    // belongs behind the whole text, and "instead" replaces all of it.
    if (!lineStart || isFolded(piece)) {
      if (marks_.position == MarkerPosition::After) {
        out += pendingEnd_;
        out += withoutLineEnd(piece);
      }
      pendingEnd_ = lineEndOf(piece);
      return;
    }
    endSubject(out);
  }
  if (!lineStart) {
    out += piece;
    return;
  }
  if (subject_ == Subject::Waiting && marks_.markSubject && startsWithWord(piece, kSubjectName)) {
    const std::string_view rest = piece.substr(kSubjectName.size());
    out += kSubjectStart;
    switch (marks_.position) {
      case MarkerPosition::Before:
        out += marks_.marker;
        out += rest;
        subject_ = Subject::Done;
        return;
      case MarkerPosition::After:
        out += withoutLineEnd(rest);
        break;
      case MarkerPosition::Instead:
        out += marks_.marker;
        break;
    }
    pendingEnd_ = lineEndOf(rest);
    subject_ = Subject::Rewriting;
    return;
  }
  const bool endsMarks = startsWithWord(piece, kStatusName) || isEmptyLine(piece);
  if (endsMarks && headerPending_) {
    if (subject_ == Subject::Waiting && marks_.markSubject) {
      out += kSubjectStart;
      out += marks_.marker;
      out += "\r\n";
    }
    out += kHeaderStart;
    out += marks_.headerValue;
    out += piece.ends_with("\r\n") ? "\r\n" : "\n";
  }
  out += piece;
  if (endsMarks) {
    if (subject_ == Subject::Waiting) subject_ = Subject::Done;
    headerPending_ = false;
  }
}

void MessageMarker::finish(std::string& out) {
  if (subject_ == Subject::Rewriting) endSubject(out);
}

std::string markMessage(std::string_view message, const MessageMarks& marks) {
  std::string out;
  out.reserve(message.size() + 64);
  MarkStream stream(marks);
  stream.push(message, out);
  stream.finish(out);
  return out;
}

std::int64_t markMessageFile(const std::string& from, const std::string& to,
                             const MessageMarks& marks) {
  FileHandle source;
  if (!openExisting(from, source) || !source.seek(0)) return -1;
  FileHandle target;
  if (!openExclusive(to, target, 0600)) return -1;
  bool ok = target.truncate(0) && target.seek(0);
  MarkStream stream(marks);
  std::vector<char> block(kCopyBlock);
  std::string out;
  std::int64_t written = 0;
  const auto flush = [&] {
    ok = ok && target.writeAll(out.data(), out.size());
    written += static_cast<std::int64_t>(out.size());
    out.clear();
  };
  while (ok) {
    const long got = source.read(block.data(), block.size());
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    stream.push(std::string_view(block.data(), static_cast<std::size_t>(got)), out);
    if (out.size() >= kCopyBlock) flush();
  }
  stream.finish(out);
  flush();
  target.close();
  if (!ok) {
    deleteFileRetry(to);
    return -1;
  }
  return written;
}

}  // namespace qg
