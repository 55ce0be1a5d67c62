#include "retrieval/mail_socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace qg {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A listener on a kernel-chosen port and one client connected to it.
struct Connected {
  MailSocket listener;
  MailSocket client;
  MailSocket server;

  Connected() {
    EXPECT_TRUE(listener.listenLoopback(0));
    EXPECT_TRUE(client.connect("127.0.0.1", listener.localPort()));
    EXPECT_EQ(listener.acceptWaiting(server), 1);
  }
};

TEST(MailSocket, SendsAndReceivesOverLoopback) {
  Connected link;
  EXPECT_EQ(link.client.sendText("USER someone\r\n"), 14);
  std::string got;
  EXPECT_EQ(link.server.receiveText(got), 14);
  EXPECT_EQ(got, "USER someone\r\n");

  // A large send goes out whole, chunk by chunk, while the peer reads.
  std::string big(1 << 20, 'x');
  std::thread reader([&] {
    std::size_t total = 0;
    char buffer[4096];
    while (total < big.size()) {
      long n = link.server.receive(buffer);
      if (n <= 0) break;
      total += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(total, big.size());
  });
  EXPECT_EQ(link.client.sendText(big), static_cast<long>(big.size()));
  reader.join();

  link.server.close();
  EXPECT_EQ(link.client.receiveText(got), -1);  // closed: nothing arrived
  char one[1];
  EXPECT_EQ(link.client.receive(one), 0);
}

TEST(MailSocket, AcceptWaitingReportsNothingWhenNoOneConnects) {
  MailSocket listener;
  ASSERT_TRUE(listener.listenLoopback(0));
  MailSocket into;
  auto start = Clock::now();
  EXPECT_EQ(listener.acceptWaiting(into), 0);
  EXPECT_FALSE(into.isOpen());
  EXPECT_LT(secondsSince(start), 3.0);
}

TEST(MailSocket, SilentPeerFailsAtTheDeadline) {
  Connected link;
  link.client.timeoutSeconds = 1;
  std::string got;
  auto start = Clock::now();
  EXPECT_EQ(link.client.receiveText(got), -1);
  EXPECT_EQ(link.client.lastError(), SocketError::TimedOut);
  EXPECT_GE(secondsSince(start), 0.9);
  EXPECT_LT(secondsSince(start), 2.5);
}

TEST(MailSocket, StopFlagEndsTheWaitOnlyWhileABoxIsFetched) {
  for (int box : {3, 0}) {
    SCOPED_TRACE(box);
    Connected link;
    EngineFlags flags;
    flags.set(flag::kFetcherBox, box);
    link.client.flags = &flags;
    link.client.timeoutSeconds = 10;
    std::thread peer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      flags.set(flag::kFetcherStop, 1);
      // Late data: reaches a receive that did not stop (after its 2 s wake-up).
      std::this_thread::sleep_for(std::chrono::milliseconds(2300));
      link.server.sendText("+OK\r\n");
    });
    std::string got;
    auto start = Clock::now();
    long n = link.client.receiveText(got);
    double elapsed = secondsSince(start);
    peer.join();
    if (box != 0) {
      EXPECT_EQ(n, -1);
      EXPECT_EQ(link.client.lastError(), SocketError::Interrupted);
      EXPECT_LT(elapsed, 2.3);
    } else {
      EXPECT_EQ(n, 5);
      EXPECT_EQ(got, "+OK\r\n");
    }
  }
}

// A peer that never pauses gives the receive no wait to wake up from: the stop
// must still end the transfer, not let it run to its end.
TEST(MailSocket, StopEndsATransferWhoseDataKeepsComing) {
  Connected link;
  EngineFlags flags;
  flags.set(flag::kFetcherBox, 1);
  link.client.flags = &flags;
  std::atomic<bool> done{false};
  std::thread peer([&] {
    std::string chunk(64 * 1024, 'x');
    while (!done && link.server.sendText(chunk) > 0) {
    }
  });
  char buffer[4096];
  long total = 0;
  auto start = Clock::now();
  long n;
  while ((n = link.client.receive(buffer)) > 0 && secondsSince(start) < 3.0) {
    total += n;
    if (total > (1 << 20)) flags.set(flag::kFetcherStop, 1);
    // The reader is the slower side: every receive finds data waiting.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  EXPECT_EQ(n, -1);
  EXPECT_EQ(link.client.lastError(), SocketError::Interrupted);
  EXPECT_LT(secondsSince(start), 2.0);
  done = true;
  link.client.close();
  peer.join();
}

TEST(MailSocket, SecondCallWhileWaitingFailsAtOnce) {
  Connected link;
  link.client.timeoutSeconds = 2;
  std::thread waiting([&] {
    std::string got;
    EXPECT_EQ(link.client.receiveText(got), 5);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  auto start = Clock::now();
  EXPECT_EQ(link.client.sendText("NOOP\r\n"), -1);
  EXPECT_EQ(link.client.lastError(), SocketError::InProgress);
  EXPECT_LT(secondsSince(start), 0.5);
  link.server.sendText("+OK\r\n");
  waiting.join();
}

TEST(MailSocket, ConnectFailuresAreBounded) {
  // A closed port refuses at once.
  int closedPort;
  {
    MailSocket probe;
    ASSERT_TRUE(probe.listenLoopback(0));
    closedPort = probe.localPort();
  }
  MailSocket refused;
  EXPECT_FALSE(refused.connect("127.0.0.1", closedPort));
  EXPECT_EQ(refused.lastError(), SocketError::Failed);
  EXPECT_FALSE(refused.connect("127.0.0.1", 0));

  // A listener whose queue is full drops further SYNs, like a host that
  // swallows them: the connect gives up at its deadline.
  platform::TcpSocket full;
  ASSERT_TRUE(full.listenLoopback(0, 0));
  std::vector<MailSocket> queued(4);
  for (auto& socket : queued) {
    socket.timeoutSeconds = 1;
    socket.connect("127.0.0.1", full.localPort());
  }
  MailSocket swallowed;
  swallowed.timeoutSeconds = 1;
  auto start = Clock::now();
  EXPECT_FALSE(swallowed.connect("127.0.0.1", full.localPort()));
  EXPECT_EQ(swallowed.lastError(), SocketError::TimedOut);
  EXPECT_LT(secondsSince(start), 2.5);
}

}  // namespace
}  // namespace qg
