#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/Gamepad.h"
#include "input/GamepadPolling.h"
#include "input/Kempston.h"
#include "input/KeyMatrix.h"
#include "platform/SdlGamepad.h"

namespace vantrel {
namespace {

constexpr PadControls Bit(PadControl c) {
  return static_cast<PadControls>(1u << c);
}

// The labels of the keys pressed, in key order.
std::string Pressed(const KeyMatrix& keys) {
  std::string labels;
  for (int k = 0; k < kKeyCount; ++k) {
    if (keys.KeyIsPressed(k)) labels += kKeyLabels[k];
  }
  return labels;
}

TEST(GamepadMapping, KempstonTakesTheDirectionsAndAnyFaceButtonAsFire) {
  const std::pair<PadControls, uint8_t> cases[] = {
      {Bit(kPadRight), 0x01}, {Bit(kPadLeft), 0x02},
      {Bit(kPadDown), 0x04},  {Bit(kPadUp), 0x08},
      {Bit(kPadA), 0x10},     {Bit(kPadB), 0x10},
      {Bit(kPadX), 0x10},     {Bit(kPadY), 0x10},
      {Bit(kPadStart), 0x00}, {Bit(kPadUp) | Bit(kPadLeft) | Bit(kPadY), 0x1A},
  };
  for (const auto& [controls, bits] : cases) EXPECT_EQ(KempstonBits(controls), bits) << controls;
  EXPECT_EQ(StickDirections(0, 0), 0);
  EXPECT_EQ(StickDirections(-32768, 32767), Bit(kPadLeft) | Bit(kPadDown));
  EXPECT_EQ(StickDirections(kPadStickDeadZone - 1, -(kPadStickDeadZone - 1)), 0);
  EXPECT_EQ(StickDirections(kPadStickDeadZone, -kPadStickDeadZone), Bit(kPadRight) | Bit(kPadUp));
}

// Each preset, all four directions then fire: the keys the games read.
TEST(GamepadMapping, PresetsPressTheirKeys) {
  const std::pair<GamepadPreset, std::string> cases[] = {
      {GamepadPreset::Qaop, "QAOP "},
      {GamepadPreset::Cursor, "76580"},
      {GamepadPreset::Sinclair1, "98670"},
      {GamepadPreset::Sinclair2, "43125"},
  };
  for (const auto& [preset, keys] : cases) {
    SCOPED_TRACE(kGamepadPresetNames[static_cast<int>(preset)]);
    KempstonJoystick joystick;
    KeyMatrix matrix;
    GamepadDriver driver(joystick, matrix);
    driver.SetMapping(GamepadPresetMapping(preset));
    const PadControl order[] = {kPadUp, kPadDown, kPadLeft, kPadRight, kPadA};
    for (int i = 0; i < 5; ++i) {
      driver.Update(Bit(order[i]));
      EXPECT_EQ(Pressed(matrix), std::string(1, keys[i])) << i;
    }
    driver.Update(0);
    EXPECT_EQ(Pressed(matrix), "");
    EXPECT_EQ(joystick.State.load(), 0);
  }
}

// Two face buttons on one key hold it until both are up, a PC key on the same key keeps
// it held, and the pad's Kempston bits leave the keyboard's alone.
TEST(GamepadMapping, ThePadSharesKeysAndTheJoystickByte) {
  KempstonJoystick joystick;
  KeyMatrix matrix;
  GamepadDriver driver(joystick, matrix);
  driver.SetMapping(GamepadPresetMapping(GamepadPreset::Qaop));
  const int space = kKeySpace;
  matrix.PressKey(space);  // a PC key
  driver.Update(Bit(kPadA) | Bit(kPadB));
  driver.Update(Bit(kPadB));
  EXPECT_TRUE(matrix.KeyIsPressed(space));
  driver.Update(0);
  EXPECT_TRUE(matrix.KeyIsPressed(space));
  matrix.ReleaseKey(space);
  EXPECT_FALSE(matrix.KeyIsPressed(space));

  driver.SetMapping(GamepadMapping{});  // Kempston
  joystick.State.store(0x01);           // right, from the keyboard
  driver.Update(Bit(kPadUp) | Bit(kPadX));
  EXPECT_EQ(joystick.State.load(), 0x19);
  driver.Update(0);
  EXPECT_EQ(joystick.State.load(), 0x01);
  // A new mapping lets go of what the old one held.
  driver.Update(Bit(kPadUp));
  driver.SetMapping(GamepadPresetMapping(GamepadPreset::Cursor));
  EXPECT_EQ(joystick.State.load(), 0x01);
  EXPECT_EQ(Pressed(matrix), "7");
}

// Without a pad the idle round looks for one every 500 ms, whatever its own pace; an
// open pad is read every 20 ms, and the read timer stops once none is open.
TEST(GamepadPolling, LooksTwiceASecondAndReadsOnlyAnOpenPad) {
  GamepadPolling polling;
  const std::pair<int64_t, bool> looks[] = {{0, true},     {50, false},   {499, false},
                                            {500, true},   {520, false},  {1100, true},
                                            {1150, false}, {1599, false}, {1600, true}};
  for (const auto& [now, due] : looks) EXPECT_EQ(polling.LookDue(now), due) << now;
  EXPECT_EQ(GamepadPolling::ReadInterval(true), 20);
  EXPECT_EQ(GamepadPolling::ReadInterval(false), 0);
}

// A pad made by SDL itself: the virtual joystick, described as a game controller with the
// standard buttons and axes, so SDL maps it as it would a real pad.
class VirtualPad : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pad_.Available()) GTEST_SKIP() << "SDL's game controller subsystem is not available";
  }
  void Attach() {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.name = "Vantrel test pad";
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    ASSERT_GE(index, 0) << SDL_GetError();
    device_ = SDL_JoystickOpen(index);
    ASSERT_NE(device_, nullptr) << SDL_GetError();
  }
  void Detach() {
    const SDL_JoystickID id = SDL_JoystickInstanceID(device_);
    SDL_JoystickClose(device_);
    device_ = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
    }
  }
  void TearDown() override {
    if (device_) Detach();
  }
  void Button(SDL_GameControllerButton button, bool down) {
    SDL_JoystickSetVirtualButton(device_, button, down ? 1 : 0);
  }
  void Axis(SDL_GameControllerAxis axis, int16_t value) {
    SDL_JoystickSetVirtualAxis(device_, axis, value);
  }

  SdlGamepad pad_;  // first, so its subsystem outlives the device
  SDL_Joystick* device_ = nullptr;
};

TEST_F(VirtualPad, DrivesKempstonOrKeysAndComesAndGoes) {
  KempstonJoystick joystick;
  KeyMatrix matrix;
  GamepadDriver driver(joystick, matrix);
  EXPECT_EQ(pad_.Poll(), 0);
  EXPECT_FALSE(pad_.Connected());

  ASSERT_NO_FATAL_FAILURE(Attach());  // plugged in while running
  driver.Update(pad_.Poll());
  EXPECT_TRUE(pad_.Connected());
  struct Step {
    SDL_GameControllerButton Button;
    SDL_GameControllerAxis Axis;
    int16_t Value;
    uint8_t Kempston;
  };
  const Step steps[] = {
      {SDL_CONTROLLER_BUTTON_DPAD_UP, SDL_CONTROLLER_AXIS_INVALID, 0, 0x08},
      {SDL_CONTROLLER_BUTTON_A, SDL_CONTROLLER_AXIS_INVALID, 0, 0x18},
      {SDL_CONTROLLER_BUTTON_INVALID, SDL_CONTROLLER_AXIS_LEFTX, 32767, 0x19},
      {SDL_CONTROLLER_BUTTON_INVALID, SDL_CONTROLLER_AXIS_LEFTY, 32767, 0x1D},
  };
  for (const Step& s : steps) {
    if (s.Button != SDL_CONTROLLER_BUTTON_INVALID) Button(s.Button, true);
    if (s.Axis != SDL_CONTROLLER_AXIS_INVALID) Axis(s.Axis, s.Value);
    driver.Update(pad_.Poll());
    EXPECT_EQ(joystick.State.load(), s.Kempston) << int(s.Button) << " " << int(s.Axis);
  }
  Axis(SDL_CONTROLLER_AXIS_LEFTX, 0);
  Axis(SDL_CONTROLLER_AXIS_LEFTY, 0);
  Button(SDL_CONTROLLER_BUTTON_DPAD_UP, false);
  Button(SDL_CONTROLLER_BUTTON_A, false);

  driver.SetMapping(GamepadPresetMapping(GamepadPreset::Sinclair2));
  Button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
  Button(SDL_CONTROLLER_BUTTON_Y, true);
  driver.Update(pad_.Poll());
  EXPECT_EQ(Pressed(matrix), "15");
  EXPECT_EQ(joystick.State.load(), 0);

  Detach();  // unplugged: everything is let go
  driver.Update(pad_.Poll());
  EXPECT_FALSE(pad_.Connected());
  EXPECT_EQ(Pressed(matrix), "");

  ASSERT_NO_FATAL_FAILURE(Attach());  // and back
  Button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
  driver.Update(pad_.Poll());
  EXPECT_EQ(Pressed(matrix), "2");
}

}  // namespace
}  // namespace vantrel
