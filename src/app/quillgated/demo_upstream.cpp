#include "app/quillgated/demo_upstream.h"

#include <chrono>
#include <utility>

#include "netsvc/local_listener.h"
#include "platform/thread_name.h"

namespace qg::quillgated {

namespace {

constexpr int kStopWord = 1;

}  // namespace

DemoUpstream::DemoUpstream(HistoryWriter& history, ProtocolWriter& protocol, std::string programDir)
    : history_(history), protocol_(protocol), programDir_(std::move(programDir)) {}

DemoUpstream::~DemoUpstream() {
  stop();
}

int DemoUpstream::start(FixedMaildrop maildrop) {
  if (thread_.joinable()) return -1;
  maildrop_ = std::move(maildrop);
  flags_.set(kStopWord, 0);
  port_ = 0;
  thread_ = std::thread([this] { serve(); });
  std::unique_lock lock(mutex_);
  if (!listening_.wait_for(lock, std::chrono::seconds(kStartSeconds),
                           [this] { return port_ > 0; })) {
    lock.unlock();
    stop();
    return -1;
  }
  return port_;
}

void DemoUpstream::stop() {
  flags_.set(kStopWord, 1);
  if (thread_.joinable()) thread_.join();
}

void DemoUpstream::serve() {
  platform::nameCurrentThread("qg-upstream");
  LocalServerSettings settings;
  settings.onListening = [this](int port) {
    {
      std::lock_guard lock(mutex_);
      port_ = port;
    }
    listening_.notify_all();
  };
  PopServerContext context{programDir_, programDir_, history_, protocol_, uniqueIds_, &maildrop_};
  serveLocalClients("demo upstream POP3", settings, flags_, kStopWord, protocol_, programDir_,
                    [&](ClientLink& client) { Pop3Session(context, client).run(); });
}

}  // namespace qg::quillgated
