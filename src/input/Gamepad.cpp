#include "input/Gamepad.h"

#include "input/Kempston.h"
#include "input/KeyMatrix.h"

namespace vantrel {

namespace {

constexpr PadControls Bit(PadControl control) {
  return static_cast<PadControls>(1u << control);
}
constexpr PadControls kFireButtons = Bit(kPadA) | Bit(kPadB) | Bit(kPadX) | Bit(kPadY);

int8_t Key(char label) {
  return static_cast<int8_t>(KeyIndexOfChar(label));
}

}  // namespace

PadControls StickDirections(int x, int y) {
  PadControls controls = 0;
  if (x <= -kPadStickDeadZone) controls |= Bit(kPadLeft);
  if (x >= kPadStickDeadZone) controls |= Bit(kPadRight);
  if (y <= -kPadStickDeadZone) controls |= Bit(kPadUp);  // the stick's y grows downwards
  if (y >= kPadStickDeadZone) controls |= Bit(kPadDown);
  return controls;
}

GamepadMapping GamepadPresetMapping(GamepadPreset preset) {
  // Up, down, left, right, fire.
  const char* keys = "QAOP ";
  switch (preset) {
    case GamepadPreset::Qaop: break;
    case GamepadPreset::Cursor: keys = "76580"; break;
    case GamepadPreset::Sinclair1: keys = "98670"; break;
    case GamepadPreset::Sinclair2: keys = "43125"; break;
  }
  GamepadMapping m;
  m.UseKeys = true;
  m.Keys[kPadUp] = Key(keys[0]);
  m.Keys[kPadDown] = Key(keys[1]);
  m.Keys[kPadLeft] = Key(keys[2]);
  m.Keys[kPadRight] = Key(keys[3]);
  for (PadControl fire : {kPadA, kPadB, kPadX, kPadY}) m.Keys[fire] = Key(keys[4]);
  return m;
}

uint8_t KempstonBits(PadControls controls) {
  uint8_t bits = 0;
  if (controls & Bit(kPadRight)) bits |= 0x01;
  if (controls & Bit(kPadLeft)) bits |= 0x02;
  if (controls & Bit(kPadDown)) bits |= 0x04;
  if (controls & Bit(kPadUp)) bits |= 0x08;
  if (controls & kFireButtons) bits |= 0x10;
  return bits;
}

void GamepadDriver::SetMapping(const GamepadMapping& mapping) {
  const PadControls held = held_;
  Update(0);
  mapping_ = mapping;
  Update(held);
}

void GamepadDriver::Update(PadControls controls) {
  if (controls == held_) return;
  Apply(controls & ~held_, held_ & ~controls);
}

void GamepadDriver::Apply(PadControls pressed, PadControls released) {
  const PadControls before = held_;
  held_ = static_cast<PadControls>((held_ | pressed) & ~released);
  if (!mapping_.UseKeys) {
    // Only the bits whose state changed, so the keyboard's joystick keys keep theirs.
    const uint8_t was = KempstonBits(before), now = KempstonBits(held_);
    if (const uint8_t on = now & ~was) joystick_.State.fetch_or(on, std::memory_order_relaxed);
    if (const uint8_t off = was & ~now) {
      joystick_.State.fetch_and(static_cast<uint8_t>(~off), std::memory_order_relaxed);
    }
    return;
  }
  for (int c = 0; c < kPadControlCount; ++c) {
    const int key = mapping_.Keys[c];
    if (key < 0 || key >= kKeyCount) continue;
    if (pressed & (1u << c)) keys_.PressKey(key);
    if (released & (1u << c)) keys_.ReleaseKey(key);
  }
}

}  // namespace vantrel
