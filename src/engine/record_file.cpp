#include "engine/record_file.h"

#include <algorithm>
#include <type_traits>

#include "engine/file_primitives.h"
#include "engine/scrambled_file.h"

namespace qg {

namespace {

constexpr std::size_t kCountBytes = 4;
constexpr std::size_t kRecordHeadBytes = 5;  // field number and type byte

std::uint32_t readLe32(const std::vector<std::uint8_t>& data, std::size_t at) {
  return static_cast<std::uint32_t>(data[at]) | static_cast<std::uint32_t>(data[at + 1]) << 8 |
         static_cast<std::uint32_t>(data[at + 2]) << 16 |
         static_cast<std::uint32_t>(data[at + 3]) << 24;
}

void writeLe32(std::vector<std::uint8_t>& data, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) data[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Little-endian bytes of a number, as a record stores them.
template <typename T>
std::string littleEndian(T value) {
  const auto bits = static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<T>>(value));
  std::string out(sizeof(T), '\0');
  for (std::size_t i = 0; i < sizeof(T); ++i) out[i] = static_cast<char>(bits >> (8 * i));
  return out;
}

std::uint64_t fromLittleEndian(std::string_view bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) {
    value = value << 8 | static_cast<std::uint8_t>(bytes[i]);
  }
  return value;
}

// Size of the value of a fixed-size type; 0 for a text, nullopt for an unknown type byte.
std::optional<std::size_t> fixedValueSize(std::uint8_t type) {
  switch (static_cast<FieldType>(type)) {
    case FieldType::Text:
      return 0;
    case FieldType::Flag:
    case FieldType::Byte:
      return 1;
    case FieldType::Short:
      return 2;
    case FieldType::Int:
      return 4;
    case FieldType::Int64:
      return 8;
  }
  return std::nullopt;
}

struct Record {
  std::size_t value = 0;  // first byte of the value
  std::size_t end = 0;    // one past the record
  std::uint32_t number = 0;
  FieldType type = FieldType::Text;
};

// Where a walk over all records ended.
struct WalkEnd {
  std::size_t goodEnd = kCountBytes;  // one past the last readable record
  std::uint32_t goodCount = 0;        // readable records
  bool complete = false;              // every counted record read and nothing behind them
};

// Calls visit(record) for each readable record in stored order until visit
// returns true. Never reads past data, whatever the count word claims.
template <typename Visit>
WalkEnd walkRecords(const std::vector<std::uint8_t>& data, Visit visit) {
  WalkEnd end;
  if (data.size() < kCountBytes) return end;
  const std::uint32_t count = readLe32(data, 0);
  std::size_t at = kCountBytes;
  while (end.goodCount < count) {
    if (data.size() - at < kRecordHeadBytes) return end;
    const std::uint8_t type = data[at + 4];
    const std::optional<std::size_t> size = fixedValueSize(type);
    if (!size) return end;
    Record record;
    record.number = readLe32(data, at);
    record.type = static_cast<FieldType>(type);
    record.value = at + kRecordHeadBytes;
    if (record.type == FieldType::Text) {
      const auto zero = std::find(data.begin() + static_cast<std::ptrdiff_t>(record.value),
                                  data.end(), std::uint8_t{0});
      if (zero == data.end()) return end;
      record.end = static_cast<std::size_t>(zero - data.begin()) + 1;
    } else {
      if (data.size() - record.value < *size) return end;
      record.end = record.value + *size;
    }
    if (visit(record)) return end;
    at = record.end;
    end.goodEnd = at;
    ++end.goodCount;
  }
  end.complete = end.goodEnd == data.size();
  return end;
}

std::string_view valueBytes(const std::vector<std::uint8_t>& data, const Record& record) {
  const std::size_t size = record.end - record.value - (record.type == FieldType::Text ? 1 : 0);
  return {reinterpret_cast<const char*>(data.data() + record.value), size};
}

std::string textValue(std::string_view value) {
  std::string stored(value.substr(0, value.find('\0')));
  stored.push_back('\0');
  return stored;
}

}  // namespace

RecordFile::RecordFile() {
  clear();
}

void RecordFile::setName(std::string_view name) {
  name_ = name.substr(0, kMaxNameBytes);
}

void RecordFile::setExtraKey(std::string_view extraKey) {
  extraKey_ = extraKey.substr(0, kMaxExtraKeyBytes);
}

bool RecordFile::load() {
  if (scrambledRead(directory_, name_, extraKey_, data_) < 0) {
    clear();
    return false;
  }
  if (data_.size() < kCountBytes) clear();
  return true;
}

bool RecordFile::save() {
  return scrambledWrite(directory_, name_, extraKey_, data_) == 0;
}

bool RecordFile::remove() {
  return deleteFileRetry(directory_ + "/" + name_);
}

void RecordFile::clear() {
  data_.assign(kCountBytes, 0);
  data_.shrink_to_fit();
}

std::int64_t RecordFile::setValue(std::uint32_t field, FieldType type, std::string_view value) {
  std::optional<Record> found;
  const WalkEnd end = walkRecords(data_, [&](const Record& record) {
    if (record.number != field) return false;
    found = record;
    return true;
  });
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(value.data());
  if (found) {
    if (found->type != type) return -1;
    const auto from = data_.begin() + static_cast<std::ptrdiff_t>(found->value);
    const auto to = data_.begin() + static_cast<std::ptrdiff_t>(found->end);
    if (static_cast<std::size_t>(to - from) == value.size()) {
      std::copy(bytes, bytes + value.size(), from);
    } else {
      data_.insert(data_.erase(from, to), bytes, bytes + value.size());
    }
    return field;
  }
  // A damaged tail (unknown type, record cut short, count too small) would
  // hide the appended record from every lookup: drop it first, keeping the
  // readable records.
  if (!end.complete) {
    data_.resize(end.goodEnd);
    writeLe32(data_, 0, end.goodCount);
  }
  const std::string head = littleEndian(field) + static_cast<char>(type);
  data_.insert(data_.end(), head.begin(), head.end());
  data_.insert(data_.end(), bytes, bytes + value.size());
  writeLe32(data_, 0, end.goodCount + 1);
  return field;
}

std::int64_t RecordFile::addValue(FieldType type, std::string_view value) {
  std::vector<std::uint32_t> used;
  walkRecords(data_, [&](const Record& record) {
    used.push_back(record.number);
    return false;
  });
  std::sort(used.begin(), used.end());
  std::uint32_t free = 0;
  for (const std::uint32_t number : used) {
    if (number > free) break;
    if (number == free) ++free;
  }
  if (free >= kAddLimit) return -1;
  return setValue(free, type, value);
}

std::optional<std::string_view> RecordFile::valueOf(std::uint32_t field, FieldType type) const {
  std::optional<Record> found;
  walkRecords(data_, [&](const Record& record) {
    if (record.number != field) return false;
    found = record;
    return true;
  });
  if (!found || found->type != type) return std::nullopt;
  return valueBytes(data_, *found);
}

std::int64_t RecordFile::setText(std::string_view value, std::uint32_t field) {
  return setValue(field, FieldType::Text, textValue(value));
}
std::int64_t RecordFile::setFlag(bool value, std::uint32_t field) {
  return setValue(field, FieldType::Flag, littleEndian<std::uint8_t>(value ? 1 : 0));
}
std::int64_t RecordFile::setByte(std::uint8_t value, std::uint32_t field) {
  return setValue(field, FieldType::Byte, littleEndian(value));
}
std::int64_t RecordFile::setShort(std::int16_t value, std::uint32_t field) {
  return setValue(field, FieldType::Short, littleEndian(value));
}
std::int64_t RecordFile::setInt(std::int32_t value, std::uint32_t field) {
  return setValue(field, FieldType::Int, littleEndian(value));
}
std::int64_t RecordFile::setInt64(std::int64_t value, std::uint32_t field) {
  return setValue(field, FieldType::Int64, littleEndian(value));
}

std::int64_t RecordFile::addText(std::string_view value) {
  return addValue(FieldType::Text, textValue(value));
}
std::int64_t RecordFile::addFlag(bool value) {
  return addValue(FieldType::Flag, littleEndian<std::uint8_t>(value ? 1 : 0));
}
std::int64_t RecordFile::addByte(std::uint8_t value) {
  return addValue(FieldType::Byte, littleEndian(value));
}
std::int64_t RecordFile::addShort(std::int16_t value) {
  return addValue(FieldType::Short, littleEndian(value));
}
std::int64_t RecordFile::addInt(std::int32_t value) {
  return addValue(FieldType::Int, littleEndian(value));
}
std::int64_t RecordFile::addInt64(std::int64_t value) {
  return addValue(FieldType::Int64, littleEndian(value));
}

std::string RecordFile::getText(std::uint32_t field) const {
  return std::string(valueOf(field, FieldType::Text).value_or(std::string_view()));
}
bool RecordFile::getFlag(std::uint32_t field) const {
  return fromLittleEndian(valueOf(field, FieldType::Flag).value_or(std::string_view())) != 0;
}
std::uint8_t RecordFile::getByte(std::uint32_t field) const {
  return static_cast<std::uint8_t>(
      fromLittleEndian(valueOf(field, FieldType::Byte).value_or(std::string_view())));
}
std::int16_t RecordFile::getShort(std::uint32_t field) const {
  return static_cast<std::int16_t>(
      fromLittleEndian(valueOf(field, FieldType::Short).value_or(std::string_view())));
}
std::int32_t RecordFile::getInt(std::uint32_t field) const {
  return static_cast<std::int32_t>(
      fromLittleEndian(valueOf(field, FieldType::Int).value_or(std::string_view())));
}
std::int64_t RecordFile::getInt64(std::uint32_t field) const {
  return static_cast<std::int64_t>(
      fromLittleEndian(valueOf(field, FieldType::Int64).value_or(std::string_view())));
}

std::optional<FieldType> RecordFile::typeOf(std::uint32_t field) const {
  std::optional<FieldType> type;
  walkRecords(data_, [&](const Record& record) {
    if (record.number != field) return false;
    type = record.type;
    return true;
  });
  return type;
}

std::vector<StoredField> RecordFile::fields() const {
  std::vector<StoredField> out;
  walkRecords(data_, [&](const Record& record) {
    StoredField field;
    field.number = record.number;
    field.type = record.type;
    const std::string_view value = valueBytes(data_, record);
    const std::uint64_t bits = record.type == FieldType::Text ? 0 : fromLittleEndian(value);
    switch (record.type) {
      case FieldType::Text:
        field.text = std::string(value);
        break;
      case FieldType::Flag:
        field.value = bits != 0 ? 1 : 0;
        break;
      case FieldType::Byte:
        field.value = static_cast<std::uint8_t>(bits);
        break;
      case FieldType::Short:
        field.value = static_cast<std::int16_t>(bits);
        break;
      case FieldType::Int:
        field.value = static_cast<std::int32_t>(bits);
        break;
      case FieldType::Int64:
        field.value = static_cast<std::int64_t>(bits);
        break;
    }
    out.push_back(std::move(field));
    return false;
  });
  return out;
}

}  // namespace qg
