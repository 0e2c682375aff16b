#include <string>
#include <tuple>
#include <utility>

#include "platform/QtKeyboard.h"
#include "platform/SingleInstance.h"
#include "ui/UiTest.h"

#if defined(Q_OS_UNIX)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vantrel {
namespace {

const QString kX11 = QStringLiteral("xcb");
const QString kWindows = QStringLiteral("windows");
const std::optional<uint8_t> kNo;
constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;
using enum Qt::Key;

TEST(Set1ScanCode, X11AndWaylandGoByTheEvdevCodeAlone) {
  // X reports evdev + 8. 84 is a hole in both numberings, line feed (101) has no set-1
  // code, and codes below 8 are no keys; the Qt key is not consulted for any of them.
  const std::pair<quint32, std::optional<uint8_t>> cases[] = {
      {1 + 8, 0x01},   {12 + 8, 0x0C},  {57 + 8, 0x39},   {88 + 8, 0x58},
      {119 + 8, 0xC5}, {117 + 8, 0x8D}, {84 + 8, kNo},    {101 + 8, kNo},
      {247 + 8, kNo},  {7, kNo},        {0xFFFFFFFF, kNo}};
  for (const auto& [native, code] : cases)
    EXPECT_EQ(Set1ScanCode(native, Key_A, kNone, kX11), code);
  // The 0xE0-prefixed keys, the same on Windows with its extended bit.
  const std::pair<quint32, uint8_t> extended[] = {
      {96, 0x9C},  {97, 0x9D},  {98, 0xB5},  {99, 0xB7},  {100, 0xB8}, {102, 0xC7},
      {103, 0xC8}, {104, 0xC9}, {105, 0xCB}, {106, 0xCD}, {107, 0xCF}, {108, 0xD0},
      {109, 0xD1}, {110, 0xD2}, {111, 0xD3}, {125, 0xDB}, {126, 0xDC}, {127, 0xDD}};
  for (const auto& [evdev, code] : extended) {
    EXPECT_EQ(Set1ScanCode(evdev + 8, Key_unknown, kNone, kX11), code) << evdev;
    EXPECT_EQ(Set1ScanCode(0x100 | (code & 0x7F), Key_unknown, kNone, kWindows), code);
  }
  EXPECT_EQ(Set1ScanCode(54 + 8, Key_Shift, kNone, QStringLiteral("wayland")), 0x36);
  EXPECT_EQ(Set1ScanCode(0, Key_K, kNone, kX11), 0x25);  // no native code: the Qt key
}

TEST(Set1ScanCode, WindowsUntanglesTheExtendedBitPauseAndNumLock) {
  // Keypad 8 and Up share the make code; Pause and Num Lock come swapped; Ctrl+Pause is
  // E0 46; a break code is no key; SendInput with a virtual key only leaves the code 0.
  const std::tuple<quint32, int, std::optional<uint8_t>> cases[] = {
      {0x1E, Key_A, 0x1E},       {0x11D, Key_Control, 0x9D},
      {0x48, Key_Up, 0x48},      {0x148, Key_Up, 0xC8},
      {0x45, Key_Pause, 0xC5},   {0x145, Key_NumLock, 0x45},
      {0x45, Key_unknown, 0xC5}, {0x145, Key_unknown, 0x45},
      {0x146, Key_Cancel, 0xC5}, {0x46, Key_ScrollLock, 0x46},
      {0x9E, Key_A, kNo},        {0x100, Key_A, kNo},
      {0, Key_A, 0x1E}};
  for (const auto& [native, key, code] : cases) {
    EXPECT_EQ(Set1ScanCode(native, key, kNone, kWindows), code) << native;
  }
}

TEST(Set1ScanCode, WithoutANativeCodeTheQtKeyDecides) {
  const auto fromKey = [](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    return Set1ScanCode(0, key, modifiers, QStringLiteral("offscreen"));
  };
  // Shifted symbols sit on their US keys.
  const std::pair<int, std::optional<uint8_t>> keys[] = {
      {Key_Escape, 0x01},  {Key_0, 0x0B},     {Key_Minus, 0x0C},  {Key_Tab, 0x0F},
      {Key_Return, 0x1C},  {Key_Space, 0x39}, {Key_F10, 0x44},    {Key_F11, 0x57},
      {Key_Enter, 0x9C},   {Key_Up, 0xC8},    {Key_Delete, 0xD3}, {Key_Question, 0x35},
      {Key_VolumeUp, kNo}, {0, kNo}};
  for (const auto& [key, code] : keys) EXPECT_EQ(fromKey(key), code) << key;
  // The keypad, also with Num Lock off; Shift does not matter, and without the keypad
  // flag the digit is the main block's.
  const std::pair<int, uint8_t> keypad[] = {
      {Key_7, 0x47}, {Key_Minus, 0x4A}, {Key_Slash, 0xB5}, {Key_Up, 0x48}, {Key_Delete, 0x53}};
  for (const auto& [key, code] : keypad) EXPECT_EQ(fromKey(key, Qt::KeypadModifier), code) << key;
  EXPECT_EQ(fromKey(Key_7, Qt::KeypadModifier | Qt::ShiftModifier), 0x47);
  EXPECT_EQ(fromKey(Key_7, Qt::ControlModifier), 0x08);
  // Letters and digits follow the keyboard rows, one code per key.
  const std::pair<std::string, uint8_t> rows[] = {
      {"1234567890", 0x02}, {"QWERTYUIOP", 0x10}, {"ASDFGHJKL", 0x1E}, {"ZXCVBNM", 0x2C}};
  for (const auto& [row, first] : rows) {
    for (size_t i = 0; i < row.size(); ++i) EXPECT_EQ(fromKey(row[i]), first + i) << row[i];
  }
}

#if defined(Q_OS_UNIX)
// Runs `probe` in a forked copy of this process and returns its exit status.
template <typename Probe>
int ExitCodeInChild(Probe probe) {
  const pid_t pid = fork();
  if (pid == 0) _exit(probe());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(SingleInstanceTest, OneHolderAtATimeInAnyProcessAndACrashedCopysLockIsTakenOver) {
  QTemporaryDir temp;
  const QString dir = temp.path();
  {
    SingleInstance first(dir), second(dir);
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(first.Acquire());  // asking again keeps it
    EXPECT_FALSE(second.Acquire() || second.Held());
    EXPECT_EQ(ExitCodeInChild([&dir] { return SingleInstance(dir).Acquire() ? 1 : 2; }), 2);
  }
  EXPECT_FALSE(QFileInfo::exists(SingleInstance(dir).LockFilePath()));
  // The child ends without unlocking, as a crash would, leaving the file behind.
  ASSERT_EQ(ExitCodeInChild([&dir] {
              SingleInstance crashed(dir);
              _exit(crashed.Acquire() ? 1 : 2);
              return 0;
            }),
            1);
  SingleInstance next(dir);
  ASSERT_TRUE(QFileInfo::exists(next.LockFilePath()));
  EXPECT_TRUE(next.Acquire() && next.Held());

  // A directory that cannot be written does not stop the program.
  SingleInstance nowhere(QStringLiteral("/dev/null/vantrel"));
  EXPECT_TRUE(nowhere.Acquire() && !nowhere.Held());
}
#endif

}  // namespace
}  // namespace vantrel
