// An in-process POP3 server on a kernel-chosen loopback port, for tests and
// benchmarks of the mail fetcher: mailboxes that the test changes between
// sessions (messages deleted or renumbered as another client would), USER/PASS
// and APOP log-in, STAT, LIST n, TOP n 0, RETR n, NOOP and QUIT, and the
// faults no real server produces on demand. It serves one session at a time on
// its own thread; every method may be called from the test's thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "retrieval/apop_digest.h"
#include "retrieval/mail_socket.h"

namespace qg::fakes {

// What the server does wrong, on purpose.
struct PopFaults {
  std::optional<std::string> greeting;  // sent instead of "+OK ...\r\n"
  std::optional<std::string> statReply;
  std::map<int, std::string> listSize;  // message number -> size word of its LIST answer
  // A TOP or RETR answer is cut after this many bytes and the session closed.
  std::optional<std::size_t> cutTransferAfter;
};

class FakePopServer {
 public:
  static constexpr const char* kStamp = "<4711.1@fake.example>";

  FakePopServer() {
    listener_.listenLoopback(0);
    thread_ = std::thread([this] { serve(); });
  }
  ~FakePopServer() {
    done_ = true;
    // Wakes the accept at once instead of at its next time-out.
    MailSocket poke;
    poke.timeoutSeconds = 1;
    poke.connect("127.0.0.1", port());
    thread_.join();
  }
  FakePopServer(const FakePopServer&) = delete;
  FakePopServer& operator=(const FakePopServer&) = delete;

  int port() const { return listener_.localPort(); }

  // The mailbox of user (created when new), messages in server order as they
  // travel (CR LF line ends; the server adds the dot-stuffing).
  void setMailbox(const std::string& user, const std::string& password,
                  std::vector<std::string> messages) {
    std::lock_guard lock(mutex_);
    boxes_[user] = Box{password, std::move(messages)};
  }
  void setMessages(const std::string& user, std::vector<std::string> messages) {
    std::lock_guard lock(mutex_);
    boxes_[user].messages = std::move(messages);
  }
  std::vector<std::string> messages(const std::string& user) {
    std::lock_guard lock(mutex_);
    return boxes_[user].messages;
  }
  void setFaults(PopFaults faults) {
    std::lock_guard lock(mutex_);
    faults_ = std::move(faults);
  }
  // The greeting offers a time stamp for APOP.
  void offerApop(bool offer) { apop_ = offer; }

  // Every command line received, in order, over all sessions.
  std::vector<std::string> commands() {
    std::lock_guard lock(mutex_);
    return commands_;
  }
  int logins(const std::string& user) {
    std::lock_guard lock(mutex_);
    return logins_[user];
  }
  int sessions() const { return sessions_; }

  // The wire form of a message: a "." that begins a line is doubled.
  static std::string dotStuffed(const std::string& message) {
    std::string out;
    out.reserve(message.size() + 16);
    bool lineStart = true;
    for (char c : message) {
      if (lineStart && c == '.') out.push_back('.');
      out.push_back(c);
      lineStart = c == '\n';
    }
    return out;
  }
  // What TOP n 0 gives: the header up to and including the empty line, or the
  // whole message when it has none.
  static std::string headerOf(const std::string& message) {
    std::size_t end = message.find("\r\n\r\n");
    return end == std::string::npos ? message : message.substr(0, end + 4);
  }

 private:
  struct Box {
    std::string password;
    std::vector<std::string> messages;
  };

  void serve() {
    while (!done_) {
      MailSocket peer;
      if (listener_.acceptWaiting(peer) != 1 || done_) continue;
      ++sessions_;
      peer.timeoutSeconds = 10;
      session(peer);
    }
  }

  bool readLine(MailSocket& peer, std::string& pending, std::string& line) {
    std::size_t lf;
    while ((lf = pending.find('\n')) == std::string::npos) {
      char buffer[4096];
      long n = peer.receive(buffer);
      if (n <= 0 || done_) return false;
      pending.append(buffer, static_cast<std::size_t>(n));
    }
    line = pending.substr(0, lf + 1);
    pending.erase(0, lf + 1);
    std::lock_guard lock(mutex_);
    commands_.push_back(line);
    return true;
  }

  void session(MailSocket& peer) {
    PopFaults faults;
    {
      std::lock_guard lock(mutex_);
      faults = faults_;
    }
    const std::string greeting =
        faults.greeting
            ? *faults.greeting
            : std::string("+OK fake ready") + (apop_ ? std::string(" ") + kStamp : "") + "\r\n";
    if (peer.sendText(greeting) < 0) return;
    std::string pending, line, user;
    std::vector<std::string> messages;
    bool in = false;
    while (readLine(peer, pending, line)) {
      const std::string verb = line.substr(0, line.find_first_of(" \r\n"));
      const auto arg = [&](int k) {
        std::size_t pos = 0;
        for (int i = 0; i <= k; ++i) {
          pos = line.find(' ', pos);
          if (pos == std::string::npos) return std::string();
          ++pos;
        }
        return line.substr(pos, line.find_first_of(" \r\n", pos) - pos);
      };
      const auto message = [&](int k) -> const std::string* {
        int n = std::atoi(arg(k).c_str());
        return in && n >= 1 && n <= static_cast<int>(messages.size())
                   ? &messages[static_cast<std::size_t>(n - 1)]
                   : nullptr;
      };
      std::string reply = "-ERR\r\n";
      if (verb == "USER") {
        user = arg(0);
        reply = "+OK\r\n";
      } else if (verb == "PASS" || verb == "APOP") {
        std::lock_guard lock(mutex_);
        auto box = boxes_.find(verb == "APOP" ? arg(0) : user);
        if (verb == "APOP") user = arg(0);
        const bool good =
            box != boxes_.end() &&
            (verb == "PASS" ? arg(0) == box->second.password
                            : apop_ && arg(1) == apopDigest(kStamp, box->second.password));
        if (good) {
          in = true;
          messages = box->second.messages;
          ++logins_[user];
          reply = "+OK logged in\r\n";
        }
      } else if (verb == "STAT" && in) {
        std::size_t total = 0;
        for (const auto& m : messages) total += m.size();
        reply = faults.statReply ? *faults.statReply
                                 : "+OK " + std::to_string(messages.size()) + " " +
                                       std::to_string(total) + "\r\n";
      } else if (verb == "LIST" && message(0)) {
        const int n = std::atoi(arg(0).c_str());
        auto forced = faults.listSize.find(n);
        reply = "+OK " + arg(0) + " " +
                (forced != faults.listSize.end() ? forced->second
                                                 : std::to_string(message(0)->size())) +
                "\r\n";
      } else if ((verb == "TOP" || verb == "RETR") && message(0)) {
        const std::string& m = *message(0);
        reply = "+OK\r\n" + dotStuffed(verb == "TOP" ? headerOf(m) : m) + ".\r\n";
        if (faults.cutTransferAfter && reply.size() > *faults.cutTransferAfter) {
          peer.sendText(reply.substr(0, *faults.cutTransferAfter));
          return;
        }
      } else if (verb == "NOOP" && in) {
        reply = "+OK\r\n";
      } else if (verb == "QUIT") {
        peer.sendText("+OK bye\r\n");
        return;
      }
      if (peer.sendText(reply) < 0) return;
    }
  }

  MailSocket listener_;
  std::thread thread_;
  std::atomic<bool> done_{false};
  std::atomic<bool> apop_{false};
  std::atomic<int> sessions_{0};
  std::mutex mutex_;
  std::map<std::string, Box> boxes_;
  PopFaults faults_;
  std::vector<std::string> commands_;
  std::map<std::string, int> logins_;
};

}  // namespace qg::fakes
