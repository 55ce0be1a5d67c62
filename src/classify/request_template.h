// The body of a request mail: the request template of the filter profile
// with its placeholders filled from the received message, and the KOI8-R
// quoted-printable form of a body that is not plain ASCII. Pure functions;
// any thread.
#pragma once

#include <string>
#include <string_view>

namespace qg {

// Placeholders of a template body.
inline constexpr std::string_view kDatePlaceholder = "[DateReceived]";
inline constexpr std::string_view kFromPlaceholder = "[FromReceived]";
inline constexpr std::string_view kToPlaceholder = "[ToEmail]";
inline constexpr std::string_view kSubjectPlaceholder = "[Subject]";
// A quoted-printable line is broken once it holds more characters than this.
inline constexpr std::size_t kQuotedPrintableLineLimit = 70;

struct FilledTemplate {
  std::string body;              // empty: the template has no "Text:" { ... } body
  bool quotedPrintable = false;  // true: KOI8-R quoted-printable (a byte above 127)
};

// The request body of a template (profile field 420): the text between the
// first "{" behind "Text:" (any letter case) and the next "}", with every
// placeholder (byte-exact) replaced by its value. When a byte of the result
// is above 127, the body comes back converted to KOI8-R and encoded by
// encodeKoi8rQuotedPrintable. An empty body when "Text:", the "{" or the
// "}" is missing.
FilledTemplate fillTemplate(std::string_view templateText, std::string_view date,
                            std::string_view from, std::string_view to, std::string_view subject);

// Windows-1251 text as KOI8-R quoted-printable: control bytes other than
// TAB, CR and LF become blanks; bytes above 127 and the specials
// ()<>@,;:/[]?.=_\~`!#$%^*"- become "=XX"; a line that holds more than
// kQuotedPrintableLineLimit characters gets a soft break ("=" CR LF) before
// its next character, unless that is a CR (a LF ends the line).
std::string encodeKoi8rQuotedPrintable(std::string_view windows1251Text);

}  // namespace qg
