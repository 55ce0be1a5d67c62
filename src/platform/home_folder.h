// The home folder: the directory that holds the agent's settings, store and
// logs. Chosen at start-up from the command line, the environment or the XDG
// data folder, and created when missing. Main thread, before any worker runs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qg::platform {

// The longest home path accepted: the engine keeps the program directory in a
// 512-byte buffer (511 bytes and a zero). A longer path would be cut into
// another folder's name, so it is refused instead.
inline constexpr std::size_t kHomePathLimit = 511;

// The environment values the choice looks at; an unset variable is empty.
struct HomeEnvironment {
  std::string quillgateHome;  // $QUILLGATE_HOME
  std::string xdgDataHome;    // $XDG_DATA_HOME
  std::string userHome;       // $HOME
};

// The environment of this process.
HomeEnvironment currentHomeEnvironment();

// Whose folder is chosen: the agent's, or the demo's, which must never be the
// user's real home folder.
enum class HomeKind { Agent, Demo };

// The folder to use: option (--home) when not empty, else $QUILLGATE_HOME,
// else $XDG_DATA_HOME/quillgate, else $HOME/.local/share/quillgate. For the
// demo: option, else $XDG_DATA_HOME/quillgate-demo, else
// $HOME/.local/share/quillgate-demo ($QUILLGATE_HOME names the real home, so
// it is passed over). A relative choice is made absolute against the working
// directory; "." and ".." parts and trailing "/" are removed. Empty when
// nothing applies (no $HOME).
std::string chooseHomeFolder(std::string_view option, const HomeEnvironment& environment,
                             HomeKind kind = HomeKind::Agent);

enum class HomeStatus {
  Ready,         // the folder exists (created if it was missing)
  NotChosen,     // no option, no variable and no $HOME
  TooLong,       // longer than kHomePathLimit
  NotAFolder,    // the path exists and is not a directory
  CannotCreate,  // the folder or one of its parents could not be created
};

struct HomeFolder {
  HomeStatus status = HomeStatus::NotChosen;
  std::string path;  // the chosen folder, also when status is not Ready
};

// Chooses the folder as chooseHomeFolder does and creates it when missing
// (a folder created here is readable by its owner only).
HomeFolder prepareHomeFolder(std::string_view option, const HomeEnvironment& environment,
                             HomeKind kind = HomeKind::Agent);

// One line for a user on why status is not Ready ("" for Ready).
std::string homeProblem(const HomeFolder& home);

// The directory of the running executable (from /proc/self/exe), or "" when
// it cannot be read. Shipped resources are looked up relative to it.
std::string executableFolder();

}  // namespace qg::platform
