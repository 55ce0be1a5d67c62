// Staging a 1,000-message box: one box fetch by the mail fetcher (LIST and
// TOP of every message, a staging file and a history event each) from an
// in-process POP3 server, beside the bare protocol work (the same LIST and
// TOP into files with the POP3 client alone) in the same run. Each runs once
// in the system's temporary folder and once in /dev/shm (a memory file
// system): for the fetch the difference is mostly the history writer's flush
// to disk per event.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/box_setup.h"
#include "engine/engine_state.h"
#include "engine/file_primitives.h"
#include "engine/filter_profile.h"
#include "engine/history_file.h"
#include "engine/protocol_file.h"
#include "platform/remote_access.h"
#include "retrieval/mail_fetcher.h"
#include "retrieval/pop3_client.h"
#include "support/fake_pop_server.h"
#include "support/test_analysis.h"
#include "unit/test_folder.h"

namespace {

constexpr int kMessages = 1000;

// A server holding kMessages messages with headers of a usual size.
qg::fakes::FakePopServer& server() {
  static qg::fakes::FakePopServer* server = [] {
    auto* made = new qg::fakes::FakePopServer;
    std::vector<std::string> messages;
    for (int i = 0; i < kMessages; ++i) {
      messages.push_back(
          "Return-Path: <sender" + std::to_string(i) +
          "@example.org>\r\nReceived: from mx.example.org (mx.example.org "
          "[192.0.2.7]) by pop.example.net with ESMTP id " +
          std::to_string(100000 + i) +
          "\r\n\tfor <anna@example.net>; Mon, 2 Dec 2024 10:00:00 +0000\r\n"
          "From: Sender " +
          std::to_string(i) + " <sender" + std::to_string(i) +
          "@example.org>\r\nTo: anna@example.net\r\nSubject: Message number " + std::to_string(i) +
          "\r\nDate: Mon, 2 Dec 2024 10:00:00 +0000\r\nMessage-ID: <" + std::to_string(i) +
          "@example.org>\r\n\r\n" + std::string(2000, 'b') + "\r\n");
    }
    made->setMailbox("anna", "secret", messages);
    return made;
  }();
  return *server;
}

void bareListAndTop(benchmark::State& state, const std::filesystem::path& under) {
  qg::TestFolder folder(under);
  for (auto _ : state) {
    qg::MailSocket socket;
    qg::PopClient client(socket);
    if (client.login("127.0.0.1", server().port(), "anna", "secret", 0, nullptr) != 0) {
      state.SkipWithError("log-in failed");
      break;
    }
    for (int i = 1; i <= kMessages; ++i) {
      client.list(i);
      client.top(i, folder.path(std::to_string(i) + ".hd"), qg::kStagingReserve);
    }
    client.quit();
  }
  state.counters["messages"] = kMessages;
}

// One home folder with the box, and the fetcher's services.
struct Setup {
  explicit Setup(const std::filesystem::path& under) : home(under) {
    qg::ensureBuiltinProfiles(home.root());
    qg::NewBoxOptions options;
    options.pop3Host = "127.0.0.1";
    options.pop3Port = static_cast<std::uint16_t>(server().port());
    options.user = "anna";
    options.password = "secret";
    qg::createBox(home.root(), "anna@example.net", options);
    paths.setProgramDir(home.root());
    paths.setStoreDir(home.root());
    paths.setListDir(home.root());
  }
  qg::TestFolder home;
  qg::EngineFlags flags;
  qg::PathBlock paths;
  qg::ProtocolWriter protocol;
  qg::HistoryWriter history;
  qg::platform::FakeRemoteAccess remote;
};

void stageBox(benchmark::State& state, const std::filesystem::path& under) {
  for (auto _ : state) {
    state.PauseTiming();
    auto setup = std::make_unique<Setup>(under);
    auto analysis = std::make_unique<qg::fakes::TestAnalysis>(setup->flags, setup->paths.storeDir);
    qg::MailFetcher fetcher(setup->flags, setup->paths,
                            {setup->protocol, setup->history, setup->remote});
    fetcher.buildTable();
    fetcher.prepareBox(0);
    state.ResumeTiming();
    if (fetcher.fetchBox(0) != qg::kFetchDone) state.SkipWithError("fetch failed");
    state.PauseTiming();
    analysis.reset();
    setup.reset();
    state.ResumeTiming();
  }
  state.counters["messages"] = kMessages;
}

const std::filesystem::path kMemory = "/dev/shm";

void bareOnDisk(benchmark::State& state) {
  bareListAndTop(state, std::filesystem::temp_directory_path());
}
void bareInMemory(benchmark::State& state) {
  bareListAndTop(state, kMemory);
}
void stageBoxOnDisk(benchmark::State& state) {
  stageBox(state, std::filesystem::temp_directory_path());
}
void stageBoxInMemory(benchmark::State& state) {
  stageBox(state, kMemory);
}

}  // namespace

BENCHMARK(bareOnDisk)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(bareInMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(stageBoxOnDisk)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(stageBoxInMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
