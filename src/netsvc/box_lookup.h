// Which box a local server's client means: the POP3 log-in (user name or
// address, and password) and the SMTP sender address. Both walk every valid
// box of the store in ascending number and take the first that fits. Called on
// the server threads; reads "box.log" files only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qg {

// The first valid box whose server user name (field 5) or address (field 15)
// equals user, letter case aside, and whose password (field 6) equals password
// byte for byte. Empty when user or password is empty or no box fits.
std::optional<int> findLoginBox(const std::string& storeDir, std::string_view user,
                                std::string_view password);

// The first valid box whose address (field 15) equals address, letter case
// aside, provided its OUT folder is a folder this process may write in.
// Empty when there is none.
std::optional<int> findSendingBox(const std::string& storeDir, std::string_view address);

}  // namespace qg
