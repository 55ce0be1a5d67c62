#include "classify/request_log.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/file_primitives.h"
#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

std::string logRecord(std::int64_t stamp, std::string_view address) {
  std::string bytes;
  for (int i = 0; i < 8; ++i)
    bytes += static_cast<char>(static_cast<std::uint64_t>(stamp) >> (8 * i));
  bytes += address;
  bytes += '\0';
  return bytes;
}

TEST(RequestLog, DropsTheRequestsThatHaveExpired) {
  TestFolder folder;
  const std::string log = folder.path("request.rst");
  const std::int64_t now = 0x0001020304050607;
  const std::string kept = logRecord(now, "A@B.CC") + logRecord(now + 1, "C@D.EE");
  writeFile(log, logRecord(now - 1, "OLD@B.CC") + kept + logRecord(5, "X@Y.ZZ") + "\x07\x07");
  EXPECT_EQ(pruneRequestLog(folder.root(), now), 2);
  // Whole records in their order; the torn tail stays.
  EXPECT_EQ(readFile(log), kept + "\x07\x07");
  EXPECT_FALSE(fileExists(folder.path("request.tmp")));

  EXPECT_EQ(pruneRequestLog(folder.root(), now), 0);
  EXPECT_EQ(readFile(log), kept + "\x07\x07");
  EXPECT_EQ(pruneRequestLog(folder.path("none"), now), 0);
}

}  // namespace
}  // namespace qg
