#include "classify/box_selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis_home.h"
#include "engine/mail_store.h"

namespace qg {
namespace {

namespace bf = box_field;

struct Lookups {
  std::vector<std::string> domains;
  std::string answer;
  MailExchangeLookup function() {
    return [this](const std::string& domain) {
      domains.push_back(domain);
      return answer;
    };
  }
};

RecordFile boxRecord(const AnalysisHome& home) {
  RecordFile box;
  loadBox(home.home(), home.box, box);
  return box;
}

void setBoxText(const AnalysisHome& home, std::uint32_t field, std::string_view value) {
  RecordFile box = boxRecord(home);
  box.setText(value, field);
  box.save();
}

TEST(BoxSelection, FillsTheOwnAddressesAndTheirExchangesOnce) {
  AnalysisHome home;
  setBoxText(home, bf::kMoreAddresses, " second@example.org; ;third@x.yy ");
  Lookups lookups;
  lookups.answer = "192.0.2.1 mx1.example.com mx2.example.com";

  ASSERT_TRUE(selectBox(home.context, home.box, lookups.function()));
  EXPECT_EQ(lookups.domains, (std::vector<std::string>{"EXAMPLE.COM", "EXAMPLE.ORG", "X.YY"}));
  const RecordFile box = boxRecord(home);  // as saved
  EXPECT_EQ(box.getByte(bf::kOwnAddressCount), 3);
  EXPECT_EQ(box.getText(101), "USER@EXAMPLE.COM");
  EXPECT_EQ(box.getText(102), "SECOND@EXAMPLE.ORG");
  EXPECT_EQ(box.getText(103), "THIRD@X.YY");
  EXPECT_EQ(box.getByte(200), 2);
  EXPECT_EQ(box.getText(201), "MX1.EXAMPLE.COM");
  EXPECT_EQ(box.getText(202), "MX2.EXAMPLE.COM");
  EXPECT_EQ(box.getByte(1000), 1);
  EXPECT_EQ(home.context.own.addresses.size(), 3u);
  EXPECT_EQ(home.context.own.mailExchanges[2].size(), 2u);
  EXPECT_EQ(home.context.boxDirectory, home.boxDir);
  EXPECT_EQ(home.context.profile.getText(profile_field::kName), kDefaultProfile);

  // Found exchanges are never looked up again.
  home.context.boxNumber = -1;
  ASSERT_TRUE(selectBox(home.context, home.box, lookups.function()));
  EXPECT_EQ(lookups.domains.size(), 3u);
}

TEST(BoxSelection, AnAddressWithoutExchangesIsTriedThreeTimes) {
  AnalysisHome home;
  Lookups lookups;
  for (int i = 0; i < 5; ++i) {
    home.context.boxNumber = -1;
    ASSERT_TRUE(selectBox(home.context, home.box, lookups.function()));
  }
  EXPECT_EQ(lookups.domains.size(), 3u);
  EXPECT_EQ(boxRecord(home).getByte(1000), 3);

  // At most nine hosts are kept of an answer.
  RecordFile box;
  box.setText("ME@A.BB", bf::kAddress);
  lookups.answer = "192.0.2.1 h1.a.bb h2 h3 h4 h5 h6 h7 h8 h9 h10";
  fillOwnAddresses(box, lookups.function());
  EXPECT_EQ(box.getByte(200), 9);
  EXPECT_EQ(box.getText(209), "H9");
  EXPECT_EQ(box.getText(210), "");
}

TEST(BoxSelection, FailuresLeaveNoBoxCurrent) {
  const struct {
    std::string name;
    std::uint32_t field;
    std::string value;
  } cases[] = {
      {"address not valid", bf::kAddress, "x@"},
      {"no profile name", bf::kProfile, "   "},
      {"no profile of that name", bf::kProfile, "Nobody's"},
  };
  for (const auto& c : cases) {
    AnalysisHome home;
    setBoxText(home, c.field, c.value);
    Lookups lookups;
    EXPECT_FALSE(selectBox(home.context, home.box, lookups.function())) << c.name;
    EXPECT_EQ(home.context.boxNumber, -1) << c.name;
    // Not current after a failure, so a second call fails the same way.
    EXPECT_FALSE(selectBox(home.context, home.box, lookups.function())) << c.name;
  }
  AnalysisHome home;
  Lookups lookups;
  EXPECT_FALSE(selectBox(home.context, 7, lookups.function()));

  // Leading blanks of the profile name are skipped.
  setBoxText(home, bf::kProfile, "  Standart 2");
  EXPECT_TRUE(selectBox(home.context, home.box, lookups.function()));
  EXPECT_EQ(home.context.profile.getText(profile_field::kName), "Standart 2");
}

}  // namespace
}  // namespace qg
