#include "netsvc/dns_message.h"

#include <array>
#include <cstdio>
#include <utility>

namespace qg {

namespace {

std::string formatted(const char* format, long a, long b, long c) {
  std::array<char, 128> buffer{};
  const int n = std::snprintf(buffer.data(), buffer.size(), format, a, b, c);
  return std::string(buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
}

// Reads the common fields, makes the record of the right kind and lets it read
// its data.
std::unique_ptr<DnsRecord> readRecord(DnsMessage& message) {
  std::string name = message.readName();
  const std::uint16_t type = message.read16();
  std::unique_ptr<DnsRecord> record;
  switch (type) {
    case kDnsTypeA:
      record = std::make_unique<DnsARecord>();
      break;
    case kDnsTypeNs:
      record = std::make_unique<DnsNsRecord>();
      break;
    case kDnsTypeCname:
      record = std::make_unique<DnsCnameRecord>();
      break;
    case kDnsTypeMx:
      record = std::make_unique<DnsMxRecord>();
      break;
    default:
      record = std::make_unique<DnsRawRecord>();
      break;
  }
  record->name = std::move(name);
  record->type = type;
  record->cls = message.read16();
  record->ttl = static_cast<std::int32_t>(message.read32());
  record->dataLength = message.read16();
  record->readData(message);
  return record;
}

void readRecords(DnsMessage& message, std::uint16_t count, DnsRecordList& list) {
  for (std::uint16_t i = 0; i < count; ++i) list.push_back(readRecord(message));
}

}  // namespace

CSocketException::CSocketException(std::string_view text, std::string_view detail)
    : message_(text) {
  message_ += '\n';
  if (!detail.empty()) {
    message_ += "System Error Detail:";
    message_ += detail;
  }
}

void DnsMessage::grow(std::size_t needed) {
  if (needed <= data_.capacity()) return;
  data_.reserve((needed / kGrowStep + 1) * kGrowStep);
}

void DnsMessage::append8(std::uint8_t value) {
  grow(data_.size() + 1);
  data_.push_back(value);
}

void DnsMessage::append16(std::uint16_t value) {
  grow(data_.size() + 2);
  data_.push_back(static_cast<std::uint8_t>(value >> 8));
  data_.push_back(static_cast<std::uint8_t>(value));
}

void DnsMessage::append32(std::uint32_t value) {
  append16(static_cast<std::uint16_t>(value >> 16));
  append16(static_cast<std::uint16_t>(value));
}

void DnsMessage::appendBytes(std::span<const std::uint8_t> bytes) {
  grow(data_.size() + bytes.size());
  data_.insert(data_.end(), bytes.begin(), bytes.end());
}

void DnsMessage::prepareReceive(std::size_t n) {
  data_.clear();
  data_.shrink_to_fit();
  grow(n);
  data_.resize(n);
  position_ = 0;
}

void DnsMessage::assign(std::span<const std::uint8_t> bytes) {
  prepareReceive(bytes.size());
  std::copy(bytes.begin(), bytes.end(), data_.begin());
}

void DnsMessage::need(std::size_t count) const {
  if (position_ > data_.size() || data_.size() - position_ < count) {
    throw CSocketException(formatted("Insufficient Data Pointer:%ld  Size:%ld  Total:%ld",
                                     static_cast<long>(position_), static_cast<long>(count),
                                     static_cast<long>(data_.size())));
  }
}

std::uint8_t DnsMessage::read8() {
  need(1);
  return data_[position_++];
}

std::uint16_t DnsMessage::read16() {
  need(2);
  const auto value = static_cast<std::uint16_t>((data_[position_] << 8) | data_[position_ + 1]);
  position_ += 2;
  return value;
}

std::uint32_t DnsMessage::read32() {
  const std::uint32_t high = read16();
  return (high << 16) | read16();
}

std::vector<std::uint8_t> DnsMessage::readBytes(std::size_t count) {
  need(count);
  std::vector<std::uint8_t> bytes(data_.begin() + static_cast<std::ptrdiff_t>(position_),
                                  data_.begin() + static_cast<std::ptrdiff_t>(position_ + count));
  position_ += count;
  return bytes;
}

std::string DnsMessage::readName() {
  std::string name;
  std::size_t wireLength = 1;  // the final zero byte
  // Every pointer must land before runStart, the first byte of the labels read
  // since the last jump, so the positions visited strictly decrease per jump.
  std::size_t runStart = position_;
  std::size_t resumeAt = 0;
  bool jumped = false;
  for (;;) {
    const std::size_t at = position_;
    const std::uint8_t length = read8();
    if (length == 0) break;
    if ((length & 0xC0) == 0xC0) {
      const std::size_t target = (static_cast<std::size_t>(length & 0x3F) << 8) | read8();
      if (target >= runStart) {
        throw CSocketException(formatted("Bad Name Pointer:%ld  At:%ld  Total:%ld",
                                         static_cast<long>(target), static_cast<long>(at),
                                         static_cast<long>(data_.size())));
      }
      if (!jumped) resumeAt = position_;
      jumped = true;
      runStart = target;
      position_ = target;
      continue;
    }
    if ((length & 0xC0) != 0) {
      throw CSocketException(formatted("Bad Label Length:%ld  At:%ld  Total:%ld",
                                       static_cast<long>(length), static_cast<long>(at),
                                       static_cast<long>(data_.size())));
    }
    wireLength += length + 1u;
    if (wireLength > kDnsMaxName) {
      throw CSocketException(formatted("Name Too Long:%ld  At:%ld  Total:%ld",
                                       static_cast<long>(wireLength), static_cast<long>(at),
                                       static_cast<long>(data_.size())));
    }
    need(length);
    if (!name.empty()) name += '.';
    name.append(reinterpret_cast<const char*>(data_.data() + position_), length);
    position_ += length;
  }
  if (jumped) position_ = resumeAt;
  return name;
}

void DnsHeader::write(DnsMessage& message) const {
  for (const std::uint16_t value : {id, flags, qdCount, anCount, nsCount, arCount}) {
    message.append16(value);
  }
}

void DnsHeader::read(DnsMessage& message) {
  for (std::uint16_t* value : {&id, &flags, &qdCount, &anCount, &nsCount, &arCount}) {
    *value = message.read16();
  }
}

std::uint16_t dnsTypeCode(std::string_view typeName) {
  static constexpr std::array<std::string_view, 16> kNames = {
      "A",  "NS",   "MD",  "MF",  "CNAME", "SOA",   "MB", "MG",
      "MR", "NULL", "WKS", "PTR", "HINFO", "MINFO", "MX", "TXT"};
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (kNames[i] == typeName) return static_cast<std::uint16_t>(i + 1);
  }
  return 0xFFFF;
}

int DnsQuestion::set(std::string_view name, std::string_view typeName) {
  labels.clear();
  type = dnsTypeCode(typeName);
  cls = 1;
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);
  std::size_t wireLength = 1;
  while (!name.empty()) {
    const std::size_t dot = name.find('.');
    const std::string_view label = name.substr(0, dot);
    wireLength += label.size() + 1;
    if (label.empty() || label.size() > kDnsMaxLabel || wireLength > kDnsMaxName) {
      labels.clear();
      return 0;
    }
    labels.emplace_back(label);
    if (dot == std::string_view::npos) break;
    name.remove_prefix(dot + 1);
    if (name.empty()) {  // "a..": an empty last label
      labels.clear();
      return 0;
    }
  }
  return 1;
}

void DnsQuestion::write(DnsMessage& message) const {
  for (const std::string& label : labels) {
    message.append8(static_cast<std::uint8_t>(label.size()));
    message.appendBytes(
        std::span(reinterpret_cast<const std::uint8_t*>(label.data()), label.size()));
  }
  message.append8(0);
  message.append16(type);
  message.append16(cls);
}

std::string DnsRecord::commonText() const {
  return "Name=" + name + "\nTTL=" + std::to_string(ttl) + "\nTYPE=" + std::to_string(type) + "\n";
}

void DnsARecord::readData(DnsMessage& message) {
  const std::vector<std::uint8_t> bytes = message.readBytes(4);
  address = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
            std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

std::string DnsARecord::text() const {
  return "A Record:\n" + commonText() + "A=" + address + "\n\n";
}

std::unique_ptr<DnsRecord> DnsARecord::clone() const {
  return std::make_unique<DnsARecord>(*this);
}

void DnsNsRecord::readData(DnsMessage& message) {
  host = message.readName();
}

std::string DnsNsRecord::text() const {
  return "NS Record:\n" + commonText() + "NS=" + host + "\n";
}

std::unique_ptr<DnsRecord> DnsNsRecord::clone() const {
  return std::make_unique<DnsNsRecord>(*this);
}

void DnsCnameRecord::readData(DnsMessage& message) {
  host = message.readName();
}

std::string DnsCnameRecord::text() const {
  return "CNAME Record:\n" + commonText() + "CName=" + host + "\n\n";
}

std::unique_ptr<DnsRecord> DnsCnameRecord::clone() const {
  return std::make_unique<DnsCnameRecord>(*this);
}

void DnsMxRecord::readData(DnsMessage& message) {
  const std::size_t start = message.readPosition();
  preference = message.read16();
  exchange = message.readName();
  // The declared length decides where the next record starts, whatever the
  // name took; the end must still lie inside the message.
  message.setReadPosition(start);
  message.readBytes(dataLength);
}

std::string DnsMxRecord::text() const {
  return "MX Record\n" + commonText() + "Preference=" + std::to_string(preference) +
         "\nExchange=" + exchange + "\n\n";
}

std::unique_ptr<DnsRecord> DnsMxRecord::clone() const {
  return std::make_unique<DnsMxRecord>(*this);
}

void DnsRawRecord::readData(DnsMessage& message) {
  data = message.readBytes(dataLength);
}

std::string DnsRawRecord::text() const {
  return commonText();
}

std::unique_ptr<DnsRecord> DnsRawRecord::clone() const {
  return std::make_unique<DnsRawRecord>(*this);
}

int buildDnsQuery(std::string_view name, std::string_view typeName, std::uint16_t id,
                  DnsMessage& message) {
  message.prepareReceive(0);
  DnsQuestion question;
  if (question.set(name, typeName) == 0) return 0;
  DnsHeader header;
  header.id = id;
  header.write(message);
  question.write(message);
  return 1;
}

int parseDnsResponse(DnsMessage& message, DnsResponse& out, std::string& error) {
  try {
    message.setReadPosition(0);
    out.header.read(message);
    message.readName();
    message.read16();
    message.read16();
    readRecords(message, out.header.anCount, out.answers);
    readRecords(message, out.header.nsCount, out.authority);
    readRecords(message, out.header.arCount, out.additional);
    return 1;
  } catch (const CSocketException& e) {
    error = e.message();
    return 0;
  }
}

}  // namespace qg
