// Creating a new box the way the setup does it: the lowest free number from
// 1 to 499, a refusal when a box already has the address, the folders IN, OUT
// and TMP, and "box.log" with the new-box values (readable by its owner only,
// as it holds the server password). Shared by the setup and `qgctl box add`;
// for callers that have stopped the workers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/record_file.h"

namespace qg {

// New boxes take numbers 1 to kMaxNewBoxNumber.
inline constexpr int kMaxNewBoxNumber = 499;
// Used when the given address is not valid. A domain reserved for examples,
// so the placeholder belongs to nobody.
inline constexpr std::string_view kPlaceholderDomain = "example.com";
inline constexpr std::string_view kPlaceholderUser = "User";
inline constexpr std::string_view kPlaceholderAddress = "User@example.com";
inline constexpr std::string_view kDefaultProfile = "Standart 1";
inline constexpr std::uint16_t kDefaultSmtpPort = 25;
inline constexpr std::uint16_t kDefaultPop3Port = 110;
inline constexpr int kDefaultInterval = 30;
inline constexpr int kMaxInterval = 1440;
inline constexpr std::uint8_t kDefaultOption = 2;
// Edit limits of the setup's fields: longer texts are cut.
inline constexpr std::size_t kMaxBoxText = 90;
inline constexpr std::size_t kMaxPassword = 32;
// "box.log" holds a password.
inline constexpr unsigned kBoxRecordMode = 0600;

// Values that replace the new-box defaults (qgctl box add). Texts are cut to
// the edit limits, the interval to 0..kMaxInterval.
struct NewBoxOptions {
  std::optional<std::string> pop3Host;  // default: the address's domain
  std::optional<std::uint16_t> pop3Port;
  std::optional<std::string> user;  // default: the address's local part
  std::optional<std::string> password;
  std::optional<std::string> profile;
  std::optional<int> interval;
  std::optional<bool> checkAtStart;
};

// Failure values of createBox.
inline constexpr int kBoxDuplicateAddress = -1;  // a box among 1..499 has the address
inline constexpr int kBoxNoFreeNumber = -2;      // 1..499 all hold a box
inline constexpr int kBoxCannotCreate = -3;      // a folder or "box.log" could not be made

// Fills record with the new-box values for address (already trimmed and
// checked by the caller: valid selects its parts, otherwise the placeholders)
// and options. Does not save.
void fillNewBox(RecordFile& record, std::string_view address, bool addressValid,
                const NewBoxOptions& options = {});

// Creates a box for address in storeDir: refused when a box among 1..499
// whose box.log loads has the same address (letter case and surrounding
// blanks aside); otherwise the lowest number whose folder is missing or whose
// box.log does not load (a plain file of a box folder's name is passed over).
// An address that fails isValidAddress (after trimming) gives a box with the
// placeholders. Returns the new box's number, or kBoxDuplicateAddress,
// kBoxNoFreeNumber or kBoxCannotCreate (no "box.log" is written then; folders
// made before the failure stay).
int createBox(const std::string& storeDir, std::string_view address,
              const NewBoxOptions& options = {});

// Saves record (pointed at a "box.log") so that the file ends up readable by
// its owner only when this call creates it. True on success.
bool saveBoxRecord(RecordFile& record);

}  // namespace qg
