#include "platform/notice.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace qg::platform {
namespace {

void printNotice(std::string_view caption, std::string_view text) {
  std::string line;
  line.append(caption).append(": ").append(text).append("\n");
  std::fputs(line.c_str(), stderr);
}

std::atomic<NoticeHook>& installedHook() {
  static std::atomic<NoticeHook> hook{&printNotice};
  return hook;
}

}  // namespace

void showNotice(std::string_view caption, std::string_view text) {
  installedHook().load(std::memory_order_acquire)(caption, text);
}

NoticeHook setNoticeHook(NoticeHook hook) {
  return installedHook().exchange(hook ? hook : &printNotice, std::memory_order_acq_rel);
}

}  // namespace qg::platform
