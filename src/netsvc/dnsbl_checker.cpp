#include "netsvc/dnsbl_checker.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "engine/file_primitives.h"
#include "engine/work_queue.h"
#include "netsvc/dns_resolver.h"
#include "netsvc/online_passes.h"

namespace qg {

namespace {

// Bytes of the address at the start of a request and of a result.
constexpr std::size_t kAddressBytes = 4;

Ipv4Number addressAt(std::span<const std::uint8_t> bytes) {
  return static_cast<Ipv4Number>(bytes[0]) | static_cast<Ipv4Number>(bytes[1]) << 8 |
         static_cast<Ipv4Number>(bytes[2]) << 16 | static_cast<Ipv4Number>(bytes[3]) << 24;
}

std::optional<unsigned> lastOctet(const std::string& address) {
  const std::size_t dot = address.rfind('.');
  const std::string_view digits =
      std::string_view(address).substr(dot == std::string::npos ? 0 : dot + 1);
  if (digits.empty() || digits.size() > 3) return std::nullopt;
  unsigned value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value;
}

// Removes the head request. A file that vanished has nothing to remove.
void dropHead(const std::string& path) {
  FileHandle file;
  if (openExisting(path, file)) queueDropHead(file, static_cast<std::int64_t>(kDnsblRequestSize));
}

}  // namespace

DnsblPacer::DnsblPacer(WorkerTime start, DnsblPacing pacing)
    : pacing_(pacing), lastEnd_(start - std::max(pacing.gap, pacing.longGap)) {}

WorkerTime DnsblPacer::nextLookupAt() {
  if (lookups_ >= pacing_.lookupsPerLongGap) {
    lookups_ = 0;
    return lastEnd_ + pacing_.longGap;
  }
  return lastEnd_ + pacing_.gap;
}

void DnsblPacer::lookupEnded(WorkerTime end) {
  lastEnd_ = end;
  ++lookups_;
}

std::optional<std::uint32_t> dnsblResultWord(const DnsblRequest& request,
                                             const std::optional<std::string>& answer) {
  const std::uint32_t signature = zoneSignature(request.zone);
  if (!answer) return signature;
  const std::optional<unsigned> octet = lastOctet(*answer);
  if (!octet) return std::nullopt;
  for (const std::uint8_t code : request.codes) {
    if (code != 0 && code == *octet) return signature | kDnsblListedBit;
  }
  return std::nullopt;
}

DnsblChecker::DnsblChecker(EngineFlags& flags, std::string programDir,
                           const platform::RemoteAccess& remoteAccess, HostLookup lookup,
                           WorkerClock clock, DnsblPacing pacing)
    : flags_(flags),
      requestPath_(programDir + "/" + std::string(kDnsblRequestFile)),
      resultPath_(programDir + "/" + std::string(kDnsblResultFile)),
      remoteAccess_(remoteAccess),
      lookup_(std::move(lookup)),
      wait_(flags, flag::kDnsblStop, std::move(clock)),
      pacer_(wait_.now(), pacing) {}

bool DnsblChecker::resultKnown(Ipv4Number address) const {
  std::vector<std::uint8_t> found;
  return resultsFind(
      resultPath_, kDnsblResultSize,
      [address](std::span<const std::uint8_t> record) { return addressAt(record) == address; },
      found);
}

// The head request is read and the file closed again before the lookup, so
// the analysis worker can go on appending while the checker waits on DNS; the
// request is removed only after its result is stored, so a crash between the
// two finds the result and drops the request without a second lookup.
DnsblChecker::Step DnsblChecker::checkHead() {
  std::array<std::uint8_t, kDnsblRequestSize> record{};
  std::size_t got = 0;
  {
    FileHandle file;
    if (!openExisting(requestPath_, file)) return Step::QueueEmpty;
    const long n = file.readFull(record.data(), record.size());
    got = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (got == 0) return Step::QueueEmpty;
    if (got < kAddressBytes) {
      // Not even an address: records appended behind these bytes could never
      // be read in step, so the queue is emptied like any cut record.
      file.truncate(0);
      return Step::QueueEmpty;
    }
  }
  if (!resultKnown(addressAt(record))) {
    std::optional<std::uint32_t> word;
    const auto bytes = std::span(reinterpret_cast<const char*>(record.data()), got);
    if (const std::optional<DnsblRequest> request = decodeDnsblRequest(bytes)) {
      if (!wait_.until(pacer_.nextLookupAt())) return Step::Stopped;
      const std::optional<std::string> answer =
          lookup_(dnsblQueryName(request->address, request->zone));
      pacer_.lookupEnded(wait_.now());
      if (!remoteAccess_.connected()) return Step::Held;
      word = dnsblResultWord(*request, answer);
    }
    if (word) {
      const auto result = encodeDnsblResult({addressAt(record), *word});
      const auto out =
          std::span(reinterpret_cast<const std::uint8_t*>(result.data()), result.size());
      // An answer that cannot be stored is asked again later rather than lost.
      if (!queueAppend(resultPath_, out)) return Step::Held;
    }
  }
  dropHead(requestPath_);
  return Step::Next;
}

void DnsblChecker::pass() {
  flags_.set(flag::kDnsblBusy, 1);
  for (;;) {
    if (wait_.stopRequested()) return;
    switch (checkHead()) {
      case Step::Next:
        continue;
      case Step::Stopped:
        return;
      case Step::QueueEmpty:
      case Step::Held:
        flags_.set(flag::kDnsblBusy, 0);
        return;
    }
  }
}

void DnsblChecker::run() {
  flags_.set(flag::kDnsblBusy, 0);
  runOnlinePasses(wait_, remoteAccess_, [this] { pass(); });
  flags_.set(flag::kDnsblBusy, 0);
}

void runDnsblChecker(EngineState& state, const platform::RemoteAccess& remoteAccess) {
  // Blocklist names go to the system resolver; the walk's servers play no part.
  const DnsResolver resolver;
  DnsblChecker checker(state.flags, state.paths.programDir, remoteAccess,
                       [&resolver](const std::string& name) { return resolver.hostAddress(name); });
  checker.run();
}

}  // namespace qg
