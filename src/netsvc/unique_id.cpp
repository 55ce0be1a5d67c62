#include "netsvc/unique_id.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <memory>

#include "netsvc/lone_dot_lines.h"
#include "text/hex_digits.h"

namespace qg {

std::string messageUniqueId(int n, FileHandle& file) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  &EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 || !file.seek(0))
    return {};
  std::array<char, 65536> buffer;
  for (;;) {
    const long got = file.read(buffer.data(), buffer.size());
    if (got < 0) return {};
    if (got == 0) break;
    if (EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(got)) != 1)
      return {};
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1 || length * 2 < kUniqueIdDigestDigits)
    return {};
  char number[16];
  std::snprintf(number, sizeof number, "%08d.", n);
  std::string id = number;
  appendLowerHex(id, std::span<const std::uint8_t>(digest, kUniqueIdDigestDigits / 2));
  return id;
}

std::string UniqueIds::idFor(const std::string& path, int n) {
  // Blanking changes the file's time, so the status to compare with is the
  // file's present one, not the one it had when the maildrop was scanned.
  platform::FileStatus present;
  if (const auto it = known_.find(path);
      it != known_.end() && platform::fileStatus(path, present) && it->second.status == present)
    return it->second.id;
  FileHandle file;
  if (!openExisting(path, file) || blankLoneDots(file) < 0) return {};
  std::string id = messageUniqueId(n, file);
  file.close();
  platform::FileStatus now;
  if (id.empty() || !platform::fileStatus(path, now)) return id;
  if (known_.size() >= kRememberLimit) known_.clear();
  known_[path] = Known{now, id};
  return id;
}

}  // namespace qg
