#include "platform/thread_name.h"

#include <pthread.h>

#include <algorithm>
#include <string>

namespace qg::platform {

bool nameCurrentThread(std::string_view name) {
  const std::string text(name.substr(0, std::min(name.size(), kThreadNameLimit)));
  return ::pthread_setname_np(::pthread_self(), text.c_str()) == 0;
}

}  // namespace qg::platform
