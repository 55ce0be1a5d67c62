// A fresh temporary folder for one test or benchmark, removed with everything in it.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qg {

class TestFolder {
 public:
  // A new folder in parent (the system's temporary folder unless told).
  explicit TestFolder(
      const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
    std::string pattern = (parent / "qgtest.XXXXXX").string();
    root_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TestFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::string& root() const { return root_; }
  std::string path(const std::string& name) const { return root_ + "/" + name; }

 private:
  std::string root_;
};

}  // namespace qg
