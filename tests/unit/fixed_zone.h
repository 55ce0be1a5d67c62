// Runs a test under a fixed time zone: sets TZ for the life of the object and
// puts the previous value back afterwards. Tests are single-threaded here.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace qg {

class FixedZone {
 public:
  // zone is a POSIX TZ value, for example "QGT-1" for one hour ahead of universal time.
  explicit FixedZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) previous_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~FixedZone() {
    if (previous_) {
      setenv("TZ", previous_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  FixedZone(const FixedZone&) = delete;
  FixedZone& operator=(const FixedZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace qg
