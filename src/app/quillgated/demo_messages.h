// The sample messages of the demo, compiled in from data/demo/*.eml (the
// build generates their table): a ham from a white-listed sender, a spam
// caught by a Subject expression, a Cyrillic message and one from a
// black-listed sender. Constant data, read from any thread.
#pragma once

#include <span>
#include <string_view>

namespace qg::quillgated {

struct DemoMessageFile {
  std::string_view name;  // "1-ham.eml"
  std::string_view text;  // the file's bytes (LF line ends as kept in the tree)
};

// The files in name order.
std::span<const DemoMessageFile> demoMessageFiles();

}  // namespace qg::quillgated
