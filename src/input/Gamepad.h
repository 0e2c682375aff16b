#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace vantrel {

class KeyMatrix;
struct KempstonJoystick;

// The controls of a game pad the machine reacts to: the four directions (d-pad or left
// stick), the four face buttons and four more. One bit each in PadControls.
enum PadControl : uint8_t {
  kPadUp,
  kPadDown,
  kPadLeft,
  kPadRight,
  kPadA,
  kPadB,
  kPadX,
  kPadY,
  kPadBack,
  kPadStart,
  kPadLeftShoulder,
  kPadRightShoulder,
};
inline constexpr int kPadControlCount = 12;
inline constexpr std::array<std::string_view, kPadControlCount> kPadControlNames = {
    "Up",   "Down",  "Left",          "Right",         "A", "B", "X", "Y",
    "Back", "Start", "Left Shoulder", "Right Shoulder"};
using PadControls = uint16_t;

// The left stick counts as a direction once past this much of its travel (of 32767).
inline constexpr int kPadStickDeadZone = 12000;
// The directions the stick points to, as PadControls bits.
PadControls StickDirections(int x, int y);

// What the pad drives: the Kempston joystick (directions, and A, B, X or Y as fire), or
// Spectrum keys, one per control (-1: none), for games read from the keyboard.
struct GamepadMapping {
  bool UseKeys = false;
  std::array<int8_t, kPadControlCount> Keys{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  bool operator==(const GamepadMapping&) const = default;
};

// The usual keyboard joysticks: directions and every face button as fire.
enum class GamepadPreset : uint8_t { Qaop, Cursor, Sinclair1, Sinclair2 };
inline constexpr std::array<std::string_view, 4> kGamepadPresetNames = {"QAOP-space", "Cursor keys",
                                                                        "Sinclair 1", "Sinclair 2"};
GamepadMapping GamepadPresetMapping(GamepadPreset preset);

// The Kempston byte of the pressed controls: right, left, down, up, fire from bit 0.
uint8_t KempstonBits(PadControls controls);

// Hands the pad's changes to the machine: Kempston bits are set and cleared (the
// keyboard's joystick keys share the byte), keys pressed and released through the
// matrix's counts (a PC key holding the same key is not disturbed). Runs on one thread.
class GamepadDriver {
 public:
  GamepadDriver(KempstonJoystick& joystick, KeyMatrix& keys) : joystick_(joystick), keys_(keys) {}
  // Lets go of everything the old mapping held first.
  void SetMapping(const GamepadMapping& mapping);
  const GamepadMapping& Mapping() const { return mapping_; }
  // The pad's controls now (0 once it is unplugged).
  void Update(PadControls controls);

 private:
  void Apply(PadControls pressed, PadControls released);

  KempstonJoystick& joystick_;
  KeyMatrix& keys_;
  GamepadMapping mapping_;
  PadControls held_ = 0;
};

}  // namespace vantrel
