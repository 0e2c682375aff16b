#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>
#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "core/Machine.h"
#include "input/TKeyThread.h"
#include "ui/TScreenPanel.h"

namespace vantrel {
namespace {

constexpr BorderSizes kPentagonOnTv = kBuiltInBorderPresets[1].Sizes;

TEST(ScreenCaption, NamesTheFixedPageAndTheFrameRate) {
  EXPECT_EQ(ScreenCaption(ScreenPage::First, true, 50), "Screen RAM5 (FPS 50)");
  EXPECT_EQ(ScreenCaption(ScreenPage::Second, true, 0), "Screen RAM7 (FPS 0)");
  EXPECT_EQ(ScreenCaption(ScreenPage::Current, true, 1234), "Screen (FPS 1234)");
  // The spaces stay where they are when the later parts are missing.
  EXPECT_EQ(ScreenCaption(ScreenPage::Current, false, 50), "Screen ");
  EXPECT_EQ(ScreenCaption(ScreenPage::Second, false, 50), "Screen RAM7 ");
}

TEST(ScreenClientSize, VisiblePictureTimesScalePlusBevel) {
  EXPECT_EQ(ScreenClientSize(BorderSizes{}, false), QSize(384 + 2, 288 + 2));
  EXPECT_EQ(ScreenClientSize(BorderSizes{0, 0, 0, 0}, true), QSize(512 + 2, 384 + 2));
  // Sizes out of range are cut to the native frame, as the renderer cuts them.
  EXPECT_EQ(ScreenClientSize(BorderSizes{-5, 100, 70, -1}, false), QSize(320 + 2, 240 + 2));
}

TEST(FitScreenPanelPosition, PullsBackWindowsLeftOffTheDesktop) {
  const QRect desktop(0, 0, 1024, 768);
  EXPECT_EQ(FitScreenPanelPosition({100, 200}, desktop), QPoint(100, 200));
  // The limits themselves are still reachable: right - 40 and bottom - 50.
  EXPECT_EQ(FitScreenPanelPosition({984, 718}, desktop), QPoint(984, 718));
  EXPECT_EQ(FitScreenPanelPosition({985, 718}, desktop), QPoint(20, 718));
  EXPECT_EQ(FitScreenPanelPosition({984, 719}, desktop), QPoint(984, 20));
  EXPECT_EQ(FitScreenPanelPosition({5000, 5000}, desktop), QPoint(20, 20));
  // A desktop that starts left of the primary monitor keeps negative positions.
  EXPECT_EQ(FitScreenPanelPosition({-900, 10}, QRect(-1280, 0, 2304, 1024)), QPoint(-900, 10));
}

// A machine without an emulation thread, so every Apply runs at once.
class ScreenPanelTest : public testing::Test {
 protected:
  std::unique_ptr<TScreenPanel> MakePanel() {
    auto panel = std::make_unique<TScreenPanel>(*machine, store, requests);
    QCoreApplication::processEvents();  // the first frame
    return panel;
  }

  QAction* Item(TScreenPanel& panel, const char* name) {
    auto* action = panel.findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(action, nullptr) << name;
    return action;
  }

  std::unique_ptr<Machine> machine = std::make_unique<Machine>(7);
  MemorySettingsStore store;
  KeyRequests requests;
};

TEST_F(ScreenPanelTest, IsAToolWindowThatRefusesToClose) {
  auto panel = MakePanel();
  EXPECT_TRUE(panel->isWindow());
  EXPECT_EQ(panel->windowType(), Qt::Tool);
  EXPECT_FALSE(panel->windowFlags() & Qt::WindowCloseButtonHint);
  panel->show();
  EXPECT_FALSE(panel->close());
  EXPECT_TRUE(panel->isVisible());
  panel->hide();
}

TEST_F(ScreenPanelTest, CaptionFollowsPageAndFrameRateOnlyWhenTheyChange) {
  auto panel = MakePanel();
  machine->Timer.FramesPerSecond = 50;
  panel->UpdateScreenCaption();
  EXPECT_EQ(panel->windowTitle(), "Screen (FPS 50)");
  panel->SelectScreenPage(ScreenPage::First);
  panel->UpdateScreenCaption();
  EXPECT_EQ(panel->windowTitle(), "Screen RAM5 (FPS 50)");

  // Nothing changed: the caption is left alone.
  panel->setWindowTitle("untouched");
  panel->UpdateScreenCaption();
  EXPECT_EQ(panel->windowTitle(), "untouched");

  machine->Timer.FramesPerSecond = 49;
  panel->UpdateScreenCaption();
  EXPECT_EQ(panel->windowTitle(), "Screen RAM5 (FPS 49)");

  requests.ShowFps = false;
  panel->UpdateScreenCaption();
  EXPECT_EQ(panel->windowTitle(), "Screen RAM5 ");
  // While the rate is hidden, its changes are no reason to rewrite the caption.
  panel->setWindowTitle("untouched");
  machine->Timer.FramesPerSecond = 25;
  panel->UpdateScreenCaption();
  EXPECT_EQ(panel->windowTitle(), "untouched");
}

TEST_F(ScreenPanelTest, SizeFollowsBorderSizesAndDoubleSize) {
  auto panel = MakePanel();
  // 40 + 36 + 256 by 46 + 26 + 192, doubled or not, with the bevel.
  EXPECT_TRUE(panel->DoubleSize());  // the default
  panel->SetBorderSizes(kPentagonOnTv);
  EXPECT_EQ(machine->Screen.GetBorderSizes(), kPentagonOnTv);
  EXPECT_EQ(panel->size(), QSize(666, 530));
  panel->SetDoubleSize(false);
  EXPECT_EQ(panel->size(), QSize(334, 266));
  // The user cannot drag it to another size.
  EXPECT_EQ(panel->minimumSize(), panel->maximumSize());
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

  auto panel = MakePanel();
  EXPECT_FALSE(requests.ShowFps);
  EXPECT_FALSE(panel->DoubleSize());
  EXPECT_EQ(panel->pos(), QPoint(100, 120));
  EXPECT_EQ(machine->Screen.GetScreenPage(), ScreenPage::Second);
  EXPECT_EQ(machine->Screen.DisplayedBank(), 7);
  EXPECT_EQ(machine->Screen.FlashFrequency(), 3);
  EXPECT_TRUE(machine->Screen.GrayPalette());
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
}

TEST_F(ScreenPanelTest, ThePresenterIsRemovedWithTheWindow) {
  auto panel = MakePanel();
  panel.reset();
  // With the window gone, the frame has nowhere to go; the sanitizer would catch a
  // mailbox left behind.
  machine->Screen.PresentFrame();
  SUCCEED();
}

TEST_F(ScreenPanelTest, PopUpMenuHasTheItemsInOrder) {
  auto panel = MakePanel();
  QMenu* menu = panel->ScreenMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->objectName(), "ScreenPM");
  std::vector<QString> texts;
  for (QAction* action : menu->actions()) texts.push_back(action->text());
  EXPECT_EQ(texts, (std::vector<QString>{"&Double Size", "&Attributes", "Video Page", "Rendering",
                                         "Save Screenshot..."}));
  EXPECT_EQ(Item(*panel, "CurentMI")->text(), "Curent");
  EXPECT_EQ(Item(*panel, "FirstMI")->text(), "First");
  EXPECT_EQ(Item(*panel, "SecondMI")->text(), "Second");
  EXPECT_EQ(Item(*panel, "RealMI")->text(), "Real (multicolor)");
  EXPECT_EQ(Item(*panel, "DebugMI")->text(), "Debug (memory)");

  // Starting state: double size, attributes on, current page, real rendering.
  EXPECT_TRUE(Item(*panel, "DoubleSizeMI")->isChecked());
  EXPECT_TRUE(Item(*panel, "AttributesMI")->isChecked());
  EXPECT_TRUE(Item(*panel, "CurentMI")->isChecked());
  EXPECT_TRUE(Item(*panel, "RealMI")->isChecked());
  EXPECT_FALSE(Item(*panel, "DebugMI")->isChecked());
}

TEST_F(ScreenPanelTest, MenuItemsChangeTheRendererAndTheirChecks) {
  auto panel = MakePanel();
  requests.ScreenMenuOpen = true;
  Item(*panel, "AttributesMI")->trigger();
  EXPECT_FALSE(machine->Screen.Attributes());
  EXPECT_FALSE(Item(*panel, "AttributesMI")->isChecked());
  EXPECT_FALSE(requests.ScreenMenuOpen);
  Item(*panel, "AttributesMI")->trigger();
  EXPECT_TRUE(machine->Screen.Attributes());

  // Page 7 selected by the machine is remembered while a fixed page is shown.
  machine->Screen.MachinePageSelected(true);
  Item(*panel, "FirstMI")->trigger();
  EXPECT_EQ(machine->Screen.GetScreenPage(), ScreenPage::First);
  EXPECT_EQ(machine->Screen.DisplayedBank(), 5);
  EXPECT_TRUE(Item(*panel, "FirstMI")->isChecked());
  EXPECT_FALSE(Item(*panel, "CurentMI")->isChecked());
  Item(*panel, "SecondMI")->trigger();
  EXPECT_EQ(machine->Screen.DisplayedBank(), 7);
  EXPECT_TRUE(Item(*panel, "SecondMI")->isChecked());
  Item(*panel, "CurentMI")->trigger();
  EXPECT_EQ(machine->Screen.GetScreenPage(), ScreenPage::Current);
  EXPECT_EQ(machine->Screen.DisplayedBank(), 7);
  EXPECT_TRUE(Item(*panel, "CurentMI")->isChecked());

  // Debug shows the memory at once.
  const uint32_t presented = machine->Screen.PresentedFrames();
  Item(*panel, "DebugMI")->trigger();
  EXPECT_EQ(machine->Screen.GetRenderingMode(), RenderingMode::Debug);
  EXPECT_EQ(machine->Screen.PresentedFrames(), presented + 1);
  EXPECT_TRUE(Item(*panel, "DebugMI")->isChecked());
  EXPECT_FALSE(Item(*panel, "RealMI")->isChecked());
  Item(*panel, "RealMI")->trigger();
  EXPECT_EQ(machine->Screen.GetRenderingMode(), RenderingMode::Real);
  EXPECT_TRUE(Item(*panel, "RealMI")->isChecked());

  requests.ScreenMenuOpen = true;
  Item(*panel, "DoubleSizeMI")->trigger();
  EXPECT_FALSE(panel->DoubleSize());
  EXPECT_FALSE(Item(*panel, "DoubleSizeMI")->isChecked());
  EXPECT_EQ(panel->size(), ScreenClientSize(machine->Screen.GetBorderSizes(), false));
  EXPECT_FALSE(requests.ScreenMenuOpen);
}

TEST_F(ScreenPanelTest, MenuFlagIsSetByOpeningAndClearedByClicksAndActivation) {
  auto panel = MakePanel();
  QContextMenuEvent open(QContextMenuEvent::Mouse, QPoint(10, 10),
                         panel->mapToGlobal(QPoint(10, 10)));
  QApplication::sendEvent(panel.get(), &open);
  EXPECT_TRUE(requests.ScreenMenuOpen);
  EXPECT_TRUE(panel->ScreenMenu()->isVisible());
  panel->ScreenMenu()->hide();

  QTest::mouseClick(panel.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
  EXPECT_FALSE(requests.ScreenMenuOpen);

  requests.ScreenMenuOpen = true;
  QTest::mouseDClick(panel.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
  EXPECT_FALSE(requests.ScreenMenuOpen);

  requests.ScreenMenuOpen = true;
  std::vector<bool> activations;
  panel->FocusHandler = [&](bool active) { activations.push_back(active); };
  QEvent change(QEvent::ActivationChange);
  QApplication::sendEvent(panel.get(), &change);
  EXPECT_FALSE(requests.ScreenMenuOpen);
  EXPECT_EQ(activations, std::vector<bool>{panel->isActiveWindow()});
}

TEST_F(ScreenPanelTest, DoubleClickCapturesTheMouseOnlyWhileRunningWithTheMouseOn) {
  auto panel = MakePanel();
  bool running = false;
  panel->MachineRunning = [&] { return running; };
  const auto doubleClick = [&] {
    requests.MouseCaptureRequested = false;
    QTest::mouseDClick(panel.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    return requests.MouseCaptureRequested.load();
  };
  machine->Mouse.Enabled = true;
  EXPECT_FALSE(doubleClick());
  running = true;
  EXPECT_TRUE(doubleClick());
  machine->Mouse.Enabled = false;
  EXPECT_FALSE(doubleClick());
}

class ScreenPanelKeys : public ScreenPanelTest {
 protected:
  void SetUp() override {
    panel = MakePanel();
    panel->KeyHandler = [this](uint8_t code, bool pressed) { keys.emplace_back(code, pressed); };
  }
  // X11 key codes are the evdev codes + 8; MINUS is evdev 12, set-1 0x0C.
  void Send(QEvent::Type type, Qt::Key key, quint32 nativeScanCode, bool autoRepeat = false) {
    QKeyEvent event(type, key, Qt::NoModifier, nativeScanCode, 0, 0, QString(), autoRepeat);
    QApplication::sendEvent(panel.get(), &event);
  }

  std::unique_ptr<TScreenPanel> panel;
  std::vector<std::pair<uint8_t, bool>> keys;
};

TEST_F(ScreenPanelKeys, PressAndReleaseReachTheHandlerWithTheirScanCode) {
  Send(QEvent::KeyPress, Qt::Key_Minus, 0x0C + 8);
  Send(QEvent::KeyRelease, Qt::Key_Minus, 0x0C + 8);
  using Key = std::pair<uint8_t, bool>;
  EXPECT_EQ(keys, (std::vector<Key>{{0x0C, true}, {0x0C, false}}));
}

TEST_F(ScreenPanelKeys, HostAutoRepeatIsDropped) {
  Send(QEvent::KeyPress, Qt::Key_Minus, 0x0C + 8);
  Send(QEvent::KeyPress, Qt::Key_Minus, 0x0C + 8, true);
  Send(QEvent::KeyRelease, Qt::Key_Minus, 0x0C + 8, true);
  EXPECT_EQ(keys.size(), 1u);
}

TEST_F(ScreenPanelKeys, TabAndShortcutsStayWithTheEmulator) {
  // Tab would move the focus; here it is a key like any other (set-1 0x0F).
  Send(QEvent::KeyPress, Qt::Key_Tab, 0x0F + 8);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].first, 0x0F);

  QKeyEvent shortcut(QEvent::ShortcutOverride, Qt::Key_Q, Qt::ControlModifier);
  shortcut.ignore();
  QApplication::sendEvent(panel.get(), &shortcut);
  EXPECT_TRUE(shortcut.isAccepted());
}

// The picture as painted: border red, paper blue, and the first four pixels of the top
// left paper byte yellow ink.
class ScreenPanelPicture : public ScreenPanelTest {
 protected:
  void SetUp() override {
    machine->State.BorderColour = 2;
    uint8_t* page = machine->Mem.Bank(5);
    std::fill(page, page + 6144, uint8_t{0});
    std::fill(page + 6144, page + 6912, uint8_t{0x08});  // blue paper
    page[0] = 0xF0;
    page[6144] = 0x0E;  // yellow ink on blue paper
    panel = MakePanel();
    panel->SetBorderSizes(kPentagonOnTv);
  }

  QImage Painted() { return panel->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  std::unique_ptr<TScreenPanel> panel;
  const QRgb red = qRgb(0xBB, 0, 0);
  const QRgb blue = qRgb(0, 0, 0xBB);
  const QRgb yellow = qRgb(0xBB, 0xBB, 0);
};

TEST_F(ScreenPanelPicture, NormalSizeShowsTheVisibleCutInsideTheBevel) {
  panel->SetDoubleSize(false);
  const QImage image = Painted();
  ASSERT_EQ(image.size(), QSize(334, 266));
  EXPECT_EQ(image.pixel(1, 1), red);
  EXPECT_EQ(image.pixel(332, 264), red);
  // Paper starts 40 right and 46 down of the cut's corner.
  EXPECT_EQ(image.pixel(1 + 39, 1 + 46), red);
  EXPECT_EQ(image.pixel(1 + 40, 1 + 46), yellow);
  EXPECT_EQ(image.pixel(1 + 43, 1 + 46), yellow);
  EXPECT_EQ(image.pixel(1 + 44, 1 + 46), blue);
  EXPECT_EQ(image.pixel(1 + 40 + 255, 1 + 46 + 191), blue);
  EXPECT_EQ(image.pixel(1 + 40 + 256, 1 + 46 + 191), red);
  // The bevel is not picture.
  EXPECT_NE(image.pixel(0, 0), red);
}

TEST_F(ScreenPanelPicture, DoubleSizeDoublesEveryPixelWithoutBlending) {
  const QImage image = Painted();
  ASSERT_EQ(image.size(), QSize(666, 530));
  const int x = 1 + 80;
  const int y = 1 + 92;
  EXPECT_EQ(image.pixel(x - 1, y), red);
  EXPECT_EQ(image.pixel(x, y - 1), red);
  for (int dy = 0; dy < 2; ++dy) {
    EXPECT_EQ(image.pixel(x, y + dy), yellow);
    EXPECT_EQ(image.pixel(x + 7, y + dy), yellow);
    EXPECT_EQ(image.pixel(x + 8, y + dy), blue);
  }
  EXPECT_EQ(image.pixel(x + 511, y + 383), blue);
  EXPECT_EQ(image.pixel(x + 512, y + 383), red);
  EXPECT_EQ(image.pixel(664, 528), red);
}

TEST_F(ScreenPanelPicture, ANewFrameReplacesTheShownOne) {
  machine->State.BorderColour = 4;
  machine->Screen.RedrawAll();
  machine->Screen.PresentFrame();
  // Until the window thread takes it, the old frame is still what is shown.
  EXPECT_EQ(Painted().pixel(1, 1), red);
  QCoreApplication::processEvents();
  EXPECT_EQ(Painted().pixel(1, 1), qRgb(0, 0xBB, 0));
}

// Frames from another thread, as the emulation thread presents them: every repaint shows
// one whole frame, never the border of one and the corner of another.
TEST_F(ScreenPanelPicture, FramesFromAnotherThreadArePaintedWhole) {
  panel->SetDoubleSize(false);
  const QRgb green = qRgb(0, 0xBB, 0);
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
    EXPECT_EQ(image.pixel(332, 264), corner);
    ++checked;
  }
  producer.join();
  QCoreApplication::processEvents();
  EXPECT_EQ(Painted().pixel(1, 1), green);  // the last frame
}

TEST_F(ScreenPanelPicture, GrayPaletteIsPaintedInGray) {
  ScreenPanelSettings settings = panel->CurrentSettings();
  settings.GrayPalette = true;
  panel->ApplySettings(settings);
  QCoreApplication::processEvents();
  EXPECT_EQ(Painted().pixel(1, 1), qRgb(60, 60, 60));  // red in gray
}

TEST(FullScreenErrorText, NamesTheStepTheFunctionAndTheResult) {
  EXPECT_EQ(FullScreenErrorText({8, QStringLiteral("QScreen::size"), 0x03200258}),
            "Can not set display mode!\nFunction 'QScreen::size' return result code 03200258h.");
  EXPECT_EQ(FullScreenErrorText({1, QStringLiteral("QGuiApplication::primaryScreen"), 0xABCDEF}),
            "Can not create DirectDraw object!\nFunction 'QGuiApplication::primaryScreen' "
            "return result code 00ABCDEFh.");
}

// Full screen on the offscreen platform's monitor (800 x 600 unless configured).
class ScreenPanelFullScreen : public ScreenPanelPicture {
 protected:
  void Mode(uint8_t mode, bool direct, bool interlaced) {
    ScreenPanelSettings settings = panel->CurrentSettings();
    settings.VideoMode = mode;
    settings.DirectMemory = direct;
    settings.Interlaced = interlaced;
    panel->ApplySettings(settings);
  }
  QSize Monitor() const { return panel->screen()->size(); }
};

TEST_F(ScreenPanelFullScreen, Mode0ShowsTheFixedCutCentredAndComesBack) {
  panel->show();
  panel->move(30, 40);
  const QSize windowed = panel->size();
  if (Monitor().width() < 640 || Monitor().height() < 480) GTEST_SKIP() << "monitor too small";
  Mode(0, true, false);
  ASSERT_FALSE(panel->EnterFullScreen().has_value());
  EXPECT_TRUE(panel->FullScreenActive());
  QCoreApplication::processEvents();
  const QRect target = panel->FullScreenTarget();
  const int factor = target.width() / 640;
  ASSERT_GE(factor, 1);
  EXPECT_EQ(target.size(), QSize(640 * factor, 480 * factor));
  EXPECT_EQ(target.center(), panel->rect().center());
  const QImage image = Painted();
  // Around the picture: black. Inside: 32 border pixels, then the paper, each pixel 2 x 2.
  if (target.left() > 0) {
    EXPECT_EQ(image.pixel(target.left() - 1, target.top()), qRgb(0, 0, 0));
  }
  const auto at = [&](int x, int y) {
    return image.pixel(target.left() + x * factor, target.top() + y * factor);
  };
  EXPECT_EQ(at(0, 0), red);
  EXPECT_EQ(at(63, 48), red);
  EXPECT_EQ(at(64, 48), yellow);
  EXPECT_EQ(at(64, 49), yellow);
  EXPECT_EQ(at(71, 48), yellow);
  EXPECT_EQ(at(72, 48), blue);
  EXPECT_EQ(at(639, 479), red);

  panel->LeaveFullScreen();
  EXPECT_FALSE(panel->FullScreenActive());
  EXPECT_EQ(panel->size(), windowed);
  EXPECT_EQ(panel->windowType(), Qt::Tool);
}

TEST_F(ScreenPanelFullScreen, InterlacedLeavesEveryOtherLineBlack) {
  panel->show();
  if (Monitor().width() < 800 || Monitor().height() < 600) GTEST_SKIP() << "monitor too small";
  Mode(1, true, true);
  ASSERT_FALSE(panel->EnterFullScreen().has_value());
  QCoreApplication::processEvents();
  const QRect target = panel->FullScreenTarget();
  const int factor = target.width() / 800;
  const QImage image = Painted();
  const auto at = [&](int x, int y) {
    return image.pixel(target.left() + x * factor, target.top() + y * factor);
  };
  // The picture starts at line 13, column 16; odd lines after it stay black.
  EXPECT_EQ(at(15, 13), qRgb(0, 0, 0));
  EXPECT_EQ(at(16, 12), qRgb(0, 0, 0));
  EXPECT_EQ(at(16, 13), red);
  EXPECT_EQ(at(16, 14), qRgb(0, 0, 0));
  EXPECT_EQ(at(16, 15), red);
  panel->LeaveFullScreen();
}

TEST_F(ScreenPanelFullScreen, AModeLargerThanTheMonitorFailsAndStaysAWindow) {
  panel->show();
  const QSize monitor = Monitor();
  if (monitor.width() >= 1024 && monitor.height() >= 768) GTEST_SKIP() << "monitor large enough";
  const QSize windowed = panel->size();
  Mode(2, true, true);
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
