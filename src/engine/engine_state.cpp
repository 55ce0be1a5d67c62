#include "engine/engine_state.h"

#include <algorithm>
#include <utility>

namespace qg {

void requestWorkerStops(EngineFlags& flags) {
  for (const WorkerFlags& worker : kWorkers) flags.set(worker.stopFlag, 1);
}

bool allWorkersStopped(const EngineFlags& flags) {
  return std::all_of(kWorkers.begin(), kWorkers.end(), [&flags](const WorkerFlags& worker) {
    return flags.get(worker.runningFlag) == 0;
  });
}

bool ThreadTable::place(int slot, std::thread& thread) {
  if (slot < 0 || slot >= kSlots || !thread.joinable()) return false;
  std::thread& target = threads_[static_cast<std::size_t>(slot)];
  if (target.joinable()) return false;
  target = std::move(thread);
  return true;
}

bool ThreadTable::occupied(int slot) const {
  return slot >= 0 && slot < kSlots && threads_[static_cast<std::size_t>(slot)].joinable();
}

void ThreadTable::closeAll() {
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
}

std::string boundedPathText(std::string_view text) {
  const std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  return std::string(text.substr(0, kPathTextLimit));
}

void writeViewerCommand(std::string& buffer, std::string_view word) {
  const std::string text = boundedPathText(word);
  if (buffer.size() > kPathBytes) buffer.resize(kPathBytes);
  if (buffer.size() < text.size() + 1) buffer.resize(text.size() + 1);
  std::copy(text.begin(), text.end(), buffer.begin());
  buffer[text.size()] = '\0';
}

std::string_view viewerCommandWord(const std::string& buffer) {
  const std::string_view view(buffer);
  return view.substr(0, view.find('\0'));
}

void acknowledgeViewerQuit(std::string& buffer) {
  writeViewerCommand(buffer, kViewerQuit);
  const std::size_t end = kViewerEndPosition + kViewerEndMark.size();
  if (buffer.size() < end) buffer.resize(end);
  std::copy(kViewerEndMark.begin(), kViewerEndMark.end(),
            buffer.begin() + static_cast<std::ptrdiff_t>(kViewerEndPosition));
}

bool viewerHasQuit(const std::string& buffer) {
  return std::string_view(buffer).substr(std::min(buffer.size(), kViewerEndPosition),
                                         kViewerEndMark.size()) == kViewerEndMark;
}

void EngineState::attachSettings() {
  settings.setDirectory(paths.programDir);
  settings.setName(kSettingsFile);
}

void EngineState::statusBytesFromSettings() {
  for (std::size_t i = 0; i < kStatusByteCount; ++i) {
    paths.statusBytes[i] = settings.getByte(kStatusFieldBase + static_cast<std::uint32_t>(i));
  }
}

bool EngineState::statusBytesToSettings() {
  bool all = true;
  for (std::size_t i = 0; i < kStatusByteCount; ++i) {
    if (settings.setByte(paths.statusBytes[i], kStatusFieldBase + static_cast<std::uint32_t>(i)) <
        0) {
      all = false;
    }
  }
  return all;
}

}  // namespace qg
