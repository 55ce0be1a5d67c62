// The remote-access (dial-up) connection the workers go online through. The
// mail fetcher polls, and the blocklist and address-validation workers look
// up, only while a connection is active; the fetcher may dial one and hang it
// up again. connected() may be called from any thread; dial() and hangUp()
// belong to the mail fetcher.
#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace qg::platform {

// What a dial needs: the phone-book entry, number, user and password of the
// box's filter profile.
struct DialRequest {
  std::string entry;
  std::string number;
  std::string user;
  std::string password;
};

class RemoteAccess {
 public:
  virtual ~RemoteAccess() = default;
  // True while a connection is active.
  virtual bool connected() const = 0;
  // Dials synchronously. True when it succeeded and a connection is active
  // afterwards. stopRequested (may be empty) cuts a hanging dial short.
  virtual bool dial(const DialRequest& request, const std::function<bool()>& stopRequested) = 0;
  // Ends the active connection (nothing happens when there is none).
  virtual void hangUp() = 0;
};

// The Linux layer. connected() is true unless offlineFile (the agent's
// --offline-file; empty: none) exists. dial() runs $QUILLGATE_DIAL_CMD with
// the entry, number, user and password as its four arguments (no shell) and
// succeeds when it ends with status 0 and the connection is active; with no
// command set it fails. hangUp() runs $QUILLGATE_HANGUP_CMD when set (ended
// after 30 s if it hangs). The
// environment is read by the constructor: build it on the starting thread.
class LinuxRemoteAccess : public RemoteAccess {
 public:
  explicit LinuxRemoteAccess(std::string offlineFile);
  LinuxRemoteAccess(std::string offlineFile, std::string dialCommand, std::string hangUpCommand);

  bool connected() const override;
  bool dial(const DialRequest& request, const std::function<bool()>& stopRequested) override;
  void hangUp() override;

 private:
  std::string offlineFile_;
  std::string dialCommand_;
  std::string hangUpCommand_;
};

// For tests: online unless told otherwise; a dial succeeds when dialSucceeds
// and then makes the fake online. Counts dials and hang-ups.
class FakeRemoteAccess : public RemoteAccess {
 public:
  bool connected() const override { return online.load(); }
  bool dial(const DialRequest& request, const std::function<bool()>& stopRequested) override;
  void hangUp() override;

  std::atomic<bool> online{true};
  std::atomic<bool> dialSucceeds{false};
  std::atomic<int> dials{0};
  std::atomic<int> hangUps{0};
  DialRequest lastDial;  // written by dial(); read it after the dialling thread ended
};

}  // namespace qg::platform
