#include "platform/file_listing.h"

#include <dirent.h>

#include "platform/file.h"

namespace qg::platform {

bool listFileNames(const std::string& folder, std::vector<std::string>& names, std::size_t limit) {
  names.clear();
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (names.size() < limit) {
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (entry->d_type == DT_DIR) continue;
    // Some file systems do not fill in the type: ask for it.
    if (entry->d_type == DT_UNKNOWN && isDirectory(folder + "/" + name)) continue;
    names.push_back(name);
  }
  ::closedir(dir);
  return true;
}

}  // namespace qg::platform
