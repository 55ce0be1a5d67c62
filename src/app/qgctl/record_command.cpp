#include "app/qgctl/record_command.h"

#include <charconv>
#include <iostream>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "engine/file_primitives.h"
#include "engine/record_file.h"
#include "text/charsets.h"

namespace qg::qgctl {

namespace {

struct TypeName {
  FieldType type;
  std::string_view name;
};

constexpr TypeName kTypeNames[] = {
    {FieldType::Text, "text"},   {FieldType::Flag, "flag"}, {FieldType::Byte, "byte"},
    {FieldType::Short, "short"}, {FieldType::Int, "int"},   {FieldType::Int64, "int64"},
};

std::string_view typeName(FieldType type) {
  for (const TypeName& entry : kTypeNames) {
    if (entry.type == type) return entry.name;
  }
  return "unknown";
}

std::optional<FieldType> typeFromName(std::string_view name) {
  for (const TypeName& entry : kTypeNames) {
    if (entry.name == name) return entry.type;
  }
  return std::nullopt;
}

// A whole decimal number within [low, high], or nullopt.
std::optional<std::int64_t> parseNumber(std::string_view text, std::int64_t low,
                                        std::int64_t high) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

// The arguments shared by the three commands.
struct RecordArguments {
  std::string file;
  std::string key;
  std::string field;
  std::string type;
  std::string value;
};

int usageError(const std::string& message) {
  std::cerr << "qgctl: " << message << "\n";
  return kExitUsage;
}

int failure(const RecordArguments& arguments, const std::string& message) {
  std::cerr << "qgctl: " << arguments.file << ": " << message << "\n";
  return kExitFailure;
}

// Points store at FILE and its key. False (a usage error) when FILE names no file.
bool placeStore(const RecordArguments& arguments, RecordFile& store) {
  const std::size_t slash = arguments.file.find_last_of('/');
  const std::string name =
      slash == std::string::npos ? arguments.file : arguments.file.substr(slash + 1);
  if (name.empty() || name.size() > RecordFile::kMaxNameBytes) return false;
  store.setDirectory(slash == std::string::npos ? "." : arguments.file.substr(0, slash));
  store.setName(name);
  // Stored texts are Windows-1251; a key typed on the command line is UTF-8.
  store.setExtraKey(utf8ToWindows1251(arguments.key));
  return true;
}

// Loads FILE; on failure prints why and returns the exit status.
std::optional<int> loadStore(const RecordArguments& arguments, RecordFile& store) {
  if (!fileExists(store.directory() + "/" + store.name())) {
    return failure(arguments, "no such record file");
  }
  if (!store.load()) {
    return failure(arguments,
                   "not a readable record file (damaged, renamed, or written with another key)");
  }
  return std::nullopt;
}

// One field as a JSON object on one line: {"number": N, "type": T, "value": V}.
std::string fieldLine(const StoredField& field) {
  std::string value;
  switch (field.type) {
    case FieldType::Text:
      value = nlohmann::json(windows1251ToUtf8(field.text))
                  .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      break;
    case FieldType::Flag:
      value = field.value != 0 ? "true" : "false";
      break;
    default:
      value = std::to_string(field.value);
      break;
  }
  return "{\"number\": " + std::to_string(field.number) + ", \"type\": \"" +
         std::string(typeName(field.type)) + "\", \"value\": " + value + "}";
}

std::optional<std::uint32_t> parseField(const std::string& text) {
  const auto number = parseNumber(text, 0, std::numeric_limits<std::uint32_t>::max());
  if (!number) return std::nullopt;
  return static_cast<std::uint32_t>(*number);
}

int runDump(const RecordArguments& arguments) {
  RecordFile store;
  if (!placeStore(arguments, store)) return usageError("FILE must name a file");
  if (const auto status = loadStore(arguments, store)) return *status;
  std::string out;
  for (const StoredField& field : store.fields()) out += fieldLine(field) + "\n";
  std::cout << out << std::flush;
  return kExitOk;
}

int runGet(const RecordArguments& arguments) {
  RecordFile store;
  if (!placeStore(arguments, store)) return usageError("FILE must name a file");
  const auto field = parseField(arguments.field);
  if (!field) return usageError("FIELD must be a number from 0 to 4294967295");
  if (const auto status = loadStore(arguments, store)) return *status;
  for (const StoredField& stored : store.fields()) {
    if (stored.number == *field) {
      std::cout << fieldLine(stored) << std::endl;
      return kExitOk;
    }
  }
  return failure(arguments, "field " + arguments.field + " is not set");
}

// Stores VALUE as TYPE; nullopt when VALUE is not valid for the type.
std::optional<std::int64_t> setField(RecordFile& store, FieldType type, std::uint32_t field,
                                     const std::string& value) {
  using Limits16 = std::numeric_limits<std::int16_t>;
  using Limits32 = std::numeric_limits<std::int32_t>;
  using Limits64 = std::numeric_limits<std::int64_t>;
  std::optional<std::int64_t> number;
  switch (type) {
    case FieldType::Text:
      return store.setText(utf8ToWindows1251(value), field);
    case FieldType::Flag:
      if (value == "true") return store.setFlag(true, field);
      if (value == "false") return store.setFlag(false, field);
      number = parseNumber(value, 0, 1);
      if (!number) return std::nullopt;
      return store.setFlag(*number != 0, field);
    case FieldType::Byte:
      number = parseNumber(value, 0, 255);
      if (!number) return std::nullopt;
      return store.setByte(static_cast<std::uint8_t>(*number), field);
    case FieldType::Short:
      number = parseNumber(value, Limits16::min(), Limits16::max());
      if (!number) return std::nullopt;
      return store.setShort(static_cast<std::int16_t>(*number), field);
    case FieldType::Int:
      number = parseNumber(value, Limits32::min(), Limits32::max());
      if (!number) return std::nullopt;
      return store.setInt(static_cast<std::int32_t>(*number), field);
    case FieldType::Int64:
      number = parseNumber(value, Limits64::min(), Limits64::max());
      if (!number) return std::nullopt;
      return store.setInt64(*number, field);
  }
  return std::nullopt;
}

int runSet(const RecordArguments& arguments) {
  RecordFile store;
  if (!placeStore(arguments, store)) return usageError("FILE must name a file");
  const auto field = parseField(arguments.field);
  if (!field) return usageError("FIELD must be a number from 0 to 4294967295");
  const auto type = typeFromName(arguments.type);
  if (!type) return usageError("TYPE must be text, flag, byte, short, int or int64");
  // A missing file is created; an existing one that does not read is left alone.
  if (fileExists(store.directory() + "/" + store.name())) {
    if (const auto status = loadStore(arguments, store)) return *status;
  }
  const auto result = setField(store, *type, *field, arguments.value);
  if (!result) {
    return usageError("VALUE '" + arguments.value + "' is not a valid " + arguments.type);
  }
  if (*result < 0) {
    const auto stored = store.typeOf(*field);
    return failure(arguments, "field " + arguments.field + " is stored as " +
                                  std::string(typeName(stored.value_or(FieldType::Text))));
  }
  if (!store.save()) return failure(arguments, "cannot be written");
  return kExitOk;
}

}  // namespace

void addRecordCommands(CLI::App& app, CommandContext& context) {
  CLI::App* record = app.add_subcommand("record", "Dump, read or change a record file");
  record->require_subcommand(1);
  // Owned here and kept alive by the callbacks that read it.
  auto arguments = std::make_shared<RecordArguments>();
  const std::string keyHelp =
      "Extra key the file was written with (UTF-8, stored as Windows-1251); none by default";

  CLI::App* dump =
      record->add_subcommand("dump", "Print every field in stored order, one JSON object per line");
  dump->add_option("FILE", arguments->file, "Path of the record file")->required();
  dump->add_option("--key", arguments->key, keyHelp);
  dump->callback([arguments, &context] { context.exitCode = runDump(*arguments); });

  CLI::App* get = record->add_subcommand("get", "Print one field as a JSON object");
  get->add_option("FILE", arguments->file, "Path of the record file")->required();
  get->add_option("FIELD", arguments->field, "Field number")->required();
  get->add_option("--key", arguments->key, keyHelp);
  get->callback([arguments, &context] { context.exitCode = runGet(*arguments); });

  CLI::App* set = record->add_subcommand("set", "Set one field; the file is created when missing");
  set->add_option("FILE", arguments->file, "Path of the record file")->required();
  set->add_option("FIELD", arguments->field, "Field number")->required();
  set->add_option("TYPE", arguments->type, "text, flag, byte, short, int or int64")->required();
  set->add_option("VALUE", arguments->value, "The value (a text is UTF-8)")->required();
  set->add_option("--key", arguments->key, keyHelp);
  set->callback([arguments, &context] { context.exitCode = runSet(*arguments); });
}

}  // namespace qg::qgctl
