#include "engine/scrambled_file.h"

#include <algorithm>
#include <array>
#include <limits>

#include "engine/file_primitives.h"
#include "platform/notice.h"

namespace qg {

namespace {

// Fixed words of the container format. Every sum below is taken modulo 2^32
// (std::uint32_t arithmetic) and a byte written is the low 8 bits of its value.
constexpr std::uint32_t kNameSumBase = 608340;
constexpr std::uint32_t kNameCheckMask = 0x83297346;
constexpr std::uint32_t kNameCheckShift = 3315078;
constexpr std::uint32_t kPadShift = 159528774;
constexpr std::uint32_t kPadModulus = 77;
constexpr std::uint32_t kHeaderBytes = 273;  // words, key block, key sum and name check
constexpr std::uint32_t kLengthMask = 0x57034289;
constexpr std::uint32_t kOffsetMask = 0x08923045;
constexpr std::uint32_t kKeySumBase = 624436;
constexpr std::uint32_t kKeySumShift = 2089523900;
constexpr std::uint32_t kKeySumMask = 0x89172464;
constexpr std::uint32_t kNameBlockShift = 1432;
constexpr std::uint32_t kPadAdd = 2192;
constexpr std::uint32_t kPayloadAdd = 624436;
constexpr std::uint32_t kPayloadStep = 7;
constexpr std::uint32_t kChecksumBase = 388;
constexpr std::uint32_t kChecksumMask = 0x93460982;
constexpr std::uint32_t kChecksumAdd = 604231;

constexpr std::size_t kKeyStreamBytes = 256;
constexpr std::size_t kExtraKeyLimit = 256;  // an extra key this long counts as none
constexpr std::uint32_t kKeyBlockStart = 98;
constexpr std::uint32_t kPadKeyStart = 45;
constexpr std::uint32_t kPayloadKeyStart = 24;
constexpr std::uint32_t kNameKeyStart = 18;
constexpr std::uint32_t kKeyBlockStep = 23;
constexpr std::int64_t kKeyBlockPosition = 8;
constexpr std::int64_t kNameCheckPosition = 268;
constexpr std::int64_t kChecksumBytes = 4;

// The fixed key text with its terminating zero; the padding always uses index 8.
constexpr std::array<std::uint8_t, 23> kFixedKey = {'k', '7', '#', 'Q', 'm', '2', '%', 'x',
                                                    'T', '9', 'w', '!', 'L', 'p', '4', '$',
                                                    'Z', 'r', '8', '&', 'N', 'v', 0};
constexpr std::size_t kPadKeyIndex = 8;

using KeyStream = std::array<std::uint8_t, kKeyStreamBytes>;

std::uint8_t byteAt(std::string_view text, std::size_t index) {
  return static_cast<std::uint8_t>(text[index]);
}

// The values derived from the file name alone.
struct NameValues {
  std::uint32_t h = 0;
  std::uint32_t t = 0;
  std::uint32_t pad = 0;
  std::uint32_t off = 0;
};

NameValues nameValues(std::string_view name) {
  NameValues v;
  v.h = kNameSumBase;
  for (std::size_t i = 0; i < name.size(); ++i)
    v.h += byteAt(name, i) * static_cast<std::uint32_t>(i);
  v.t = (v.h ^ kNameCheckMask) - kNameCheckShift;
  v.pad = (v.t - kPadShift) % kPadModulus;
  v.off = kHeaderBytes + static_cast<std::uint32_t>(name.size()) + v.pad;
  return v;
}

// The name is a single path component the engine can also place in the file:
// not empty, no separator, no zero byte (the stored name ends at its zero).
bool usableName(std::string_view name) {
  return !name.empty() && name.size() <= std::numeric_limits<std::uint8_t>::max() &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::string joinPath(const std::string& directory, const std::string& name) {
  return directory + "/" + name;
}

KeyStream keyStream(std::string_view name, std::string_view extraKey) {
  KeyStream k{};
  std::size_t e = std::min(extraKey.size(), kExtraKeyLimit);
  e = std::min(e, extraKey.substr(0, e).find('\0'));
  if (e == 0 || e == kExtraKeyLimit) {
    k[0] = 0x01;
    k[1] = 0x32;
    e = 2;
  } else {
    for (std::size_t j = 0; j < e; ++j) k[j] = byteAt(extraKey, j);
  }
  // Later passes read the values the first pass left in place.
  std::size_t written = 0;
  for (std::uint32_t r = 1; written < kKeyStreamBytes; ++r) {
    const std::uint32_t a = 7 * r;
    for (std::size_t j = 0; j < e && written < kKeyStreamBytes; ++j) {
      k[written++] = static_cast<std::uint8_t>(k[j] + a + 23 * static_cast<std::uint32_t>(j + 1));
    }
  }
  std::uint32_t c = 123;
  for (std::size_t j = 0; j < name.size(); ++j) c += byteAt(name, j);
  for (std::size_t i = 0, j = 0; i < kKeyStreamBytes; ++i, ++c) {
    const auto mixed = static_cast<std::uint8_t>(k[i] ^ byteAt(name, j) ^ (c & 0xFF));
    k[i] = mixed != 0 ? mixed : 0x2A;
    if (++j == name.size()) j = 0;
  }
  return k;
}

std::uint8_t encodePayloadByte(const KeyStream& k, std::uint32_t i, std::uint8_t d) {
  return static_cast<std::uint8_t>((d ^ k[(kPayloadKeyStart + i) & 0xFF]) + kPayloadAdd +
                                   kPayloadStep * i);
}

std::uint8_t decodePayloadByte(const KeyStream& k, std::uint32_t i, std::uint8_t stored) {
  return static_cast<std::uint8_t>(
      k[(kPayloadKeyStart + i) & 0xFF] ^
      static_cast<std::uint8_t>(stored - kPayloadAdd - kPayloadStep * i));
}

// Payload byte i is scrambled with K[(24 + i) mod 256] and the low byte of
// 624436 + 7i; both repeat every 256 bytes, so one period of each is kept and
// the bulk loops run over plain arrays (which the compiler vectorises).
struct PayloadMasks {
  std::array<std::uint8_t, kKeyStreamBytes> key{};
  std::array<std::uint8_t, kKeyStreamBytes> add{};
};

PayloadMasks payloadMasks(const KeyStream& k) {
  PayloadMasks masks;
  for (std::uint32_t j = 0; j < kKeyStreamBytes; ++j) {
    masks.key[j] = k[(kPayloadKeyStart + j) & 0xFF];
    masks.add[j] = static_cast<std::uint8_t>(kPayloadAdd + kPayloadStep * j);
  }
  return masks;
}

// Encodes plain into out (same size). Returns the sum of plain[i] x i.
std::uint32_t encodePayload(const PayloadMasks& masks, std::span<const std::uint8_t> plain,
                            std::uint8_t* out) {
  std::uint32_t sum = 0;
  for (std::size_t base = 0; base < plain.size(); base += kKeyStreamBytes) {
    const std::size_t count = std::min(kKeyStreamBytes, plain.size() - base);
    std::uint32_t bytes = 0;
    std::uint32_t weighted = 0;
    for (std::size_t j = 0; j < count; ++j) {
      const std::uint8_t d = plain[base + j];
      out[base + j] = static_cast<std::uint8_t>((d ^ masks.key[j]) + masks.add[j]);
      bytes += d;
      weighted += d * static_cast<std::uint32_t>(j);
    }
    sum += weighted + static_cast<std::uint32_t>(base) * bytes;
  }
  return sum;
}

// Decodes stored in place. Returns the sum of plain[i] x i.
std::uint32_t decodePayload(const PayloadMasks& masks, std::span<std::uint8_t> stored) {
  std::uint32_t sum = 0;
  for (std::size_t base = 0; base < stored.size(); base += kKeyStreamBytes) {
    const std::size_t count = std::min(kKeyStreamBytes, stored.size() - base);
    std::uint32_t bytes = 0;
    std::uint32_t weighted = 0;
    for (std::size_t j = 0; j < count; ++j) {
      const auto d = static_cast<std::uint8_t>(
          static_cast<std::uint8_t>(stored[base + j] - masks.add[j]) ^ masks.key[j]);
      stored[base + j] = d;
      bytes += d;
      weighted += d * static_cast<std::uint32_t>(j);
    }
    sum += weighted + static_cast<std::uint32_t>(base) * bytes;
  }
  return sum;
}

std::uint32_t encodeChecksum(std::uint32_t s) {
  return (s ^ kChecksumMask) + kChecksumAdd;
}
std::uint32_t decodeChecksum(std::uint32_t word) {
  return (word - kChecksumAdd) ^ kChecksumMask;
}
std::uint32_t encodeLength(std::uint32_t n, std::uint32_t h) {
  return (n + h) ^ kLengthMask;
}
std::uint32_t decodeLength(std::uint32_t word, std::uint32_t h) {
  return (word ^ kLengthMask) - h;
}

// The byte of the key block at step k.
std::uint8_t keyBlockByte(const KeyStream& key, std::string_view name, std::uint32_t h,
                          std::uint32_t step) {
  const std::uint32_t p = (kKeyBlockStart + step) & 0xFF;
  const std::uint32_t s = h + kKeyBlockStep * step;
  return static_cast<std::uint8_t>((key[p] ^ byteAt(name, step % name.size())) + s);
}

void appendWord(std::vector<std::uint8_t>& out, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(word >> shift));
}

// Opens the file and checks its first two words against its real size. The
// sum is taken in 64 bits: modulo 2^32 a hostile header could pair a huge n
// with a small offset. On success n + off + 4 is the file size, so both lie
// inside the file.
bool openChecked(const std::string& path, const NameValues& v, FileHandle& file, std::uint32_t& n,
                 std::uint32_t& off) {
  if (!openExisting(path, file)) return false;
  const std::int64_t size = file.size();
  if (size < 2 * kChecksumBytes || !file.seek(0)) return false;
  n = decodeLength(static_cast<std::uint32_t>(readWord(file)), v.h);
  off = (static_cast<std::uint32_t>(readWord(file)) ^ kOffsetMask) + v.h;
  return static_cast<std::int64_t>(n) + static_cast<std::int64_t>(off) == size - kChecksumBytes;
}

void notice(std::string_view digit) {
  platform::showNotice("Error", digit);
}

}  // namespace

std::int64_t scrambledProbe(const std::string& directory, const std::string& name,
                            std::string_view /*extraKey*/) {
  if (!usableName(name)) return -1;
  FileHandle file;
  std::uint32_t n = 0;
  std::uint32_t off = 0;
  if (!openChecked(joinPath(directory, name), nameValues(name), file, n, off)) return -1;
  return n;
}

std::int64_t scrambledRead(const std::string& directory, const std::string& name,
                           std::string_view extraKey, std::vector<std::uint8_t>& out) {
  out.clear();
  if (!usableName(name)) return -1;
  const NameValues v = nameValues(name);
  FileHandle file;
  std::uint32_t n = 0;
  std::uint32_t off = 0;
  if (!openChecked(joinPath(directory, name), v, file, n, off)) return -1;
  // n is bounded by the file's real size here, never by the header alone.
  out.resize(n);
  if (!file.seek(off) || !readExact(file, out)) {
    out.clear();
    return -1;
  }
  const std::uint32_t stored = static_cast<std::uint32_t>(readWord(file));
  const std::uint32_t s =
      kChecksumBase + decodePayload(payloadMasks(keyStream(name, extraKey)), out);
  if (decodeChecksum(stored) != s) {
    out.clear();
    return -1;
  }
  return n;
}

int scrambledWrite(const std::string& directory, const std::string& name, std::string_view extraKey,
                   std::span<const std::uint8_t> payload) {
  if (!usableName(name)) return -1;
  const NameValues v = nameValues(name);
  // The stored length is a 32-bit word and the file must stay addressable by it.
  const std::uint64_t largest = std::numeric_limits<std::uint32_t>::max() - v.off - 4;
  if (payload.size() > largest) return -1;
  const auto n = static_cast<std::uint32_t>(payload.size());
  const KeyStream k = keyStream(name, extraKey);

  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(v.off) + n + kChecksumBytes);
  appendWord(bytes, encodeLength(n, v.h));
  appendWord(bytes, (v.off - v.h) ^ kOffsetMask);
  std::uint32_t g = kKeySumBase;
  for (std::uint32_t step = 0; step < kKeyStreamBytes; ++step) {
    bytes.push_back(keyBlockByte(k, name, v.h, step));
    const std::uint32_t p = (kKeyBlockStart + step) & 0xFF;
    g += k[p] * p;
  }
  appendWord(bytes, (g - kKeySumShift) ^ kKeySumMask);
  appendWord(bytes, v.t);
  for (std::size_t j = 0, p = kNameKeyStart; j <= name.size(); ++j) {
    const std::uint8_t c = j < name.size() ? byteAt(name, j) : 0;
    bytes.push_back(static_cast<std::uint8_t>((c ^ kFixedKey[p]) - kNameBlockShift));
    if (++p == kFixedKey.size()) p = 0;
  }
  for (std::uint32_t i = 0; i < v.pad; ++i) {
    const std::uint8_t key = k[(kPadKeyStart + i) & 0xFF];
    bytes.push_back(static_cast<std::uint8_t>((key ^ kFixedKey[kPadKeyIndex]) + kPadAdd));
  }
  const std::size_t start = bytes.size();
  bytes.resize(start + n);
  const std::uint32_t s = kChecksumBase + encodePayload(payloadMasks(k), payload, &bytes[start]);
  appendWord(bytes, encodeChecksum(s));

  FileHandle file;
  if (!openExclusive(joinPath(directory, name), file)) return -1;
  if (!file.seek(0) || !writeBytes(file, bytes) ||
      !file.truncate(static_cast<std::int64_t>(bytes.size()))) {
    return -1;
  }
  return 0;
}

int scrambledPatch(const std::string& directory, const std::string& name, std::string_view extraKey,
                   std::uint32_t position, std::span<const std::uint8_t> bytes) {
  FileHandle file;
  if (!usableName(name) || !openExisting(joinPath(directory, name), file)) {
    notice("1");
    return -1;
  }
  const NameValues v = nameValues(name);
  if (!file.seek(kNameCheckPosition) ||
      ((static_cast<std::uint32_t>(readWord(file)) + kNameCheckShift) ^ kNameCheckMask) != v.h) {
    notice("2");
    return -1;
  }
  // Besides the position, the stored length and offset must describe this
  // file's real size: patching a damaged file would write at a made-up place.
  const std::int64_t size = file.size();
  std::uint32_t n = 0;
  std::uint32_t off = 0;
  if (!file.seek(0)) {
    notice("3");
    return -1;
  }
  n = decodeLength(static_cast<std::uint32_t>(readWord(file)), v.h);
  off = (static_cast<std::uint32_t>(readWord(file)) ^ kOffsetMask) + v.h;
  const std::uint64_t end = std::uint64_t{position} + bytes.size();
  if (position > n || off != v.off || static_cast<std::int64_t>(n) + off != size - kChecksumBytes ||
      end > std::numeric_limits<std::uint32_t>::max()) {
    notice("3");
    return -1;
  }
  const KeyStream k = keyStream(name, extraKey);
  std::array<std::uint8_t, kKeyStreamBytes> block{};
  if (!file.seek(kKeyBlockPosition) || !readExact(file, block)) {
    notice("4");
    return -1;
  }
  for (std::uint32_t step = 0; step < kKeyStreamBytes; ++step) {
    if (block[step] != keyBlockByte(k, name, v.h, step)) {
      notice("4");
      return -1;
    }
  }

  // Take the checksum off the end, adjust it for every byte replaced or
  // appended, and put it back behind the new end.
  if (!file.seek(size - kChecksumBytes)) return -1;
  std::uint32_t s = decodeChecksum(static_cast<std::uint32_t>(readWord(file)));
  if (!file.truncate(size - kChecksumBytes)) return -1;
  const std::uint32_t replaced =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes.size(), n - position));
  std::vector<std::uint8_t> stored(replaced);
  if (!file.seek(std::int64_t{off} + position) || !readExact(file, stored)) return -1;
  std::vector<std::uint8_t> encoded(bytes.size());
  for (std::uint32_t i = 0; i < bytes.size(); ++i) {
    const std::uint32_t at = position + i;
    if (i < replaced) s -= decodePayloadByte(k, at, stored[i]) * at;
    encoded[i] = encodePayloadByte(k, at, bytes[i]);
    s += bytes[i] * at;
  }
  const auto newLength = static_cast<std::uint32_t>(std::max<std::uint64_t>(n, end));
  if (!file.seek(std::int64_t{off} + position) || !writeBytes(file, encoded) ||
      !file.seek(std::int64_t{off} + newLength) || !writeWord(file, encodeChecksum(s)) ||
      !file.seek(0) || !writeWord(file, encodeLength(newLength, v.h))) {
    return -1;
  }
  return 0;
}

std::int64_t scrambledFile(int operation, const std::string& directory, const std::string& name,
                           std::string_view extraKey, std::span<std::uint8_t> buffer,
                           std::int64_t length) {
  switch (operation) {
    case 2:
      return scrambledProbe(directory, name, extraKey);
    case 3: {
      std::vector<std::uint8_t> payload;
      const std::int64_t n = scrambledRead(directory, name, extraKey, payload);
      if (n < 0 || payload.size() > buffer.size()) return -1;
      std::copy(payload.begin(), payload.end(), buffer.begin());
      return n;
    }
    case 4:
      if (length < 0 || static_cast<std::uint64_t>(length) > buffer.size()) return -1;
      return scrambledWrite(directory, name, extraKey,
                            buffer.first(static_cast<std::size_t>(length)));
    default:
      break;
  }
  if (operation < 16 + 5 || operation % 16 != 5) return -1;
  const auto count = static_cast<std::size_t>(operation / 16);
  if (count > buffer.size() || length < 0 || length > std::numeric_limits<std::uint32_t>::max()) {
    return -1;
  }
  return scrambledPatch(directory, name, extraKey, static_cast<std::uint32_t>(length),
                        buffer.first(count));
}

}  // namespace qg
