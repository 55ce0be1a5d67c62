// The fields a new "set.log" starts with: the language letter, the store and
// list folders, and the window states and options that the setup wizard and
// the settings editors keep. Written by the supervisor when "set.log" is
// missing or damaged. Main thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/record_file.h"

namespace qg {

// Settings fields the supervisor itself reads or writes.
namespace setting {
inline constexpr std::uint32_t kLanguage = 1;    // byte: language letter
inline constexpr std::uint32_t kStoreDir = 2;    // text: root of the mail store
inline constexpr std::uint32_t kListDir = 3;     // text: folder of the list files
inline constexpr std::uint32_t kWizardLeft = 4;  // 32-bit: setup window rectangle
inline constexpr std::uint32_t kWizardTop = 5;
inline constexpr std::uint32_t kWizardWidth = 6;
inline constexpr std::uint32_t kWizardHeight = 7;
}  // namespace setting

// Language letters of field 1.
inline constexpr std::uint8_t kLanguageEnglish = 'e';
inline constexpr std::uint8_t kLanguageUkrainian = 'u';
inline constexpr std::uint8_t kLanguageRussian = 'r';

inline constexpr std::int32_t kWizardWindowWidth = 793;
inline constexpr std::int32_t kWizardWindowHeight = 565;

struct ScreenSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// A program without a screen (the agent without windows, qgctl) centres the
// setup window on this assumed screen; the desktop program passes its own.
inline constexpr ScreenSize kAssumedScreen{1024, 768};

// Empties settings and fills it with the default fields in their fixed order
// (1 to 41, 49 to 54, 71): programDir into fields 2 and 3, the setup window
// (793 x 565) centred on screen in fields 4 to 7 (a screen smaller than the
// window gives a left or top edge of 0). Does not save.
void fillDefaultSettings(RecordFile& settings, std::string_view programDir,
                         ScreenSize screen = kAssumedScreen);

}  // namespace qg
