#include "retrieval/mail_fetcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/box_setup.h"
#include "engine/file_primitives.h"
#include "engine/filter_profile.h"
#include "engine/history_record.h"
#include "engine/mail_store.h"
#include "engine/new_mail_sound.h"
#include "engine/staging_line.h"
#include "platform/file_listing.h"
#include "support/fake_pop_server.h"
#include "support/test_analysis.h"
#include "test_files.h"
#include "test_folder.h"
#include "text/date_record.h"

namespace qg {
namespace {

namespace fs = std::filesystem;
using fakes::FakePopServer;
using fakes::PopFaults;
using fakes::TestAnalysis;

// A message of the fake server. Subjects of one length give equal sizes.
std::string mail(const std::string& subject, const std::string& body = "Hello.\r\n") {
  return "From: Anna <anna@example.org>\r\nSubject: " + subject + "\r\n\r\n" + body;
}

FetcherTiming fastTiming() {
  FetcherTiming timing;
  timing.stepMs = 1;
  timing.idleSteps = 5;
  timing.pauseStepMs = 1;
  timing.turnMs = 2;
  timing.offlineSteps = 20;
  timing.skipBoxMs = 1;
  timing.socketTimeoutSeconds = 10;
  return timing;
}

PopFaults greetingFault(std::string greeting) {
  PopFaults faults;
  faults.greeting = std::move(greeting);
  return faults;
}
PopFaults statFault(std::string reply) {
  PopFaults faults;
  faults.statReply = std::move(reply);
  return faults;
}
PopFaults listFault(int message, std::string size) {
  PopFaults faults;
  faults.listSize[message] = std::move(size);
  return faults;
}
PopFaults cutFault(std::size_t after) {
  PopFaults faults;
  faults.cutTransferAfter = after;
  return faults;
}

TestAnalysis::Rule always(std::uint32_t word) {
  return [word](int, const StagingLine&) { return word; };
}

struct Slot {
  SlotState state;
  StagingLine line;
  std::string text;  // behind the record line
};

class MailFetcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    paths.setProgramDir(folder.root());
    paths.setStoreDir(folder.root());
    paths.setListDir(folder.root());
    ASSERT_GE(ensureBuiltinProfiles(folder.root()), 0);
  }

  // A box of user on the fake server, holding messages. Returns its number.
  int addBox(const std::string& user, std::vector<std::string> messages, int interval = 0,
             bool checkAtStart = true) {
    server.setMailbox(user, "secret", std::move(messages));
    NewBoxOptions options;
    options.pop3Host = "127.0.0.1";
    options.pop3Port = static_cast<std::uint16_t>(server.port());
    options.user = user;
    options.password = "secret";
    options.interval = interval;
    options.checkAtStart = checkAtStart;
    const int n = createBox(folder.root(), user + "@example.com", options);
    EXPECT_GT(n, 0);
    return n;
  }

  FetcherServices services() { return {protocol, history, remote}; }

  // One fetch of table entry 0 while rule plays the analysis worker.
  int fetchOnce(TestAnalysis::Rule rule = {}) {
    MailFetcher fetcher(flags, paths, services(), timing);
    fetcher.buildTable();
    EXPECT_TRUE(fetcher.prepareBox(0));
    TestAnalysis analysis(flags, folder.root(), std::move(rule));
    return fetcher.fetchBox(0);
  }

  std::string box(int n) const { return boxDirectory(paths.storeDir, n); }

  // The staging files of box n by slot number.
  std::map<int, Slot> slots(int n) const {
    std::vector<std::string> names;
    platform::listFileNames(box(n) + "/TMP", names);
    std::map<int, Slot> found;
    for (const std::string& name : names) {
      const auto slot = parseSlotFileName(name);
      if (!slot) continue;
      const std::string bytes = readFile(box(n) + "/TMP/" + name);
      const auto line =
          parseStagingLine(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     std::min(bytes.size(), kStagingLineBytes)));
      EXPECT_TRUE(line) << name;
      found[slot->number] = {slot->state, line.value_or(StagingLine{}),
                             bytes.substr(std::min(bytes.size(), kStagingLineBytes))};
    }
    return found;
  }

  // Names in TMP that are not staging files (temporary files left behind).
  std::vector<std::string> strayFiles(int n) const {
    std::vector<std::string> names, stray;
    platform::listFileNames(box(n) + "/TMP", names);
    for (const std::string& name : names) {
      if (!parseSlotFileName(name)) stray.push_back(name);
    }
    return stray;
  }

  std::vector<std::string> inFiles(int n) const {
    std::vector<std::string> names;
    platform::listFileNames(box(n) + "/IN", names);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::vector<ProtocolRecord> protocolRecords() const {
    std::vector<ProtocolRecord> all;
    for (const auto& entry : fs::directory_iterator(folder.root())) {
      if (entry.path().extension() != ".prt") continue;
      std::vector<ProtocolRecord> records;
      readProtocolFile(entry.path().string(), records);
      all.insert(all.end(), records.begin(), records.end());
    }
    return all;
  }
  std::vector<int> protocolTypes() const {
    std::vector<int> types;
    for (const ProtocolRecord& record : protocolRecords()) types.push_back(record.type);
    return types;
  }

  std::vector<HistoryRecord> historyRecords() const {
    for (const auto& entry : fs::directory_iterator(folder.root())) {
      if (entry.path().extension() != ".hst") continue;
      std::vector<HistoryRecord> records;
      readHistoryFile(entry.path().string(), records);
      return records;
    }
    return {};
  }

  // Commands of the fake server that name a message ("TOP 3 0" -> "TOP 3").
  std::vector<std::string> transfers() {
    std::vector<std::string> found;
    for (std::string command : server.commands()) {
      if (command.rfind("TOP ", 0) != 0 && command.rfind("RETR ", 0) != 0) continue;
      command = command.substr(0, command.find_first_of("\r\n"));
      if (command.rfind("TOP ", 0) == 0) command = command.substr(0, command.rfind(' '));
      found.push_back(command);
    }
    return found;
  }

  TestFolder folder;
  EngineFlags flags;
  PathBlock paths;
  ProtocolWriter protocol;
  HistoryWriter history;
  platform::FakeRemoteAccess remote;
  FakePopServer server;
  FetcherTiming timing = fastTiming();
};

TEST_F(MailFetcherTest, StagesEveryNewHeaderAsTheServerSendsIt) {
  // The third has no empty line: its TOP answer is the whole text, dot-stuffed.
  const std::vector<std::string> messages = {mail("first"), mail("second", "A longer body.\r\n"),
                                             "Subject: no header end\r\n.a line with a dot\r\n"};
  const int n = addBox("anna", messages);
  const std::int64_t before = DateRecord::now().stamp;
  EXPECT_EQ(fetchOnce(), kFetchDone);

  const std::map<int, Slot> staged = slots(n);
  ASSERT_EQ(staged.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const Slot& slot = staged.at(i);
    const std::string header = FakePopServer::dotStuffed(FakePopServer::headerOf(messages[i]));
    EXPECT_EQ(slot.state, SlotState::New);
    EXPECT_EQ(slot.text, header);
    EXPECT_EQ(slot.line.size, messages[i].size());
    EXPECT_EQ(slot.line.serverNumber, i + 1);
    EXPECT_EQ(slot.line.received, header.size());
    EXPECT_EQ(slot.line.flags, 0u);
    EXPECT_GE(slot.line.stamp, before);
  }
  EXPECT_TRUE(strayFiles(n).empty());
  EXPECT_EQ(transfers(), (std::vector<std::string>{"TOP 1", "TOP 2", "TOP 3"}));
  EXPECT_EQ(server.commands().back(), "QUIT\r\n");

  // The end-of-box handshake has run and every word the fetcher raised is down again.
  EXPECT_EQ(flags.get(flag::kFetcherBox), 0);
  EXPECT_EQ(flags.get(flag::kPauseRequest), 0);
  EXPECT_EQ(flags.get(flag::kHeadersStaged), 1);
  EXPECT_EQ(flags.get(flag::kEndOfBox), 0);
  EXPECT_EQ(paths.statusBytes[kFetchCounterIndex], 1);

  const std::vector<ProtocolRecord> events = protocolRecords();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, fetch_event::kLoggedIn);
  EXPECT_EQ(events[0].first, "127.0.0.1");
  const std::vector<HistoryRecord> records = historyRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].subject, "second");
  EXPECT_NE(records[1].firstSeen, 0);
  EXPECT_EQ(records[1].eventCount(), 0u);
}

TEST_F(MailFetcherTest, KnownMessagesAreRenumberedNotFetchedAgain) {
  const int n = addBox("anna", {mail("a"), mail("bb"), mail("ccc")});
  ASSERT_EQ(fetchOnce(), kFetchDone);
  // Another client deletes "a"; "bb" and "ccc" move up, "dddd" arrives.
  server.setMessages("anna", {mail("bb"), mail("ccc"), mail("dddd")});
  ASSERT_EQ(fetchOnce(), kFetchDone);

  const std::map<int, Slot> staged = slots(n);
  ASSERT_EQ(staged.size(), 3u);
  EXPECT_EQ(staged.at(1).line.serverNumber, 1);
  EXPECT_EQ(staged.at(2).line.serverNumber, 2);
  // "a" is gone from the server; its freed slot holds the new message.
  EXPECT_EQ(staged.at(0).line.serverNumber, 3);
  EXPECT_NE(staged.at(0).text.find("dddd"), std::string::npos);
  EXPECT_EQ(transfers(), (std::vector<std::string>{"TOP 1", "TOP 2", "TOP 3", "TOP 3"}));
}

TEST_F(MailFetcherTest, EqualSizesAreToldApartByTheHeader) {
  // "one" and "two" have the same size; only "one" is staged. Whichever comes
  // first on the server, "one" keeps its slot and "two" is staged as new.
  for (bool newFirst : {true, false}) {
    SCOPED_TRACE(newFirst);
    fs::remove_all(box(1));
    ASSERT_EQ(addBox("anna", {mail("one")}), 1);
    ASSERT_EQ(fetchOnce(), kFetchDone);
    if (newFirst) {
      server.setMessages("anna", {mail("two"), mail("one")});
    } else {
      server.setMessages("anna", {mail("one"), mail("two")});
    }
    ASSERT_EQ(fetchOnce(), kFetchDone);
    const std::map<int, Slot> staged = slots(1);
    ASSERT_EQ(staged.size(), 2u);
    EXPECT_NE(staged.at(0).text.find("one"), std::string::npos);
    EXPECT_EQ(staged.at(0).line.serverNumber, newFirst ? 2 : 1);
    EXPECT_NE(staged.at(1).text.find("two"), std::string::npos);
    EXPECT_EQ(staged.at(1).line.serverNumber, newFirst ? 1 : 2);
  }
}

TEST_F(MailFetcherTest, ADamagedRecordLineIsStagedAgain) {
  const int n = addBox("anna", {mail("a"), mail("bb")});
  ASSERT_EQ(fetchOnce(), kFetchDone);
  // Slot 1's record line loses a character: 47 before the CR.
  const std::string path = slotFilePath(box(n), 1, SlotState::New);
  std::string bytes = readFile(path);
  bytes.erase(5, 1);
  writeFile(path, bytes);
  ASSERT_EQ(fetchOnce(), kFetchDone);
  const std::map<int, Slot> staged = slots(n);
  ASSERT_EQ(staged.size(), 2u);
  EXPECT_EQ(staged.at(1).line.serverNumber, 2);
  EXPECT_EQ(transfers().back(), "TOP 2");
  EXPECT_EQ(transfers().size(), 3u);
}

TEST_F(MailFetcherTest, AtMost8192MessagesAreLookedAt) {
  // 9000 on the server, the first 8190 staged before: two are new, and
  // nothing behind number 8192 is ever asked for.
  std::vector<std::string> messages;
  // Bodies of growing length: every size is its own, so sizes alone match.
  for (int i = 1; i <= 9000; ++i) messages.push_back(mail("m", std::string(i, 'x') + "\r\n"));
  const int n = addBox("anna", messages);
  for (int i = 1; i <= 8190; ++i) {
    StagingLine line;
    line.size = static_cast<std::uint32_t>(messages[i - 1].size());
    line.serverNumber = static_cast<std::uint16_t>(i);
    const StagingLineBytes bytes = formatStagingLine(line);
    writeFile(slotFilePath(box(n), i - 1, SlotState::Finished),
              std::string(bytes.begin(), bytes.end()) + FakePopServer::headerOf(messages[i - 1]));
  }
  ASSERT_EQ(fetchOnce(), kFetchDone);

  const std::map<int, Slot> staged = slots(n);
  EXPECT_EQ(staged.size(), 8192u);
  EXPECT_EQ(staged.at(8190).line.serverNumber, 8191);
  EXPECT_EQ(staged.at(8191).line.serverNumber, 8192);
  for (const std::string& command : server.commands()) {
    std::size_t space = command.find(' ');
    if (space == std::string::npos) continue;
    EXPECT_LE(std::atoi(command.c_str() + space + 1), 8192) << command;
  }
}

TEST_F(MailFetcherTest, DeliversIntoInAndFinishesTheSlot) {
  const std::vector<std::string> messages = {
      mail("deliver me", "..not a terminator\r\n.\r\nx\r\n")};
  const int n = addBox("anna", messages);
  // Keep a delivered slot 3 days.
  RecordFile profile;
  profile.setDirectory(folder.root());
  profile.setName(*findProfile(folder.root(), "Standart 1"));
  ASSERT_TRUE(profile.load());
  profile.setByte(3, profile_field::kHoldDays + 2);
  ASSERT_TRUE(profile.save());

  const std::uint32_t word = staging::kNotSpam | staging::kAnnounceSound | staging::kAnnounceWizi;
  const std::int64_t twoDaysOn = [] {
    DateRecord now = DateRecord::now();
    return now.addDays(2);
  }();
  EXPECT_EQ(fetchOnce(always(word)), kFetchDone);

  ASSERT_EQ(inFiles(n), std::vector<std::string>{"00000000.msg"});
  EXPECT_EQ(readFile(messagePath(box(n), 0)), FakePopServer::dotStuffed(messages[0]));
  const std::map<int, Slot> staged = slots(n);
  ASSERT_EQ(staged.size(), 1u);
  EXPECT_EQ(staged.at(0).state, SlotState::Finished);
  EXPECT_EQ(staged.at(0).line.flags, word | staging::kWholeMessage);
  EXPECT_EQ(staged.at(0).line.received, FakePopServer::dotStuffed(messages[0]).size());
  EXPECT_GT(staged.at(0).line.stamp, twoDaysOn);
  EXPECT_TRUE(strayFiles(n).empty());
  EXPECT_EQ(transfers(), (std::vector<std::string>{"TOP 1", "RETR 1"}));

  EXPECT_EQ(protocolTypes(), (std::vector<int>{fetch_event::kLoggedIn, fetch_event::kWholeFetched,
                                               fetch_event::kFinished, fetch_event::kDelivered}));
  EXPECT_EQ(protocolRecords().back().second, "deliver me");
  const std::vector<HistoryRecord> records = historyRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].eventCount(), 2u);
  EXPECT_EQ(records[0].events[0].type, kHistoryFetcherEvent);
  EXPECT_EQ(records[0].events[1].type, kHistoryMessageTaken);

  const std::vector<std::uint8_t> sound = fileBytes(folder.path(std::string(kSoundQueueName)));
  ASSERT_EQ(sound.size(), kSoundRecordBytes);
  EXPECT_EQ(sound[4] | sound[5] << 8 | sound[6] << 16 | sound[7] << 24,
            static_cast<int>(messageKey(messagePath(box(n), 0))));
  EXPECT_TRUE(fileExists(folder.path(std::string(kNoticeQueueName))));
}

TEST_F(MailFetcherTest, FetchesTheWholeMessageForAnotherLook) {
  const std::vector<std::string> messages = {mail("look closer"), mail("just deliver")};
  const int n = addBox("anna", messages);
  // Slot 0 is fetched whole first; once it comes back whole, both are delivered.
  std::vector<std::uint32_t> seen;
  std::mutex seenMutex;
  auto rule = [&](int slot, const StagingLine& line) -> std::optional<std::uint32_t> {
    std::lock_guard lock(seenMutex);
    seen.push_back(line.flags);
    if (slot == 0 && (line.flags & staging::kWholeMessage) == 0) return staging::kFetchWhole;
    // As the analysis worker does, the fetcher's bit stays.
    return (line.flags & staging::kWholeMessage) | staging::kNotSpam;
  };
  EXPECT_EQ(fetchOnce(rule), kFetchDone);
  // Both headers, then slot 0 again with the whole message (in either order).
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen,
            (std::vector<std::uint32_t>{0, 0, staging::kFetchWhole | staging::kWholeMessage}));
  // One RETR each: the message fetched whole is not retrieved again to deliver it.
  std::vector<std::string> got = transfers();
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"RETR 1", "RETR 2", "TOP 1", "TOP 2"}));
  ASSERT_EQ(inFiles(n).size(), 2u);
  std::vector<std::string> delivered = {readFile(messagePath(box(n), 0)),
                                        readFile(messagePath(box(n), 1))};
  std::sort(delivered.begin(), delivered.end());
  std::vector<std::string> want = messages;
  std::sort(want.begin(), want.end());
  EXPECT_EQ(delivered, want);
  const std::vector<int> types = protocolTypes();
  EXPECT_EQ(std::count(types.begin(), types.end(), fetch_event::kWholeFetched), 2);
}

TEST_F(MailFetcherTest, WithholdsSpamWithoutFetchingIt) {
  const int n = addBox("anna", {mail("spam")});
  EXPECT_EQ(fetchOnce(always(staging::kSpam | staging::kAnnounceSound)), kFetchDone);
  EXPECT_TRUE(inFiles(n).empty());
  const std::map<int, Slot> staged = slots(n);
  ASSERT_EQ(staged.size(), 1u);
  EXPECT_EQ(staged.at(0).state, SlotState::Finished);
  EXPECT_EQ(staged.at(0).line.flags, staging::kSpam | staging::kAnnounceSound);
  EXPECT_EQ(transfers(), std::vector<std::string>{"TOP 1"});
  EXPECT_EQ(protocolTypes(), (std::vector<int>{fetch_event::kLoggedIn, fetch_event::kFinished}));
  EXPECT_EQ(fileBytes(folder.path(std::string(kSoundQueueName))).size(), kSoundRecordBytes);
  EXPECT_FALSE(fileExists(folder.path(std::string(kNoticeQueueName))));
}

TEST_F(MailFetcherTest, AFullInFolderKeepsTheMessageWaitingInItsSlot) {
  const int n = addBox("anna", {mail("waits")});
  for (int i = 0; i <= kMaxInNumber; ++i)
    writeFile(messagePath(box(n), i), "waiting " + std::to_string(i));
  // Frees a number once the message sits whole in its ".hdr" file.
  std::thread client([&] {
    const std::string classified = slotFilePath(box(n), 0, SlotState::Classified);
    for (int tries = 0; tries < 5000; ++tries) {
      const std::string bytes = readFile(classified);
      if (bytes.size() > kStagingLineBytes + 30 && bytes.find("Hello.") != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    fs::remove(messagePath(box(n), 4711));
  });
  EXPECT_EQ(fetchOnce(always(staging::kNotSpam)), kFetchDone);
  client.join();
  EXPECT_EQ(readFile(messagePath(box(n), 4711)), FakePopServer::dotStuffed(mail("waits")));
  EXPECT_EQ(readFile(messagePath(box(n), 4712)), "waiting 4712");
  EXPECT_EQ(slots(n).at(0).state, SlotState::Finished);
  EXPECT_EQ(transfers(), (std::vector<std::string>{"TOP 1", "RETR 1"}));
}

TEST_F(MailFetcherTest, KeepsAnIdleConnectionAlive) {
  const int n = addBox("anna", {mail("slow")});
  timing.keepAliveMs = 20;
  auto rule = [](int, const StagingLine&) -> std::optional<std::uint32_t> {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    return staging::kSpam;
  };
  EXPECT_EQ(fetchOnce(rule), kFetchDone);
  EXPECT_EQ(slots(n).at(0).state, SlotState::Finished);
  const std::vector<std::string> commands = server.commands();
  EXPECT_GE(std::count(commands.begin(), commands.end(), "LIST 1\r\n"), 3);
}

TEST_F(MailFetcherTest, ServerFaultsEndTheFetchAndLeaveNothingHalfWritten) {
  struct Case {
    const char* name;
    PopFaults faults;
    bool decide;  // the analysis asks for delivery, so the fault hits a RETR
  };
  std::string longGreeting(3000, 'x');
  const Case cases[] = {
      {"GreetingRefused", greetingFault("-ERR go away\r\n"), false},
      {"GreetingGarbage", greetingFault("\x01\x02\xff garbage\r\n"), false},
      {"GreetingOverLong", greetingFault(longGreeting + "\r\n"), false},
      {"StatGarbage", statFault("+OK lots\r\n"), false},
      {"ListSizeAllOnes", listFault(2, "4294967295"), false},
      {"ListSizeGarbage", listFault(1, "12x"), false},
      {"ClosedInTop", cutFault(30), false},
      {"ClosedInRetr", cutFault(60), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(box(1));
    ASSERT_EQ(addBox("anna", {mail("a", std::string(200, 'b') + "\r\n"), mail("b")}), 1);
    std::size_t stagedBefore = 0;
    if (c.decide) {
      ASSERT_EQ(fetchOnce(), kFetchDone);  // staged without the fault
      stagedBefore = slots(1).size();
    }
    server.setFaults(c.faults);
    EXPECT_EQ(fetchOnce(c.decide ? always(staging::kNotSpam) : TestAnalysis::Rule{}), kFetchFailed);
    server.setFaults({});
    EXPECT_EQ(flags.get(flag::kFetcherBox), 0);
    EXPECT_EQ(flags.get(flag::kPauseRequest), 0);
    EXPECT_TRUE(strayFiles(1).empty());
    EXPECT_TRUE(inFiles(1).empty());
    // A slot left holds what it held: the header, to be delivered at the next fetch.
    EXPECT_EQ(slots(1).size(), stagedBefore);
  }
}

// Waits up to seconds for predicate to hold.
bool eventually(const std::function<bool()>& predicate, double seconds = 10) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (predicate()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return predicate();
}

// The worker on a thread of its own, with the analysis played alongside;
// stopped through flag 41 when it goes.
class RunningFetcher {
 public:
  RunningFetcher(EngineFlags& flags, PathBlock& paths, FetcherServices services,
                 FetcherTiming timing)
      : flags_(flags),
        analysis_(flags, paths.storeDir),
        fetcher_(flags, paths, services, std::move(timing)),
        thread_([this] { fetcher_.run(); }) {}
  ~RunningFetcher() { stop(); }
  // Seconds the worker took to end after flag 41.
  double stop() {
    const auto start = std::chrono::steady_clock::now();
    flags_.set(flag::kFetcherStop, 1);
    if (thread_.joinable()) thread_.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

 private:
  EngineFlags& flags_;
  TestAnalysis analysis_;
  MailFetcher fetcher_;
  std::thread thread_;
};

TEST_F(MailFetcherTest, RequestsAndIntervalsDecideWhichBoxIsFetched) {
  std::atomic<std::int64_t> now{1'000'000'000};
  timing.clock = [&now] { return now.load(); };
  addBox("anna", {mail("a")}, 0, true);   // entry 0: at start only
  addBox("bert", {mail("b")}, 0, false);  // entry 1: on request only
  addBox("carl", {mail("c")}, 5, false);  // entry 2: every 5 minutes
  const auto logins = [&] {
    return std::vector<int>{server.logins("anna"), server.logins("bert"), server.logins("carl")};
  };
  const auto passEnds = [&] {
    const std::vector<int> types = protocolTypes();
    return std::count(types.begin(), types.end(), fetch_event::kPassEnd);
  };
  RunningFetcher running(flags, paths, services(), timing);

  ASSERT_TRUE(eventually([&] { return passEnds() == 1; }));
  EXPECT_EQ(logins(), (std::vector<int>{1, 0, 0}));
  flags.set(flag::kCheckNow, 2 + 1);
  ASSERT_TRUE(eventually([&] { return passEnds() == 2; }));
  EXPECT_EQ(logins(), (std::vector<int>{1, 1, 0}));
  EXPECT_EQ(flags.get(flag::kCheckNow), 0);
  // Only carl is ever due by time.
  now += 1000 * kMicrosPerMinute;
  ASSERT_TRUE(eventually([&] { return passEnds() == 3; }));
  EXPECT_EQ(logins(), (std::vector<int>{1, 1, 1}));
  // While idle, a box waits for its full interval.
  now += 5 * kMicrosPerMinute - 1'000'000;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(passEnds(), 3);
  now += 2'000'000;
  ASSERT_TRUE(eventually([&] { return passEnds() == 4; }));
  EXPECT_EQ(logins(), (std::vector<int>{1, 1, 2}));
  flags.set(flag::kCheckNow, 1);
  ASSERT_TRUE(eventually([&] { return passEnds() == 5; }));
  EXPECT_EQ(logins(), (std::vector<int>{2, 2, 3}));
  const std::vector<int> types = protocolTypes();
  EXPECT_EQ(std::count(types.begin(), types.end(), fetch_event::kPassStart), 5);
  EXPECT_LT(running.stop(), 1.0);
}

TEST_F(MailFetcherTest, AFailingBoxIsTriedThreeTimesThenWaits) {
  addBox("anna", {mail("a")});
  server.setFaults(greetingFault("-ERR busy\r\n"));
  RunningFetcher running(flags, paths, services(), timing);
  ASSERT_TRUE(eventually([&] { return protocolTypes().size() == 5; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(protocolTypes(),
            (std::vector<int>{fetch_event::kPassStart, fetch_event::kRetry, fetch_event::kRetry,
                              fetch_event::kRetry, fetch_event::kPassEnd}));
  EXPECT_EQ(server.sessions(), 3);
  EXPECT_EQ(flags.get(flag::kFetcherBox), 0);
}

TEST_F(MailFetcherTest, GoesOnlineAsTheProfileAllows) {
  struct Case {
    const char* name;
    bool online;
    bool dialAllowed;  // field 415
    bool dialWorks;
    std::uint8_t hangUpField;  // field 416
    int wantLogins;
    bool wantDial;
    int wantHangUps;
  };
  const Case cases[] = {
      {"OnlineAlready", true, false, false, 1, 1, false, 0},
      {"OnlineAlreadyField416Zero", true, false, false, 0, 1, false, 1},
      {"OfflineMayNotDial", false, false, true, 1, 0, false, 0},
      {"OfflineDials", false, true, true, 1, 1, true, 1},
      {"OfflineDialsAndStaysOnline", false, true, true, 0, 1, true, 0},
      {"OfflineDialFails", false, true, false, 1, 0, true, 0},
  };
  addBox("anna", {mail("a")});
  RecordFile profile;
  profile.setDirectory(folder.root());
  profile.setName(*findProfile(folder.root(), "Standart 1"));
  ASSERT_TRUE(profile.load());
  profile.setText("Provider", profile_field::kDialFirst);
  profile.setText("555-0100", profile_field::kDialFirst + 1);
  profile.setText("dialuser", profile_field::kDialFirst + 2);
  profile.setText("dialpass", profile_field::kDialFirst + 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    profile.setFlag(c.dialAllowed, profile_field::kDialFlag);
    profile.setByte(c.hangUpField, profile_field::kDialByte);
    ASSERT_TRUE(profile.save());
    flags.clearAll();
    remote.online = c.online;
    remote.dialSucceeds = c.dialWorks;
    remote.dials = 0;
    remote.hangUps = 0;
    const int loginsBefore = server.logins("anna");
    {
      RunningFetcher running(flags, paths, services(), timing);
      if (c.wantLogins > 0) {
        ASSERT_TRUE(eventually([&] {
          return remote.hangUps == c.wantHangUps && server.logins("anna") > loginsBefore;
        }));
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(server.logins("anna") - loginsBefore, c.wantLogins);
    EXPECT_EQ(remote.dials > 0, c.wantDial);
    EXPECT_EQ(remote.hangUps, c.wantHangUps);
    if (c.wantDial) {
      EXPECT_EQ(remote.lastDial.entry, "Provider");
      EXPECT_EQ(remote.lastDial.number, "555-0100");
      EXPECT_EQ(remote.lastDial.user, "dialuser");
      EXPECT_EQ(remote.lastDial.password, "dialpass");
    }
  }
}

}  // namespace
}  // namespace qg
