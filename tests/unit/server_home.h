// A home folder with one valid box for the local-server tests and fuzz
// targets: box 1, address user@example.com, server user "bob", password
// "secret", with the built-in profiles; the shared writers the servers use.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/box_setup.h"
#include "engine/filter_profile.h"
#include "engine/history_file.h"
#include "engine/mail_store.h"
#include "engine/protocol_file.h"
#include "netsvc/pop3_session.h"
#include "netsvc/smtp_session.h"
#include "netsvc/unique_id.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {

struct ServerHome {
  static constexpr const char* kAddress = "user@example.com";
  static constexpr const char* kUser = "bob";
  static constexpr const char* kPassword = "secret";

  ServerHome() {
    ensureBuiltinProfiles(folder.root());
    NewBoxOptions options;
    options.user = kUser;
    options.password = kPassword;
    box = createBox(folder.root(), kAddress, options);
    boxDir = boxDirectory(folder.root(), box);
  }

  const std::string& home() const { return folder.root(); }
  std::string inFile(int n) const { return messagePath(boxDir, n); }
  std::string outFile(int n) const {
    char name[32];
    std::snprintf(name, sizeof name, "/OUT/%08d.msg", n);
    return boxDir + name;
  }

  PopServerContext popContext() { return {home(), home(), history, protocol, uniqueIds}; }
  SmtpServerContext smtpContext() { return {home(), home(), protocol}; }

  TestFolder folder;
  int box = 0;
  std::string boxDir;
  HistoryWriter history;
  ProtocolWriter protocol;
  UniqueIds uniqueIds;
};

// For fuzz targets: one home for many runs, replaced every runsPerHome runs
// so that the logs of earlier runs stay small. It lies on a memory file
// system where there is one, since the logs are flushed to disk at each event.
inline ServerHome& recycledServerHome(int runsPerHome) {
  static std::unique_ptr<ServerHome> current;
  static int runs = 0;
  if (!current || ++runs % runsPerHome == 0) {
    if (std::filesystem::is_directory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 1);
    current.reset();
    current = std::make_unique<ServerHome>();
  }
  return *current;
}

}  // namespace qg
