#include "retrieval/apop_digest.h"

#include <openssl/evp.h>

#include <memory>

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
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    text.push_back(kHex[digest[i] >> 4]);
    text.push_back(kHex[digest[i] & 0x0F]);
  }
  return text;
}

}  // namespace qg
