#include "retrieval/pop3_client.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/file_primitives.h"
#include "retrieval/apop_digest.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

// An in-process POP3 server on a kernel-chosen port: sends the greeting, then
// one scripted reply per command line it receives, then ends its sending side,
// reads one more command and closes. commands() waits for the end of the conversation.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::vector<std::string> script) : script_(std::move(script)) {
    EXPECT_TRUE(listener_.listenLoopback(0));
    thread_ = std::thread([this] { run(); });
  }
  ~ScriptedServer() { stop(); }
  int port() const { return listener_.localPort(); }
  const std::vector<std::string>& commands() {
    stop();
    return commands_;
  }

 private:
  void stop() {
    if (thread_.joinable()) thread_.join();
  }
  void run() {
    MailSocket peer;
    for (int tries = 0; tries < 5 && !peer.isOpen(); ++tries) listener_.acceptWaiting(peer);
    if (!peer.isOpen()) return;
    peer.timeoutSeconds = 5;
    std::string received;
    auto readCommand = [&] {
      std::size_t lf;
      while ((lf = received.find('\n')) == std::string::npos) {
        char buffer[256];
        long n = peer.receive(buffer);
        if (n <= 0) return false;
        received.append(buffer, static_cast<std::size_t>(n));
      }
      commands_.push_back(received.substr(0, lf + 1));
      received.erase(0, lf + 1);
      return true;
    };
    for (std::size_t i = 0; i < script_.size(); ++i) {
      if (i > 0 && !readCommand()) return;
      if (peer.sendText(script_[i]) < 0) return;
    }
    // The server has said all it will: a client still reading sees the end of
    // the stream at once. The command that finds the script at its end is
    // recorded before closing.
    peer.shutdownSend();
    if (!script_.empty()) readCommand();
  }

  std::vector<std::string> script_;
  MailSocket listener_;
  std::vector<std::string> commands_;
  std::thread thread_;
};

// Each case runs with whole receives and with one byte per receive.
constexpr std::size_t kDeliveries[] = {ReplyReader::kReceiveLimit, 1};

// The expected digest was computed independently with md5sum.
TEST(ApopDigest, MatchesTheKnownExampleAndTakesLongInput) {
  EXPECT_EQ(apopDigest("<1896.697170952@dbc.mindspring.com>", "tanstaaf"),
            "3bb2a25fc1387c60fe0f855905965be0");
  std::string longPassword(400, 'p');
  EXPECT_EQ(apopDigest("<a>", longPassword).size(), 32u);
  EXPECT_NE(apopDigest("<a>", longPassword), apopDigest("<a>", longPassword + "p"));
}

struct LoginCase {
  const char* name;
  std::vector<std::string> script;
  int options;
  int wantResult;
  std::vector<std::string> wantCommands;
};

const char kStampGreeting[] = "+OK POP3 server ready <1896.697170952@dbc.mindspring.com>\r\n";
const char kApopCommand[] = "APOP mrose 3bb2a25fc1387c60fe0f855905965be0\r\n";

TEST(PopClient, LoginFromTranscripts) {
  const LoginCase cases[] = {
      {"ApopChosenWhenOffered", {kStampGreeting, "+OK maildrop ready\r\n"}, 33, 0, {kApopCommand}},
      {"ApopRequiredAndOffered", {kStampGreeting, "+OK\r\n"}, 16, 0, {kApopCommand}},
      {"UserPassWithoutStamp",
       {"+OK ready\r\n", "+OK\r\n", "+OK logged in\r\n"},
       33,
       0,
       {"USER mrose\r\n", "PASS tanstaaf\r\n"}},
      {"UserPassWhenApopNotAsked",
       {kStampGreeting, "+OK\r\n", "+OK\r\n"},
       0,
       0,
       {"USER mrose\r\n", "PASS tanstaaf\r\n"}},
      {"ApopRequiredWithoutStamp", {"+OK ready\r\n"}, 16, -3, {}},
      {"EmptyBracketsAreNoStamp", {"+OK ready <>\r\n"}, 16, -3, {}},
      {"EmptyBracketsLeadToUserPass",
       {"+OK ready <>\r\n", "+OK\r\n", "+OK\r\n"},
       33,
       0,
       {"USER mrose\r\n", "PASS tanstaaf\r\n"}},
      {"LowerCaseStatusWord",
       {"+ok ready\r\n", "+ok\r\n", "+oK\r\n"},
       33,
       0,
       {"USER mrose\r\n", "PASS tanstaaf\r\n"}},
      {"GreetingRefused", {"-ERR busy\r\n"}, 33, -2, {}},
      {"GreetingGarbage", {"\x01\xff garbage\r\n"}, 33, -2, {}},
      {"GreetingMissing", {}, 33, -2, {}},
      {"UserRefused", {"+OK\r\n", "-ERR no such user\r\n"}, 33, -4, {"USER mrose\r\n"}},
      {"PassRefused",
       {"+OK\r\n", "+OK\r\n", "-ERR wrong\r\n"},
       33,
       -4,
       {"USER mrose\r\n", "PASS tanstaaf\r\n"}},
      {"ApopRefused", {kStampGreeting, "-ERR wrong\r\n"}, 33, -4, {kApopCommand}},
      {"ClosedAfterUser", {"+OK\r\n", "+OK\r\n"}, 33, -4, {"USER mrose\r\n", "PASS tanstaaf\r\n"}},
  };
  for (const auto& c : cases) {
    for (std::size_t delivery : kDeliveries) {
      SCOPED_TRACE(std::string(c.name) + " delivery " + std::to_string(delivery));
      ScriptedServer server(c.script);
      MailSocket socket;
      PopClient client(socket);
      client.setReceiveLimit(delivery);
      EXPECT_EQ(client.login("127.0.0.1", server.port(), "mrose", "tanstaaf", c.options, nullptr),
                c.wantResult);
      EXPECT_EQ(socket.loggedIn, c.wantResult == 0 ? 1 : 0);
      socket.close();
      EXPECT_EQ(server.commands(), c.wantCommands);
    }
  }
}

TEST(PopClient, LoginFailsToConnectAndRefusesLineBreaksInCredentials) {
  int closedPort;
  {
    MailSocket probe;
    ASSERT_TRUE(probe.listenLoopback(0));
    closedPort = probe.localPort();
  }
  MailSocket socket;
  PopClient client(socket);
  EXPECT_EQ(client.login("127.0.0.1", closedPort, "u", "p", 33, nullptr), -1);

  ScriptedServer server({"+OK\r\n", "+OK\r\n", "+OK\r\n"});
  EXPECT_EQ(client.login("127.0.0.1", server.port(), "u", "p\r\nDELE 1", 33, nullptr), -4);
  socket.close();
  EXPECT_TRUE(server.commands().empty());
}

TEST(PopClient, ApopDigestCoversAPasswordLongerThanTheLineBuffer) {
  std::string password(300, 's');
  ScriptedServer server({"+OK <42.1@host>\r\n", "+OK\r\n"});
  MailSocket socket;
  PopClient client(socket);
  EXPECT_EQ(client.login("127.0.0.1", server.port(), "u", password, 33, nullptr), 0);
  socket.close();
  EXPECT_EQ(server.commands(),
            std::vector<std::string>{"APOP u " + apopDigest("<42.1@host>", password) + "\r\n"});
}

// Logs in with USER/PASS, then runs one operation against the reply.
struct Session {
  ScriptedServer server;
  MailSocket socket;
  PopClient client{socket};

  Session(std::vector<std::string> replies, std::size_t delivery)
      : server(withLogin(std::move(replies))) {
    client.setReceiveLimit(delivery);
    EXPECT_EQ(client.login("127.0.0.1", server.port(), "u", "p", 33, nullptr), 0);
  }
  static std::vector<std::string> withLogin(std::vector<std::string> replies) {
    replies.insert(replies.begin(), {"+OK\r\n", "+OK\r\n", "+OK\r\n"});
    return replies;
  }
};

struct NumberCase {
  const char* name;
  std::string reply;
  std::int64_t wantStat;  // result of stat
  std::uint32_t wantTotal;
  std::int64_t wantList;  // result of list with the same reply
};

TEST(PopClient, StatAndListNumbers) {
  const NumberCase cases[] = {
      {"CountAndSize", "+OK 2 320\r\n", 2, 320, 320},
      {"ExtraSpacesAndText", "+OK  7   1200 octets\r\n", 7, 1200, 1200},
      {"SizeMissing", "+OK 2\r\n", -2, 0, -2},
      {"Refused", "-ERR no such message\r\n", -1, 0, -1},
      {"Garbage", "+OK two 3x\r\n", -2, 0, -2},
      {"LargestSize", "+OK 1 4294967293\r\n", 1, 4294967293u, 4294967293LL},
      {"SizeAtTheLimit", "+OK 1 4294967294\r\n", -2, 0, -2},
      {"SizeAllOnes", "+OK 1 4294967295\r\n", -2, 0, -2},
      {"SizeOverflowing", "+OK 1 99999999999999999999\r\n", -2, 0, -2},
      {"CountTooLargeForTheResult", "+OK 3000000000 5\r\n", -2, 0, 5},
  };
  for (const auto& c : cases) {
    for (std::size_t delivery : kDeliveries) {
      SCOPED_TRACE(std::string(c.name) + " delivery " + std::to_string(delivery));
      Session session({c.reply, c.reply}, delivery);
      std::uint32_t total = 0;
      EXPECT_EQ(session.client.stat(total), c.wantStat);
      if (c.wantStat >= 0) {
        EXPECT_EQ(total, c.wantTotal);
      }
      EXPECT_EQ(session.client.list(3), c.wantList);
      session.socket.close();
      EXPECT_EQ(session.server.commands().back(), "LIST 3\r\n");
    }
  }
}

TEST(PopClient, OverLongReplyIsCutAndDoesNotShiftTheNextReply) {
  std::string longReply = "+OK 4 512 " + std::string(400, 'x') + "\r\n";
  for (std::size_t delivery : kDeliveries) {
    SCOPED_TRACE(delivery);
    Session session({longReply, "+OK 1 77\r\n"}, delivery);
    std::uint32_t total = 0;
    EXPECT_EQ(session.client.stat(total), 4);
    EXPECT_EQ(session.socket.lineBuffer.size(), ReplyReader::kLineLimit);
    EXPECT_EQ(session.client.list(1), 77);
  }
}

struct TransferCase {
  const char* name;
  std::string reply;  // everything the server sends after the command
  std::int64_t wantResult;
  std::string wantBody;  // file content after the reserve; unused when no file is left
};

TEST(PopClient, RetrIntoFileFromTranscripts) {
  const TransferCase cases[] = {
      {"DotStuffingKept", "+OK 21 octets\r\nSubject: a\r\n\r\n..dot\r\n.\r\n", 21,
       "Subject: a\r\n\r\n..dot\r\n"},
      {"EmptyMessage", "+OK\r\n.\r\n", 0, ""},
      {"BareLineFeeds", "+OK\nline\n.x\n.\n", 8, "line\n.x\n"},
      {"DotWithTextIsNotTheEnd", "+OK\r\n.\rx\r\n. \r\n.\r\n", 9, ".\rx\r\n. \r\n"},
      {"LowerCaseStatus", "+ok\r\nbody\r\n.\r\n", 6, "body\r\n"},
      {"Refused", "-ERR no such message\r\n", -4, ""},
      {"RefusedGarbage", "junk\r\nmore\r\n.\r\n", -4, ""},
      {"ClosedMidTransfer", "+OK\r\nSubject: half\r\n", -3, ""},
      {"ClosedBeforeReply", "", -3, ""},
      {"ClosedInTheTerminatingLine", "+OK\r\nbody\r\n.\r", -3, ""},
  };
  TestFolder folder;
  for (const auto& c : cases) {
    for (std::size_t delivery : kDeliveries) {
      SCOPED_TRACE(std::string(c.name) + " delivery " + std::to_string(delivery));
      std::vector<std::string> replies;
      if (!c.reply.empty()) replies.push_back(c.reply);
      Session session(replies, delivery);
      std::string path = folder.path("msg.hd");
      writeFile(path, "an old file is replaced");
      EXPECT_EQ(session.client.retr(5, path, kStagingReserve), c.wantResult);
      if (c.wantResult >= 0) {
        EXPECT_EQ(readFile(path), std::string(kStagingReserve, ' ') + c.wantBody);
      } else {
        EXPECT_FALSE(fileExists(path));
      }
      session.socket.close();
      EXPECT_EQ(session.server.commands().back(), "RETR 5\r\n");
    }
  }
}

TEST(PopClient, TopSendsItsCommandAndFailuresLeaveNoFile) {
  TestFolder folder;
  std::string path = folder.path("head.hd");
  {
    Session session({"+OK\r\nFrom: a@b\r\n\r\n.\r\n"}, ReplyReader::kReceiveLimit);
    EXPECT_EQ(session.client.top(9, path, 0), 13);
    EXPECT_EQ(readFile(path), "From: a@b\r\n\r\n");
    session.socket.close();
    EXPECT_EQ(session.server.commands().back(), "TOP 9 0\r\n");
  }
  // A file in a missing folder cannot be created.
  Session session({}, ReplyReader::kReceiveLimit);
  EXPECT_EQ(session.client.top(1, folder.path("missing/head.hd"), kStagingReserve), -1);
  // The server has closed: the command cannot be sent, or its answer never comes.
  session.socket.shutdownSend();
  std::int64_t result = session.client.top(1, path, kStagingReserve);
  EXPECT_TRUE(result == -2 || result == -3) << result;
  EXPECT_FALSE(fileExists(path));
}

TEST(PopClient, QuitOnlyWhenLoggedIn) {
  Session session({"+OK bye\r\n"}, ReplyReader::kReceiveLimit);
  EXPECT_EQ(session.client.quit(), 0);
  EXPECT_EQ(session.socket.loggedIn, 0);
  EXPECT_EQ(session.client.quit(), 0);  // nothing more is sent
  session.socket.close();
  EXPECT_EQ(session.server.commands(),
            (std::vector<std::string>{"USER u\r\n", "PASS p\r\n", "QUIT\r\n"}));
}

// The reader over chunks given by the test: the terminating line split at the
// worst places, and everything one byte at a time.
class Chunks final : public ByteSource {
 public:
  explicit Chunks(std::vector<std::string> chunks) : chunks_(std::move(chunks)) {}
  long receive(std::span<char> into) override {
    if (next_ == chunks_.size()) return 0;
    const std::string& chunk = chunks_[next_++];
    std::size_t n = std::min(chunk.size(), into.size());
    std::copy_n(chunk.data(), n, into.data());
    return static_cast<long>(n);
  }

 private:
  std::vector<std::string> chunks_;
  std::size_t next_ = 0;
};

TEST(ReplyReader, TerminatingLineSplitAcrossReceives) {
  const std::vector<std::vector<std::string>> splits = {
      {"+OK\r\nabc", "\r\n.", "\r\n"},
      {"+OK\r\nabc\r", "\n", ".", "\r", "\n"},
      {"+O", "K\r", "\nabc\r\n.\r\n"},
  };
  for (const auto& split : splits) {
    Chunks source(split);
    ReplyReader reader(source);
    std::string body;
    EXPECT_EQ(reader.readMultiline([&](std::string_view bytes) {
      body.append(bytes);
      return true;
    }),
              TransferEnd::Complete);
    EXPECT_EQ(body, "abc\r\n");
  }
}

TEST(ReplyReader, BytesAfterAReplyWaitForTheNextRead) {
  Chunks source({"+OK first\r\n+OK second\r\n-ERR tail"});
  ReplyReader reader(source);
  std::string line;
  EXPECT_EQ(reader.readLine(line), 11);
  EXPECT_EQ(line, "+OK first\r\n");
  EXPECT_EQ(reader.readLine(line), 12);
  EXPECT_EQ(line, "+OK second\r\n");
  EXPECT_EQ(reader.readLine(line), 9);  // cut short by the end of the stream
  EXPECT_EQ(reader.readLine(line), -1);
}

}  // namespace
}  // namespace qg
