// Fetch throughput of the POP3 client: log in, RETR one message into a file
// (as the fetcher does, with the 50-byte reserve) and QUIT, against a server
// named by QG_BENCH_POP3="PORT USER PASSWORD [MESSAGE]" on 127.0.0.1. The
// reference, curl retrieving the same message from the same server, is timed
// in the same run by bench/fetch_vs_curl.py, which starts Dovecot and sets the
// variable. Without it the benchmark reports an error and measures nothing.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "engine/file_primitives.h"
#include "retrieval/mail_socket.h"
#include "retrieval/pop3_client.h"

namespace {

struct Server {
  int port = 0;
  std::string user;
  std::string password;
  int message = 1;
};

bool serverFromEnvironment(Server& server) {
  const char* text = std::getenv("QG_BENCH_POP3");
  if (text == nullptr) return false;
  std::istringstream words(text);
  words >> server.port >> server.user >> server.password;
  if (!(words >> server.message)) server.message = 1;
  return server.port > 0 && !server.user.empty();
}

void pop3Retr(benchmark::State& state) {
  Server server;
  if (!serverFromEnvironment(server)) {
    state.SkipWithError("QG_BENCH_POP3 is not set: run bench/fetch_vs_curl.py");
    return;
  }
  const std::string path =
      (std::filesystem::temp_directory_path() / ("qgbench-retr-" + std::to_string(::getpid())))
          .string();
  std::int64_t bytes = 0;
  for (auto _ : state) {
    qg::MailSocket socket;
    qg::PopClient client(socket);
    if (client.login("127.0.0.1", server.port, server.user, server.password, 0, nullptr) != 0) {
      state.SkipWithError("log-in failed");
      break;
    }
    const std::int64_t got = client.retr(server.message, path, qg::kStagingReserve);
    client.quit();
    if (got < 0) {
      state.SkipWithError("RETR failed");
      break;
    }
    bytes += got;
  }
  qg::deleteFileRetry(path);
  state.SetBytesProcessed(bytes);
}

}  // namespace

BENCHMARK(pop3Retr)->Unit(benchmark::kMillisecond)->UseRealTime();
