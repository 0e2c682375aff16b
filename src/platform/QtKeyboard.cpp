#include "platform/QtKeyboard.h"

#include <QGuiApplication>
#include <QKeyEvent>

#if defined(VANTREL_HAVE_XCB) && QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#endif

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vantrel {

namespace {

constexpr uint8_t kNoCode = 0;

// Linux evdev codes 1..88 were taken over from set 1, so they are the same numbers (84 is
// a hole in both). The keys beyond that, the 0xE0-prefixed ones among them, need a table.
constexpr std::array<uint8_t, 256> MakeEvdevTable() {
  std::array<uint8_t, 256> table{};
  for (int code = 1; code <= 88; ++code) {
    if (code != 84) table[code] = static_cast<uint8_t>(code);
  }
  table[96] = 0x9C;   // keypad Enter
  table[97] = 0x9D;   // right Ctrl
  table[98] = 0xB5;   // keypad /
  table[99] = 0xB7;   // Print Screen (SysRq)
  table[100] = 0xB8;  // right Alt (AltGr)
  table[102] = 0xC7;  // Home
  table[103] = 0xC8;  // Up
  table[104] = 0xC9;  // Page Up
  table[105] = 0xCB;  // Left
  table[106] = 0xCD;  // Right
  table[107] = 0xCF;  // End
  table[108] = 0xD0;  // Down
  table[109] = 0xD1;  // Page Down
  table[110] = 0xD2;  // Insert
  table[111] = 0xD3;  // Delete
  table[113] = 0xA0;  // Mute
  table[114] = 0xAE;  // Volume Down
  table[115] = 0xB0;  // Volume Up
  table[116] = 0xDE;  // Power
  table[117] = 0x8D;  // keypad =
  table[119] = 0xC5;  // Pause
  table[121] = 0xB3;  // keypad , (Brazilian keyboards)
  table[125] = 0xDB;  // left Windows
  table[126] = 0xDC;  // right Windows
  table[127] = 0xDD;  // Menu
  table[142] = 0xDF;  // Sleep
  table[143] = 0xE3;  // Wake
  table[183] = 0x64;  // F13
  table[184] = 0x65;  // F14
  table[185] = 0x66;  // F15
  return table;
}

constexpr std::array<uint8_t, 256> kEvdevToSet1 = MakeEvdevTable();

// X and Wayland number their key codes from the evdev code + 8.
constexpr quint32 kXkbKeycodeOffset = 8;

std::optional<uint8_t> FromXkbKeycode(quint32 keycode) {
  if (keycode < kXkbKeycodeOffset || keycode - kXkbKeycodeOffset >= kEvdevToSet1.size()) {
    return std::nullopt;
  }
  const uint8_t code = kEvdevToSet1[keycode - kXkbKeycodeOffset];
  if (code == kNoCode) return std::nullopt;
  return code;
}

// Windows passes bits 16..24 of the key message: the make code and the extended-key flag.
std::optional<uint8_t> FromWindowsScanCode(quint32 native, int qtKey) {
  const quint32 code = native & 0xFF;
  const bool extended = (native & 0x100) != 0;
  // The Pause key sends an E1-prefixed sequence that Windows reports as 0x45 without the
  // extended flag, and Num Lock as 0x45 with it: the reverse of what the keyboard sends.
  if (code == 0x45) {
    if (qtKey == Qt::Key_Pause) return 0xC5;
    if (qtKey == Qt::Key_NumLock) return 0x45;
    return extended ? 0x45 : 0xC5;
  }
  // Ctrl+Pause (Break) arrives as E0 46; it is still the Pause key.
  if (code == 0x46 && extended) return 0xC5;
  if (code == 0 || code >= 0x80) return std::nullopt;
  return static_cast<uint8_t>(extended ? (0x80 | code) : code);
}

std::optional<uint8_t> FromKeypadKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_7:
    case Qt::Key_Home: return 0x47;
    case Qt::Key_8:
    case Qt::Key_Up: return 0x48;
    case Qt::Key_9:
    case Qt::Key_PageUp: return 0x49;
    case Qt::Key_Minus: return 0x4A;
    case Qt::Key_4:
    case Qt::Key_Left: return 0x4B;
    case Qt::Key_5:
    case Qt::Key_Clear: return 0x4C;
    case Qt::Key_6:
    case Qt::Key_Right: return 0x4D;
    case Qt::Key_Plus: return 0x4E;
    case Qt::Key_1:
    case Qt::Key_End: return 0x4F;
    case Qt::Key_2:
    case Qt::Key_Down: return 0x50;
    case Qt::Key_3:
    case Qt::Key_PageDown: return 0x51;
    case Qt::Key_0:
    case Qt::Key_Insert: return 0x52;
    case Qt::Key_Period:
    case Qt::Key_Comma:
    case Qt::Key_Delete: return 0x53;
    case Qt::Key_Asterisk: return 0x37;
    case Qt::Key_Slash: return 0xB5;
    case Qt::Key_Enter:
    case Qt::Key_Return: return 0x9C;
    case Qt::Key_Equal: return 0x8D;
    default: return std::nullopt;
  }
}

// Letters in Qt::Key order (A..Z) to their positions on the keyboard.
constexpr std::array<uint8_t, 26> kLetterCodes = {
    0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
    0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

// Without a native code only the produced key is known. Shifted symbols are placed where
// a US keyboard has them, which is the best guess for the synthesised events that lack
// a scan code.
std::optional<uint8_t> FromQtKey(int qtKey, Qt::KeyboardModifiers modifiers) {
  if (modifiers.testFlag(Qt::KeypadModifier)) {
    if (const auto code = FromKeypadKey(qtKey)) return code;
  }
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return kLetterCodes[qtKey - Qt::Key_A];
  if (qtKey >= Qt::Key_1 && qtKey <= Qt::Key_9) return static_cast<uint8_t>(qtKey - Qt::Key_1 + 2);
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F10) {
    return static_cast<uint8_t>(qtKey - Qt::Key_F1 + 0x3B);
  }
  switch (qtKey) {
    case Qt::Key_0:
    case Qt::Key_ParenRight: return 0x0B;
    case Qt::Key_Exclam: return 0x02;
    case Qt::Key_At: return 0x03;
    case Qt::Key_NumberSign: return 0x04;
    case Qt::Key_Dollar: return 0x05;
    case Qt::Key_Percent: return 0x06;
    case Qt::Key_AsciiCircum: return 0x07;
    case Qt::Key_Ampersand: return 0x08;
    case Qt::Key_Asterisk: return 0x09;
    case Qt::Key_ParenLeft: return 0x0A;
    case Qt::Key_Escape: return 0x01;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return 0x0C;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return 0x0D;
    case Qt::Key_Backspace: return 0x0E;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 0x0F;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return 0x1A;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return 0x1B;
    case Qt::Key_Return: return 0x1C;
    case Qt::Key_Control: return 0x1D;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 0x27;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return 0x28;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return 0x29;
    case Qt::Key_Shift: return 0x2A;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return 0x2B;
    case Qt::Key_Comma:
    case Qt::Key_Less: return 0x33;
    case Qt::Key_Period:
    case Qt::Key_Greater: return 0x34;
    case Qt::Key_Slash:
    case Qt::Key_Question: return 0x35;
    case Qt::Key_Alt: return 0x38;
    case Qt::Key_Space: return 0x39;
    case Qt::Key_CapsLock: return 0x3A;
    case Qt::Key_NumLock: return 0x45;
    case Qt::Key_ScrollLock: return 0x46;
    case Qt::Key_F11: return 0x57;
    case Qt::Key_F12: return 0x58;
    case Qt::Key_Enter: return 0x9C;  // Qt reserves Key_Enter for the keypad's key
    case Qt::Key_Print: return 0xB7;
    case Qt::Key_AltGr: return 0xB8;
    case Qt::Key_Pause: return 0xC5;
    case Qt::Key_Home: return 0xC7;
    case Qt::Key_Up: return 0xC8;
    case Qt::Key_PageUp: return 0xC9;
    case Qt::Key_Left: return 0xCB;
    case Qt::Key_Right: return 0xCD;
    case Qt::Key_End: return 0xCF;
    case Qt::Key_Down: return 0xD0;
    case Qt::Key_PageDown: return 0xD1;
    case Qt::Key_Insert: return 0xD2;
    case Qt::Key_Delete: return 0xD3;
    case Qt::Key_Meta: return 0xDB;
    case Qt::Key_Menu: return 0xDD;
    default: return std::nullopt;
  }
}

bool UsesXkbKeycodes(const QString& platformName) {
  return platformName == QLatin1String("xcb") || platformName.startsWith(QLatin1String("wayland"));
}

#if defined(VANTREL_HAVE_XCB) && QT_CONFIG(xcb)
void ReadX11KeyboardState(std::array<bool, 256>& down) {
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr) return;
  xcb_connection_t* connection = x11->connection();
  if (connection == nullptr || xcb_connection_has_error(connection) != 0) return;
  xcb_query_keymap_reply_t* reply =
      xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr);
  if (reply == nullptr) return;
  // One bit per X key code, 256 of them.
  for (quint32 keycode = 0; keycode < 256; ++keycode) {
    if ((reply->keys[keycode / 8] & (1u << (keycode % 8))) == 0) continue;
    if (const auto code = FromXkbKeycode(keycode)) down[*code] = true;
  }
  std::free(reply);
}
#endif

#if defined(_WIN32)
void ReadWindowsKeyboardState(std::array<bool, 256>& down) {
  for (int vk = 1; vk < 256; ++vk) {
    // The side-neutral modifiers repeat their left and right keys, and the mouse buttons
    // have no scan code.
    if (vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU || vk <= VK_XBUTTON2) continue;
    if ((GetAsyncKeyState(vk) & 0x8000) == 0) continue;
    if (vk == VK_PAUSE) {
      down[0xC5] = true;
      continue;
    }
    if (vk == VK_NUMLOCK) {
      down[0x45] = true;
      continue;
    }
    const UINT scan = MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC_EX);
    const UINT code = scan & 0xFF;
    if (code == 0 || code >= 0x80) continue;
    down[(scan & 0xFF00) == 0xE000 ? (0x80 | code) : code] = true;
  }
}
#endif

}  // namespace

std::optional<uint8_t> Set1ScanCode(quint32 nativeScanCode, int qtKey,
                                    Qt::KeyboardModifiers modifiers, const QString& platformName) {
  if (nativeScanCode != 0) {
    if (UsesXkbKeycodes(platformName)) return FromXkbKeycode(nativeScanCode);
    if (platformName == QLatin1String("windows")) {
      return FromWindowsScanCode(nativeScanCode, qtKey);
    }
  }
  return FromQtKey(qtKey, modifiers);
}

std::optional<uint8_t> ScanCodeOfEvent(const QKeyEvent& event) {
  return Set1ScanCode(event.nativeScanCode(), event.key(), event.modifiers(),
                      QGuiApplication::platformName());
}

std::array<bool, 256> ReadKeyboardState() {
  std::array<bool, 256> down{};
  if (qGuiApp == nullptr) return down;
  [[maybe_unused]] const QString platform = QGuiApplication::platformName();
#if defined(VANTREL_HAVE_XCB) && QT_CONFIG(xcb)
  if (platform == QLatin1String("xcb")) ReadX11KeyboardState(down);
#endif
#if defined(_WIN32)
  if (platform == QLatin1String("windows")) ReadWindowsKeyboardState(down);
#endif
  return down;
}

}  // namespace vantrel
