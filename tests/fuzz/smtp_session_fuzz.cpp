// The local SMTP server's session on arbitrary client bytes, from memory,
// against one box. The first input byte chooses whether a greeting and a
// valid sender come first, the second how the rest is divided between
// receives. Every reply must end its line, each stored message must begin
// with its recipient line, and nothing may read or write out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../unit/memory_link.h"
#include "../unit/server_home.h"
#include "engine/outgoing_mail.h"
#include "netsvc/smtp_session.h"

namespace {

// Runs before the home is replaced (its logs grow with every run).
constexpr int kRunsPerHome = 2000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  qg::ServerHome& h = qg::recycledServerHome(kRunsPerHome);
  std::string input = (data[0] & 1) ? "EHLO x\r\nMAIL FROM:<user@example.com>\r\n" : "";
  input.append(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::size_t piece = data[1] == 0 ? input.size() + 1 : data[1];
  qg::MemoryLink link(qg::MemoryLink::split(input, piece));
  qg::SmtpServerContext context = h.smtpContext();
  qg::SmtpSession session(context, link);
  session.run();

  if (!link.sent.starts_with("220 ") || !link.sent.ends_with("\r\n")) std::abort();
  int stored = 0;
  for (const auto& entry : std::filesystem::directory_iterator(h.boxDir + "/OUT")) {
    if (!qg::readFile(entry.path().string()).starts_with("RCPT TO: ")) std::abort();
    std::filesystem::remove(entry.path());
    ++stored;
  }
  if (stored != session.stored()) std::abort();
  std::filesystem::remove(h.home() + "/" + std::string(qg::kOutEmailName));
  return 0;
}
