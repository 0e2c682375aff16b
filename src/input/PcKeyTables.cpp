#include "input/PcKeyTables.h"

#include <string_view>

#include "input/KeyMatrix.h"

namespace vantrel {

namespace {

constexpr int8_t Key(char label) {
  return static_cast<int8_t>(kKeyLabels.find(label));
}

constexpr int8_t kCaps = kKeyCapsShift;
constexpr int8_t kSymbol = kKeySymbolShift;

constexpr PcKeyTables BuildTables() {
  PcKeyTables t{};

  // A shifted character presses the shift first and releases it last, so the machine
  // never sees the other key alone.
  auto keys = [&t](uint8_t code, int8_t first, int8_t second = kNoSecondKey) {
    t.Press[code] = {PcKeyKind::kPressKeys, first, second};
    t.Release[code] = {PcKeyKind::kReleaseKeys, first, second};
  };
  // Scan codes follow the rows of the PC keyboard, one code per key from the left.
  auto run = [&keys](uint8_t firstCode, std::string_view labels) {
    for (size_t i = 0; i < labels.size(); ++i) {
      keys(static_cast<uint8_t>(firstCode + i), Key(labels[i]));
    }
  };
  auto joystick = [&t](uint8_t code, uint8_t bit) {
    t.Press[code] = {PcKeyKind::kJoystickOn, 0, kNoSecondKey, bit};
    t.Release[code] = {PcKeyKind::kJoystickOff, 0, kNoSecondKey, bit};
  };
  auto command = [](PcCommand c) {
    return PcKeyAction{PcKeyKind::kCommand, 0, kNoSecondKey, 0, c};
  };

  run(0x02, "1234567890");
  run(0x10, "QWERTYUIOP");
  run(0x1E, "ASDFGHJKL");
  run(0x2C, "ZXCVBNM");
  keys(scan::kReturn, kKeyEnter);
  keys(0x9C, kKeyEnter);  // keypad Enter
  keys(scan::kSpace, kKeySpace);
  keys(scan::kLeftShift, kCaps);
  keys(scan::kRightShift, kSymbol);

  // Keypad digits, laid out bottom row first.
  run(0x52, "0");
  run(0x4F, "123");
  run(0x4B, "456");
  run(0x47, "789");

  // Punctuation and editing keys as the Spectrum types them.
  keys(scan::kMinus, kSymbol, Key('J'));
  keys(0x4A, kSymbol, Key('J'));       // keypad -
  keys(0x0D, kSymbol, Key('L'));       // =
  keys(0x4E, kSymbol, Key('K'));       // keypad +
  keys(0x1A, kSymbol, Key('8'));       // [ gives (
  keys(0x37, kSymbol, Key('B'));       // keypad *
  keys(0x1B, kSymbol, Key('9'));       // ] gives )
  keys(0xB5, kSymbol, Key('V'));       // keypad /
  keys(0x27, kSymbol, Key('O'));       // ;
  keys(0x53, kSymbol, Key('M'));       // keypad .
  keys(0x28, kSymbol, Key('P'));       // ' gives "
  keys(0x34, kSymbol, Key('M'));       // .
  keys(0x2B, kSymbol, Key('Z'));       // backslash gives :
  keys(0x33, kSymbol, Key('N'));       // ,
  keys(0x35, kSymbol, Key('C'));       // /
  keys(scan::kTab, kCaps, kSymbol);    // extended mode
  keys(0x0E, kCaps, Key('0'));         // Backspace: DELETE
  keys(0x29, kCaps, Key('1'));         // ` : EDIT
  keys(0x3A, kCaps, Key('2'));         // Caps Lock
  keys(scan::kLeft, kCaps, Key('5'));  // cursor keys
  keys(scan::kDown, kCaps, Key('6'));
  keys(scan::kUp, kCaps, Key('7'));
  keys(scan::kRight, kCaps, Key('8'));

  // Kempston bits: right, left, down, up, fire from bit 0.
  joystick(scan::kPageDown, 0x01);
  joystick(scan::kDelete, 0x02);
  joystick(scan::kEnd, 0x04);
  joystick(scan::kHome, 0x08);
  joystick(scan::kLeftControl, 0x10);

  t.Press[scan::kLeftAlt] = {PcKeyKind::kAltOn};
  t.Press[scan::kRightAlt] = {PcKeyKind::kAltOn};
  t.AltRelease[scan::kLeftAlt] = {PcKeyKind::kAltOff};
  t.AltRelease[scan::kRightAlt] = {PcKeyKind::kAltOff};

  t.Press[scan::kEscape] = command(PcCommand::kEscape);
  t.Press[scan::kF2] = command(PcCommand::kLoadDisk);
  t.Press[scan::kF3] = command(PcCommand::kLoadSnapshot);
  t.Press[scan::kF8] = command(PcCommand::kToggleNormalSpeed);
  t.Press[scan::kF12] = command(PcCommand::kReset128k);
  t.Release[scan::kF12] = command(PcCommand::kEndReset);
  t.Press[scan::kPause] = command(PcCommand::kTogglePause);

  t.AltPress[scan::kF3] = command(PcCommand::kQuickSaveSnapshot);
  t.AltPress[scan::kF4] = command(PcCommand::kCloseMainWindow);
  t.AltPress[scan::kF12] = command(PcCommand::kReset48k);
  t.AltRelease[scan::kF12] = command(PcCommand::kEndReset);
  t.AltPress[0x14] = command(PcCommand::kTapeReaderPanel);  // T
  t.AltPress[scan::kReturn] = command(PcCommand::kToggleFullScreen);
  t.AltPress[0x21] = command(PcCommand::kToggleShowFps);       // F
  t.AltPress[0x32] = command(PcCommand::kToggleMouseCapture);  // M
  t.AltPress[scan::kSpace] = command(PcCommand::kRestoreMainWindow);
  return t;
}

constexpr PcKeyTables kStandardTables = BuildTables();

}  // namespace

const PcKeyTables& StandardPcKeyTables() {
  return kStandardTables;
}

}  // namespace vantrel
