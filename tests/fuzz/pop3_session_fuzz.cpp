// The local POP3 server's session on arbitrary client bytes, from memory,
// against a box with a few IN files. The first input byte chooses whether a
// valid log-in comes first and whether the box is served as a read-only fixed
// maildrop (the demo's upstream server), the second how the rest is divided
// between receives. Every reply must end its line, nothing outside the
// maildrop may be touched, a fixed maildrop may lose no message, and nothing
// may read or write out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../unit/memory_link.h"
#include "../unit/server_home.h"
#include "netsvc/pop3_session.h"

namespace {

// Runs before the home is replaced (its logs grow with every run).
constexpr int kRunsPerHome = 2000;
constexpr const char* kOutside = "never offered";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  qg::ServerHome& h = qg::recycledServerHome(kRunsPerHome);
  qg::writeFile(h.inFile(0), "From: A <a@example.org>\r\nSubject: one\r\n\r\nbody\r\n.\r\nend\r\n");
  qg::writeFile(h.inFile(1), "Subject: two\r\n\r\n");
  qg::writeFile(h.inFile(7), ".\r\nno header at all\r\n.");
  qg::writeFile(h.inFile(9000), kOutside);

  std::string input = (data[0] & 1) ? "USER bob\r\nPASS secret\r\n" : "";
  input.append(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::size_t piece = data[1] == 0 ? input.size() + 1 : data[1];
  qg::MemoryLink link(qg::MemoryLink::split(input, piece));
  qg::PopServerContext context = h.popContext();
  const qg::FixedMaildrop fixed{"bob", "secret", h.boxDir};
  if ((data[0] & 2) != 0) context.fixedMaildrop = &fixed;
  qg::Pop3Session session(context, link);
  session.run();

  if (!link.sent.starts_with("+OK POP3 server ready\r\n") || !link.sent.ends_with("\r\n"))
    std::abort();
  if (qg::readFile(h.inFile(9000)) != kOutside) std::abort();
  if (context.fixedMaildrop != nullptr) {
    for (const int n : {0, 1, 7}) {
      if (!std::filesystem::exists(h.inFile(n))) std::abort();
    }
  }
  return 0;
}
