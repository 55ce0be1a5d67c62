// The state every thread of the agent shares: the 100 flag words through which
// supervisor, windows and workers talk, the table of worker threads, the path
// block and the settings. The supervisor owns the one instance and hands
// references to the workers. Each flag word has one writer (see the constants
// below); path texts are written by the main thread before workers start.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/record_file.h"

namespace qg {

// Flag numbers: indices into EngineFlags. Each worker owns the ten words that
// begin with its running flag (running, stop request, eight status words).
namespace flag {
inline constexpr int kDnsblRunning = 10;
inline constexpr int kDnsblStop = 11;
inline constexpr int kSoundRunning = 20;
inline constexpr int kSoundStop = 21;
inline constexpr int kValidationRunning = 30;
inline constexpr int kValidationStop = 31;
inline constexpr int kFetcherRunning = 40;
inline constexpr int kFetcherStop = 41;
// Box being fetched: 0 = none, otherwise the box number + 1 (the analysis
// worker finds the box's folder by it; flag 44 counts box-table slots).
inline constexpr int kFetcherBox = 42;
// Check-now request: 0 none, 1 all boxes, k >= 2 box-table slot k - 2. The fetcher clears it.
inline constexpr int kCheckNow = 44;
// Fetcher asks the analysis worker to pause while it matches the server's list.
inline constexpr int kPauseRequest = 45;
// Analysis worker has paused; cleared when kPauseRequest returns to 0.
inline constexpr int kAnalysisPaused = 46;
// Analysis worker still works on the staged files of the current box.
inline constexpr int kAnalysisBusy = 47;
// DNSBL worker works on blocklist requests.
inline constexpr int kDnsblBusy = 48;
// Headers of the current box are staged (0 while they are being staged).
inline constexpr int kHeadersStaged = 49;
inline constexpr int kAnalysisRunning = 50;
// Stop request; the fetcher also sets it when it finds no valid box at its start.
inline constexpr int kAnalysisStop = 51;
// A filter file could not be loaded: the supervisor stops all workers and runs the wizard.
inline constexpr int kFilterLoadFailed = 52;
// End-of-box handshake: fetcher sets 1, the idle analysis worker clears it.
inline constexpr int kEndOfBox = 55;
inline constexpr int kSmtpRunning = 60;
inline constexpr int kSmtpStop = 61;
inline constexpr int kPop3Running = 70;
inline constexpr int kPop3Stop = 71;
// 1 while the engine runs; the main window sets 0 to leave the program.
inline constexpr int kEngineRunning = 80;
// Main window asks to stop the workers and open the setup wizard.
inline constexpr int kOpenWizard = 82;
// The language changed: rebuild the windows, workers keep running.
inline constexpr int kLanguageChanged = 88;
// 1 while the setup wizard runs; the wizard sets 0 when done.
inline constexpr int kWizardRunning = 90;
}  // namespace flag

// The flag words. Every word has exactly one writer; readers poll. Stores
// release and loads acquire, so data a thread wrote before raising or clearing
// a flag (a running flag going to 0, a hand-over flag) is visible to the
// thread that sees the new value. No word is ever read-modified-written.
class EngineFlags {
 public:
  static constexpr int kCount = 100;

  // Value of flag k; 0 for a number outside 0..99.
  std::int32_t get(int k) const {
    return valid(k) ? words_[static_cast<std::size_t>(k)].load(std::memory_order_acquire) : 0;
  }
  // Sets flag k; a number outside 0..99 is ignored.
  void set(int k, std::int32_t value) {
    if (valid(k)) words_[static_cast<std::size_t>(k)].store(value, std::memory_order_release);
  }
  // Clears all words. Only the supervisor calls it, and only while no worker runs.
  void clearAll() {
    for (auto& word : words_) word.store(0, std::memory_order_release);
  }

 private:
  static constexpr bool valid(int k) { return k >= 0 && k < kCount; }
  std::array<std::atomic<std::int32_t>, kCount> words_{};
};

// Slots of the thread table.
namespace slot {
inline constexpr int kWizard = 0;
inline constexpr int kPop3Server = 1;
inline constexpr int kSmtpServer = 2;
inline constexpr int kAnalysis = 3;
inline constexpr int kFetcher = 4;
inline constexpr int kValidation = 5;
inline constexpr int kSound = 6;
inline constexpr int kDnsbl = 7;
}  // namespace slot

// A worker's slot with its running and stop flags.
struct WorkerFlags {
  int slot;
  int runningFlag;
  int stopFlag;
};

// The seven workers in start order; stops are requested in the same order.
inline constexpr std::array<WorkerFlags, 7> kWorkers{{
    {slot::kPop3Server, flag::kPop3Running, flag::kPop3Stop},
    {slot::kSmtpServer, flag::kSmtpRunning, flag::kSmtpStop},
    {slot::kAnalysis, flag::kAnalysisRunning, flag::kAnalysisStop},
    {slot::kFetcher, flag::kFetcherRunning, flag::kFetcherStop},
    {slot::kValidation, flag::kValidationRunning, flag::kValidationStop},
    {slot::kSound, flag::kSoundRunning, flag::kSoundStop},
    {slot::kDnsbl, flag::kDnsblRunning, flag::kDnsblStop},
}};

// Sets every worker's stop flag, in the order of kWorkers.
void requestWorkerStops(EngineFlags& flags);
// True when no worker's running flag is set.
bool allWorkersStopped(const EngineFlags& flags);

// The thread table: ten slots, empty or holding a started thread. Used by the
// supervisor's thread only.
class ThreadTable {
 public:
  static constexpr int kSlots = 10;

  // Puts a started thread into slot (0..9). False, and the thread is left with
  // the caller, when the slot is taken or out of range.
  bool place(int slot, std::thread& thread);
  bool occupied(int slot) const;
  // Empties every slot. The threads have ended or are about to (their running
  // flags are 0): each is joined, so it has finished before the state it
  // used can change. A thread that never ends holds this call, as it would
  // hold the wait on its running flag.
  void closeAll();
  ~ThreadTable() { closeAll(); }

 private:
  std::array<std::thread, kSlots> threads_{};
};

// Texts of the path block live in buffers of this many bytes: at most 511
// bytes of text and a terminating zero.
inline constexpr std::size_t kPathBytes = 512;
inline constexpr std::size_t kPathTextLimit = kPathBytes - 1;
inline constexpr std::size_t kStatusByteCount = 257;
// statusBytes[256] counts box fetches modulo 256.
inline constexpr std::size_t kFetchCounterIndex = 256;
// Status byte i persists in settings byte field kStatusFieldBase + i.
inline constexpr std::uint32_t kStatusFieldBase = 10000;
// The settings record file in the program directory.
inline constexpr std::string_view kSettingsFile = "set.log";

// text cut at its first zero byte and to kPathTextLimit bytes, as a path buffer holds it.
std::string boundedPathText(std::string_view text);

// The texts and buffers every worker receives.
struct PathBlock {
  std::string programDir;  // program (home) directory, no trailing "/"
  std::string storeDir;    // root of the mail store (settings field 2)
  std::string listDir;     // directory of the list files (settings field 3)
  // One-slot mailbox between the main thread and the message viewer, holding
  // the bytes of its buffer (see the viewer helpers below). Main thread only.
  std::string viewerCommand;
  std::vector<std::uint8_t> knownSenders;  // payload of "femail.dat"
  std::array<std::uint8_t, kStatusByteCount> statusBytes{};

  void setProgramDir(std::string_view text) { programDir = boundedPathText(text); }
  void setStoreDir(std::string_view text) { storeDir = boundedPathText(text); }
  void setListDir(std::string_view text) { listDir = boundedPathText(text); }
};

// Viewer commands.
inline constexpr std::string_view kViewerIdle = "NO WIEV";
inline constexpr std::string_view kViewerSwap = "SWAP";
inline constexpr std::string_view kViewerQuit = "QUIT";
// The viewer's answer to "QUIT", written at kViewerEndPosition.
inline constexpr std::string_view kViewerEndMark = "_END_";
inline constexpr std::size_t kViewerEndPosition = 5;

// Writes word (cut to kPathTextLimit) and a terminating zero at the start of
// the buffer, leaving the bytes behind in place, as a copy into the fixed
// buffer does: a "QUIT" written again keeps the viewer's "_END_" answer.
void writeViewerCommand(std::string& buffer, std::string_view word);
// The command: the buffer up to its first zero byte.
std::string_view viewerCommandWord(const std::string& buffer);
// The viewer's acknowledgement of "QUIT": the buffer reads "QUIT", a zero, "_END_".
void acknowledgeViewerQuit(std::string& buffer);
// True when the five bytes from kViewerEndPosition read "_END_".
bool viewerHasQuit(const std::string& buffer);

// The one shared state. Created before any thread starts, never moved.
struct EngineState {
  ThreadTable threadHandles;
  EngineFlags flags;
  PathBlock paths;
  // "set.log". Each thread that loads or saves it uses its own RecordFile
  // object or this one from the supervisor's thread only; the file engine
  // serialises the loads and saves.
  RecordFile settings;

  // Points settings at kSettingsFile in paths.programDir (does not load).
  void attachSettings();
  // statusBytes from the in-memory settings: byte i from byte field 10000 + i
  // (a missing field gives 0).
  void statusBytesFromSettings();
  // statusBytes into the in-memory settings, byte fields 10000 to 10256. True
  // when every field was stored (false if one exists with another type).
  bool statusBytesToSettings();

  EngineState() = default;
  // Joins any thread still in the table before the members it uses go.
  ~EngineState() { threadHandles.closeAll(); }
  EngineState(const EngineState&) = delete;
  EngineState& operator=(const EngineState&) = delete;
};

}  // namespace qg
