// A home folder with one valid box for the local-server tests and fuzz
// targets: box 1, address user@example.com, server user "bob", password
// "secret", with the built-in profiles; the shared writers the servers use.
#pragma once

#include <cstdio>
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

}  // namespace qg
