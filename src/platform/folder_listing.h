// Folders inside a folder: listing the subfolders of one folder (the store's
// "BOX_nnnn" boxes) and removing a folder once it is empty. Any thread; a
// listing is a snapshot, so a caller must still expect a listed folder to vanish.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qg::platform {

// Replaces names with the names (not paths) of the entries of folder that are
// folders (a link to a folder counts), in no particular order, without "."
// and "..". At most limit names are taken. False when the folder cannot be
// read (names is then empty).
bool listFolderNames(const std::string& folder, std::vector<std::string>& names,
                     std::size_t limit = 1'000'000);

// Removes path if it is an empty folder. True when it was removed; false when
// it is missing, not a folder, not empty, or may not be removed.
bool removeEmptyFolder(const std::string& path);

}  // namespace qg::platform
