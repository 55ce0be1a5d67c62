// DNS messages on the wire: the growable byte buffer, the header, the question,
// the resource records with their text forms, and the parser of a response.
// Pure data and functions; each object belongs to the one thread that made it.
// Every read of a response is bounded: a read past the end, a compression
// pointer that does not point backwards, a reserved label type or a name over
// 255 bytes throws CSocketException inside the parser, and parseDnsResponse
// turns that into a failure value.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qg {

// The one exception of the DNS code. It is thrown by the DnsMessage readers and
// by the TCP exchange, and always caught inside the DNS operations.
class CSocketException {
 public:
  // The message is text + "\n", followed by "System Error Detail:" + detail
  // when a detail is given.
  explicit CSocketException(std::string_view text, std::string_view detail = {});
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

// Longest label and longest name (in wire bytes, length bytes included).
inline constexpr std::size_t kDnsMaxLabel = 63;
inline constexpr std::size_t kDnsMaxName = 255;
// Type codes the system reads into their own record kinds.
inline constexpr std::uint16_t kDnsTypeA = 1;
inline constexpr std::uint16_t kDnsTypeNs = 2;
inline constexpr std::uint16_t kDnsTypeCname = 5;
inline constexpr std::uint16_t kDnsTypeMx = 15;

// One DNS message: the bytes and a read position. Integers are big-endian.
class DnsMessage {
 public:
  static constexpr std::size_t kGrowStep = 64;

  void append8(std::uint8_t value);
  void append16(std::uint16_t value);
  void append32(std::uint32_t value);
  void appendBytes(std::span<const std::uint8_t> bytes);
  // Replaces the contents by n zero bytes to be received into; read position 0.
  void prepareReceive(std::size_t n);
  // Replaces the contents by a copy of bytes; read position 0.
  void assign(std::span<const std::uint8_t> bytes);

  std::span<const std::uint8_t> bytes() const { return data_; }
  std::span<std::uint8_t> writableBytes() { return data_; }
  std::size_t size() const { return data_.size(); }
  std::size_t readPosition() const { return position_; }
  void setReadPosition(std::size_t position) { position_ = position; }

  // Readers at the read position, which they advance. Each throws
  // CSocketException "Insufficient Data Pointer:%d  Size:%d  Total:%d" when the
  // message holds fewer bytes than asked.
  std::uint8_t read8();
  std::uint16_t read16();
  std::uint32_t read32();
  std::vector<std::uint8_t> readBytes(std::size_t count);
  // Reads a name at the read position and moves past it: labels joined by ".",
  // compression pointers followed, the root name as "". Each pointer must point
  // before the labels read so far, so a pointer can never loop. Throws
  // CSocketException on a short message, a pointer that does not point back
  // that way, a label type other than plain or pointer (a length byte of
  // 64-191), or a name longer than 255 bytes.
  std::string readName();

 private:
  void need(std::size_t count) const;
  void grow(std::size_t needed);

  std::vector<std::uint8_t> data_;
  std::size_t position_ = 0;
};

// The six 16-bit values of a message header.
struct DnsHeader {
  std::uint16_t id = 0;
  std::uint16_t flags = 0;
  std::uint16_t qdCount = 1;
  std::uint16_t anCount = 0;
  std::uint16_t nsCount = 0;
  std::uint16_t arCount = 0;

  void write(DnsMessage& message) const;
  // Throws CSocketException when the message is short.
  void read(DnsMessage& message);
};

// The code of a question type name ("A" 1 ... "TXT" 16); any other name, compared
// exactly, gives 0xFFFF.
std::uint16_t dnsTypeCode(std::string_view typeName);

struct DnsQuestion {
  std::vector<std::string> labels;
  std::uint16_t type = 0;
  std::uint16_t cls = 1;

  // Splits name at every "." (one final "." is dropped). Returns 0 when a label
  // is empty or longer than 63 bytes or the name is longer than 255 wire bytes.
  int set(std::string_view name, std::string_view typeName);
  void write(DnsMessage& message) const;
};

// The common part of a resource record; the kind is chosen by the type code.
class DnsRecord {
 public:
  virtual ~DnsRecord() = default;
  // Reads the type-specific data at the read position (dataLength is set).
  // Throws CSocketException when the message is short or a name is bad.
  virtual void readData(DnsMessage& message) = 0;
  // The record's text form, byte for byte as the lookups hand it on.
  virtual std::string text() const = 0;
  virtual std::unique_ptr<DnsRecord> clone() const = 0;

  std::string name;
  std::uint16_t type = 0;
  std::uint16_t cls = 0;
  std::int32_t ttl = 0;
  std::uint16_t dataLength = 0;

 protected:
  std::string commonText() const;
};

class DnsARecord final : public DnsRecord {
 public:
  void readData(DnsMessage& message) override;
  std::string text() const override;
  std::unique_ptr<DnsRecord> clone() const override;
  std::string address;
};

class DnsNsRecord final : public DnsRecord {
 public:
  void readData(DnsMessage& message) override;
  std::string text() const override;
  std::unique_ptr<DnsRecord> clone() const override;
  std::string host;
};

class DnsCnameRecord final : public DnsRecord {
 public:
  void readData(DnsMessage& message) override;
  std::string text() const override;
  std::unique_ptr<DnsRecord> clone() const override;
  std::string host;
};

class DnsMxRecord final : public DnsRecord {
 public:
  void readData(DnsMessage& message) override;
  std::string text() const override;
  std::unique_ptr<DnsRecord> clone() const override;
  std::uint16_t preference = 0;
  std::string exchange;
};

class DnsRawRecord final : public DnsRecord {
 public:
  void readData(DnsMessage& message) override;
  std::string text() const override;
  std::unique_ptr<DnsRecord> clone() const override;
  std::vector<std::uint8_t> data;
};

using DnsRecordList = std::vector<std::unique_ptr<DnsRecord>>;

struct DnsResponse {
  DnsHeader header;
  DnsRecordList answers;
  DnsRecordList authority;
  DnsRecordList additional;
};

// Builds a query for name and typeName with the given ID (flags 0, one
// question). Returns 0 and leaves message empty when the name is not valid
// (see DnsQuestion::set).
int buildDnsQuery(std::string_view name, std::string_view typeName, std::uint16_t id,
                  DnsMessage& message);

// Parses a whole response from the start of message: header, one question,
// then ANCOUNT, NSCOUNT and ARCOUNT records. Nothing in the header is checked.
// Returns 1; or 0 with error set to the failure's message (out is then partly
// filled and must not be used).
int parseDnsResponse(DnsMessage& message, DnsResponse& out, std::string& error);

}  // namespace qg
