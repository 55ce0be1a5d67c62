#include "text/file_stamp.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "fixed_zone.h"
#include "test_folder.h"
#include "text/date_record.h"

namespace qg {
namespace {

TEST(FileStamp, ModificationTimeAsLocalStampWithMilliseconds) {
  FixedZone zone("QGT-3");
  TestFolder folder;
  const std::string path = folder.path("f_0001.log");
  platform::File file;
  ASSERT_EQ(platform::openLocked(path, true, file), platform::OpenStatus::Opened);
  const timespec times[2] = {{1'165'332'251, 250'000'000}, {1'165'332'251, 250'900'000}};
  ASSERT_EQ(::futimens(file.fd(), times), 0);
  EXPECT_EQ(fileStamp(file), DateRecord::fromFields(2006, 12, 5, 18, 24, 11, 250).stamp);
  file.close();
  EXPECT_EQ(fileStamp(file), 0);
}

}  // namespace
}  // namespace qg
