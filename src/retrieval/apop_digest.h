// The APOP log-in digest: MD5 of the server's time stamp followed by the
// password, as 32 lower-case hexadecimal digits. Pure; callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace qg {

// The digest of timestamp (from "<" to ">" inclusive) directly followed by
// password; inputs of any length. Empty only when the digest library fails.
std::string apopDigest(std::string_view timestamp, std::string_view password);

}  // namespace qg
