#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <atomic>
#include <thread>
#include <vector>

#include "app/SettingsStore.h"
#include "core/Machine.h"
#include "input/TKeyThread.h"
#include "ui/TScreenPanel.h"

namespace vantrel {
namespace {

constexpr BorderSizes kPentagonOnTv = kBuiltInBorderPresets[1].Sizes;

TEST(ScreenPanelFunctions, SizePositionAndErrorText) {
  // Sizes out of range are cut to the native frame, as the renderer cuts them.
  EXPECT_EQ(ScreenClientSize(BorderSizes{-5, 100, 70, -1}, false), QSize(320 + 2, 240 + 2));
  // The limits are right - 40 and bottom - 50; past them the coordinate goes back to 20. A
  // desktop that starts left of the primary monitor keeps negative positions.
  const QRect desktop(0, 0, 1024, 768);
  EXPECT_EQ(FitScreenPanelPosition({984, 718}, desktop), QPoint(984, 718));
  EXPECT_EQ(FitScreenPanelPosition({985, 719}, desktop), QPoint(20, 20));
  EXPECT_EQ(FitScreenPanelPosition({-900, 10}, QRect(-1280, 0, 2304, 1024)), QPoint(-900, 10));
  EXPECT_EQ(FullScreenErrorText({8, QStringLiteral("QScreen::size"), 0x00ABCDEF}),
            "Can not set display mode!\nFunction 'QScreen::size' return result code 00ABCDEFh.");
}

// A machine without an emulation thread, so every Apply runs at once. The picture: border
// red, paper blue, and the first four pixels of the top left paper byte yellow ink.
class ScreenPanelTest : public testing::Test {
 protected:
  void SetUp() override {
    machine->State.BorderColour = 2;
    uint8_t* page = machine->Mem.Bank(5);
    std::fill(page, page + 6144, uint8_t{0});
    std::fill(page + 6144, page + 6912, uint8_t{0x08});  // blue paper
    page[0] = 0xF0;
    page[6144] = 0x0E;  // yellow ink on blue paper
  }
  void MakePanel() {
    panel = std::make_unique<TScreenPanel>(*machine, store, requests);
    QCoreApplication::processEvents();  // the first frame
  }
  QAction* Item(const char* name) {
    auto* action = panel->findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(action, nullptr) << name;
    return action;
  }
  QImage Painted() { return panel->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  void Send(QEvent&& event) { QApplication::sendEvent(panel.get(), &event); }

  std::unique_ptr<Machine> machine = std::make_unique<Machine>(7);
  MemorySettingsStore store;
  KeyRequests requests;
  std::unique_ptr<TScreenPanel> panel;
  const QRgb black = qRgb(0, 0, 0);
  const QRgb red = qRgb(0xBB, 0, 0);
  const QRgb green = qRgb(0, 0xBB, 0);
  const QRgb blue = qRgb(0, 0, 0xBB);
  const QRgb yellow = qRgb(0xBB, 0xBB, 0);
};

TEST_F(ScreenPanelTest, StaysOpenAndRewritesItsCaptionOnlyWhenPageOrShownRateChange) {
  MakePanel();
  panel->show();  // a tool window that refuses to close
  EXPECT_EQ(panel->windowType(), Qt::Tool);
  EXPECT_FALSE(panel->close());
  EXPECT_TRUE(panel->isVisible());
  const auto update = [&](uint32_t fps) {
    panel->setWindowTitle("untouched");
    machine->Timer.FramesPerSecond = fps;
    panel->UpdateScreenCaption();
    return panel->windowTitle();
  };
  panel->SelectScreenPage(ScreenPage::First);
  EXPECT_EQ(update(50), "Screen RAM5 (FPS 50)");
  EXPECT_EQ(update(50), "untouched");
  EXPECT_EQ(update(49), "Screen RAM5 (FPS 49)");
  requests.ShowFps = false;
  EXPECT_EQ(update(49), "Screen RAM5 ");
  EXPECT_EQ(update(25), "untouched");  // a hidden rate's changes do not count
}

TEST_F(ScreenPanelTest, SettingsAreAppliedAtStartAndWrittenBack) {
  ScreenPanelSettings stored;
  stored.ShowFps = false;
  stored.DoubleSize = false;
  stored.GrayPalette = true;
  stored.VideoMode = 2;
  stored.Position = {100, 120};
  stored.FlashFrequency = 3;
  stored.ScreenPage = 2;
  SaveScreenPanelSettings(store, stored);
  MakePanel();
  EXPECT_FALSE(requests.ShowFps);
  EXPECT_EQ(panel->pos(), QPoint(100, 120));
  EXPECT_EQ(machine->Screen.DisplayedBank(), 7);
  EXPECT_EQ(machine->Screen.FlashFrequency(), 3);
  EXPECT_EQ(Painted().pixel(1, 1), qRgb(60, 60, 60));  // red in gray, at normal size
  EXPECT_EQ(panel->size(), ScreenClientSize(machine->Screen.GetBorderSizes(), false));
  EXPECT_EQ(panel->CurrentSettings(), stored);

  panel->SetDoubleSize(true);
  panel->SelectScreenPage(ScreenPage::First);
  panel->move(60, 70);
  requests.ShowFps = true;
  panel.reset();  // saves
  ScreenPanelSettings expected = stored;
  expected.DoubleSize = true;
  expected.ScreenPage = 1;
  expected.Position = {60, 70};
  expected.ShowFps = true;
  EXPECT_EQ(LoadScreenPanelSettings(store), expected);
  // With the window gone the frame has nowhere to go; a sanitizer catches a mailbox left.
  machine->Screen.PresentFrame();
}

TEST_F(ScreenPanelTest, MenuItemsChangeTheRendererAndTheirChecks) {
  MakePanel();
  ASSERT_EQ(panel->ScreenMenu()->objectName(), "ScreenPM");
  requests.ScreenMenuOpen = true;
  Item("AttributesMI")->trigger();
  EXPECT_FALSE(machine->Screen.Attributes());
  EXPECT_FALSE(Item("AttributesMI")->isChecked());
  EXPECT_FALSE(requests.ScreenMenuOpen);

  // Page 7 selected by the machine is remembered while a fixed page is shown.
  machine->Screen.MachinePageSelected(true);
  const std::pair<const char*, int> pages[] = {{"FirstMI", 5}, {"SecondMI", 7}, {"CurentMI", 7}};
  for (const auto& [item, bank] : pages) {
    Item(item)->trigger();
    EXPECT_EQ(machine->Screen.DisplayedBank(), bank) << item;
    for (const auto& other : pages) EXPECT_EQ(Item(other.first)->isChecked(), other.first == item);
  }
  EXPECT_EQ(machine->Screen.GetScreenPage(), ScreenPage::Current);

  // Debug shows the memory at once.
  const uint32_t presented = machine->Screen.PresentedFrames();
  Item("DebugMI")->trigger();
  EXPECT_EQ(machine->Screen.GetRenderingMode(), RenderingMode::Debug);
  EXPECT_EQ(machine->Screen.PresentedFrames(), presented + 1);
  EXPECT_FALSE(Item("RealMI")->isChecked());
  Item("RealMI")->trigger();
  EXPECT_EQ(machine->Screen.GetRenderingMode(), RenderingMode::Real);

  Item("DoubleSizeMI")->trigger();
  EXPECT_FALSE(panel->DoubleSize());
  EXPECT_FALSE(Item("DoubleSizeMI")->isChecked());
  EXPECT_EQ(panel->size(), ScreenClientSize(machine->Screen.GetBorderSizes(), false));
}

TEST_F(ScreenPanelTest, MenuFlagIsSetByOpeningAndClearedByClicksAndActivation) {
  MakePanel();
  Send(QContextMenuEvent(QContextMenuEvent::Mouse, {10, 10}, panel->mapToGlobal(QPoint(10, 10))));
  EXPECT_TRUE(requests.ScreenMenuOpen);
  EXPECT_TRUE(panel->ScreenMenu()->isVisible());
  panel->ScreenMenu()->hide();
  QTest::mouseClick(panel.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
  EXPECT_FALSE(requests.ScreenMenuOpen);
  requests.ScreenMenuOpen = true;
  std::vector<bool> activations;
  panel->FocusHandler = [&](bool active) { activations.push_back(active); };
  Send(QEvent(QEvent::ActivationChange));
  EXPECT_FALSE(requests.ScreenMenuOpen);
  EXPECT_EQ(activations, std::vector<bool>{panel->isActiveWindow()});
}

TEST_F(ScreenPanelTest, DoubleClickClosesTheMenuAndCapturesTheMouseWhileRunningWithItOn) {
  MakePanel();
  const struct {
    bool running, mouse, captured;
  } cases[] = {{false, true, false}, {true, true, true}, {true, false, false}};
  for (const auto& c : cases) {
    panel->MachineRunning = [&] { return c.running; };
    machine->Mouse.Enabled = c.mouse;
    requests.MouseCaptureRequested = false;
    requests.ScreenMenuOpen = true;
    QTest::mouseDClick(panel.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(requests.MouseCaptureRequested.load(), c.captured) << c.running << c.mouse;
    EXPECT_FALSE(requests.ScreenMenuOpen);
  }
}

TEST_F(ScreenPanelTest, KeysReachTheHandlerWithoutAutoRepeatAndTabAndShortcutsStay) {
  MakePanel();
  std::vector<std::pair<uint8_t, bool>> keys;
  panel->KeyHandler = [&](uint8_t code, bool pressed) { keys.emplace_back(code, pressed); };
  // X11 key codes are the evdev codes + 8: MINUS is evdev 12 and Tab 15, as in set 1.
  const auto send = [&](QEvent::Type type, Qt::Key key, quint32 evdev, bool repeat) {
    Send(QKeyEvent(type, key, Qt::NoModifier, evdev + 8, 0, 0, QString(), repeat));
  };
  send(QEvent::KeyPress, Qt::Key_Minus, 12, false);
  send(QEvent::KeyPress, Qt::Key_Minus, 12, true);
  send(QEvent::KeyRelease, Qt::Key_Minus, 12, true);
  send(QEvent::KeyRelease, Qt::Key_Minus, 12, false);
  send(QEvent::KeyPress, Qt::Key_Tab, 15, false);  // would otherwise move the focus
  using Key = std::pair<uint8_t, bool>;
  EXPECT_EQ(keys, (std::vector<Key>{{0x0C, true}, {0x0C, false}, {0x0F, true}}));
  QKeyEvent shortcut(QEvent::ShortcutOverride, Qt::Key_Q, Qt::ControlModifier);
  shortcut.ignore();
  QApplication::sendEvent(panel.get(), &shortcut);
  EXPECT_TRUE(shortcut.isAccepted());
}

TEST_F(ScreenPanelTest, PictureIsTheVisibleCutInsideTheBevelEachPixelDoubledOrNot) {
  MakePanel();
  panel->SetBorderSizes(kPentagonOnTv);
  EXPECT_EQ(machine->Screen.GetBorderSizes(), kPentagonOnTv);
  EXPECT_EQ(panel->minimumSize(), panel->maximumSize());  // the user cannot resize it
  for (const int scale : {2, 1}) {
    SCOPED_TRACE(scale);
    panel->SetDoubleSize(scale == 2);
    const QImage image = Painted();
    // 40 + 36 + 256 by 46 + 26 + 192, doubled or not, inside the bevel.
    ASSERT_EQ(image.size(), QSize(332 * scale + 2, 264 * scale + 2));
    // Paper starts 40 right and 46 down of the cut's corner; the bevel is not picture.
    // `d` picks the last copy of a doubled pixel.
    const auto at = [&](int x, int y, int d = 0) {
      return image.pixel(1 + x * scale + d, 1 + y * scale + d);
    };
    EXPECT_NE(image.pixel(0, 0), red);
    EXPECT_EQ(at(0, 0), red);
    EXPECT_EQ(at(331, 263, scale - 1), red);
    EXPECT_EQ(at(39, 46), red);
    EXPECT_EQ(at(40, 45, scale - 1), red);
    EXPECT_EQ(at(40, 46), yellow);
    EXPECT_EQ(at(43, 46, scale - 1), yellow);
    EXPECT_EQ(at(44, 46), blue);
    EXPECT_EQ(at(40 + 255, 46 + 191, scale - 1), blue);
    EXPECT_EQ(at(40 + 256, 46 + 191), red);
  }
}

// Frames from another thread, as the emulation thread presents them: every repaint shows
// one whole frame, never the border of one and the corner of another.
TEST_F(ScreenPanelTest, FramesFromAnotherThreadArePaintedWhole) {
  MakePanel();
  panel->SetDoubleSize(false);
  machine->State.BorderColour = 4;
  machine->Screen.RedrawAll();
  machine->Screen.PresentFrame();
  EXPECT_EQ(Painted().pixel(1, 1), red);  // shown until the window thread takes the next
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (int i = 0; i < 300; ++i) {
      machine->State.BorderColour = (i & 1) ? 4 : 2;
      machine->Screen.RedrawAll();
      machine->Screen.PresentFrame();
    }
    done = true;
  });
  int checked = 0;
  while (!done || checked == 0) {
    QCoreApplication::processEvents();
    const QImage image = Painted();
    const QRgb corner = image.pixel(1, 1);
    EXPECT_TRUE(corner == red || corner == green);
    EXPECT_EQ(image.pixel(image.width() - 2, image.height() - 2), corner);
    ++checked;
  }
  producer.join();
  QCoreApplication::processEvents();
  EXPECT_EQ(Painted().pixel(1, 1), green);  // the last frame
}

// On the offscreen platform's monitor (800 x 600 unless configured): mode 0 fits, shows
// its picture centred and comes back; mode 2 (1024 x 768) does not fit. The picture itself
// is the composer's.
TEST_F(ScreenPanelTest, FullScreenShowsTheModesCutOrFailsAndStaysAWindow) {
  MakePanel();
  panel->SetBorderSizes(kPentagonOnTv);
  panel->show();
  const QSize monitor = panel->screen()->size();
  if (monitor.width() < 640 || monitor.height() < 480 || monitor.width() >= 1024) {
    GTEST_SKIP() << "monitor size " << monitor.width() << "x" << monitor.height();
  }
  panel->move(30, 40);
  const QSize windowed = panel->size();
  ScreenPanelSettings settings = panel->CurrentSettings();
  settings.VideoMode = 0;
  panel->ApplySettings(settings);
  ASSERT_FALSE(panel->EnterFullScreen().has_value());
  EXPECT_TRUE(panel->FullScreenActive());
  QCoreApplication::processEvents();
  const QRect target = panel->FullScreenTarget();
  const int factor = target.width() / 640;
  EXPECT_EQ(target.size(), QSize(640, 480) * factor);
  EXPECT_EQ(target.center(), panel->rect().center());
  const QImage image = Painted();  // black around, the border's red inside
  EXPECT_EQ(image.pixel(target.topLeft()), red);
  EXPECT_TRUE(target.left() == 0 || image.pixel(target.left() - 1, target.top()) == black);
  panel->LeaveFullScreen();
  EXPECT_FALSE(panel->FullScreenActive());
  EXPECT_EQ(panel->size(), windowed);
  EXPECT_EQ(panel->windowType(), Qt::Tool);

  settings.VideoMode = 2;
  panel->ApplySettings(settings);
  const auto error = panel->EnterFullScreen();
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->Code, 8);
  EXPECT_EQ(error->Result, (static_cast<uint32_t>(monitor.width()) << 16) |
                               static_cast<uint32_t>(monitor.height()));
  EXPECT_FALSE(panel->FullScreenActive());
  EXPECT_EQ(panel->size(), windowed);
}

}  // namespace
}  // namespace vantrel
