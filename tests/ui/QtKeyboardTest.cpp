#include <gtest/gtest.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <string>
#include <utility>
#include <vector>

#include "platform/QtKeyboard.h"
#include "platform/SingleInstance.h"

#if defined(Q_OS_UNIX)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vantrel {
namespace {

const QString kX11 = QStringLiteral("xcb");
const QString kWindows = QStringLiteral("windows");
const QString kOffscreen = QStringLiteral("offscreen");

// X reports the evdev code + 8. Qt::Key_unknown proves the native code alone decides.
std::optional<uint8_t> FromEvdev(quint32 evdev) {
  return Set1ScanCode(evdev + 8, Qt::Key_unknown, Qt::NoModifier, kX11);
}

std::optional<uint8_t> FromQtKey(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  return Set1ScanCode(0, key, modifiers, kOffscreen);
}

// The 0xE0-prefixed keys: evdev code and DirectInput code.
const std::vector<std::pair<quint32, uint8_t>> kExtendedKeys = {
    {96, 0x9C},  {97, 0x9D},  {98, 0xB5},  {99, 0xB7},  {100, 0xB8}, {102, 0xC7},
    {103, 0xC8}, {104, 0xC9}, {105, 0xCB}, {106, 0xCD}, {107, 0xCF}, {108, 0xD0},
    {109, 0xD1}, {110, 0xD2}, {111, 0xD3}, {125, 0xDB}, {126, 0xDC}, {127, 0xDD}};

// Rows of a PC keyboard and the scan code of their first key, which rise by one per key.
const std::vector<std::pair<std::string, uint8_t>> kKeyRows = {
    {"1234567890", 0x02}, {"QWERTYUIOP", 0x10}, {"ASDFGHJKL", 0x1E}, {"ZXCVBNM", 0x2C}};

TEST(Set1ScanCodeX11, MainBlockKeysKeepTheirEvdevNumber) {
  EXPECT_EQ(FromEvdev(1), 0x01);   // Escape
  EXPECT_EQ(FromEvdev(2), 0x02);   // 1
  EXPECT_EQ(FromEvdev(11), 0x0B);  // 0
  EXPECT_EQ(FromEvdev(12), 0x0C);  // minus
  EXPECT_EQ(FromEvdev(16), 0x10);  // Q
  EXPECT_EQ(FromEvdev(28), 0x1C);  // Return
  EXPECT_EQ(FromEvdev(30), 0x1E);  // A
  EXPECT_EQ(FromEvdev(42), 0x2A);  // left Shift
  EXPECT_EQ(FromEvdev(50), 0x32);  // M
  EXPECT_EQ(FromEvdev(54), 0x36);  // right Shift
  EXPECT_EQ(FromEvdev(56), 0x38);  // left Alt
  EXPECT_EQ(FromEvdev(57), 0x39);  // Space
  EXPECT_EQ(FromEvdev(71), 0x47);  // keypad 7
  EXPECT_EQ(FromEvdev(82), 0x52);  // keypad 0
  EXPECT_EQ(FromEvdev(88), 0x58);  // F12
}

TEST(Set1ScanCodeX11, ExtendedKeysUseTheTable) {
  for (const auto& [evdev, code] : kExtendedKeys) {
    EXPECT_EQ(FromEvdev(evdev), code) << "evdev " << evdev;
  }
  EXPECT_EQ(FromEvdev(119), 0xC5);  // Pause
  EXPECT_EQ(FromEvdev(117), 0x8D);  // keypad =
}

TEST(Set1ScanCodeX11, CodesWithoutAKeyGiveNothing) {
  EXPECT_EQ(FromEvdev(84), std::nullopt);   // the hole in both numberings
  EXPECT_EQ(FromEvdev(101), std::nullopt);  // line feed key: no set-1 code
  EXPECT_EQ(FromEvdev(247), std::nullopt);  // last X key code
  for (quint32 keycode = 1; keycode < 8; ++keycode) {
    EXPECT_EQ(Set1ScanCode(keycode, Qt::Key_A, Qt::NoModifier, kX11), std::nullopt);
  }
  // A native code that maps to nothing stays unmapped; the Qt key is not consulted.
  EXPECT_EQ(Set1ScanCode(84 + 8, Qt::Key_A, Qt::NoModifier, kX11), std::nullopt);
  EXPECT_EQ(Set1ScanCode(0xFFFFFFFF, Qt::Key_A, Qt::NoModifier, kX11), std::nullopt);
}

TEST(Set1ScanCodeX11, PhysicalKeyWinsOverTheLayout) {
  // A German layout puts Z on the key where a US keyboard has Y (evdev 21).
  EXPECT_EQ(Set1ScanCode(21 + 8, Qt::Key_Z, Qt::NoModifier, kX11), 0x15);
  // Shift+1 reports '!' but it is still the key 1.
  EXPECT_EQ(Set1ScanCode(2 + 8, Qt::Key_Exclam, Qt::ShiftModifier, kX11), 0x02);
  // Wayland numbers keys the same way.
  EXPECT_EQ(Set1ScanCode(54 + 8, Qt::Key_Shift, Qt::NoModifier, QStringLiteral("wayland")), 0x36);
}

TEST(Set1ScanCodeX11, EventsWithoutANativeCodeFallBackToTheQtKey) {
  EXPECT_EQ(Set1ScanCode(0, Qt::Key_K, Qt::NoModifier, kX11), 0x25);
}

TEST(Set1ScanCodeWindows, ExtendedBitAddsEighty) {
  EXPECT_EQ(Set1ScanCode(0x1E, Qt::Key_A, Qt::NoModifier, kWindows), 0x1E);
  EXPECT_EQ(Set1ScanCode(0x36, Qt::Key_Shift, Qt::NoModifier, kWindows), 0x36);
  EXPECT_EQ(Set1ScanCode(0x1D, Qt::Key_Control, Qt::NoModifier, kWindows), 0x1D);
  EXPECT_EQ(Set1ScanCode(0x11D, Qt::Key_Control, Qt::NoModifier, kWindows), 0x9D);
  EXPECT_EQ(Set1ScanCode(0x11C, Qt::Key_Enter, Qt::KeypadModifier, kWindows), 0x9C);
  // Keypad 8 and Up share the make code; only the prefix tells them apart.
  EXPECT_EQ(Set1ScanCode(0x48, Qt::Key_Up, Qt::KeypadModifier, kWindows), 0x48);
  EXPECT_EQ(Set1ScanCode(0x148, Qt::Key_Up, Qt::NoModifier, kWindows), 0xC8);
}

TEST(Set1ScanCodeWindows, AgreesWithX11OnEveryExtendedKey) {
  for (const auto& [evdev, code] : kExtendedKeys) {
    const quint32 native = 0x100 | (code & 0x7F);
    EXPECT_EQ(Set1ScanCode(native, Qt::Key_unknown, Qt::NoModifier, kWindows), code)
        << "native " << native;
  }
}

TEST(Set1ScanCodeWindows, PauseAndNumLockAreUntangled) {
  // Windows reports Pause as a plain 0x45 and Num Lock as an extended one.
  EXPECT_EQ(Set1ScanCode(0x45, Qt::Key_Pause, Qt::NoModifier, kWindows), 0xC5);
  EXPECT_EQ(Set1ScanCode(0x145, Qt::Key_NumLock, Qt::NoModifier, kWindows), 0x45);
  EXPECT_EQ(Set1ScanCode(0x45, Qt::Key_unknown, Qt::NoModifier, kWindows), 0xC5);
  EXPECT_EQ(Set1ScanCode(0x145, Qt::Key_unknown, Qt::NoModifier, kWindows), 0x45);
  // Ctrl+Pause (Break).
  EXPECT_EQ(Set1ScanCode(0x146, Qt::Key_Cancel, Qt::ControlModifier, kWindows), 0xC5);
  // Scroll Lock is the plain 0x46.
  EXPECT_EQ(Set1ScanCode(0x46, Qt::Key_ScrollLock, Qt::NoModifier, kWindows), 0x46);
}

TEST(Set1ScanCodeWindows, BreakCodesAndSynthesisedEvents) {
  EXPECT_EQ(Set1ScanCode(0x9E, Qt::Key_A, Qt::NoModifier, kWindows), std::nullopt);
  EXPECT_EQ(Set1ScanCode(0x100, Qt::Key_A, Qt::NoModifier, kWindows), std::nullopt);
  // SendInput with a virtual key only leaves the scan code 0.
  EXPECT_EQ(Set1ScanCode(0, Qt::Key_A, Qt::NoModifier, kWindows), 0x1E);
}

TEST(Set1ScanCodeFallback, LettersAndDigitsFollowTheKeyboardRows) {
  for (const auto& [row, first] : kKeyRows) {
    for (size_t i = 0; i < row.size(); ++i) {
      const int key = row[i];  // Qt::Key_0..9 and Key_A..Z are their ASCII codes
      EXPECT_EQ(FromQtKey(key), first + i) << row[i];
    }
  }
}

TEST(Set1ScanCodeFallback, ControlAndPunctuationKeys) {
  const std::vector<std::pair<int, uint8_t>> keys = {
      {Qt::Key_Escape, 0x01},       {Qt::Key_Minus, 0x0C},      {Qt::Key_Equal, 0x0D},
      {Qt::Key_Backspace, 0x0E},    {Qt::Key_Tab, 0x0F},        {Qt::Key_BracketLeft, 0x1A},
      {Qt::Key_BracketRight, 0x1B}, {Qt::Key_Return, 0x1C},     {Qt::Key_Control, 0x1D},
      {Qt::Key_Semicolon, 0x27},    {Qt::Key_Apostrophe, 0x28}, {Qt::Key_QuoteLeft, 0x29},
      {Qt::Key_Shift, 0x2A},        {Qt::Key_Backslash, 0x2B},  {Qt::Key_Comma, 0x33},
      {Qt::Key_Period, 0x34},       {Qt::Key_Slash, 0x35},      {Qt::Key_Alt, 0x38},
      {Qt::Key_Space, 0x39},        {Qt::Key_CapsLock, 0x3A},   {Qt::Key_F1, 0x3B},
      {Qt::Key_F10, 0x44},          {Qt::Key_F11, 0x57},        {Qt::Key_F12, 0x58},
      {Qt::Key_Enter, 0x9C},        {Qt::Key_Pause, 0xC5},      {Qt::Key_Home, 0xC7},
      {Qt::Key_Up, 0xC8},           {Qt::Key_PageUp, 0xC9},     {Qt::Key_Left, 0xCB},
      {Qt::Key_Right, 0xCD},        {Qt::Key_End, 0xCF},        {Qt::Key_Down, 0xD0},
      {Qt::Key_PageDown, 0xD1},     {Qt::Key_Insert, 0xD2},     {Qt::Key_Delete, 0xD3}};
  for (const auto& [key, code] : keys) EXPECT_EQ(FromQtKey(key), code) << "Qt key " << key;
  // Shifted symbols sit on their US keys.
  EXPECT_EQ(FromQtKey(Qt::Key_Underscore, Qt::ShiftModifier), 0x0C);
  EXPECT_EQ(FromQtKey(Qt::Key_Exclam, Qt::ShiftModifier), 0x02);
  EXPECT_EQ(FromQtKey(Qt::Key_Question, Qt::ShiftModifier), 0x35);
}

TEST(Set1ScanCodeFallback, KeypadModifierSelectsTheKeypad) {
  EXPECT_EQ(FromQtKey(Qt::Key_7, Qt::KeypadModifier), 0x47);
  EXPECT_EQ(FromQtKey(Qt::Key_0, Qt::KeypadModifier), 0x52);
  EXPECT_EQ(FromQtKey(Qt::Key_Minus, Qt::KeypadModifier), 0x4A);
  EXPECT_EQ(FromQtKey(Qt::Key_Plus, Qt::KeypadModifier), 0x4E);
  EXPECT_EQ(FromQtKey(Qt::Key_Asterisk, Qt::KeypadModifier), 0x37);
  EXPECT_EQ(FromQtKey(Qt::Key_Slash, Qt::KeypadModifier), 0xB5);
  EXPECT_EQ(FromQtKey(Qt::Key_Period, Qt::KeypadModifier), 0x53);
  EXPECT_EQ(FromQtKey(Qt::Key_Enter, Qt::KeypadModifier), 0x9C);
  // With Num Lock off the keypad sends navigation keys, still from keypad positions.
  EXPECT_EQ(FromQtKey(Qt::Key_Up, Qt::KeypadModifier), 0x48);
  EXPECT_EQ(FromQtKey(Qt::Key_Delete, Qt::KeypadModifier), 0x53);
  // Other modifiers do not matter.
  EXPECT_EQ(FromQtKey(Qt::Key_7, Qt::KeypadModifier | Qt::ShiftModifier), 0x47);
  EXPECT_EQ(FromQtKey(Qt::Key_7, Qt::ControlModifier), 0x08);
}

TEST(Set1ScanCodeFallback, KeysWithoutACodeGiveNothing) {
  EXPECT_EQ(FromQtKey(Qt::Key_unknown), std::nullopt);
  EXPECT_EQ(FromQtKey(Qt::Key_VolumeUp), std::nullopt);
  EXPECT_EQ(FromQtKey(Qt::Key_Launch0), std::nullopt);
  EXPECT_EQ(FromQtKey(0), std::nullopt);
  // Other platforms' native codes are not understood, so the Qt key decides.
  EXPECT_EQ(Set1ScanCode(0x7E, Qt::Key_B, Qt::NoModifier, QStringLiteral("cocoa")), 0x30);
}

// Records the scan code of each key event that reaches it.
class KeyWindow : public QWindow {
 public:
  std::vector<std::optional<uint8_t>> Codes;

 protected:
  void keyPressEvent(QKeyEvent* event) override { Codes.push_back(ScanCodeOfEvent(*event)); }
};

TEST(ScanCodeOfEvent, DeliveredEventsAreMappedOffscreen) {
  ASSERT_EQ(QGuiApplication::platformName(), kOffscreen);
  KeyWindow window;
  window.show();
  QTest::keyClick(&window, Qt::Key_M);
  QTest::keyClick(&window, Qt::Key_5, Qt::KeypadModifier);
  QTest::keyClick(&window, Qt::Key_F12);
  QTest::keyClick(&window, Qt::Key_VolumeDown);
  const std::vector<std::optional<uint8_t>> expected = {0x32, 0x4C, 0x58, std::nullopt};
  EXPECT_EQ(window.Codes, expected);
}

TEST(ScanCodeOfEvent, OffscreenIgnoresTheNativeCode) {
  const QKeyEvent event(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, 99, 0, 0);
  EXPECT_EQ(ScanCodeOfEvent(event), 0x39);
}

TEST(ReadKeyboardState, OffscreenReportsNothingDown) {
  ASSERT_EQ(QGuiApplication::platformName(), kOffscreen);
  KeyWindow window;
  window.show();
  QTest::keyPress(&window, Qt::Key_A);
  const std::array<bool, 256> down = ReadKeyboardState();
  QTest::keyRelease(&window, Qt::Key_A);
  for (size_t code = 0; code < down.size(); ++code) EXPECT_FALSE(down[code]) << code;
}

class SingleInstanceTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  QString Dir() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
};

TEST_F(SingleInstanceTest, SecondHolderInTheSameProcessIsRefused) {
  QString path;
  {
    SingleInstance first(Dir());
    path = first.LockFilePath();
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(first.Held());
    EXPECT_TRUE(first.Acquire());  // asking again keeps it
    EXPECT_TRUE(QFileInfo::exists(path));

    SingleInstance second(Dir());
    EXPECT_FALSE(second.Acquire());
    EXPECT_FALSE(second.Held());
    EXPECT_FALSE(second.Acquire());  // still held
  }
  EXPECT_FALSE(QFileInfo::exists(path));
  SingleInstance third(Dir());
  EXPECT_TRUE(third.Acquire());
}

TEST_F(SingleInstanceTest, DefaultLockLivesInTheRuntimeDirectory) {
  SingleInstance instance;  // not acquired: a running copy of the program may hold it
  QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (directory.isEmpty()) directory = QDir::tempPath();
  EXPECT_EQ(QFileInfo(instance.LockFilePath()).absoluteFilePath(),
            QFileInfo(directory + QStringLiteral("/VantrelMutex.lock")).absoluteFilePath());
}

#if defined(Q_OS_UNIX)
TEST_F(SingleInstanceTest, UnwritableDirectoryDoesNotStopTheProgram) {
  SingleInstance instance(QStringLiteral("/dev/null/vantrel"));
  EXPECT_TRUE(instance.Acquire());
  EXPECT_FALSE(instance.Held());
}

// Runs `probe` in a forked copy of this process and returns its exit status.
template <typename Probe>
int ExitCodeInChild(Probe probe) {
  const pid_t pid = fork();
  if (pid == 0) _exit(probe());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST_F(SingleInstanceTest, AnotherProcessIsRefusedWhileTheLockIsHeld) {
  SingleInstance first(Dir());
  ASSERT_TRUE(first.Acquire());
  const QString dir = Dir();
  EXPECT_EQ(ExitCodeInChild([&dir] { return SingleInstance(dir).Acquire() ? 1 : 2; }), 2);
}

TEST_F(SingleInstanceTest, LockOfACrashedCopyIsTakenOver) {
  const QString dir = Dir();
  // The child ends without unlocking, as a crash would, leaving the file behind.
  ASSERT_EQ(ExitCodeInChild([&dir] {
              SingleInstance crashed(dir);
              _exit(crashed.Acquire() ? 1 : 2);
              return 0;
            }),
            1);
  SingleInstance next(dir);
  ASSERT_TRUE(QFileInfo::exists(next.LockFilePath()));
  EXPECT_TRUE(next.Acquire());
  EXPECT_TRUE(next.Held());
}
#endif

}  // namespace
}  // namespace vantrel
