// An analysis context for the decision and request-mail tests: a home in a
// temporary folder with box 1 (its OUT folder, settings and own address), a
// profile without rules, small filter lists, and a message parsed from a
// few header lines.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "classify/analysis_context.h"
#include "classify/header_analyzer.h"
#include "engine/filter_profile.h"
#include "engine/mail_store.h"
#include "engine/outgoing_mail.h"
#include "engine/staging_line.h"
#include "test_folder.h"
#include "text/date_record.h"

namespace qg {

// The box's address, its Cc-able own address and the provider of its mail exchange.
inline constexpr std::string_view kOwnAddress = "me@example.net";

// A stamp in December 2006 (the calendar's own), for request codes.
inline constexpr std::int64_t kFixtureNow =
    2006 * kStampYear + 11 * kStampMonth + 4 * kStampDay + 18 * kStampHour + 24 * kStampMinute;

class AnalysisFixture {
 public:
  AnalysisFixture() {
    context.programDir = context.storeDir = context.listDir = folder.root();
    context.boxNumber = 1;
    context.boxDirectory = boxDirectory(folder.root(), 1);
    std::filesystem::create_directories(context.boxDirectory + "/OUT");
    context.boxSettings.setDirectory(context.boxDirectory);
    context.boxSettings.setName(kBoxRecordName);
    context.boxSettings.setText(std::string(kOwnAddress), box_field::kAddress);
    context.boxSettings.setText("me", box_field::kUser);
    context.boxSettings.setText("smtp.example.net", box_field::kSmtpHost);
    context.own.addresses = {"ME@EXAMPLE.NET"};
    context.own.mailExchanges = {{"MX.EXAMPLE.NET"}};
    resetProfile(context.profile, 0);
    context.filters.setListDirectory(folder.root());
  }

  // Parses header lines (joined with CR LF, a blank line and body behind
  // them) as a staging file with the given size and whole-message flag.
  void mail(std::string_view lines, std::string_view body = "", bool whole = true,
            std::uint32_t size = 1000) {
    StagingLine line;
    line.size = size;
    line.flags = whole ? staging::kWholeMessage : 0;
    const StagingLineBytes record = formatStagingLine(line);
    std::string text(record.begin(), record.end());
    text += lines;
    text += "\r\n\r\n";
    text += body;
    parseStagingText(text, context.own, context.message);
  }

  TestFolder folder;
  AnalysisContext context;
};

}  // namespace qg
