#include "platform/folder_listing.h"

#include <dirent.h>
#include <unistd.h>

#include "platform/file.h"

namespace qg::platform {

bool listFolderNames(const std::string& folder, std::vector<std::string>& names,
                     std::size_t limit) {
  names.clear();
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (names.size() < limit) {
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (entry->d_type != DT_DIR) {
      // Links and file systems that do not fill in the type: ask for it.
      if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) continue;
      if (!isDirectory(folder + "/" + name)) continue;
    }
    names.push_back(name);
  }
  ::closedir(dir);
  return true;
}

bool removeEmptyFolder(const std::string& path) {
  return !path.empty() && ::rmdir(path.c_str()) == 0;
}

}  // namespace qg::platform
