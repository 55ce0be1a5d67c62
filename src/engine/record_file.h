// RecordFile: a store of numbered, typed fields (text, flag, byte, 16-, 32-
// and 64-bit numbers) kept in memory and saved as a whole into the scrambled
// container file directory/name. Used for "set.log", every "box.log" and the
// filter profiles. An object belongs to one thread; several objects may point
// at the same file (the file engine serialises their loads and saves; the last
// save wins).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qg {

// Type byte of a stored record.
enum class FieldType : std::uint8_t {
  Text = 1,   // bytes and a terminating zero (Windows-1251)
  Flag = 2,   // one byte, 0 or 1
  Byte = 3,   // one byte
  Short = 4,  // 16-bit signed
  Int = 5,    // 32-bit
  Int64 = 6,  // 64-bit, low word first
};

// One field as stored, for listings. text is set for Text fields; value holds
// every other type (a flag as 0 or 1, a byte as 0-255, the others sign-extended).
struct StoredField {
  std::uint32_t number = 0;
  FieldType type = FieldType::Text;
  std::string text;
  std::int64_t value = 0;
};

class RecordFile {
 public:
  // The longest file name and extra key the store keeps; longer texts are cut.
  static constexpr std::size_t kMaxNameBytes = 255;
  static constexpr std::size_t kMaxExtraKeyBytes = 255;
  // add... gives up when every field number below this one is taken.
  static constexpr std::uint32_t kAddLimit = 0x7FFFFFFF;

  // An empty store (count 0) with empty directory, name and extra key.
  RecordFile();

  // Where the file lives (directory + "/" + name) and the extra key it is
  // scrambled with; set by the owner before load or save.
  void setDirectory(std::string directory) { directory_ = std::move(directory); }
  void setName(std::string_view name);
  void setExtraKey(std::string_view extraKey);
  const std::string& directory() const { return directory_; }
  const std::string& name() const { return name_; }
  const std::string& extraKey() const { return extraKey_; }

  // Replaces the store with the file's payload. True if the file read (probe
  // and checksum); on failure the store is left empty. A payload too short to
  // hold its count word reads as an empty store.
  bool load();
  // Writes the whole store as a new file. True on success.
  bool save();
  // Deletes the file. False if it did not exist.
  bool remove();
  // Empties the store (count 0).
  void clear();

  // Set the field's value. If the field exists with another type: no change,
  // result -1. If it exists with this type, the value is replaced; otherwise a
  // record is appended. Result: the field number. A text is stored up to its
  // first zero byte.
  std::int64_t setText(std::string_view value, std::uint32_t field);
  std::int64_t setFlag(bool value, std::uint32_t field);
  std::int64_t setByte(std::uint8_t value, std::uint32_t field);
  std::int64_t setShort(std::int16_t value, std::uint32_t field);
  std::int64_t setInt(std::int32_t value, std::uint32_t field);
  std::int64_t setInt64(std::int64_t value, std::uint32_t field);

  // Set the value under the lowest unused field number (from 0). Result: that
  // number, or -1 when none below kAddLimit is free.
  std::int64_t addText(std::string_view value);
  std::int64_t addFlag(bool value);
  std::int64_t addByte(std::uint8_t value);
  std::int64_t addShort(std::int16_t value);
  std::int64_t addInt(std::int32_t value);
  std::int64_t addInt64(std::int64_t value);

  // The stored value; an empty text or 0 when the field is missing or has
  // another type. A flag reads true if its byte is not 0.
  std::string getText(std::uint32_t field) const;
  bool getFlag(std::uint32_t field) const;
  std::uint8_t getByte(std::uint32_t field) const;
  std::int16_t getShort(std::uint32_t field) const;
  std::int32_t getInt(std::uint32_t field) const;
  std::int64_t getInt64(std::uint32_t field) const;

  // The type of a stored field, or nullopt when it is missing.
  std::optional<FieldType> typeOf(std::uint32_t field) const;
  // Every readable field in stored order. A walk (here and in every lookup)
  // stops at a record with an unknown type byte or one cut short by the end of
  // the payload, and after the stored count of records; what lies behind counts
  // as missing.
  std::vector<StoredField> fields() const;
  // The payload as it will be saved: the count word and the records.
  const std::vector<std::uint8_t>& payload() const { return data_; }

 private:
  // value is the record's value bytes as stored (a text with its zero).
  std::int64_t setValue(std::uint32_t field, FieldType type, std::string_view value);
  std::int64_t addValue(FieldType type, std::string_view value);
  // The stored value bytes of field if it has this type.
  std::optional<std::string_view> valueOf(std::uint32_t field, FieldType type) const;

  std::string directory_;
  std::string name_;
  std::string extraKey_;
  std::vector<std::uint8_t> data_;
};

}  // namespace qg
