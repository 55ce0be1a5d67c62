#include "classify/verdict_apply.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "analysis_home.h"
#include "classify/box_selection.h"
#include "classify/header_analyzer.h"
#include "classify/quarantine_list.h"
#include "classify/verdict.h"
#include "engine/filter_lists.h"
#include "engine/new_mail_sound.h"
#include "text/date_record.h"

namespace qg {
namespace {

using namespace verdict;

constexpr std::string_view kHeader =
    "From: Ann <ann@sender.org>\r\nTo: user@example.com\r\nSubject: Hello\r\n"
    "Date: Tue, 05 Dec 2006 18:24:11 +0300\r\n";
constexpr std::string_view kWhole =
    "From: Ann <ann@sender.org>\r\nTo: user@example.com\r\nSubject: Hello\r\n"
    "Date: Tue, 05 Dec 2006 18:24:11 +0300\r\n\r\nbody\r\n";
constexpr std::uint32_t kTag = 14 << kRuleTagShift;  // rule 4 decided

// A home with box 1 current, and slot 1 staged and applied.
struct ApplyBench {
  ApplyBench() {
    EXPECT_TRUE(selectBox(home.context, home.box, [](const std::string&) { return ""; }));
  }

  // Stages slot 1 (the whole message when whole) and applies verdict to it.
  Applied run(std::uint32_t verdictWord, bool whole) {
    const std::string path = home.stage(1, whole ? kWhole : kHeader, whole ? kWholeMessageHeld : 0);
    EXPECT_EQ(parseStagingFile(path, home.context.own, home.context.message), 1);
    message = {path, *home.context.message.recordLine, whole};
    return applyVerdict(verdictWord, message, home.context, services, now);
  }

  std::vector<std::uint8_t> protocolTypes() const {
    std::vector<std::uint8_t> types;
    for (const ProtocolRecord& r : home.protocolRecords()) types.push_back(r.type);
    return types;
  }
  std::vector<std::uint8_t> historyTypes() const {
    std::vector<std::uint8_t> types;
    for (const HistoryRecord& r : home.historyRecords()) {
      for (std::size_t i = 0; i < r.eventCount(); ++i) types.push_back(r.events[i].type);
    }
    return types;
  }
  static std::optional<StagingLine> lineOf(const std::string& path) {
    FileHandle file;
    if (!openExisting(path, file)) return std::nullopt;
    return readStagingLine(file);
  }

  AnalysisHome home;
  int requests = 0;
  ApplyServices services{home.protocol, home.history, [this](AnalysisContext&, std::int64_t) {
                           ++requests;
                           return true;
                         }};
  std::int64_t now = DateRecord::fromFields(2024, 3, 30, 12).stamp;
  StagingMessage message;
};

class VerdictApply : public ::testing::Test {
 protected:
  ApplyBench bench;
  AnalysisHome& home = bench.home;
};

TEST_F(VerdictApply, EveryPathRenamesWithItsFlagWord) {
  const struct {
    std::string name;
    std::uint32_t verdict;
    bool whole;
    Applied want;
    SlotState wantState;
    std::uint32_t wantFlags;
    std::vector<std::uint8_t> wantProtocol;
  } cases[] = {
      {"whole message needed",
       kWholeMessageNeeded,
       false,
       Applied::WholeRequested,
       SlotState::Classified,
       kFetchWhole,
       {}},
      {"marks on a header asks for the whole message",
       kSpam | kMarkSubject | kTag,
       false,
       Applied::WholeRequested,
       SlotState::Classified,
       kFetchWhole,
       {}},
      {"a consumed reply is withheld",
       kReplyConsumed,
       false,
       Applied::ReplyConsumed,
       SlotState::Classified,
       kSpam,
       {kProtocolReplyConsumed}},
      {"waiting for blocklist answers keeps bit 31",
       kAwaitingBlocklist,
       true,
       Applied::AwaitingBlocklist,
       SlotState::AwaitingBlocklist,
       kAwaitingBlocklist | kWholeMessageHeld,
       {}},
      {"not spam",
       kNotSpam | kSound | kTag,
       false,
       Applied::Classified,
       SlotState::Classified,
       kNotSpam | kSound | kTag,
       {kProtocolNotSpam}},
      {"spam, whole",
       kSpam | kNotice | kTag,
       true,
       Applied::Classified,
       SlotState::Classified,
       kSpam | kNotice | kTag | kWholeMessageHeld,
       {kProtocolSpam}},
      {"a fetch request left in a user's verdict goes",
       kNotSpam | kUserSet | kFetchWhole,
       true,
       Applied::Classified,
       SlotState::Classified,
       kNotSpam | kUserSet | kWholeMessageHeld,
       {kProtocolNotSpam}},
      {"quarantine",
       kSpam | kQuarantine | kTag,
       false,
       Applied::Quarantined,
       SlotState::Quarantined,
       kSpam | kQuarantine | kTag,
       {}},
      {"nothing asked", 0, false, Applied::Ignored, SlotState::New, 0, {}},
  };
  for (const auto& c : cases) {
    ApplyBench fresh;
    EXPECT_EQ(fresh.run(c.verdict, c.whole), c.want) << c.name;
    const std::string path = fresh.home.slot(1, c.wantState);
    EXPECT_EQ(fresh.message.path, path) << c.name;
    const std::optional<StagingLine> line = ApplyBench::lineOf(path);
    ASSERT_TRUE(line) << c.name;
    EXPECT_EQ(line->flags, c.wantFlags) << c.name;
    EXPECT_EQ(fresh.protocolTypes(), c.wantProtocol) << c.name;
  }
}

TEST_F(VerdictApply, MarkedMessageIsRewrittenAndDeliveredWhole) {
  const std::uint32_t word = kSpam | kMarkSubject | kAddHeader | kSound | kTag;
  EXPECT_EQ(bench.run(word, true), Applied::Marked);
  const std::string path = home.slot(1, SlotState::Classified);
  const std::string body = readFile(path).substr(kStagingLineBytes);
  EXPECT_EQ(body,
            "From: Ann <ann@sender.org>\r\nTo: user@example.com\r\nSubject: __Spam Hello\r\n"
            "Date: Tue, 05 Dec 2006 18:24:11 +0300\r\nX-QG: Spam\r\n\r\nbody\r\n");
  const std::optional<StagingLine> line = ApplyBench::lineOf(path);
  ASSERT_TRUE(line);
  // Delivered as Not spam with its options, and still marked as whole.
  EXPECT_EQ(line->flags, kNotSpam | kMarkSubject | kAddHeader | kSound | kTag | kWholeMessageHeld);
  EXPECT_EQ(line->received, body.size());
  EXPECT_EQ(bench.historyTypes(), std::vector<std::uint8_t>{kHistoryClassified});
  EXPECT_FALSE(fileExists(home.boxDir + "/TMP/" + std::string(kMarkTempName)));
  EXPECT_EQ(bench.requests, 0);
}

TEST_F(VerdictApply, HeldMessageExpiresAfterTheHoldDaysAndAsksTheSender) {
  RecordFile profile = home.profile();
  profile.setByte(5, profile_field::kHoldDays);
  profile.save();
  home.context.profile.load();
  const std::uint32_t word = kUndetermined | kSendRequest | kNotice | kSound | kTag;
  EXPECT_EQ(bench.run(word, false), Applied::Held);

  const std::string path = home.slot(1, SlotState::Held);
  const std::optional<StagingLine> line = ApplyBench::lineOf(path);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->flags, word);
  EXPECT_EQ(line->stamp, DateRecord::fromFields(2024, 4, 4, 12).stamp);
  EXPECT_EQ(bench.historyTypes(),
            (std::vector<std::uint8_t>{kHistoryClassified, kHistoryRequestSent}));
  EXPECT_EQ(bench.requests, 1);
  EXPECT_EQ(fileBytes(home.folder.path("soun.inf")).size(), kSoundRecordBytes);
  const std::string notice = readFile(home.folder.path("wizi.inf"));
  EXPECT_NE(notice.find("Ann <ann@sender.org>"), std::string::npos);
}

TEST_F(VerdictApply, QuarantineListsTheMessage) {
  const std::uint32_t word = kSpam | kQuarantine | kTag;
  ASSERT_EQ(bench.run(word, false), Applied::Quarantined);
  const std::vector<std::uint8_t> bytes = fileBytes(home.folder.path("zap.inf"));
  std::size_t used = 0;
  const std::optional<QuarantineRecord> record = decodeQuarantineRecord(bytes, used);
  ASSERT_TRUE(record);
  EXPECT_EQ(used, bytes.size());
  EXPECT_EQ(record->key, (1u << 16) + 1);
  EXPECT_EQ(record->verdict, word);
  EXPECT_EQ(record->size, 1000u);
  EXPECT_EQ(record->stamp, 0x00E1F3A400000000);
  EXPECT_NE(record->sent, 0);
  EXPECT_EQ(record->flags, kQuarantineHeaderOnly);
  EXPECT_EQ(record->from, "Ann <ann@sender.org>");
  EXPECT_EQ(record->to, "user@example.com");
  EXPECT_EQ(record->subject, "Hello");
  EXPECT_EQ(record->path, home.slot(1, SlotState::Quarantined));
}

// A message in quarantine without its zap.inf record would never be seen again.
TEST_F(VerdictApply, QuarantineThatCannotBeListedGoesBackToBeDecidedAgain) {
  std::filesystem::create_directory(home.folder.path("zap.inf"));  // cannot be appended to
  EXPECT_EQ(bench.run(kSpam | kQuarantine | kTag, false), Applied::Failed);
  EXPECT_TRUE(std::filesystem::exists(home.slot(1, SlotState::New)));
  EXPECT_FALSE(std::filesystem::exists(home.slot(1, SlotState::Quarantined)));
}

TEST_F(VerdictApply, LearnsTheSenderByClass) {
  bench.run(kSpam | kLearnSender | kTag, false);
  EXPECT_EQ(home.context.filters.addressLookup("ANN@SENDER.ORG"), kListBlack);
  ApplyBench other;
  other.run(kNotSpam | kLearnSender | kTag, false);
  EXPECT_EQ(other.home.context.filters.addressLookup("ann@sender.org"), kListWhite);
}

}  // namespace
}  // namespace qg
