#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "netsvc/local_pop_server.h"
#include "netsvc/local_smtp_server.h"
#include "platform/notice.h"
#include "retrieval/mail_socket.h"
#include "server_home.h"

namespace qg {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// One server worker on a kernel-chosen port, in a thread of its own, stopped
// through its flag when the test ends.
class RunningServer {
 public:
  enum class Kind { Pop3, Smtp };

  RunningServer(ServerHome& home, Kind kind, LocalServerSettings settings) : kind_(kind) {
    state_.paths.setProgramDir(home.home());
    state_.paths.setStoreDir(home.home());
    settings.onListening = [this](int port) {
      std::call_once(listened_, [&] { listening_.set_value(port); });
    };
    auto port = listening_.get_future();
    thread_ = std::thread([this, &home, settings] {
      if (kind_ == Kind::Pop3)
        runLocalPopServer(state_, home.history, home.protocol, settings);
      else
        runLocalSmtpServer(state_, home.protocol, settings);
    });
    if (port.wait_for(10s) == std::future_status::ready) port_ = port.get();
  }
  ~RunningServer() { stop(); }

  int port() const { return port_; }
  // Sets the stop flag and waits for the worker; the seconds it took.
  double stop() {
    const auto start = Clock::now();
    state_.flags.set(kind_ == Kind::Pop3 ? flag::kPop3Stop : flag::kSmtpStop, 1);
    if (thread_.joinable()) thread_.join();
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

 private:
  Kind kind_;
  EngineState state_;
  std::promise<int> listening_;
  std::once_flag listened_;
  int port_ = 0;
  std::thread thread_;
};

// A client that reads whole replies (up to their CR LF).
struct Client {
  explicit Client(int port) {
    socket.timeoutSeconds = 5;
    connected = socket.connect("127.0.0.1", port);
  }
  std::string line() {
    std::string got;
    char c;
    while (got.find("\r\n") == std::string::npos && socket.receive({&c, 1}) == 1) got += c;
    return got;
  }
  MailSocket socket;
  bool connected = false;
};

LocalServerSettings quickSettings() {
  LocalServerSettings settings;
  settings.port = 0;
  settings.silenceLimit = 2s;
  settings.listenRetry = 100ms;
  return settings;
}

TEST(LocalServers, OneClientAtATimeTheNextWaitsAndIsServed) {
  ServerHome home;
  RunningServer server(home, RunningServer::Kind::Pop3, quickSettings());
  ASSERT_NE(server.port(), 0);
  Client first(server.port());
  ASSERT_TRUE(first.connected);
  EXPECT_EQ(first.line(), "+OK POP3 server ready\r\n");
  Client second(server.port());
  ASSERT_TRUE(second.connected);
  second.socket.timeoutMilliseconds = 300;
  EXPECT_EQ(second.line(), "");  // waits while the first is served
  first.socket.sendText("USER bob\r\nPASS secret\r\nQUIT\r\n");
  first.line();
  first.line();
  EXPECT_EQ(first.line(), "+OK tamsk POP3 server signing off\r\n");
  second.socket.timeoutMilliseconds = 0;
  EXPECT_EQ(second.line(), "+OK POP3 server ready\r\n");
  // A client the server waits for is told when the server stops.
  EXPECT_LT(server.stop(), 1.5);
  EXPECT_EQ(second.line(), "-ERR maildrop already locked\r\n");
}

TEST(LocalServers, SilentClientLosesItsConnectionAndNothingIsDeleted) {
  ServerHome home;
  writeFile(home.inFile(0), "Subject: kept\r\n\r\nbody\r\n");
  LocalServerSettings settings = quickSettings();
  settings.silenceLimit = 150ms;
  RunningServer server(home, RunningServer::Kind::Pop3, settings);
  Client client(server.port());
  ASSERT_TRUE(client.connected);
  client.socket.sendText("USER bob\r\nPASS secret\r\nDELE 1\r\n");
  for (int i = 0; i < 4; ++i) client.line();
  const auto start = Clock::now();
  char byte;
  EXPECT_EQ(client.socket.receive({&byte, 1}), 0);  // the server closed
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.5);
  EXPECT_TRUE(std::filesystem::exists(home.inFile(0)));
}

// A client that stops reading in the middle of a large RETR does not hold
// the server's stop for the silence limit.
TEST(LocalServers, StopDuringARetrTheClientDoesNotReadEndsAtOnce) {
  ServerHome home;
  writeFile(home.inFile(0), "Subject: big\r\n\r\n" + std::string(48 << 20, 'x') + "\r\n");
  LocalServerSettings settings = quickSettings();
  settings.silenceLimit = 20s;
  RunningServer server(home, RunningServer::Kind::Pop3, settings);
  Client client(server.port());
  ASSERT_TRUE(client.connected);
  client.socket.sendText("USER bob\r\nPASS secret\r\nRETR 1\r\n");
  for (int i = 0; i < 4; ++i) client.line();  // greeting, USER, PASS, +OK of RETR
  std::this_thread::sleep_for(300ms);         // the server now waits to send more
  EXPECT_LT(server.stop(), 1.5);
}

TEST(LocalServers, APortInUseIsReportedOnceAndTriedAgain) {
  static std::vector<std::string> notices;
  notices.clear();
  const platform::NoticeHook previous = platform::setNoticeHook(
      [](std::string_view, std::string_view text) { notices.emplace_back(text); });
  ServerHome home;
  auto blocker = std::make_unique<MailSocket>();
  ASSERT_TRUE(blocker->listenLoopback(0));
  LocalServerSettings settings = quickSettings();
  settings.port = blocker->localPort();
  std::thread release([&] {
    std::this_thread::sleep_for(400ms);
    blocker.reset();
  });
  RunningServer server(home, RunningServer::Kind::Smtp, settings);
  release.join();
  platform::setNoticeHook(previous);
  ASSERT_EQ(server.port(), settings.port);
  EXPECT_EQ(notices.size(), 1u);
  std::vector<ProtocolRecord> records;
  for (const auto& entry : std::filesystem::directory_iterator(home.home()))
    if (entry.path().extension() == ".prt") readProtocolFile(entry.path().string(), records);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].type, kProtocolCannotListen);
  Client client(server.port());
  EXPECT_EQ(client.line(), "220 localhost Simple Mail Transfer Service Ready\r\n");
}

}  // namespace
}  // namespace qg
