#include "text/file_stamp.h"

#include <ctime>

#include "text/date_record.h"

namespace qg {

std::int64_t fileStamp(const platform::File& file) {
  std::int64_t seconds = 0;
  long nanoseconds = 0;
  if (!file.isOpen() || !file.modificationTime(seconds, nanoseconds)) return 0;
  std::tm tm{};
  const auto when = static_cast<std::time_t>(seconds);
  if (localtime_r(&when, &tm) == nullptr) return 0;
  return DateRecord::local(when, static_cast<int>(nanoseconds / 1'000'000)).stamp;
}

}  // namespace qg
