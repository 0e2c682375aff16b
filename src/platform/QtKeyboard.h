#pragma once

#include <QString>
#include <Qt>
#include <array>
#include <cstdint>
#include <optional>

class QKeyEvent;

namespace vantrel {

// PC keys are identified by set-1 scan codes in DirectInput numbering: the make code of
// the key, with 0x80 added for the keys that the keyboard prefixes with 0xE0 (Right Ctrl
// is 0x9D, Up 0xC8) and Pause as 0xC5. The codes name physical keys, so the mapping does
// not change with the user's keyboard layout.

// Scan code of a key event, or nullopt for keys with no code.
std::optional<uint8_t> ScanCodeOfEvent(const QKeyEvent& event);

// The same from the raw parts. platformName is QGuiApplication::platformName():
// - "xcb" and "wayland*": nativeScanCode is an XKB key code, the Linux evdev code + 8;
// - "windows": nativeScanCode is the message's scan code, 0x100 marking extended keys;
// - anything else, or nativeScanCode 0 (synthesised events): a table of Qt::Key values
//   that assumes a US layout and the left one of paired modifiers; keypad keys are told
//   apart by Qt::KeypadModifier.
std::optional<uint8_t> Set1ScanCode(quint32 nativeScanCode, int qtKey,
                                    Qt::KeyboardModifiers modifiers, const QString& platformName);

// Every scan code that is down at this moment, read from the window system rather than
// from queued events. All false where the platform cannot say (offscreen, Wayland).
// Callable from any thread once the QGuiApplication exists.
std::array<bool, 256> ReadKeyboardState();

}  // namespace vantrel
