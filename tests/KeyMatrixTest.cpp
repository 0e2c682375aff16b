// The keyboard matrix: press counts, ghosting and the port read the ULA gives.
#include <gtest/gtest.h>

#include <tuple>

#include "MachineFixture.h"
#include "input/KeyMatrix.h"

namespace vantrel {
namespace {

using test::Ints;

int Key(char c) {
  return KeyIndexOfChar(c);
}

TEST(KeyMatrixTest, KeysAreWiredToTheirHalfRows) {
  KeyMatrix keys;
  const std::tuple<int, uint16_t, uint8_t> cases[] = {
      {Key('1'), 0xF7FE, 0xBE},  {Key('5'), 0xF7FE, 0xAF},  {Key('6'), 0xEFFE, 0xAF},
      {Key('0'), 0xEFFE, 0xBE},  {Key('Q'), 0xFBFE, 0xBE},  {Key('P'), 0xDFFE, 0xBE},
      {Key('A'), 0xFDFE, 0xBE},  {kKeyEnter, 0xBFFE, 0xBE}, {kKeyCapsShift, 0xFEFE, 0xBE},
      {Key('V'), 0xFEFE, 0xAF},  {Key('B'), 0x7FFE, 0xAF},  {kKeySymbolShift, 0x7FFE, 0xBD},
      {kKeySpace, 0x7FFE, 0xBE},
  };
  for (const auto& [key, port, expected] : cases) {
    keys.PressKey(key);
    const int down = keys.ReadKeyboardPort(port);
    const int noRow = keys.ReadKeyboardPort(static_cast<uint16_t>(port | 0xFF00));
    keys.ReleaseKey(key);
    EXPECT_EQ(Ints(down, noRow, keys.ReadKeyboardPort(port)), Ints(expected, 0xBF, 0xBF))
        << "key " << key;
  }
  keys.PressKey(kKeySpace);
  EXPECT_EQ(keys.ReadKeyboardPort(0x00FE), 0xBE) << "every row at once";
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
  EXPECT_EQ(
      Ints(KeyIndexOfChar('a'), KeyIndexOfChar('e'), KeyIndexOfChar(' '), KeyIndexOfChar('!')),
      Ints(Key('A'), Key('E'), kKeySpace, -1));
}

}  // namespace
}  // namespace vantrel
