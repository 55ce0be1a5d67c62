// Runs the MIME decoder over every message of the sample corpus, hostile ones
// included, the way the message parser prepares a body: carriage returns
// dropped, the header's Content-Type line read, then the multipart walk or the
// part decoder over the body. Each body sits in an exactly sized heap block,
// so that a read or write past the span is caught by the sanitizers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "classify/mime_decoder.h"
#include "test_files.h"
#include "text/charsets.h"
#include "text/white_space.h"

namespace qg {
namespace {

struct Decoded {
  std::uint32_t flags = 0;
  int parts = 0;
};

// Unfolds and scans the header, then decodes body in place.
Decoded decodeMessage(std::string& message, std::span<char> body, std::size_t headerLength) {
  Decoded result;
  Boundary boundary;
  for (std::size_t i = 0; i + 1 < headerLength; ++i)
    if (message[i] == '\n' && message[i + 1] == ' ') message[i] = ' ';
  const std::string_view header(message.data(), headerLength);
  for (std::size_t line = 0; line < header.size();) {
    if (startsWithWord(header.substr(line), "Content-Type:"))
      readContentType(header, line + 13, result.flags, boundary);
    const std::size_t end = header.find('\n', line);
    if (end == std::string_view::npos) break;
    line = end + 1;
  }
  if (result.flags & kPartBoundary) {
    result.parts = walkMultipart(body, boundary.view());
  } else {
    decodePart(body, result.flags);
  }
  return result;
}

TEST(MimeCorpus, EveryMessageDecodesInsideItsSpan) {
  const std::filesystem::path folder = QG_CORPUS_DIR;
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error))
    GTEST_SKIP() << "no corpus folder at " << folder;

  int messages = 0;
  int multipart = 0;
  int parts = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.path().extension() != ".eml") continue;
    std::string message = readFile(entry.path().string());
    for (bool dropped : {true, false}) {
      std::string text = message;
      if (dropped) dropCarriageReturns(text);
      const std::size_t blank = text.find("\n\n");
      const std::size_t headerLength = blank == std::string::npos ? text.size() : blank + 2;
      std::vector<char> body(text.begin() + static_cast<std::ptrdiff_t>(headerLength), text.end());
      const std::size_t bodyLength = body.size();
      const Decoded decoded = decodeMessage(text, body, headerLength);
      ASSERT_EQ(body.size(), bodyLength) << entry.path();
      if (dropped && (decoded.flags & kPartBoundary)) {
        ++multipart;
        parts += decoded.parts;
      }
    }
    ++messages;
  }
  // The corpus is mostly MIME mail: the walk must find parts in it.
  EXPECT_GT(messages, 100);
  EXPECT_GT(multipart, 50);
  EXPECT_GT(parts, 2 * multipart);
}

}  // namespace
}  // namespace qg
