#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

#include "MachineFixture.h"
#include "input/KeyMatrix.h"
#include "machine/Machine.h"

namespace vantrel {
namespace {

using test::Ints;

// Holds the keys of one half-row so that the row reads `value` (bit clear = pressed).
void HoldRow(KeyMatrix& keys, int row, uint8_t value) {
  for (int k = 0; k < kKeyCount; ++k) {
    if (KeyMatrix::KeyRow(k) != row) continue;
    if (!(value & KeyMatrix::KeyMask(k))) {
      if (!keys.KeyIsPressed(k)) keys.PressKey(k);
    } else {
      while (keys.KeyIsPressed(k)) keys.ReleaseKey(k);
    }
  }
}

// A freshly powered machine: 128K model, paging unlocked, TR-DOS not paged in.
class PortDecoderTest : public testing::Test {
 protected:
  uint8_t In(uint16_t port) { return m.Ports.PortRead(port); }
  void Out(uint16_t port, uint8_t value) { m.Ports.PortWrite(port, value); }

  Machine m{1};
  PortDecodeSettings& settings = m.Ports.Settings;
};

TEST(PortDecoderWrites, EachAddressReachesTheDevicesWhosePatternItMatches) {
  const std::tuple<uint16_t, bool, bool, bool, bool, bool, bool, bool> cases[] = {
      {0x00FE, 0, 0, 1, 0, 0, 0, 0},  // bit 1 set: never the paging port
      {0x7FFC, 0, 0, 1, 1, 0, 0, 0},  // bit 0 clear as well as bits 15 and 1
      {0x7FFD, 0, 0, 0, 1, 0, 0, 0},
      {0x1FFD, 0, 0, 0, 1, 1, 0, 0},  // #1FFD also has bits 15 and 1 clear
      {0x3FFD, 0, 0, 0, 1, 1, 0, 0},  // bit 13 is not decoded for #1FFD
      {0xFFFD, 0, 0, 0, 0, 0, 1, 0},
      {0xE03D, 0, 0, 0, 0, 0, 1, 0},  // partial decoding of the AY ports
      {0xA03D, 0, 0, 0, 0, 0, 0, 1},
      {0xFFFC, 0, 0, 1, 0, 0, 0, 0},  // bit 0 clear: not the AY
      {0x001F, 0, 0, 0, 0, 0, 0, 0},  // the joystick has no write side
      // While the disk ports are decoded the AY is not; the ULA and paging still are.
      {0x7FFC, 1, 0, 1, 1, 0, 0, 0},
      {0xFFFD, 1, 0, 0, 0, 0, 0, 0},
      {0xBFFD, 1, 0, 0, 0, 0, 0, 0},
      {0xFFFD, 0, 1, 0, 0, 0, 0, 0},
      {0xBFFD, 0, 1, 0, 0, 0, 0, 0},
  };
  constexpr uint8_t kValue = 0x06;
  for (const auto& [port, dos, access, ula, paging, scorpion, aySelect, ayData] : cases) {
    SCOPED_TRACE(testing::Message()
                 << "port 0x" << std::hex << port << " dos " << dos << " access " << access);
    Machine m(1);
    // A Scorpion so that #1FFD writes are kept; the bits written change nothing at 0x0000.
    m.Mem.Model = MemoryModel::Scorpion256k;
    m.Mem.DosActive = dos;
    m.Ports.Settings.TrDosPortAccess = access;
    m.Ports.PortWrite(port, kValue);
    EXPECT_EQ(
        Ints(m.Ports.PortFE == kValue, m.Screen.BorderColour == kValue, m.Mem.Port7FFD == kValue,
             m.Mem.Port1FFD == kValue, m.Ay.Selected() == kValue, m.Ay.Writes()),
        Ints(ula, ula, paging, scorpion, aySelect, ayData));
  }
}

TEST_F(PortDecoderTest, UlaPortSetsBorderAndSoundLevelAndRecordsChanges) {
  // Weights: speaker 128, tape in 64 (kept from the level before), tape out 32.
  const std::tuple<uint8_t, uint8_t, uint8_t, uint8_t, bool> cases[] = {
      {0x00, 0, 0x18, 160, false},  {0x00, 0, 0x07, 0, true},      {0x00, 64, 0x18, 224, false},
      {0x18, 224, 0x00, 64, false}, {0x18, 160, 0x18, 160, false}, {0x02, 0, 0x0A, 32, false},
      {0x00, 0, 0x1D, 160, true},   {0x05, 0, 0x05, 0, false},     {0x05, 0, 0x01, 0, true},
  };
  for (const auto& [before, level, value, levelAfter, borderChange] : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int{before} << " to " << int{value});
    Out(0x00FE, before);
    m.Beeper.SoundLevel = level;
    m.Beeper.SoundChangeHistory = 0;
    m.Screen.BorderChangeHistory = 0x04;
    Out(0x00FE, value);
    EXPECT_EQ(Ints(m.Beeper.SoundLevel, m.Beeper.SoundChangeHistory, m.Screen.BorderColour,
                   m.Screen.BorderChangeHistory, m.Ports.PortFE),
              Ints(levelAfter, levelAfter != level, value & 7, 0x04 | borderChange, value));
  }
}

TEST_F(PortDecoderTest, JoystickIsPartiallyDecodedAndReadOnlyOutsideTrDos) {
  // Kempston bits: right, left, down, up, fire. Bits 0, 3, 5 and 7 are decoded: 1, 1, 0, 0.
  const std::tuple<uint16_t, bool, bool, bool, uint8_t> cases[] = {
      {0x001F, 0, 0, 1, 0x15}, {0xFF19, 0, 0, 1, 0x15},
      {0x5F5F, 0, 0, 1, 0x15}, {0x003F, 0, 0, 1, 0xFF},  // bit 5 set
      {0x009F, 0, 0, 1, 0xFF},                           // bit 7 set
      {0x0017, 0, 0, 1, 0xFF},                           // bit 3 clear
      {0x001F, 0, 0, 0, 0xFF},                           // not decoded: nobody answers
      {0x001F, 1, 0, 1, 0x83},  // the status of the controller held in reset
      {0x001F, 0, 1, 1, 0x83},  // Beta 128 ports decoded outside TR-DOS too
  };
  m.Joystick.State = 0x15;
  for (const auto& [port, dosActive, portAccess, joystickEnabled, expected] : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << port << " dos " << dosActive << " access "
                                    << portAccess << " joystick " << joystickEnabled);
    m.Mem.DosActive = dosActive;
    settings.TrDosPortAccess = portAccess;
    settings.JoystickEnabled = joystickEnabled;
    EXPECT_EQ(In(port), expected);
  }
}

TEST_F(PortDecoderTest, MousePortsAnswerOnlyWhenTheMouseIsEnabled) {
  m.Mouse.X = 0x12;
  const std::tuple<uint16_t, uint8_t> cases[] = {
      {0xF9DF, 0x12},  // bit 9 is not decoded
      {0xFEDF, 0xFF},  // bit 8 set with bit 10 clear: none of the three
  };
  for (const auto& [port, enabledValue] : cases) {
    SCOPED_TRACE(testing::Message() << "port 0x" << std::hex << port);
    m.Mouse.Enabled = false;
    const uint8_t disabled = In(port);
    m.Mouse.Enabled = true;
    const uint8_t enabled = In(port);
    m.Mem.DosActive = true;  // the Beta 128 request lines take over: no request
    EXPECT_EQ(Ints(disabled, enabled, In(port)), Ints(0xFF, enabledValue, 0x3F));
    m.Mem.DosActive = false;
  }
}

TEST_F(PortDecoderTest, AyReadsTheSelectedRegister) {
  Out(0xFFFD, 8);
  Out(0xBFFD, 0x0F);
  Out(0xFFFD, 1);
  Out(0xBFFD, 0x0C);
  EXPECT_EQ(In(0xFFFD), 0x0C);
  Out(0xFFFD, 8);
  // #E03D is an alias of #FFFD; the data port has no read side.
  EXPECT_EQ(Ints(In(0xFFFD), In(0xE03D), In(0xBFFD)), Ints(0x0F, 0x0F, 0xFF));
  m.Mem.DosActive = true;
  EXPECT_EQ(In(0xFFFD), 0xFF);
}

TEST_F(PortDecoderTest, AnswersOfSeveralDevicesAreAndedAndNeverReadTheIdleBus) {
  // The joystick moved onto the ULA's pattern: one read, two answers.
  settings.JoystickBits = 0x00FE;
  settings.JoystickMask = 0x0001;
  HoldRow(m.Keys, 0, 0xFE);  // CAPS SHIFT: bit 0
  m.Joystick.State = 0xFD;
  EXPECT_EQ(In(0xFEFE), 0xBC);
  // A third device on the same port: the AY select pattern set as the keyboard's.
  settings.KeyboardBits = settings.JoystickBits = 0xFFFD;
  settings.KeyboardMask = settings.JoystickMask = 0xE023;
  Out(0xFFFD, 2);
  Out(0xBFFD, 0xF7);
  HoldRow(m.Keys, 0, 0xFF);
  m.Tape.SetEarLevel(0x40);
  EXPECT_EQ(In(0xFFFD), 0xF5);  // keyboard 0xFF, joystick 0xFD, AY 0xF7

  // With "All Unused" every port nobody answers reads the beam's attribute; a port a
  // device answered keeps the device's byte.
  Machine fresh(1);
  fresh.Ports.Settings.AttributeAllUnused = true;
  fresh.Mem.Bank(5)[6144] = 0x47;
  fresh.State.Regs.Tackts = 17989;  // the first attribute under the beam
  fresh.Joystick.State = 0x03;
  fresh.Mouse.Enabled = true;
  fresh.Mouse.X = 0x40;
  HoldRow(fresh.Keys, 0, 0xFE);
  auto in = [&](uint16_t port) { return fresh.Ports.PortRead(port); };
  EXPECT_EQ(Ints(in(0xFFFD), in(0x001F), in(0xFBDF), in(0xFEFE), in(0x40FD)),
            Ints(0x00, 0x03, 0x40, 0xBE, 0x47));
}

TEST_F(PortDecoderTest, UnansweredPortsReadTheIdleBus) {
  const std::tuple<bool, bool, uint16_t, uint8_t> cases[] = {
      {true, false, 0x40FF, 0x47}, {true, false, 0x40FD, 0xFF},  {true, true, 0x40FD, 0x47},
      {false, true, 0x40FD, 0xFF}, {false, false, 0x40FF, 0xFF},
  };
  m.Mem.Bank(5)[6144] = 0x47;
  for (const auto& [attributeEnabled, allUnused, port, expected] : cases) {
    SCOPED_TRACE(testing::Message() << attributeEnabled << allUnused << " " << port);
    settings.AttributePortEnabled = attributeEnabled;
    settings.AttributeAllUnused = allUnused;
    m.State.Regs.Tackts = 0;  // top border: the ULA leaves the bus at 0xFF
    EXPECT_EQ(In(port), 0xFF);
    m.State.Regs.Tackts = 17989;
    EXPECT_EQ(In(port), expected);
  }
}

TEST_F(PortDecoderTest, SettingChangesTakeEffectAtTheNextAccess) {
  HoldRow(m.Keys, 7, 0xFE);
  EXPECT_EQ(In(0x7FFE), 0xBE);
  settings.KeyboardEnabled = false;
  settings.AttributePortEnabled = false;
  Out(0x00FE, 0x04);
  EXPECT_EQ(Ints(In(0x7FFE), m.Screen.BorderColour), Ints(0xFF, 0));
  settings.KeyboardEnabled = true;
  Out(0x00FE, 0x04);
  EXPECT_EQ(Ints(In(0x7FFE), m.Screen.BorderColour), Ints(0xBE, 4));
}

// The keyboard matrix: press counts, ghosting and the port read the ULA gives.

int Key(char c) {
  return KeyIndexOfChar(c);
}

// Each key through the ULA port: its half-row is selected by a low address line.
TEST_F(PortDecoderTest, KeysAreWiredToTheirHalfRows) {
  const std::tuple<int, uint16_t, uint8_t> cases[] = {
      {Key('1'), 0xF7FE, 0xBE},  {Key('5'), 0xF7FE, 0xAF},  {Key('6'), 0xEFFE, 0xAF},
      {Key('0'), 0xEFFE, 0xBE},  {Key('Q'), 0xFBFE, 0xBE},  {Key('P'), 0xDFFE, 0xBE},
      {Key('A'), 0xFDFE, 0xBE},  {kKeyEnter, 0xBFFE, 0xBE}, {kKeyCapsShift, 0xFEFE, 0xBE},
      {Key('V'), 0xFEFE, 0xAF},  {Key('B'), 0x7FFE, 0xAF},  {kKeySymbolShift, 0x7FFE, 0xBD},
      {kKeySpace, 0x7FFE, 0xBE},
  };
  for (const auto& [key, port, expected] : cases) {
    m.Keys.PressKey(key);
    const int down = In(port);
    const int noRow = In(static_cast<uint16_t>(port | 0xFF00));
    m.Keys.ReleaseKey(key);
    EXPECT_EQ(Ints(down, noRow, In(port)), Ints(expected, 0xBF, 0xBF)) << "key " << key;
  }
  // Several rows at once AND their keys; any even port is the ULA's; EAR is bit 6.
  m.Keys.PressKey(kKeySpace);
  m.Keys.PressKey(Key('1'));
  EXPECT_EQ(Ints(In(0x76FE), In(0x7F00), In(0x00FE)), Ints(0xBE, 0xBE, 0xBE));
  m.Keys.PressKey(Key('5'));
  m.Tape.SetEarLevel(0x40);
  EXPECT_EQ(Ints(In(0x76FE), In(0xFFFE)), Ints(0xEE, 0xFF));
}

TEST(KeyMatrixTest, ThreeKeysAtRectangleCornersGhostTheFourth) {
  KeyMatrix keys;
  keys.PressKey(Key('Q'));
  keys.PressKey(Key('W'));
  EXPECT_EQ(keys.ReadKeyboardPort(0xFDFE), 0xBF) << "two keys cannot ghost";
  keys.PressKey(Key('A'));
  // S reads as pressed; the raw row keeps only A.
  EXPECT_EQ(
      Ints(keys.EffectiveRow(1), keys.EffectiveRow(2), keys.ReadKeyboardPort(0xFDFE), keys.Row(1)),
      Ints(0xBC, 0xBC, 0xBC, 0xBE));
  keys.ReleaseKey(Key('W'));
  EXPECT_EQ(keys.ReadKeyboardPort(0xFDFE), 0xBE);
  // Three keys in unrelated columns: no merge.
  keys.ClearMatrix();
  keys.PressKey(Key('Q'));
  keys.PressKey(Key('S'));
  keys.PressKey(Key('5'));
  EXPECT_EQ(Ints(keys.ReadKeyboardPort(0xFDFE), keys.ReadKeyboardPort(0xFBFE)), Ints(0xBD, 0xBE));
}

TEST(KeyMatrixTest, ReleaseWithoutPressAndClearLeaveAnIdleMatrix) {
  KeyMatrix keys;
  keys.ReleaseKey(Key('A'));  // held before focus came: still let go
  EXPECT_EQ(keys.ReadKeyboardPort(0xFDFE), 0xBF);
  EXPECT_EQ(keys.PressedCount(), -1);
  keys.PressKey(Key('A'));
  keys.PressKey(-1);  // out of range: ignored
  keys.ReleaseKey(kKeyCount);
  keys.ClearMatrix();
  EXPECT_EQ(keys.PressedCount(), 0);
  for (int row = 0; row < 8; ++row) EXPECT_EQ(keys.EffectiveRow(row), 0xBF);
}

}  // namespace
}  // namespace vantrel
