#include "classify/mime_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "text/charsets.h"

namespace qg {
namespace {

using namespace std::string_literals;

// "Privet" (hello): KOI8-R and Windows-1251 bytes.
const std::string kHelloKoi8r = "\xF0\xD2\xC9\xD7\xC5\xD4";
const std::string kHello1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";

// Decoded text with its runs of blank space collapsed, for comparing what the
// rules will see once the body is squeezed.
std::string squeezed(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool blankByte = static_cast<unsigned char>(c) <= 0x20;
    if (blankByte) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

int walk(std::string& body, std::string_view boundary) {
  const std::size_t size = body.size();
  const int parts = walkMultipart(body, boundary);
  EXPECT_EQ(body.size(), size);
  return parts;
}

TEST(ReadContentType, CollectsFlagsAndBoundaryOfOneLine) {
  struct Case {
    std::string line;
    std::uint32_t flags;
    std::string boundary;
  };
  const std::vector<Case> cases = {
      {" text/html; charset=\"koi8-r\"\nX: text/plain", kPartHtml | kCharsetFlagKoi8r, ""},
      {" TEXT/PLAIN; CHARSET=\"UTF-8\"", kPartPlain | kCharsetFlagUtf8, ""},
      {" multipart/mixed; boundary=\"==b 1==\"\n", kPartMultipart | kPartBoundary, "==b 1=="},
      {" multipart/alternative;boundary=abc; x=y", kPartMultipart | kPartBoundary, "abc"},
      {" multipart/mixed; boundary = \"q\" charset=koi8-u x",
       kPartMultipart | kPartBoundary | kCharsetFlagKoi8u, "q"},
      // A charset name ends at a line feed or ";" as well as at a space.
      {" text/plain; charset=koi8-r\n", kPartPlain | kCharsetFlagKoi8r, ""},
      {" text/plain; charset=\"ibm866\";format=flowed", kPartPlain | kCharsetFlagIbm866, ""},
      {" text/plain; charset=koi8-rx", kPartPlain, ""},
      // Keywords count only at the start of a token.
      {" xtext/html; notmultipart", 0, ""},
      {std::string(" multipart/mixed; boundary=\"") + std::string(120, 'b') + "\"",
       kPartMultipart | kPartBoundary, std::string(kBoundaryLimit, 'b')},
  };
  for (const Case& c : cases) {
    std::uint32_t flags = 0;
    Boundary boundary;
    const std::size_t end = readContentType(c.line, 0, flags, boundary);
    EXPECT_EQ(flags, c.flags) << c.line;
    EXPECT_EQ(boundary.view(), c.boundary) << c.line;
    EXPECT_EQ(end, std::min(c.line.find('\n'), c.line.size())) << c.line;
  }
}

TEST(WalkMultipart, Koi8rTextPartKeptAndBase64ImageGone) {
  std::string body = std::string(
                         "Preamble\n"
                         "--==b==\n"
                         "Content-Type: text/plain; charset=\"koi8-r\"\n"
                         "Content-Transfer-Encoding: 8bit\n"
                         "\n") +
                     kHelloKoi8r +
                     " world\n"
                     "--==b==\n"
                     "Content-Type: image/png; name=\"photo.png\"\n"
                     "Content-Transfer-Encoding: base64\n"
                     "Content-Disposition: attachment; filename=\"photo.png\"\n"
                     "\n"
                     "iVBORw0KGgoAAAANSUhEUgAAAD0AAAAn\n"
                     "CAIAAAAzTddDAAAcE0lEQVR4nAEIHPfj\n"
                     "--==b==--\n"
                     "Epilogue\n";
  EXPECT_EQ(walk(body, "==b=="), 2);
  EXPECT_EQ(squeezed(body), std::string("Preamble ") + kHello1251 + " world Epilogue");
}

TEST(WalkMultipart, NestedMultipartWalkedWithInnerBoundary) {
  std::string body =
      "--outer\n"
      "Content-Type: multipart/alternative; boundary=\"inner\"\n"
      "\n"
      "--inner\n"
      "Content-Type: text/plain; charset=\"koi8-r\"\n"
      "Content-Transfer-Encoding: quoted-printable\n"
      "\n"
      "=F0=D2=C9=D7=C5=D4 plain\n"
      "--inner\n"
      "Content-Type: text/html\n"
      "\n"
      "<html><style>p {color: red}</style><p>rich &amp; bold</p></html>\n"
      "--inner--\n"
      "\n"
      "--outer\n"
      "Content-Type: application/pdf\n"
      "Content-Transfer-Encoding: base64\n"
      "\n"
      "JVBERi0xLjQK\n"
      "--outer--\n";
  EXPECT_EQ(walk(body, "outer"), 3);
  EXPECT_EQ(squeezed(body), kHello1251 + " plain rich & bold");
}

TEST(WalkMultipart, WhatStopsTheWalk) {
  // Without the boundary nothing changes.
  std::string none = "--other\nContent-Type: text/html\n\n<b>x</b>\n";
  const std::string noneBefore = none;
  EXPECT_EQ(walk(none, "absent"), 0);
  EXPECT_EQ(none, noneBefore);
  EXPECT_EQ(walk(none, ""), 0);
  EXPECT_EQ(none, noneBefore);

  // A part header without an empty line ends the walk; parts behind stay.
  std::string broken =
      "--zz9\nContent-Type: text/html\n<i>x</i>\n--zz9\nContent-Type: "
      "text/html\n\n<i>y</i>\n--zz9--\n";
  EXPECT_EQ(walk(broken, "zz9"), 0);
  EXPECT_NE(broken.find("<i>y</i>"), std::string::npos);
}

TEST(WalkMultipart, PartsAtTheEdges) {
  // A part that starts with its empty line has no header: its first
  // paragraph is content, not header.
  std::string headerless = "--zz9\n\nfirst\n\nsecond\n--zz9--\n";
  EXPECT_EQ(walk(headerless, "zz9"), 1);
  EXPECT_EQ(squeezed(headerless), "first second");

  // A closing boundary at the very end of the span still ends the last part.
  std::string atEnd = "--zz9\nContent-Type: text/html\n\n<b>last</b>\n--zz9";
  EXPECT_EQ(walk(atEnd, "zz9"), 1);
  EXPECT_EQ(squeezed(atEnd), "last");

  // A file name is a value, never keywords: this part is no image.
  std::string named =
      "--zz9\nContent-Disposition: inline; filename=image.txt\n\nkept\n--zz9\n"
      "Content-Type: text/plain; name=\"video clip.txt\"\n\nalso kept\n--zz9--\n";
  EXPECT_EQ(walk(named, "zz9"), 2);
  EXPECT_EQ(squeezed(named), "kept also kept");
}

TEST(WalkMultipart, NeverTouchesBytesBehindTheSpan) {
  const std::string message =
      "--zz9\nContent-Type: text/plain; charset=\"utf-8\"\nContent-Transfer-Encoding: base64\n\n"
      "0J/RgNC40LLQtdGC\n--zz9\nContent-Type: text/html\n\n<p>x &amp; y";
  const std::string tail = "\n--zz9--\nTAIL &amp; <b>";
  std::string buffer = message + tail;
  walkMultipart(std::span<char>(buffer.data(), message.size()), "zz9");
  EXPECT_EQ(buffer.substr(message.size()), tail);
  // The last part has no closing boundary inside the span: it stays as it is.
  EXPECT_EQ(squeezed(buffer.substr(0, message.size())),
            kHello1251 + " Content-Type: text/html <p>x &amp; y");
}

TEST(WalkMultipart, NestingIsWalkedUpToTheLimit) {
  const auto nested = [](int levels) {
    const auto boundary = [](int level) { return std::string("=") + std::to_string(level) + "="; };
    std::string body;
    for (int level = 0; level < levels; ++level)
      body += std::string("--") + boundary(level) + "\nContent-Type: multipart/mixed; boundary=\"" +
              boundary(level + 1) + "\"\n\n";
    body += std::string("--") + boundary(levels) + "\nContent-Type: text/html\n\n<b>deep</b>\n";
    for (int level = levels; level >= 0; --level)
      body += std::string("--") + boundary(level) + "--\n";
    return body;
  };
  std::string shallow = nested(10);
  EXPECT_EQ(walk(shallow, "=0="), 1);
  EXPECT_EQ(squeezed(shallow), "deep");

  // Hostile nesting: the walk stops descending instead of exhausting the stack.
  std::string deep = nested(5000);
  EXPECT_EQ(walk(deep, "=0="), 0);
  EXPECT_NE(deep.find("<b>deep</b>"), std::string::npos);
}

TEST(DecodePart, ResultTellsHowBase64Went) {
  struct Case {
    std::string text;
    std::uint32_t flags;
    int result;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"QUJD\nREVG\n", kPartBase64, 6, "ABCDEF    "},
      {"QU*D", kPartBase64, 0, "QU*D"},
      {"QUJD", kPartPlain, -1, "QUJD"},
      // A decoded zero byte does not end the text for the conversion.
      {"AMLT", kPartBase64 | kCharsetFlagKoi8r, 3, " \xE1\xF1 "},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(decodePart(text, c.flags), c.result) << c.text;
    EXPECT_EQ(text, c.after) << c.text;
  }
}

TEST(DecodePart, TextOfEachKindAsTheRulesSeeIt) {
  struct Case {
    std::string name;
    std::string text;
    std::uint32_t flags;
    std::string want;
  };
  const std::vector<Case> cases = {
      {"soft break joins lines", "Hel=\nlo =C0=E1", kPartQuotedPrintable | kCharsetFlagKoi8r,
       "Hello \xFE\xC0"},
      {"entities", "&lt;b&gt;", kPartHtml, std::string("<b>") + std::string(6, ' ')},
      {"numeric entity not converted again", "&#1040;\xC1", kPartHtml | kCharsetFlagKoi8r,
       std::string("\xC0\xE0") + std::string(6, ' ')},
      {"style gone", "<STYLE>body{}</style>a<Style type=x>.b{}</STYLE>b", kPartHtml, "ab"},
      {"html in a plain part", "x <HTML><b>y</b>&amp;</HTML> z", kPartPlain, "x y& z"},
      {"html and qp", "<p style=3D\"x\">a=\nb</p>", kPartHtml | kPartQuotedPrintable, "ab"},
      {"utf-8", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", kPartPlain | kCharsetFlagUtf8,
       kHello1251},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    decodePart(text, c.flags);
    EXPECT_EQ(text.size(), c.text.size()) << c.name;
    if (c.name == "entities" || c.name.starts_with("numeric")) {
      EXPECT_EQ(text, c.want) << c.name;
    } else {
      EXPECT_EQ(squeezed(text), c.want) << c.name;
    }
  }
}

TEST(DecodePart, HandlesAMegabyteBody) {
  std::string body;
  while (body.size() < (1u << 20)) body += "<p>line &amp; =3D text</p><HTML>x</HTML>\n";
  const std::size_t size = body.size();
  decodePart(body, kPartPlain | kPartQuotedPrintable | kCharsetFlagKoi8r);
  EXPECT_EQ(body.size(), size);
  EXPECT_EQ(body.find("<HTML>"), std::string::npos);
}

}  // namespace
}  // namespace qg
