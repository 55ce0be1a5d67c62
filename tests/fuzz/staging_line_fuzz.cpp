// Staging record lines from hostile bytes: the input is parsed as a line, and
// also written into a file that is read and rewritten in place. A line that
// parses must format back to the same fields; a rewrite must touch only its
// field and must refuse a damaged line without writing.
#include <sys/mman.h>

#include <cstdint>
#include <span>
#include <vector>

#include "engine/file_primitives.h"
#include "engine/staging_line.h"

namespace {

// One in-memory file for the whole run: the reader and the rewriters work on
// a descriptor, and a memory file keeps the run from waiting on a disk.
qg::FileHandle& scratchFile() {
  static qg::FileHandle file(::memfd_create("staging", MFD_CLOEXEC));
  return file;
}

void check(bool condition) {
  if (!condition) __builtin_trap();
}

bool sameFields(const qg::StagingLine& a, const qg::StagingLine& b) {
  return a.stamp == b.stamp && a.size == b.size && a.serverNumber == b.serverNumber &&
         a.received == b.received && a.flags == b.flags;
}

std::vector<std::uint8_t> readAll(qg::FileHandle& file) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.size()));
  check(file.seek(0) && qg::readExact(file, bytes));
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);

  const std::optional<qg::StagingLine> parsed = qg::parseStagingLine(input);
  check(parsed.has_value() == qg::isValidStagingLine(input));
  if (parsed) {
    const qg::StagingLineBytes text = qg::formatStagingLine(*parsed);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    const std::optional<qg::StagingLine> again = qg::parseStagingLine(bytes);
    check(again && sameFields(*again, *parsed));
  }

  qg::FileHandle& file = scratchFile();
  check(file.isOpen() && file.truncate(0) && file.seek(0) && qg::writeBytes(file, input));

  const std::optional<qg::StagingLine> read = qg::readStagingLine(file);
  check(read.has_value() == parsed.has_value());
  if (read) check(sameFields(*read, *parsed));

  const std::uint32_t flags = size > 0 ? data[0] * 0x01010101u : 0;
  const bool rewritten = qg::rewriteFlagWord(file, flags);
  check(rewritten == parsed.has_value());
  const std::vector<std::uint8_t> after = readAll(file);
  check(after.size() == size);
  for (std::size_t i = 0; i < size; ++i) {
    const bool inFlags =
        rewritten && i >= qg::kStagingFlagsOffset && i < qg::kStagingFlagsOffset + 8;
    if (!inFlags) check(after[i] == data[i]);
  }
  if (rewritten) {
    const std::optional<qg::StagingLine> back = qg::readStagingLine(file);
    check(back && back->flags == flags && back->stamp == parsed->stamp);
  }
  return 0;
}
