// The header comparison of two staged messages on hostile bytes: the input is
// split into two message texts (the first byte chooses where), each is put
// behind a record line in a memory file, and the files are compared both
// ways and each with a copy of itself. The first byte's two top bits also put
// the mark bits into the first file's record line, as the analysis leaves a
// message it marked for delivery. The answer must not depend on the order, a
// text must equal its copy, and nothing may be read out of bounds.
#include <sys/mman.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/file_primitives.h"
#include "engine/staging_line.h"
#include "retrieval/staged_header.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// A memory file reached by a path, as the comparison opens its files by name.
struct MemoryFile {
  MemoryFile() : file(::memfd_create("staged", MFD_CLOEXEC)) {
    path = "/proc/self/fd/" + std::to_string(file.fd());
  }
  // flags: the record line's flag word; 0 leaves the line blank (not valid).
  void fill(std::string_view text, std::uint32_t flags = 0) {
    std::string line(qg::kStagingLineBytes, ' ');
    if (flags != 0) {
      qg::StagingLine fields;
      fields.flags = flags;
      const qg::StagingLineBytes bytes = qg::formatStagingLine(fields);
      line.assign(bytes.data(), bytes.size());
    }
    check(file.truncate(0) && file.seek(0) && qg::writeText(file, line) &&
          qg::writeText(file, text));
  }
  qg::FileHandle file;
  std::string path;
};

std::array<MemoryFile, 3>& files() {
  static std::array<MemoryFile, 3> made;
  return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = data[0] % (input.size() + 1);
  const std::string_view first = input.substr(0, split);
  const std::string_view second = input.substr(split);
  const std::uint32_t marks = ((data[0] & 0x80) != 0 ? qg::staging::kSubjectMarked : 0) |
                              ((data[0] & 0x40) != 0 ? qg::staging::kVerdictLineAdded : 0);
  auto& [a, b, copy] = files();
  a.fill(first, marks);
  b.fill(second);
  copy.fill(first);
  check(qg::sameStagedHeader(a.path, b.path) == qg::sameStagedHeader(b.path, a.path));
  check(qg::sameStagedHeader(a.path, copy.path));
  return 0;
}
