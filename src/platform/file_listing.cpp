#include "platform/file_listing.h"

#include <dirent.h>

#include "platform/file.h"
#include "platform/folder_listing.h"

namespace qg::platform {
namespace {

enum class Keep { kFiles, kFolders };

// The one readdir loop behind both listings. A link counts as what it points
// to only for the folder listing; the file listing keeps links as they are,
// since it promises only entries that are not folders themselves.
bool listNames(const std::string& folder, Keep keep, std::vector<std::string>& names,
               std::size_t limit) {
  names.clear();
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (names.size() < limit) {
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool isFolder = entry->d_type == DT_DIR;
    // Some file systems do not fill in the type: ask for it.
    if (entry->d_type == DT_UNKNOWN || (keep == Keep::kFolders && entry->d_type == DT_LNK)) {
      isFolder = isDirectory(folder + "/" + name);
    }
    if (isFolder != (keep == Keep::kFolders)) continue;
    names.push_back(name);
  }
  ::closedir(dir);
  return true;
}

}  // namespace

bool listFileNames(const std::string& folder, std::vector<std::string>& names, std::size_t limit) {
  return listNames(folder, Keep::kFiles, names, limit);
}

bool listFolderNames(const std::string& folder, std::vector<std::string>& names,
                     std::size_t limit) {
  return listNames(folder, Keep::kFolders, names, limit);
}

}  // namespace qg::platform
