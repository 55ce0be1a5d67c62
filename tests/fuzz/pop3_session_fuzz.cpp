// The local POP3 server's session on arbitrary client bytes, from memory,
// against a box with three IN files. The first input byte chooses whether a
// valid log-in comes first, the second how the rest is divided between
// receives. Every reply must end its line, nothing outside the maildrop may be
// touched, and nothing may read or write out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "../unit/memory_link.h"
#include "../unit/server_home.h"
#include "netsvc/pop3_session.h"

namespace {

// A fresh home now and then, so the logs of earlier runs stay small.
constexpr int kRunsPerHome = 2000;
constexpr const char* kOutside = "never offered";

qg::ServerHome& home() {
  static std::unique_ptr<qg::ServerHome> current;
  static int runs = 0;
  if (!current || ++runs % kRunsPerHome == 0) {
    // Logs are flushed to disk on every event; a memory file system keeps that cheap.
    if (std::filesystem::is_directory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 1);
    current.reset();
    current = std::make_unique<qg::ServerHome>();
  }
  return *current;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  qg::ServerHome& h = home();
  qg::writeFile(h.inFile(0), "From: A <a@example.org>\r\nSubject: one\r\n\r\nbody\r\n.\r\nend\r\n");
  qg::writeFile(h.inFile(1), "Subject: two\r\n\r\n");
  qg::writeFile(h.inFile(7), ".\r\nno header at all\r\n.");
  qg::writeFile(h.inFile(9000), kOutside);

  std::string input = (data[0] & 1) ? "USER bob\r\nPASS secret\r\n" : "";
  input.append(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::size_t piece = data[1] == 0 ? input.size() + 1 : data[1];
  qg::MemoryLink link(qg::MemoryLink::split(input, piece));
  qg::PopServerContext context = h.popContext();
  qg::Pop3Session session(context, link);
  session.run();

  if (!link.sent.starts_with("+OK POP3 server ready\r\n") || !link.sent.ends_with("\r\n"))
    std::abort();
  if (qg::readFile(h.inFile(9000)) != kOutside) std::abort();
  return 0;
}
