// Record files from hostile bytes. The first input byte picks the case:
// even - the rest is the whole file, read by the container and the store;
// odd  - the rest is a payload, stored in a valid container, so the field walk
//        and the setters see arbitrary records.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/file_primitives.h"
#include "engine/record_file.h"
#include "engine/scrambled_file.h"
#include "platform/notice.h"

namespace {

constexpr char kName[] = "f_0001.log";

// One folder for the whole run, removed at exit.
struct Folder {
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qgfuzz.XXXXXX").string();
    path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    qg::platform::setNoticeHook([](std::string_view, std::string_view) {});
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void walk(const qg::RecordFile& store) {
  for (const qg::StoredField& field : store.fields()) {
    store.getText(field.number);
    store.getInt64(field.number);
    check(store.typeOf(field.number).has_value());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Folder folder;
  if (size == 0 || folder.path.empty()) return 0;
  const bool payloadCase = (data[0] & 1) != 0;
  const std::span<const std::uint8_t> rest(data + 1, size - 1);

  qg::RecordFile store;
  store.setDirectory(folder.path);
  store.setName(kName);
  if (payloadCase) {
    check(qg::scrambledWrite(folder.path, kName, "", rest) == 0);
    check(store.load());
    walk(store);
    const std::uint32_t field = size > 2 ? data[1] % 16 : 0;
    const std::int64_t result = store.setInt(static_cast<std::int32_t>(size), field);
    if (result >= 0) check(store.getInt(field) == static_cast<std::int32_t>(size));
    const std::int64_t added = store.addText("fuzz");
    if (added >= 0) check(store.getText(static_cast<std::uint32_t>(added)) == "fuzz");
    check(store.save());
    check(store.load());
    walk(store);
    return 0;
  }

  {
    qg::FileHandle file;
    check(qg::openExclusive(folder.path + "/" + kName, file));
    check(file.truncate(0) && file.seek(0) && qg::writeBytes(file, rest));
  }
  qg::scrambledProbe(folder.path, kName, "");
  std::vector<std::uint8_t> payload;
  const std::int64_t n = qg::scrambledRead(folder.path, kName, "", payload);
  check(n < 0 ? payload.empty() : payload.size() == static_cast<std::size_t>(n));
  check(payload.size() <= rest.size());
  store.load();
  walk(store);
  const std::uint8_t patch[4] = {1, 2, 3, 4};
  qg::scrambledPatch(folder.path, kName, "", size > 2 ? data[1] : 0, patch);
  store.load();
  walk(store);
  return 0;
}
