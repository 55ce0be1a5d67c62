// Listing the names in one folder: the file-name searches ("*.hst", "f_*.log")
// that the engine runs over the program directory. Any thread; the result is
// a snapshot, so a caller must still expect a listed file to vanish.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qg::platform {

// Replaces names with the names (not paths) of the entries of folder that are
// not folders themselves, in no particular order, without "." and "..".
// At most limit names are taken. False when the folder cannot be read (names
// is then empty).
bool listFileNames(const std::string& folder, std::vector<std::string>& names,
                   std::size_t limit = 1'000'000);

}  // namespace qg::platform
