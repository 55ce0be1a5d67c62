#include "platform/home_folder.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>

#include "platform/file.h"

namespace qg::platform {

namespace {

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

}  // namespace

HomeEnvironment currentHomeEnvironment() {
  return HomeEnvironment{environmentValue("QUILLGATE_HOME"), environmentValue("XDG_DATA_HOME"),
                         environmentValue("HOME")};
}

std::string chooseHomeFolder(std::string_view option, const HomeEnvironment& environment,
                             HomeKind kind) {
  const bool demo = kind == HomeKind::Demo;
  const std::string_view name = demo ? "quillgate-demo" : "quillgate";
  std::filesystem::path chosen;
  if (!option.empty()) {
    chosen = std::filesystem::path(option);
  } else if (!demo && !environment.quillgateHome.empty()) {
    chosen = environment.quillgateHome;
  } else if (!environment.xdgDataHome.empty()) {
    chosen = std::filesystem::path(environment.xdgDataHome) / name;
  } else if (!environment.userHome.empty()) {
    chosen = std::filesystem::path(environment.userHome) / ".local/share" / name;
  } else {
    return {};
  }
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(chosen, error);
  if (error) absolute = chosen;
  std::string text = absolute.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

HomeFolder prepareHomeFolder(std::string_view option, const HomeEnvironment& environment,
                             HomeKind kind) {
  HomeFolder home;
  home.path = chooseHomeFolder(option, environment, kind);
  if (home.path.empty()) {
    home.status = HomeStatus::NotChosen;
  } else if (home.path.size() > kHomePathLimit) {
    home.status = HomeStatus::TooLong;
  } else if (isRegularOrOther(home.path)) {
    home.status = HomeStatus::NotAFolder;
  } else if (isDirectory(home.path)) {
    home.status = HomeStatus::Ready;
  } else if (!makeDirectories(home.path)) {
    home.status = HomeStatus::CannotCreate;
  } else {
    // A new home is private: it will hold box passwords and the user's mail.
    std::error_code ignored;
    std::filesystem::permissions(home.path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ignored);
    home.status = HomeStatus::Ready;
  }
  return home;
}

std::string homeProblem(const HomeFolder& home) {
  switch (home.status) {
    case HomeStatus::Ready:
      return {};
    case HomeStatus::NotChosen:
      return "no home folder: give --home DIR or set QUILLGATE_HOME or HOME";
    case HomeStatus::TooLong:
      return "home folder path longer than " + std::to_string(kHomePathLimit) +
             " bytes: " + home.path;
    case HomeStatus::NotAFolder:
      return "home folder is not a directory: " + home.path;
    case HomeStatus::CannotCreate:
      return "cannot create the home folder: " + home.path;
  }
  return {};
}

std::string executableFolder() {
  std::array<char, 4096> buffer{};
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
  const std::string path(buffer.data(), static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace qg::platform
