#include "app/quillgated/demo_run.h"

#include <chrono>
#include <iostream>
#include <string_view>
#include <utility>

#include "app/quillgated/demo_messages.h"

namespace qg::quillgated {

namespace {

// Tells this run's copies of the sample messages from earlier runs' copies.
std::string runTag() {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return std::to_string(seconds.count());
}

// text as one word for a POSIX shell.
std::string shellQuoted(std::string_view text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  return out + "'";
}

// text as a Python string literal.
std::string pythonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

// A command that lists the verdict, sender and Subject of every message the
// local POP3 server holds, leaving the mail where it is (TOP only).
std::string listingCommand(int port, const DemoBox& box) {
  const std::string code =
      "import poplib, email, email.policy as p; s = poplib.POP3(\"127.0.0.1\", " +
      std::to_string(port) + "); s.user(" + pythonString(box.user) + "); s.pass_(" +
      pythonString(box.password) +
      "); [print(m[\"X-QG\"] or \"-\", \"|\", m[\"From\"], \"|\", m[\"Subject\"]) for m in "
      "(email.message_from_bytes(b\"\\r\\n\".join(s.top(k, 0)[1]), policy=p.default) for k in "
      "range(1, s.stat()[0] + 1))]; s.quit()";
  return "python3 -c " + shellQuoted(code);
}

}  // namespace

DemoRun::DemoRun(HistoryWriter& history, ProtocolWriter& protocol, std::string home,
                 const DaemonOptions& options)
    : home_(std::move(home)),
      pop3Port_(options.pop3Port),
      smtpPort_(options.smtpPort),
      upstream_(history, protocol, home_) {}

bool DemoRun::prepare() {
  std::string problem;
  std::optional<DemoBox> box = prepareDemoHome(home_, problem);
  if (!box) {
    std::cerr << "quillgated: demo: " << problem << "\n";
    return false;
  }
  const std::string maildrop = home_ + "/" + std::string(kUpstreamFolderName);
  const std::optional<std::vector<std::string>> ids = seedUpstream(maildrop, runTag());
  if (!ids) {
    std::cerr << "quillgated: demo: cannot add the sample messages to " << maildrop << "\n";
    return false;
  }
  upstreamPort_ = upstream_.start(FixedMaildrop{box->user, box->password, maildrop});
  if (upstreamPort_ < 0) {
    std::cerr << "quillgated: demo: the built-in upstream POP3 server did not start\n";
    return false;
  }
  if (!pointBoxAt(home_, box->number, upstreamPort_)) {
    std::cerr << "quillgated: demo: cannot write box.log of box " << box->number << "\n";
    return false;
  }
  seeded_ = ids->size();
  box_ = std::move(*box);
  arrival_.emplace(box_.folder, *ids);
  return true;
}

void DemoRun::printGuide() const {
  std::cout << "Quillgate demo\n"
            << "  Home folder:  " << home_ << "\n"
            << "  Upstream:     built-in POP3 server on 127.0.0.1:" << upstreamPort_ << ", holding "
            << seeded_ << " new sample messages\n"
            << "                (ham, spam, a Cyrillic one, one from a black-listed sender)\n"
            << "  Box " << box_.number << ":        " << kDemoAddress
            << ", fetched from the upstream and sorted by the profile \"" << kDemoProfileName
            << "\"\n"
            << "\n"
            << "Read the sorted mail with any mail client (no encryption):\n"
            << "  POP3 server:  127.0.0.1 port " << pop3Port_ << ", user " << box_.user
            << ", password " << box_.password << "\n"
            << "  SMTP server:  127.0.0.1 port " << smtpPort_ << "\n"
            << "List it (verdict | sender | Subject) without taking it:\n"
            << "  " << listingCommand(pop3Port_, box_) << "\n"
            << "Show message 1:\n"
            << "  curl --user " << shellQuoted(box_.user + ":" + box_.password)
            << " pop3://127.0.0.1:" << pop3Port_ << "/1\n"
            << "\n"
            << "Ctrl+C ends the demo; the home folder stays, and the next run adds the sample "
               "messages again.\n"
            << "Waiting for the sample mail..." << std::endl;
}

void DemoRun::tick() {
  if (announced_ || !arrival_ || ++ticks_ % kTicksPerLook != 0 || !arrival_->look()) return;
  announced_ = true;
  const DemoArrivalCounts& counts = arrival_->counts();
  std::cout << "The sample mail has arrived in IN: " << counts.delivered << " of " << seeded_
            << " delivered";
  if (counts.withheld > 0) std::cout << ", " << counts.withheld << " withheld as spam";
  if (counts.held > 0) std::cout << ", " << counts.held << " held";
  if (counts.quarantined > 0) std::cout << ", " << counts.quarantined << " quarantined";
  std::cout << ". Read it now." << std::endl;
}

void DemoRun::stop() {
  upstream_.stop();
}

}  // namespace qg::quillgated
