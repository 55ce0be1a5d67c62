#include "engine/settings_defaults.h"

#include <algorithm>
#include <array>

namespace qg {

namespace {

enum class Kind { Text, Flag, Byte, Short, Int, Int64, StoreDir, ListDir, WizardLeft, WizardTop };

struct DefaultField {
  std::uint32_t number;
  Kind kind;
  std::int64_t value;
};

// In the order they are written: a new file stores its fields in this order.
constexpr std::array<DefaultField, 48> kDefaults{{
    {1, Kind::Byte, kLanguageEnglish},
    {2, Kind::StoreDir, 0},
    {3, Kind::ListDir, 0},
    {4, Kind::WizardLeft, 0},
    {5, Kind::WizardTop, 0},
    {6, Kind::Int, kWizardWindowWidth},
    {7, Kind::Int, kWizardWindowHeight},
    {8, Kind::Byte, 0},
    {9, Kind::Byte, 2},
    {10, Kind::Flag, 1},
    {11, Kind::Short, 0},
    {12, Kind::Byte, 2},
    {13, Kind::Flag, 1},
    {14, Kind::Short, 0},
    {15, Kind::Byte, 0},
    {16, Kind::Byte, 0},
    {17, Kind::Flag, 1},
    {18, Kind::Short, 0},
    {19, Kind::Byte, 2},
    {20, Kind::Short, 1},
    {21, Kind::Byte, 5},
    {22, Kind::Byte, 3},
    {23, Kind::Flag, 1},
    {24, Kind::Short, 0},
    {25, Kind::Byte, 3},
    {26, Kind::Short, 1},
    {27, Kind::Byte, 5},
    {28, Kind::Byte, 3},
    {29, Kind::Flag, 1},
    {30, Kind::Short, 0},
    {31, Kind::Byte, 3},
    {32, Kind::Short, 1},
    {33, Kind::Byte, 5},
    {34, Kind::Byte, 3},
    {35, Kind::Text, 0},
    {36, Kind::Flag, 1},
    {37, Kind::Short, 0},
    {38, Kind::Byte, 2},
    {39, Kind::Int64, 0},
    {40, Kind::Int64, 0},
    {41, Kind::Byte, 1},
    {49, Kind::Flag, 1},
    {50, Kind::Short, 0},
    {51, Kind::Byte, 2},
    {52, Kind::Short, 1},
    {53, Kind::Byte, 5},
    {54, Kind::Byte, 3},
    {71, Kind::Int, -1},
}};

std::int32_t centredEdge(std::int32_t screen, std::int32_t window) {
  return std::max<std::int32_t>(0, (screen - window) / 2);
}

}  // namespace

void fillDefaultSettings(RecordFile& settings, std::string_view programDir, ScreenSize screen) {
  settings.clear();
  for (const DefaultField& field : kDefaults) {
    switch (field.kind) {
      case Kind::Text:
        settings.setText("", field.number);
        break;
      case Kind::Flag:
        settings.setFlag(field.value != 0, field.number);
        break;
      case Kind::Byte:
        settings.setByte(static_cast<std::uint8_t>(field.value), field.number);
        break;
      case Kind::Short:
        settings.setShort(static_cast<std::int16_t>(field.value), field.number);
        break;
      case Kind::Int:
        settings.setInt(static_cast<std::int32_t>(field.value), field.number);
        break;
      case Kind::Int64:
        settings.setInt64(field.value, field.number);
        break;
      case Kind::StoreDir:
      case Kind::ListDir:
        settings.setText(programDir, field.number);
        break;
      case Kind::WizardLeft:
        settings.setInt(centredEdge(screen.width, kWizardWindowWidth), field.number);
        break;
      case Kind::WizardTop:
        settings.setInt(centredEdge(screen.height, kWizardWindowHeight), field.number);
        break;
    }
  }
}

}  // namespace qg
