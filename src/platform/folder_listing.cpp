#include "platform/folder_listing.h"

#include <unistd.h>

namespace qg::platform {

// listFolderNames shares the readdir loop of listFileNames in file_listing.cpp.

bool removeEmptyFolder(const std::string& path) {
  return !path.empty() && ::rmdir(path.c_str()) == 0;
}

}  // namespace qg::platform
