#include "classify/request_template.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "text/charsets.h"

namespace qg {

namespace {

constexpr std::string_view kBodyKeyword = "Text:";
constexpr std::string_view kSpecials = "()<>@,;:/[]?.=_\\~`!#$%^*\"-";

// The position of keyword in text, letter case aside; npos when missing.
std::size_t findIgnoringCase(std::string_view text, std::string_view keyword) {
  const auto found =
      std::search(text.begin(), text.end(), keyword.begin(), keyword.end(), [](char a, char b) {
        return upperCase1251(static_cast<std::uint8_t>(a)) ==
               upperCase1251(static_cast<std::uint8_t>(b));
      });
  return found == text.end() ? std::string_view::npos
                             : static_cast<std::size_t>(found - text.begin());
}

bool hasHighByte(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<std::uint8_t>(c) > 127; });
}

void appendEscape(std::string& out, std::uint8_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out.push_back('=');
  out.push_back(kDigits[byte >> 4]);
  out.push_back(kDigits[byte & 0x0F]);
}

}  // namespace

FilledTemplate fillTemplate(std::string_view templateText, std::string_view date,
                            std::string_view from, std::string_view to, std::string_view subject) {
  const std::size_t keyword = findIgnoringCase(templateText, kBodyKeyword);
  if (keyword == std::string_view::npos) return {};
  const std::size_t open = templateText.find('{', keyword + kBodyKeyword.size());
  if (open == std::string_view::npos) return {};
  const std::size_t close = templateText.find('}', open + 1);
  if (close == std::string_view::npos) return {};
  const std::string_view body = templateText.substr(open + 1, close - open - 1);

  const std::array<std::pair<std::string_view, std::string_view>, 4> placeholders = {{
      {kDatePlaceholder, date},
      {kFromPlaceholder, from},
      {kToPlaceholder, to},
      {kSubjectPlaceholder, subject},
  }};
  FilledTemplate filled;
  for (std::size_t at = 0; at < body.size();) {
    const auto placeholder =
        std::find_if(placeholders.begin(), placeholders.end(),
                     [&](const auto& entry) { return body.substr(at).starts_with(entry.first); });
    if (placeholder == placeholders.end()) {
      filled.body.push_back(body[at++]);
    } else {
      filled.body += placeholder->second;
      at += placeholder->first.size();
    }
  }
  if (hasHighByte(filled.body)) {
    filled.body = encodeKoi8rQuotedPrintable(filled.body);
    filled.quotedPrintable = true;
  }
  return filled;
}

std::string encodeKoi8rQuotedPrintable(std::string_view windows1251Text) {
  std::string out;
  out.reserve(windows1251Text.size() * 3);
  std::size_t lineLength = 0;
  for (const char c : windows1251Text) {
    std::uint8_t byte = toKoi8r(static_cast<std::uint8_t>(c));
    if (byte == '\n') {
      out.push_back('\n');
      lineLength = 0;
      continue;
    }
    if (byte < 0x20 && byte != '\r' && byte != '\t') byte = ' ';
    if (lineLength > kQuotedPrintableLineLimit && byte != '\r') {
      out += "=\r\n";
      lineLength = 0;
    }
    const std::size_t before = out.size();
    if (byte > 127 || kSpecials.find(static_cast<char>(byte)) != std::string_view::npos) {
      appendEscape(out, byte);
    } else {
      out.push_back(static_cast<char>(byte));
    }
    lineLength += out.size() - before;
  }
  return out;
}

}  // namespace qg
