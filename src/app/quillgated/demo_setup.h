// What `quillgated --demo` keeps in its home folder, made with the engine
// calls qgctl and the setup use: the built-in profiles, the filter profile
// "Demo" that sorts the sample mail, the list entries it reads (a white-listed
// and a black-listed sender, a spam expression), the box demo@example.com, and
// the maildrop of the built-in upstream server with a fresh copy of the sample
// messages for every run. Whatever is there already is kept, so a second run
// reuses the home and never deletes anything. Main thread, during start-up,
// before any worker runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qg::quillgated {

inline constexpr std::string_view kDemoAddress = "demo@example.com";
inline constexpr std::string_view kDemoUser = "demo";
inline constexpr std::string_view kDemoPassword = "demo";
inline constexpr std::string_view kDemoProfileName = "Demo";
// The upstream server's maildrop, a folder of the home laid out like a box
// folder: its messages are the "%08d.msg" files of its IN folder.
inline constexpr std::string_view kUpstreamFolderName = "upstream";

// The demo box as it is stored (a reused box keeps the user's changes).
struct DemoBox {
  int number = 0;
  std::string folder;
  // Fields 5 and 6: the log-in at the upstream server and at the local one.
  std::string user;
  std::string password;
};

// Makes sure home holds the profiles, the list entries and the demo box,
// each made only when missing (a damaged list is left alone and gets no
// entries). The box, or nullopt with problem saying what failed.
std::optional<DemoBox> prepareDemoHome(const std::string& home, std::string& problem);

// Adds one copy of every sample message to the upstream maildrop (created
// when missing) under the next free numbers, with CR LF line ends and a
// first header line "Message-ID: <...>" unique to run, so that the fetcher
// stages them as new mail. Returns the Message-ID values in file order, or
// nullopt when a file could not be written.
std::optional<std::vector<std::string>> seedUpstream(const std::string& folder,
                                                     std::string_view run);

// Points the box's POP3 server (fields 3 and 4) at 127.0.0.1:port. False
// when box.log cannot be loaded or saved.
bool pointBoxAt(const std::string& home, int box, int port);

}  // namespace qg::quillgated
