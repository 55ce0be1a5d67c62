// MIME decoding of a staged message's body for the expression rules: walks
// multipart bodies along their boundaries, blanks part headers and
// attachments, decodes base64 and quoted-printable, strips HTML and converts
// text parts to Windows-1251. Everything works in place on the caller's span
// and never changes its length: decoded text is written from the front and
// what was consumed becomes spaces. Pure functions; the analysis thread (any
// thread may call them on its own text).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace qg {

// Part flags collected from a Content-Type line or a part header. The charset
// flags are those of recogniseCharset (text/charsets.h).
inline constexpr std::uint32_t kPartHtml = 0x1;
inline constexpr std::uint32_t kPartPlain = 0x2;
inline constexpr std::uint32_t kPartMultipart = 0x4;
inline constexpr std::uint32_t kPartBoundary = 0x200;
inline constexpr std::uint32_t kPartBase64 = 0x400;
inline constexpr std::uint32_t kPartQuotedPrintable = 0x800;
inline constexpr std::uint32_t kPartApplication = 0x1000;
inline constexpr std::uint32_t kPartAudio = 0x2000;
inline constexpr std::uint32_t kPartImage = 0x4000;
inline constexpr std::uint32_t kPartVideo = 0x8000;
inline constexpr std::uint32_t kPartAttachment =
    kPartApplication | kPartAudio | kPartImage | kPartVideo;

// A boundary value is cut at this many characters.
inline constexpr std::size_t kBoundaryLimit = 98;
// Multipart parts nested deeper than this are left as they are: the walk
// recurses once per level and hostile mail can nest without end.
inline constexpr int kMultipartNestingLimit = 32;

// A boundary value held without allocation.
struct Boundary {
  std::array<char, kBoundaryLimit> bytes{};
  std::size_t length = 0;
  std::string_view view() const { return {bytes.data(), length}; }
};

// Reads the parameters of one Content-Type line of a message header, from
// text[position] (just after "Content-Type:") to the line's end (LF, zero byte
// or the end of text). Adds kPartHtml, kPartPlain, kPartMultipart and the
// charset flag it finds to flags; "boundary" adds kPartBoundary and sets
// boundary (quoted: up to the closing quote; bare: up to a space, ";", LF or
// zero byte; cut at kBoundaryLimit). Keywords count only at the start of a
// token, in any letter case. Returns the position where the line ends.
std::size_t readContentType(std::string_view text, std::size_t position, std::uint32_t& flags,
                            Boundary& boundary);

// Decodes the multipart body in span along boundary: the preamble stays, every
// boundary line and part header becomes spaces, text parts are decoded with
// decodePart, attachments are decoded and then blanked, nested multipart
// parts are walked with their own boundary (at most kMultipartNestingLimit
// levels deep). Lines end in LF: the caller has dropped carriage returns. A
// boundary is found by a byte-exact search anywhere in the text. A body
// without the boundary (or an empty boundary) stays unchanged; an empty part,
// or a part without an empty line after its header, ends the walk and the
// parts behind it stay undecoded; a part whose first line is empty has no
// header. Attachment names are not collected. Returns the number of text and
// attachment parts decoded, nested ones included.
int walkMultipart(std::span<char> span, std::string_view boundary);

// Decodes one part's content in place by its flags, in this order: base64,
// quoted-printable, HTML stripping (or, for a part that is not HTML, the
// "<HTML>" stretches inside it), conversion from its charset to Windows-1251.
// Returns the number of bytes base64 decoding produced, 0 when base64
// decoding failed (the other steps still run), -1 when the part is not base64.
int decodePart(std::span<char> span, std::uint32_t flags);

}  // namespace qg
