// Message marking over hostile mail: the first byte chooses the marks and the
// marker position, the rest is the message. Without marks the copy is exact,
// with the verdict line alone exactly that line is added at a line start, and
// the file copy always gives what the in-memory rules give.
#include <stdlib.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "classify/message_marks.h"
#include "engine/file_primitives.h"
#include "exact_copy.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  qg::MessageMarks marks;
  marks.markSubject = (data[0] & 1) != 0;
  marks.addHeader = (data[0] & 2) != 0;
  marks.position = static_cast<qg::MarkerPosition>((data[0] >> 2) % 3);
  marks.marker = "__Spam";
  marks.headerValue = "Spam";
  qg::ExactCopy copy(data + 1, size - 1);
  const std::string_view message(copy.bytes.get(), copy.length);

  const std::string marked = qg::markMessage(message, marks);
  if (!marks.markSubject && !marks.addHeader) check(marked == message);
  if (!marks.markSubject && marked != message) {
    // Only the verdict line was added, at a line start.
    std::size_t at = 0;
    while (at < message.size() && marked[at] == message[at]) ++at;
    check(at == 0 || marked[at - 1] == '\n');
    bool found = false;
    for (const std::string_view line : {"X-QG: Spam\r\n", "X-QG: Spam\n"}) {
      if (std::string_view(marked).substr(at, line.size()) == line) {
        std::string rest = marked;
        rest.erase(at, line.size());
        found = rest == message;
      }
    }
    check(found);
  }

  static const std::string folder = [] {
    // A memory file system keeps the run from waiting on a disk.
    char pattern[] = "/dev/shm/qgmarks.XXXXXX";
    return std::string(::mkdtemp(pattern) ? pattern : "/tmp");
  }();
  const std::string in = folder + "/in";
  const std::string out = folder + "/out";
  {
    qg::FileHandle file;
    check(qg::openExclusive(in, file) && file.truncate(0) && file.seek(0) &&
          qg::writeText(file, message));
  }
  const std::int64_t written = qg::markMessageFile(in, out, marks);
  check(written == static_cast<std::int64_t>(marked.size()));
  qg::FileHandle result;
  check(qg::openExisting(out, result));
  std::string back(marked.size(), '\0');
  check(result.readFull(back.data(), back.size()) == static_cast<long>(back.size()));
  check(back == marked);
  return 0;
}
