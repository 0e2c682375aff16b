// PC key handling: scan codes to the emulated keyboard, the joystick, the hot keys and
// the window requests, and the rebuild of the matrix when the screen gains the focus.
#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <vector>

#include "app/TKeyThread.h"
#include "machine/EmulThread.h"
#include "machine/Machine.h"

namespace vantrel {
namespace {

int Key(char c) {
  return KeyIndexOfChar(c);
}

class TKeyThreadTest : public ::testing::Test {
 protected:
  TKeyThreadTest() { machine_.State.Running = true; }

  void Activate() { keys_.SetRunning(true), keys_.SetFocused(true); }
  void Press(uint8_t code) { keys_.KeyEvent(code, true); }
  void Release(uint8_t code) { keys_.KeyEvent(code, false); }
  void Tap(uint8_t code) { Press(code), Release(code); }
  void AltTap(uint8_t code) {
    Press(scan::kLeftAlt);
    Tap(code);
    Release(scan::kLeftAlt);
  }
  void HoldWhileResyncing(std::initializer_list<uint8_t> codes) {
    keys_.SetKeyboardStateReader([held = std::vector<uint8_t>(codes)] {
      std::array<bool, 256> down{};
      for (uint8_t code : held) down[code] = true;
      return down;
    });
  }
  void SetTicks(uint32_t ticks) { emulation_.Loop.Timer.TimerTicks = ticks; }
  bool Pressed(int key) const { return machine_.Keys.KeyIsPressed(key); }

  // Everything key handling may change, to show that an event changed nothing.
  std::vector<int> Observe() const {
    const MachineState& m = machine_.State;
    std::vector<int> seen = {machine_.Keys.PressedCount(), machine_.Joystick.State, m.Running};
    seen.insert(seen.end(), {m.ResetRequest, m.NormalSpeed, int(m.Paused), m.StartMode});
    seen.push_back(keys_.AltMode());
    for (auto flag : kRequests) seen.push_back(requests_.*flag);
    for (int row = 0; row < 8; ++row) seen.push_back(machine_.Keys.EffectiveRow(row));
    return seen;
  }
  using Flag = std::atomic<bool> KeyRequests::*;
  static constexpr Flag kRequests[] = {&KeyRequests::LoadDisk,
                                       &KeyRequests::LoadSnapshot,
                                       &KeyRequests::QuickSaveSnapshot,
                                       &KeyRequests::CloseMainWindow,
                                       &KeyRequests::TapeReaderPanel,
                                       &KeyRequests::RestoreMainWindow,
                                       &KeyRequests::FullScreen,
                                       &KeyRequests::ShowFps,
                                       &KeyRequests::MouseCaptureRequested,
                                       &KeyRequests::ScreenMenuOpen};

  Machine machine_{1};
  KeyRequests requests_;
  HeadlessRunHost host_;
  TEmulThread emulation_{machine_, host_};
  TKeyThread keys_{emulation_, requests_};
};

TEST_F(TKeyThreadTest, ScanCodesPressTheirSpectrumKeys) {
  Activate();
  struct Case {
    uint8_t code;
    int first, second;  // second is -1 for a single key
  };
  const int ss = kKeySymbolShift, cs = kKeyCapsShift, no = -1;
  // The letter and digit rows, ENTER, SPACE, the shifts and the keypad digits, then the
  // characters the Spectrum types with a shift.
  const Case cases[] = {
      {0x02, Key('1'), no},  {0x10, Key('Q'), no},  {0x2C, Key('Z'), no}, {0x1C, kKeyEnter, no},
      {0x9C, kKeyEnter, no}, {0x39, kKeySpace, no}, {0x2A, cs, no},       {0x36, ss, no},
      {0x52, Key('0'), no},  {0x49, Key('9'), no},  {0x0C, ss, Key('J')}, {0x4A, ss, Key('J')},
      {0x1B, ss, Key('9')},  {0xB5, ss, Key('V')},  {0x53, ss, Key('M')}, {0x0F, cs, ss},
      {0x0E, cs, Key('0')},  {0x3A, cs, Key('2')},  {0xCB, cs, Key('5')}, {0xC8, cs, Key('7')}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "scan code " << int{c.code});
    Press(c.code);
    EXPECT_TRUE(Pressed(c.first));
    EXPECT_TRUE(c.second == no || Pressed(c.second));
    EXPECT_EQ(machine_.Keys.PressedCount(), c.second == no ? 1 : 2);
    Release(c.code);
    EXPECT_EQ(machine_.Keys.PressedCount(), 0);
  }
  // A shared CAPS SHIFT outlasts the arrow key.
  Press(scan::kLeftShift);
  Tap(scan::kUp);
  EXPECT_TRUE(Pressed(kKeyCapsShift));
  EXPECT_FALSE(Pressed(Key('7')));
  EXPECT_EQ(machine_.Keys.ReadKeyboardPort(0xFEFE), 0xBE);
  Release(scan::kLeftShift);
  EXPECT_FALSE(Pressed(kKeyCapsShift));
}

TEST_F(TKeyThreadTest, JoystickKeysDriveTheirOwnBits) {
  Activate();
  const std::pair<uint8_t, uint8_t> cases[] = {{scan::kPageDown, 0x01},
                                               {scan::kDelete, 0x02},
                                               {scan::kEnd, 0x04},
                                               {scan::kHome, 0x08},
                                               {scan::kLeftControl, 0x10}};
  for (const auto& [code, bit] : cases) {
    Press(code);
    EXPECT_EQ(machine_.Joystick.State, bit) << "scan code " << int{code};
    Release(code);
    EXPECT_EQ(machine_.Joystick.State, 0) << "scan code " << int{code};
  }
  Press(scan::kHome);
  Press(scan::kLeftControl);
  Release(scan::kHome);
  EXPECT_EQ(machine_.Joystick.State, 0x10) << "fire stays while up is let go";
  EXPECT_EQ(machine_.Keys.PressedCount(), 0) << "the joystick keys leave the keyboard alone";
  const std::vector<int> before = Observe();
  // F1, F5, F11, right Ctrl, Page Up, Insert, left Windows, and codes no key sends.
  for (uint8_t code : {0x00, 0x3B, 0x3F, 0x57, 0x9D, 0xC9, 0xD2, 0xDB, 0xFF}) {
    Tap(code);
    AltTap(code);
    EXPECT_EQ(Observe(), before) << "scan code " << int{code};
  }
}

TEST_F(TKeyThreadTest, EitherAltSelectsTheAltLayerUntilReleased) {
  Activate();
  for (uint8_t alt : {scan::kLeftAlt, scan::kRightAlt}) {
    Press(alt);
    EXPECT_TRUE(keys_.AltMode());
    Tap(0x10);  // Q has no Alt meaning
    Tap(scan::kF2);
    EXPECT_EQ(machine_.Keys.PressedCount(), 0);
    EXPECT_FALSE(requests_.LoadDisk);
    Release(alt);
    EXPECT_FALSE(keys_.AltMode());
  }
  Tap(scan::kF2);
  EXPECT_TRUE(requests_.LoadDisk);
  // A key released while Alt is held stays pressed.
  Press(0x10);  // Q
  Press(scan::kLeftAlt);
  Release(0x10);
  Release(scan::kLeftAlt);
  EXPECT_TRUE(Pressed(Key('Q')));
  EXPECT_EQ(machine_.Keys.ReadKeyboardPort(0xFBFE), 0xBE);
  // ...until it is pressed and released again, and then it is really free.
  Tap(0x10);
  EXPECT_FALSE(Pressed(Key('Q')));
  Tap(0x10);
  EXPECT_FALSE(Pressed(Key('Q')));
}

// One step after another; the one-shot requests (the first six) are cleared before each,
// as the window does when it acts on them. Nothing is typed on the way.
TEST_F(TKeyThreadTest, HotKeysRaiseRequestsAndTypeNothing) {
  Activate();
  struct Case {
    bool alt;
    uint8_t code;
    Flag flag;
    bool expected;
  };
  const Case cases[] = {
      {false, scan::kF2, &KeyRequests::LoadDisk, true},
      {false, scan::kF3, &KeyRequests::LoadSnapshot, true},
      {false, scan::kF3, &KeyRequests::QuickSaveSnapshot, false},
      {true, scan::kF3, &KeyRequests::QuickSaveSnapshot, true},
      {true, scan::kF3, &KeyRequests::LoadSnapshot, false},
      {true, scan::kF4, &KeyRequests::CloseMainWindow, true},
      {true, 0x14, &KeyRequests::TapeReaderPanel, true},        // T
      {true, 0x21, &KeyRequests::ShowFps, false},               // F
      {true, 0x32, &KeyRequests::MouseCaptureRequested, true},  // M
      {true, scan::kReturn, &KeyRequests::FullScreen, true},
      {true, 0x32, &KeyRequests::MouseCaptureRequested, true},  // full screen owns the capture
      {true, scan::kSpace, &KeyRequests::FullScreen, false},
      {true, scan::kSpace, &KeyRequests::RestoreMainWindow, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << (&c - cases));
    for (int i = 0; i < 6; ++i) requests_.*kRequests[i] = false;
    c.alt ? AltTap(c.code) : Tap(c.code);
    EXPECT_EQ(requests_.*c.flag, c.expected);
    EXPECT_EQ(machine_.Keys.PressedCount(), 0);
  }
  EXPECT_FALSE(machine_.State.Running) << "Alt+Space stops the machine";
  // F8 toggles the speed; Pause toggles on its press.
  Tap(scan::kF8);
  EXPECT_FALSE(machine_.State.NormalSpeed);
  Tap(scan::kF8);
  EXPECT_TRUE(machine_.State.NormalSpeed);
  Tap(scan::kPause);
  EXPECT_EQ(machine_.State.Paused, 1u) << "the release leaves the pause on";
  Tap(scan::kPause);
  EXPECT_EQ(machine_.State.Paused, 0u);
  // Escape stops the machine and leaves full screen (with the screen menu open it only
  // closes the menu: the main window's tests).
  machine_.State.Running = true;
  requests_.FullScreen = true;
  Tap(scan::kEscape);
  EXPECT_FALSE(machine_.State.Running || requests_.FullScreen);
}

TEST_F(TKeyThreadTest, F12HoldsTheResetAndADoublePressAddsTrDos) {
  Activate();
  SetTicks(3);
  Press(scan::kF12);
  EXPECT_TRUE(machine_.State.ResetRequest);
  EXPECT_EQ(machine_.State.StartMode, 2) << "no earlier press to pair with";
  Release(scan::kF12);
  EXPECT_FALSE(machine_.State.ResetRequest);

  // {ticks of a press, the start mode}: each press pairs with the one before it.
  const std::pair<uint32_t, int> presses[] = {{0xFFFFFFF0u, 2}, {0x10, 3},   // across the wrap
                                              {1000, 2},        {1049, 3},   // 49 ticks
                                              {1109, 2},        {1159, 2}};  // 60, then 50
  for (const auto& [ticks, mode] : presses) {
    SetTicks(ticks);
    Tap(scan::kF12);
    EXPECT_EQ(machine_.State.StartMode, mode) << ticks;
  }
  // Alt+F12 resets into the 48K modes.
  SetTicks(500);
  Press(scan::kLeftAlt);
  Press(scan::kF12);
  EXPECT_TRUE(machine_.State.ResetRequest);
  EXPECT_EQ(machine_.State.StartMode, 0);
  Release(scan::kF12);
  EXPECT_FALSE(machine_.State.ResetRequest) << "the Alt layer also ends the reset";
  SetTicks(510);
  Press(scan::kF12);
  EXPECT_EQ(machine_.State.StartMode, 1);
  Release(scan::kLeftAlt);
  Release(scan::kF12);  // let go after Alt: the plain release table ends the reset
  EXPECT_FALSE(machine_.State.ResetRequest);

  SetTicks(520);
  Tap(scan::kF12);
  EXPECT_EQ(machine_.State.StartMode, 3) << "the previous press counts in either layer";
}

TEST_F(TKeyThreadTest, EventsNeedBothRunningAndFocus) {
  const std::vector<int> before = Observe();
  keys_.SetRunning(true);
  Tap(scan::kF2);
  Press(0x10);
  EXPECT_EQ(Observe(), before) << "running without focus";
  keys_.SetRunning(false);
  keys_.SetFocused(true);
  Tap(scan::kF2);
  Press(0x10);
  EXPECT_EQ(Observe(), before) << "focused, machine stopped";
  keys_.SetRunning(true);
  Press(0x10);
  EXPECT_TRUE(Pressed(Key('Q')));
  keys_.SetFocused(false);
  Release(0x10);
  EXPECT_TRUE(Pressed(Key('Q'))) << "a release after losing focus is not seen";
  // Without a reader the turn-on only clears.
  machine_.Joystick.State = 0x10;
  keys_.SetFocused(true);
  EXPECT_FALSE(Pressed(Key('Q')));
  EXPECT_EQ(machine_.Joystick.State, 0);
  Press(0x10);
  Activate();
  EXPECT_TRUE(Pressed(Key('Q'))) << "already on: nothing rebuilt";
  Tap(scan::kEscape);
  EXPECT_FALSE(machine_.State.Running) << "no Escape is swallowed";
}

TEST_F(TKeyThreadTest, TurningOnRebuildsFromTheKeysHeldNow) {
  machine_.Keys.PressKey(Key('A'));  // left over from before the focus went away
  machine_.Joystick.State = 0x1F;
  HoldWhileResyncing({0x10, scan::kUp, scan::kHome});
  Activate();
  EXPECT_FALSE(Pressed(Key('A')));
  EXPECT_TRUE(Pressed(Key('Q')));
  EXPECT_TRUE(Pressed(kKeyCapsShift) && Pressed(Key('7')));
  EXPECT_EQ(machine_.Keys.PressedCount(), 3);
  EXPECT_EQ(machine_.Joystick.State, 0x08);
  Release(scan::kUp);
  Release(0x10);
  EXPECT_EQ(machine_.Keys.PressedCount(), 0);
}

TEST_F(TKeyThreadTest, HeldAltResyncsIntoTheAltLayer) {
  keys_.SetRunning(true);
  HoldWhileResyncing({scan::kRightAlt, 0x10, scan::kReturn});
  keys_.SetFocused(true);
  EXPECT_TRUE(keys_.AltMode());
  EXPECT_FALSE(Pressed(Key('Q')));
  EXPECT_TRUE(requests_.FullScreen) << "the held Alt+Enter is acted on";
  Release(scan::kRightAlt);
  EXPECT_FALSE(keys_.AltMode());

  // Alt let go while another window had the focus.
  Press(scan::kLeftAlt);
  HoldWhileResyncing({});
  keys_.SetFocused(false), keys_.SetFocused(true);
  EXPECT_FALSE(keys_.AltMode());
  // An Escape held at a resync is ignored until it goes up.
  keys_.SetFocused(false);
  HoldWhileResyncing({scan::kEscape, 0x10});
  Activate();
  EXPECT_TRUE(Pressed(Key('Q')));
  Tap(scan::kEscape);  // still the same key stroke
  EXPECT_TRUE(machine_.State.Running);
  Tap(scan::kEscape);
  EXPECT_FALSE(machine_.State.Running);
}

}  // namespace
}  // namespace vantrel
