#include "engine/file_primitives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "test_files.h"
#include "test_folder.h"

namespace qg {
namespace {

namespace fs = std::filesystem;

std::int64_t millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

// Root opens a mode-0444 file without complaint, so the case runs in a child
// process that drops to an unprivileged user; the child's exit code is its verdict.
TEST(FilePrimitives, ReadOnlyFileIsMadeWritableAndOpened) {
  TestFolder folder;
  ::chmod(folder.root().c_str(), 0777);
  const std::string path = folder.path("soun.inf");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::alarm(10);  // a retry loop that never succeeds must not hang the suite
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
    writeFile(path, "record");
    if (::chmod(path.c_str(), 0444) != 0) ::_exit(11);
    if (::access(path.c_str(), W_OK) == 0) ::_exit(12);  // the case would prove nothing
    FileHandle file;
    if (!openExclusive(path, file)) ::_exit(13);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || (st.st_mode & S_IWUSR) == 0) ::_exit(14);
    if (!writeText(file, "more")) ::_exit(15);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFile(path), "morerd");  // opened at the start, not truncated
}

TEST(FilePrimitives, SecondOpenerWaitsUntilTheFirstCloses) {
  TestFolder folder;
  const std::string path = folder.path("vlde.inf");
  FileHandle first;
  ASSERT_TRUE(openExclusive(path, first));
  std::thread releaser([&first] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    first.close();
  });
  const auto start = std::chrono::steady_clock::now();
  FileHandle second;
  EXPECT_TRUE(openExisting(path, second));
  EXPECT_GE(millisecondsSince(start), 140);
  releaser.join();
}

TEST(FilePrimitives, OpensThatCanNeverSucceedFailAtOnce) {
  TestFolder folder;
  fs::create_directory(folder.path("dir"));
  writeFile(folder.path("plain"), "x");
  const auto start = std::chrono::steady_clock::now();
  FileHandle file;
  EXPECT_FALSE(openExclusive(folder.path("dir"), file));
  EXPECT_FALSE(openExclusive(folder.path("no/such/file"), file));
  EXPECT_FALSE(openExclusive(folder.path("plain/below"), file));
  EXPECT_FALSE(openExclusive(folder.path(std::string(300, 'n')), file));
  EXPECT_FALSE(openExisting(folder.path("missing"), file));
  EXPECT_FALSE(openExisting(folder.path("dir"), file));
  EXPECT_FALSE(file.isOpen());
  EXPECT_LT(millisecondsSince(start), 500);
  EXPECT_FALSE(fs::exists(folder.path("missing")));  // openExisting never creates
}

TEST(FilePrimitives, DeleteFileRetry) {
  TestFolder folder;
  fs::create_directory(folder.path("dir"));
  writeFile(folder.path("old.inf"), "x");
  ::chmod(folder.path("old.inf").c_str(), 0444);
  EXPECT_FALSE(deleteFileRetry(folder.path("missing")));
  EXPECT_FALSE(deleteFileRetry(folder.path("dir")));
  EXPECT_TRUE(fs::is_directory(folder.path("dir")));
  EXPECT_TRUE(deleteFileRetry(folder.path("old.inf")));
  EXPECT_FALSE(fs::exists(folder.path("old.inf")));
}

TEST(FilePrimitives, MoveReplace) {
  TestFolder folder;
  writeFile(folder.path("new.tmp"), "new");
  writeFile(folder.path("set.log"), "old contents");
  EXPECT_TRUE(moveReplace(folder.path("new.tmp"), folder.path("set.log")));
  EXPECT_EQ(readFile(folder.path("set.log")), "new");
  EXPECT_FALSE(fs::exists(folder.path("new.tmp")));

  EXPECT_FALSE(moveReplace(folder.path("new.tmp"), folder.path("set.log")));
  EXPECT_EQ(readFile(folder.path("set.log")), "new");

  fs::create_directory(folder.path("dir"));
  EXPECT_FALSE(moveReplace(folder.path("set.log"), folder.path("dir")));
  EXPECT_FALSE(moveReplace(folder.path("set.log"), folder.path("none/set.log")));
  EXPECT_TRUE(fs::exists(folder.path("set.log")));
}

TEST(FilePrimitives, ReadUntilStopsAtTerminatorOrLimit) {
  struct Case {
    const char* name;
    std::string content;
    std::size_t limit;
    bool wantResult;
    std::string wantOut;
    int wantNextByte;  // -1: end of file
  };
  const std::string longLine = std::string(300, 'a') + "\nz";
  const Case cases[] = {
      {"terminator kept", "ab\ncd", 10, true, "ab\n", 'c'},
      {"terminator as last storable byte", "abc\nd", 5, true, "abc\n", 'd'},
      {"limit leaves next byte unread", "abcdef", 4, true, "abc", 'd'},
      {"limit just before terminator", "abc\n", 4, true, "abc", '\n'},
      {"end of file without terminator", "xy", 10, true, "xy", -1},
      {"empty file", "", 10, false, "", -1},
      {"limit one stores nothing", "abc", 1, false, "", 'a'},
      {"limit zero", "abc", 0, false, "", 'a'},
      {"terminator past one read chunk", longLine, 1000, true, longLine.substr(0, 301), 'z'},
      {"limit past one read chunk", longLine, 281, true, std::string(280, 'a'), 'a'},
  };
  TestFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.path("line");
    writeFile(path, c.content);
    FileHandle file;
    ASSERT_TRUE(openExisting(path, file));
    std::string out = "stale";
    EXPECT_EQ(readUntil(file, out, c.limit, '\n'), c.wantResult);
    EXPECT_EQ(out, c.wantOut);
    EXPECT_EQ(readByte(file), c.wantNextByte);
  }
}

TEST(FilePrimitives, WordsAreLittleEndianAndShortWordsReadAsMinusOne) {
  TestFolder folder;
  const std::string path = folder.path("words");
  FileHandle file;
  ASSERT_TRUE(openExclusive(path, file));
  ASSERT_TRUE(writeWord(file, 0x04030201u));
  ASSERT_TRUE(writeWord(file, 0xFFFFFFFEu));
  ASSERT_TRUE(writeByte(file, 0x7F));
  ASSERT_TRUE(writeByte(file, 0x80));
  ASSERT_TRUE(file.seek(0));
  std::array<std::uint8_t, 4> first{};
  ASSERT_TRUE(readExact(file, first));
  EXPECT_EQ(first, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(readWord(file), -2);
  EXPECT_EQ(readWord(file), -1);  // only two bytes remain
  std::array<std::uint8_t, 1> more{};
  EXPECT_FALSE(readExact(file, more));
  EXPECT_EQ(fileSize(path), 10);
  EXPECT_EQ(fileSize(folder.path("missing")), -1);
  EXPECT_EQ(fileSize(folder.root()), -1);
}

}  // namespace
}  // namespace qg
