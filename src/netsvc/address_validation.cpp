#include "netsvc/address_validation.h"

#include <utility>

#include "engine/file_primitives.h"
#include "engine/work_queue.h"
#include "netsvc/online_passes.h"

namespace qg {

namespace {

// Bytes of a name that one read of vlde.inp takes; a longer name (only a
// damaged or foreign file has one) is read on in such pieces.
constexpr std::size_t kResultNameChunk = 256;

enum class ResultRead { Whole, Torn, End };

// Reads the result record at the file position: its name (up to its zero
// byte) and its result byte. Torn when the file ends inside the record. A
// name is kept to one byte more than a queued name can have, so an over-long
// one (only a damaged file has one) still matches none and costs no memory.
ResultRead readResultRecord(FileHandle& file, std::string& name) {
  name.clear();
  std::string piece;
  bool started = false;
  for (;;) {
    if (!readUntil(file, piece, kResultNameChunk + 1, '\0')) {
      return started ? ResultRead::Torn : ResultRead::End;
    }
    started = true;
    const bool ended = piece.back() == '\0';
    if (ended) piece.pop_back();
    name.append(piece, 0, kValidationEntryMax + 1 - name.size());  // never past the cap
    if (ended) break;
  }
  return readByte(file) < 0 ? ResultRead::Torn : ResultRead::Whole;
}

// Reads the head entry of the queue: the name, and the bytes the entry takes
// (0 for an empty or missing queue).
std::size_t readHeadEntry(FileHandle& file, std::string& name) {
  if (!readUntil(file, name, kValidationEntryMax + 1, '\0')) return 0;
  const std::size_t taken = name.size();
  if (name.back() == '\0') name.pop_back();
  return taken;
}

}  // namespace

AddressValidation::AddressValidation(const EngineFlags& flags, std::string programDir,
                                     const platform::RemoteAccess& remoteAccess,
                                     MailHostLookup lookup, WorkerClock clock)
    : requestPath_(programDir + "/" + std::string(kValidationRequestFile)),
      resultPath_(programDir + "/" + std::string(kValidationResultFile)),
      remoteAccess_(remoteAccess),
      lookup_(std::move(lookup)),
      wait_(flags, flag::kValidationStop, std::move(clock)) {}

// The queue is read and closed before the lookup so that producers can go on
// appending; the results stay open, and so locked, for the whole lookup, and
// the name leaves the queue only once its result is stored.
AddressValidation::Step AddressValidation::checkHead() {
  std::string name;
  {
    FileHandle queue;
    if (!openExisting(requestPath_, queue) || readHeadEntry(queue, name) == 0) {
      return Step::QueueEmpty;
    }
  }
  {
    FileHandle results;
    if (!openExclusive(resultPath_, results)) return Step::Held;
    std::int64_t wholeEnd = 0;  // end of the last whole record
    std::string known;
    bool found = false;
    while (!found && readResultRecord(results, known) == ResultRead::Whole) {
      wholeEnd = results.position();
      found = known == name;
    }
    if (!found) {
      // An empty name has no mail host; it is not worth a walk.
      const char answer = !name.empty() && !lookup_(name).empty() ? kValidationYes : kValidationNo;
      if (!remoteAccess_.connected()) return Step::Held;
      // A record cut short by a crash is dropped, or it would swallow this one.
      std::string record = name;
      record += '\0';
      record += answer;
      if (!results.truncate(wholeEnd) || !results.seek(wholeEnd) || !writeText(results, record)) {
        return Step::Held;
      }
    }
  }
  FileHandle queue;
  if (!openExisting(requestPath_, queue)) return Step::QueueEmpty;
  const std::size_t taken = readHeadEntry(queue, name);
  if (taken == 0) return Step::QueueEmpty;
  queueDropHead(queue, static_cast<std::int64_t>(taken));
  return Step::Next;
}

void AddressValidation::pass() {
  while (!wait_.stopRequested() && checkHead() == Step::Next) {
    if (!wait_.sleepFor(std::chrono::milliseconds(100))) return;
  }
}

void AddressValidation::run() {
  runOnlinePasses(wait_, remoteAccess_, [this] { pass(); });
}

void runAddressValidation(EngineState& state, const platform::RemoteAccess& remoteAccess,
                          const DnsResolverConfig& servers) {
  DnsResolver resolver(servers);
  AddressValidation worker(
      state.flags, state.paths.programDir, remoteAccess,
      [&resolver](const std::string& name) { return resolver.mailHostAddress(name); });
  worker.run();
}

}  // namespace qg
