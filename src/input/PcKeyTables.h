#pragma once

#include <array>
#include <cstdint>

namespace vantrel {

// PC keys are taken by set-1 scan code (extended keys with bit 7 set), so the mapping
// does not depend on the PC's keyboard layout.
namespace scan {
inline constexpr uint8_t kEscape = 0x01;
inline constexpr uint8_t kMinus = 0x0C;
inline constexpr uint8_t kTab = 0x0F;
inline constexpr uint8_t kReturn = 0x1C;
inline constexpr uint8_t kLeftControl = 0x1D;
inline constexpr uint8_t kLeftShift = 0x2A;
inline constexpr uint8_t kRightShift = 0x36;
inline constexpr uint8_t kLeftAlt = 0x38;
inline constexpr uint8_t kSpace = 0x39;
inline constexpr uint8_t kF2 = 0x3C;
inline constexpr uint8_t kF3 = 0x3D;
inline constexpr uint8_t kF4 = 0x3E;
inline constexpr uint8_t kF8 = 0x42;
inline constexpr uint8_t kF12 = 0x58;
inline constexpr uint8_t kRightAlt = 0xB8;
inline constexpr uint8_t kPause = 0xC5;
inline constexpr uint8_t kHome = 0xC7;
inline constexpr uint8_t kUp = 0xC8;
inline constexpr uint8_t kLeft = 0xCB;
inline constexpr uint8_t kRight = 0xCD;
inline constexpr uint8_t kEnd = 0xCF;
inline constexpr uint8_t kDown = 0xD0;
inline constexpr uint8_t kPageDown = 0xD1;
inline constexpr uint8_t kDelete = 0xD3;
}  // namespace scan

enum class PcKeyKind : uint8_t {
  kNone,         // unmapped: the event is ignored
  kPressKeys,    // press Key, then SecondKey if there is one
  kReleaseKeys,  // release SecondKey if there is one, then Key
  kJoystickOn,   // set JoystickBit in the Kempston byte
  kJoystickOff,  // clear it
  kAltOn,
  kAltOff,
  kCommand,
};

enum class PcCommand : uint8_t {
  kEscape,  // close the screen menu, or stop the machine and leave full screen
  kLoadDisk,
  kLoadSnapshot,
  kQuickSaveSnapshot,
  kCloseMainWindow,
  kToggleNormalSpeed,
  kReset128k,  // hold the machine in reset; a quick second press adds TR-DOS
  kReset48k,
  kEndReset,
  kTogglePause,
  kTapeReaderPanel,
  kToggleFullScreen,
  kToggleShowFps,
  kToggleMouseCapture,
  kRestoreMainWindow,  // stop, leave full screen and bring the main window forward
};

inline constexpr int8_t kNoSecondKey = -1;

// One entry of a handler table: plain data, dispatched with a switch.
struct PcKeyAction {
  PcKeyKind Kind = PcKeyKind::kNone;
  int8_t Key = 0;                          // kPressKeys, kReleaseKeys
  int8_t SecondKey = kNoSecondKey;         // kPressKeys, kReleaseKeys
  uint8_t JoystickBit = 0;                 // kJoystickOn, kJoystickOff
  PcCommand Command = PcCommand::kEscape;  // kCommand
};

using PcKeyTable = std::array<PcKeyAction, 256>;

// The four tables, indexed by scan code. While an Alt key is held only the Alt tables
// are used.
struct PcKeyTables {
  PcKeyTable Press;
  PcKeyTable Release;
  PcKeyTable AltPress;
  PcKeyTable AltRelease;
};

// The emulator's key layout, built at compile time.
const PcKeyTables& StandardPcKeyTables();

}  // namespace vantrel
