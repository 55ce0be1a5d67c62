// The sample corpus as the benchmarks take it: every message of
// QG_CORPUS_DIR held in memory behind a record line of a whole message, in
// file-name order, read once per program.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline const std::vector<std::string>& stagedCorpus() {
  static const std::vector<std::string> messages = [] {
    std::vector<std::string> out;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(QG_CORPUS_DIR, error)) {
      if (entry.path().extension() != ".eml") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      out.push_back("0000000000000000 00000000 0000 00000000 80000000\r\n" +
                    std::string(std::istreambuf_iterator<char>(in), {}));
    }
    std::sort(out.begin(), out.end());
    return out;
  }();
  return messages;
}
