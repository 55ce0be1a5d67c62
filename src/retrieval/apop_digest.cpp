#include "retrieval/apop_digest.h"

#include <openssl/evp.h>

#include <memory>

#include "text/hex_digits.h"

namespace qg {

std::string apopDigest(std::string_view timestamp, std::string_view password) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  &EVP_MD_CTX_free);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  // The two parts are fed one after the other, so no buffer limits their length.
  if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), timestamp.data(), timestamp.size()) != 1 ||
      EVP_DigestUpdate(context.get(), password.data(), password.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
    return {};
  }
  std::string text;
  appendLowerHex(text, std::span<const std::uint8_t>(digest, length));
  return text;
}

}  // namespace qg
