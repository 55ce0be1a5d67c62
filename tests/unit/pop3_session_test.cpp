#include "netsvc/pop3_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "engine/history_record.h"
#include "memory_link.h"
#include "server_home.h"

namespace qg {
namespace {

constexpr const char* kLogIn = "USER bob\r\nPASS secret\r\n";
constexpr const char* kLoggedInReplies =
    "+OK POP3 server ready\r\n"
    "+OK ruvel is a real hoopy frood\r\n";

// A message of exactly size bytes: a header with From and Subject, then body lines.
std::string messageOfSize(int k, std::size_t size) {
  std::string text = "From: Sender " + std::to_string(k) + " <s" + std::to_string(k) +
                     "@example.org>\r\nSubject: Message " + std::to_string(k) + "\r\n\r\n";
  while (text.size() + 12 <= size) text += "body line.\r\n";
  text.append(size - text.size(), 'x');
  return text;
}

struct PopFixture : ::testing::Test {
  // Three messages of 100, 200 and 300 bytes as IN numbers 0, 1 and 2.
  void putThreeMessages() {
    for (int n = 0; n < 3; ++n) writeFile(home.inFile(n), messageOfSize(n + 1, 100u * (n + 1)));
  }

  // Runs one session on input delivered in pieces of at most piece bytes;
  // returns everything the server sent.
  std::string session(const std::string& input, std::size_t piece = 256) {
    MemoryLink link(MemoryLink::split(input, piece));
    PopServerContext context = home.popContext();
    Pop3Session pop(context, link);
    pop.run();
    lastEnd = pop.end();
    return link.sent;
  }

  bool inExists(int n) const { return std::filesystem::exists(home.inFile(n)); }

  std::vector<std::uint8_t> historyEvents() const {
    std::vector<std::uint8_t> types;
    for (const auto& entry : std::filesystem::directory_iterator(home.home())) {
      if (entry.path().extension() != ".hst") continue;
      std::vector<HistoryRecord> records;
      readHistoryFile(entry.path().string(), records);
      for (const HistoryRecord& record : records)
        for (std::size_t i = 0; i < record.eventCount(); ++i)
          types.push_back(record.events[i].type);
    }
    return types;
  }

  ServerHome home;
  Pop3Session::End lastEnd = Pop3Session::End::Open;
};

TEST_F(PopFixture, ServesTheMaildropAndQuitDeletesOnlyTheMarkedMessage) {
  putThreeMessages();
  writeFile(home.inFile(9000), messageOfSize(9, 100));         // above 8191: not offered
  writeFile(home.boxDir + "/IN/0000004.msg", "seven digits");  // not a message name
  writeFile(home.boxDir + "/IN/notes.txt", "not mail");

  const std::string got = session(std::string("CAPA\r\n") + kLogIn +
                                  "STAT\r\nLIST\r\nLIST 2\r\nNOOP\r\nTOP 1 0\r\nDELE 2\r\n"
                                  "DELE 2\r\nQUIT\r\n");
  const std::string want = std::string(
                               "+OK POP3 server ready\r\n"
                               "+OK Capability list follows\r\nTOP\r\nUSER\r\nUIDL\r\n.\r\n"
                               "+OK ruvel is a real hoopy frood\r\n"
                               "+OK ruvel's maildrop has 3 messages (600 octets)\r\n"
                               "+OK 3 600\r\n"
                               "+OK 3 messages (600 octets)\r\n1 100\r\n2 200\r\n3 300\r\n.\r\n"
                               "+OK 2 200\r\n"
                               "+OK\r\n"
                               "+OK\r\n") +
                           "From: Sender 1 <s1@example.org>\r\nSubject: Message 1\r\n\r\n.\r\n" +
                           "+OK message 2 deleted\r\n"
                           "+OK message 2 deleted\r\n"
                           "+OK tamsk POP3 server signing off\r\n";
  EXPECT_EQ(got, want);
  EXPECT_EQ(lastEnd, Pop3Session::End::Quit);
  EXPECT_TRUE(inExists(0));
  EXPECT_FALSE(inExists(1));
  EXPECT_TRUE(inExists(2));
  EXPECT_TRUE(inExists(9000));
  EXPECT_EQ(historyEvents(), std::vector<std::uint8_t>{kHistoryHandedToClient});
}

TEST_F(PopFixture, NothingIsDeletedWithoutQuitOrAfterRset) {
  struct Case {
    const char* name;
    const char* commands;
    const char* lastReply;
  };
  const Case cases[] = {
      {"connection dropped", "DELE 2\r\n", "+OK message 2 deleted\r\n"},
      {"RSET restores", "DELE 2\r\nRSET\r\nQUIT\r\n",
       "+OK maildrop has 3 messages (600 octets)\r\n+OK tamsk POP3 server signing off\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    putThreeMessages();
    const std::string got = session(std::string(kLogIn) + c.commands);
    EXPECT_TRUE(got.ends_with(c.lastReply)) << got;
    for (int n = 0; n < 3; ++n) EXPECT_TRUE(inExists(n)) << n;
  }
  EXPECT_TRUE(historyEvents().empty());
}

TEST_F(PopFixture, LogInNeedsTheWholePasswordAndAWholeUserName) {
  NewBoxOptions second;
  second.user = "carol";
  second.password = "two words";
  ASSERT_EQ(createBox(home.home(), "second@example.com", second), 2);
  struct Case {
    const char* lines;
    bool accepted;
  };
  const Case cases[] = {
      {"USER bob\r\nPASS secret\r\n", true},
      {"USER user@example.com\r\nPASS secret\r\n", true},  // the box's address
      {"user BOB\r\npass secret\r\n", true},               // user names ignore letter case
      {"USER bob\r\nPASS secre\r\n", false},               // a prefix of the password
      {"USER bob\r\nPASS secretly\r\n", false},
      {"USER bob\r\nPASS SECRET\r\n", false},
      {"USER bo\r\nPASS secret\r\n", false},  // a prefix of the user name
      {"USER bob\r\nPASS\r\n", false},
      {"USER\r\nPASS secret\r\n", false},
      {"USER carol\r\nPASS two words\r\n", true},  // a password may hold spaces
      {"USER carol\r\nPASS two\r\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    const std::string got = session(c.lines);
    const std::string refused = std::string(kLoggedInReplies) + "-ERR maildrop already locked\r\n";
    if (c.accepted) {
      EXPECT_TRUE(got.starts_with(kLoggedInReplies) &&
                  got.find("maildrop has") != std::string::npos)
          << got;
    } else {
      EXPECT_EQ(got, refused);
      EXPECT_EQ(lastEnd, Pop3Session::End::Refused);
    }
  }
}

TEST_F(PopFixture, RetrBlanksLoneDotLinesInTheFileBeforeSending) {
  const std::string stored = ".\r\nSubject: dots\r\n\r\nfirst\r\n.\r\n..kept\r\n.x\r\nlast\r\n.";
  const std::string blanked = " \r\nSubject: dots\r\n\r\nfirst\r\n \r\n..kept\r\n.x\r\nlast\r\n ";
  writeFile(home.inFile(0), stored);
  const std::string got = session(std::string(kLogIn) + "RETR 1\r\nQUIT\r\n");
  EXPECT_NE(got.find("+OK " + std::to_string(stored.size()) + " octets\r\n" + blanked +
                     "\r\n.\r\n+OK tamsk"),
            std::string::npos)
      << got;
  EXPECT_EQ(readFile(home.inFile(0)), blanked);
  std::vector<ProtocolRecord> records;
  for (const auto& entry : std::filesystem::directory_iterator(home.home())) {
    if (entry.path().extension() == ".prt") readProtocolFile(entry.path().string(), records);
  }
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].type, kProtocolLocalPop3);
  EXPECT_EQ(records[0].second, "dots");
}

TEST_F(PopFixture, FixedMaildropServesItsFolderReadOnlyAndRecordsNothing) {
  const std::string folder = home.home() + "/upstream";
  std::filesystem::create_directories(folder + "/IN");
  const std::string first = "Subject: one\r\n\r\nbody\r\n";  // 22 bytes
  writeFile(messagePath(folder, 0), first);
  writeFile(messagePath(folder, 1), messageOfSize(2, 200));
  putThreeMessages();  // the box's mail, which this maildrop never offers
  const FixedMaildrop fixed{"demo", "pass word", folder};
  const auto fixedSession = [&](const std::string& input) {
    MemoryLink link(MemoryLink::split(input, 256));
    PopServerContext context = home.popContext();
    context.fixedMaildrop = &fixed;
    Pop3Session pop(context, link);
    pop.run();
    lastEnd = pop.end();
    return link.sent;
  };

  std::string got = fixedSession("USER Demo\r\nPASS pass word\r\nSTAT\r\nRETR 1\r\nQUIT\r\n");
  EXPECT_EQ(got, std::string(kLoggedInReplies) +
                     "+OK ruvel's maildrop has 2 messages (222 octets)\r\n+OK 2 222\r\n"
                     "+OK 22 octets\r\n" +
                     first + ".\r\n+OK tamsk POP3 server signing off\r\n");
  // DELE is not offered: it ends the session like an unknown command.
  got = fixedSession("USER demo\r\nPASS pass word\r\nDELE 1\r\nQUIT\r\n");
  EXPECT_TRUE(got.ends_with("(222 octets)\r\n-ERR\r\n")) << got;
  EXPECT_EQ(lastEnd, Pop3Session::End::Failed);
  // Neither the boxes' log-in nor a prefix of the password opens it.
  for (const char* lines : {kLogIn, "USER demo\r\nPASS pass\r\n"}) {
    EXPECT_EQ(fixedSession(lines),
              std::string(kLoggedInReplies) + "-ERR maildrop already locked\r\n");
  }

  EXPECT_TRUE(std::filesystem::exists(messagePath(folder, 0)));
  EXPECT_TRUE(historyEvents().empty());
  for (const auto& entry : std::filesystem::directory_iterator(home.home())) {
    EXPECT_NE(entry.path().extension(), ".prt") << entry.path();
  }
}

TEST_F(PopFixture, TopSendsTheHeaderAndTheAskedLines) {
  struct Case {
    const char* stored;
    const char* command;
    const char* sent;  // between "+OK" and the terminating line
  };
  const Case cases[] = {
      {"A: 1\r\nB: 2\r\n\r\none\r\ntwo\r\n", "TOP 1 0", "A: 1\r\nB: 2\r\n\r\n.\r\n"},
      {"A: 1\r\nB: 2\r\n\r\none\r\ntwo\r\n", "TOP 1 1", "A: 1\r\nB: 2\r\n\r\none\r\n.\r\n"},
      {"A: 1\r\n\r\none\r\ntwo", "TOP 1 5", "A: 1\r\n\r\none\r\ntwo\r\n.\r\n"},
      {"A: 1\r\nno empty line", "TOP 1 0", "A: 1\r\nno empty line\r\n.\r\n"},
      {"\r\nbody\r\n", "TOP 1 0", "\r\n.\r\n"},  // an empty header
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.stored) + " / " + c.command);
    writeFile(home.inFile(0), c.stored);
    const std::string got = session(std::string(kLogIn) + c.command + "\r\nNOOP\r\n");
    EXPECT_TRUE(got.ends_with(std::string("+OK\r\n") + c.sent + "+OK\r\n")) << got;
  }
}

TEST_F(PopFixture, UniqueIdsStayWithTheFileAndAreNeverGivenToAnotherMessage) {
  // An empty maildrop answers the empty listing and stays open.
  EXPECT_EQ(session(std::string(kLogIn) + "UIDL\r\nNOOP\r\n"),
            std::string(kLoggedInReplies) +
                "+OK ruvel's maildrop has 0 messages (0 octets)\r\n"
                "+OK 0 message (0 octets)\r\n.\r\n+OK\r\n");

  const auto ids = [&] {
    const std::string got = session(std::string(kLogIn) + "UIDL\r\n");
    std::vector<std::string> found;
    const std::regex line("\r\n\\d+ (\\S+)");
    for (auto it = std::sregex_iterator(got.begin(), got.end(), line); it != std::sregex_iterator();
         ++it)
      found.push_back((*it)[1]);
    return found;
  };
  writeFile(home.inFile(0), "Subject: a\r\n\r\nsame\r\n");
  writeFile(home.inFile(1), "Subject: a\r\n\r\nsame\r\n");  // the same bytes again
  writeFile(home.inFile(2), "Subject: b\r\n\r\n.\r\n");     // a lone dot, blanked on the way
  const std::vector<std::string> first = ids();
  ASSERT_EQ(first.size(), 3u);
  for (const std::string& id : first)
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9]{8}\\.[0-9a-f]{32}"))) << id;
  EXPECT_NE(first[0], first[1]);

  // Another connection, and a server started afresh, see the same IDs.
  EXPECT_EQ(ids(), first);
  home.uniqueIds = UniqueIds();
  EXPECT_EQ(ids(), first);

  // The first message is taken and deleted; a new one gets its IN number.
  session(std::string(kLogIn) + "DELE 1\r\nQUIT\r\n");
  writeFile(home.inFile(0), "Subject: new\r\n\r\nother\r\n");
  const std::vector<std::string> after = ids();
  ASSERT_EQ(after.size(), 3u);
  EXPECT_NE(after[0], first[0]);
  EXPECT_EQ(after[1], first[1]);
  EXPECT_EQ(after[2], first[2]);
  const auto octets = std::filesystem::file_size(home.inFile(0)) +
                      std::filesystem::file_size(home.inFile(1)) +
                      std::filesystem::file_size(home.inFile(2));
  EXPECT_EQ(session(std::string(kLogIn) + "UIDL 2\r\nUIDL 4\r\nNOOP\r\n"),
            std::string(kLoggedInReplies) + "+OK ruvel's maildrop has 3 messages (" +
                std::to_string(octets) + " octets)\r\n+OK 2 " + first[1] +
                "\r\n-ERR no such message\r\n+OK\r\n");
}

TEST_F(PopFixture, CommandsSplitAnyWayOrJoinedGiveTheSameReplies) {
  putThreeMessages();
  const std::string input =
      std::string("CAPA\r\n") + kLogIn + "STAT\r\nUIDL\r\nRETR 3\r\nTOP 2 1\r\nLIST 1\r\nQUIT\r\n";
  const std::string whole = session(input, input.size());
  ASSERT_NE(whole.find("+OK tamsk"), std::string::npos) << whole;
  EXPECT_EQ(session(input, 1), whole);
  EXPECT_EQ(session(input, 7), whole);
}

TEST_F(PopFixture, FaultsEndTheSessionWithErrAndDeleteNothing) {
  struct Case {
    const char* command;
    const char* reply;
    bool continues;  // the session goes on to the QUIT that follows
  };
  const Case cases[] = {
      {"RETR 9\r\n", "-ERR\r\n", false},
      {"RETR x\r\n", "-ERR\r\n", false},
      {"DELE 0\r\n", "-ERR\r\n", false},
      {"TOP 1\r\n", "-ERR\r\n", false},
      {"LIST 1x\r\n", "-ERR\r\n", false},
      {"CAPA\r\n", "-ERR\r\n", false},  // only as the first command
      {"XTND\r\n", "-ERR\r\n", false},
      {"LIST 9\r\n", "-ERR no such message\r\n", true},
      {"UIDL 99999999999999999999999\r\n", "-ERR no such message\r\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    putThreeMessages();
    const std::string got = session(std::string(kLogIn) + "DELE 1\r\n" + c.command + "QUIT\r\n");
    const std::string want = std::string("+OK message 1 deleted\r\n") + c.reply;
    if (c.continues) {
      EXPECT_TRUE(got.ends_with(want + "+OK tamsk POP3 server signing off\r\n")) << got;
    } else {
      EXPECT_TRUE(got.ends_with(want)) << got;
      EXPECT_EQ(lastEnd, Pop3Session::End::Failed);
      EXPECT_TRUE(inExists(0));
    }
  }
}

TEST_F(PopFixture, StopFlagAnswersErrAndDeletesNothing) {
  putThreeMessages();
  MemoryLink link({kLogIn, "DELE 1\r\n", "QUIT\r\n"});
  link.stopAfterPieces = 2;
  PopServerContext context = home.popContext();
  Pop3Session pop(context, link);
  pop.run();
  EXPECT_TRUE(link.sent.ends_with("+OK message 1 deleted\r\n-ERR\r\n")) << link.sent;
  EXPECT_TRUE(inExists(0));
}

}  // namespace
}  // namespace qg
