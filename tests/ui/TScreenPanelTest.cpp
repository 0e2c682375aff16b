#include <QPaintEvent>
#include <QScreen>
#include <atomic>
#include <functional>
#include <thread>
#include <tuple>

#include "app/SettingsStore.h"
#include "app/TKeyThread.h"
#include "machine/Machine.h"
#include "platform/PictureSurface.h"
#include "ui/TScreenPanel.h"
#include "ui/UiTest.h"
#include "ui/WindowPicture.h"

namespace vantrel {
namespace {

constexpr BorderSizes kPentagonOnTv = kBuiltInBorderPresets[1].Sizes;

// A machine without an emulation thread, so every Apply runs at once. The picture: border
// red, paper blue, and the first four pixels of the top left paper byte yellow ink.
class ScreenPanelTest : public testing::Test {
 protected:
  void SetUp() override {
    machine->Screen.BorderColour = 2;
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
  const QRgb red = qRgb(0xBB, 0, 0);
  const QRgb green = qRgb(0, 0xBB, 0);
  const QRgb blue = qRgb(0, 0, 0xBB);
  const QRgb yellow = qRgb(0xBB, 0xBB, 0);
};

TEST_F(ScreenPanelTest, StaysOpenAndRewritesItsCaptionOnlyWhenPageOrShownRateChange) {
  MakePanel();
  panel->show();  // a tool window that refuses to close
  EXPECT_TRUE(panel->windowType() == Qt::Tool && !panel->close() && panel->isVisible());
  uint32_t shownFps = 0;
  panel->FramesPerSecond = [&shownFps] { return shownFps; };
  const auto update = [&](uint32_t fps) {
    panel->setWindowTitle("untouched");
    shownFps = fps;
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
  stored.ShowFps = stored.DoubleSize = false;
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
  panel->SetDoubleSize(stored.DoubleSize = true);
  panel->move(60, 70);
  stored.Position = {60, 70};
  requests.ShowFps = stored.ShowFps = true;
  panel.reset();  // saves
  EXPECT_EQ(LoadScreenPanelSettings(store), stored);
  // With the window gone the frame has nowhere to go; a sanitizer catches a mailbox left.
  machine->Screen.PresentFrame();
}

TEST_F(ScreenPanelTest, MenuItemsChangeTheRendererAndTheirChecks) {
  MakePanel();
  requests.ScreenMenuOpen = true;
  Item("AttributesMI")->trigger();
  EXPECT_FALSE(machine->Screen.Attributes() || Item("AttributesMI")->isChecked());
  EXPECT_FALSE(requests.ScreenMenuOpen);

  // Page 7 selected by the machine is remembered while a fixed page is shown.
  machine->Screen.MachinePageSelected(true);
  const std::pair<const char*, int> pages[] = {{"FirstMI", 5}, {"SecondMI", 7}, {"CurentMI", 7}};
  for (const auto& [item, bank] : pages) {
    Item(item)->trigger();
    EXPECT_EQ(machine->Screen.DisplayedBank(), bank) << item;
    for (const auto& other : pages) EXPECT_EQ(Item(other.first)->isChecked(), other.first == item);
  }
  // Debug shows the memory at once.
  const uint32_t presented = machine->Screen.PresentedFrames();
  Item("DebugMI")->trigger();
  EXPECT_EQ(machine->Screen.GetRenderingMode(), RenderingMode::Debug);
  EXPECT_EQ(machine->Screen.PresentedFrames(), presented + 1);
  EXPECT_FALSE(Item("RealMI")->isChecked());
  Item("DoubleSizeMI")->trigger();
  EXPECT_FALSE(panel->DoubleSize() || Item("DoubleSizeMI")->isChecked());
  EXPECT_EQ(panel->size(), ScreenClientSize(machine->Screen.GetBorderSizes(), false));
}

// The flag tells the keyboard thread that Escape belongs to the menu.
TEST_F(ScreenPanelTest, MenuFlagAndDoubleClickCaptureOfTheMouse) {
  MakePanel();
  Send(QContextMenuEvent(QContextMenuEvent::Mouse, {10, 10}, panel->mapToGlobal(QPoint(10, 10))));
  EXPECT_TRUE(requests.ScreenMenuOpen && panel->ScreenMenu()->isVisible());
  panel->ScreenMenu()->hide();
  std::vector<bool> activations;
  panel->FocusHandler = [&](bool active) { activations.push_back(active); };
  Send(QEvent(QEvent::ActivationChange));
  EXPECT_FALSE(requests.ScreenMenuOpen);
  EXPECT_EQ(activations, std::vector<bool>{panel->isActiveWindow()});
  // A double click captures the mouse only while the machine runs with the mouse on.
  const std::array<bool, 3> cases[] = {
      {false, true, false}, {true, true, true}, {true, false, false}};
  for (const auto& [running, mouse, captured] : cases) {
    panel->MachineRunning = [running = running] { return running; };
    machine->Mouse.Enabled = mouse;
    requests.MouseCaptureRequested = false;
    requests.ScreenMenuOpen = true;
    QTest::mouseDClick(panel.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(requests.MouseCaptureRequested.load(), captured) << running << mouse;
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
    const std::tuple<int, int, int, QRgb> pixels[] = {
        {0, 0, 0, red},    {331, 263, 1, red},  {39, 46, 0, red},
        {40, 45, 1, red},  {40, 46, 0, yellow}, {43, 46, 1, yellow},
        {44, 46, 0, blue}, {295, 237, 1, blue}, {296, 237, 0, red}};
    for (const auto& [x, y, last, colour] : pixels) {
      EXPECT_EQ(at(x, y, last * (scale - 1)), colour) << x << "," << y;
    }
  }
}

// A change outside the cut is not reported, yet kept: a wider cut later shows it at once.
TEST(WindowPictureTest, ReportsChangesInsideTheCutAndKeepsTheRest) {
  std::vector<uint8_t> frame(size_t{kNativeWidth} * kNativeHeight, 0);
  const auto rowOf = [&frame](int y) { return frame.data() + size_t(y) * kNativeWidth; };
  ScreenPaletteTable palette{};
  palette[1] = {0xBB, 0, 0};
  WindowPicture picture;
  picture.SetCut({10, 5, 100, 50}, 2);
  EXPECT_EQ(picture.Refresh(rowOf, palette), QRegion(0, 0, 200, 100));  // the first frame
  EXPECT_TRUE(picture.Refresh(rowOf, palette).isEmpty());
  frame[5 * kNativeWidth + 5] = 1;      // left of the cut
  frame[10 * kNativeWidth + 20] = 1;    // inside it
  frame[10 * kNativeWidth + 22] = 1;    // and two further on, the same span
  frame[287 * kNativeWidth + 383] = 1;  // the last native pixel
  EXPECT_EQ(picture.Refresh(rowOf, palette), QRegion(20, 10, 6, 2));
  EXPECT_TRUE(picture.SetCut({0, 0, kNativeWidth, kNativeHeight}, 1));
  const QImage whole = picture.VisibleImage(picture.Cut());
  EXPECT_EQ(whole.pixel(5, 5), qRgb(0xBB, 0, 0));
  EXPECT_EQ(whole.pixel(383, 287), qRgb(0xBB, 0, 0));
  EXPECT_EQ(whole.pixel(6, 5), qRgb(0, 0, 0));
  palette[0] = {0, 0, 0xBB};  // a new palette redraws everything
  EXPECT_EQ(picture.Refresh(rowOf, palette), QRegion(0, 0, kNativeWidth, kNativeHeight));
}

// Sees the events a widget gets, before the widget does.
class EventSpy : public QObject {
 public:
  EventSpy(QObject* watched, std::function<void(QEvent*)> seen) : seen_(std::move(seen)) {
    watched->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    seen_(event);
    return false;
  }

 private:
  std::function<void(QEvent*)> seen_;
};

// A frame repaints only what changed: the window's pixels, which keep whatever was not
// repainted, still end up with the picture a whole rebuild (a new scale) gives.
TEST_F(ScreenPanelTest, RepaintingOnlyTheChangesShowsTheWholePicture) {
  MakePanel();
  panel->show();  // a hidden widget is never repainted
  ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
  // Under X11 the picture has a window of its own, which takes the frames unpainted.
  auto* surface = panel->findChild<PictureSurface*>();
  const bool ownWindow = surface != nullptr;
  QRegion repainted;
  bool recording = false;
  EventSpy spy(panel.get(), [&](QEvent* event) {
    if (recording && event->type() == QEvent::Paint) {
      repainted += static_cast<QPaintEvent*>(event)->region();
    }
  });
  uint8_t* page = machine->Mem.Bank(5);
  // Each change, and how many native rows it repaints (0: not checked; -1: the border's,
  // and nothing of the paper between).
  const std::pair<std::function<void()>, int> changes[] = {
      {[&] { page[0] ^= 0x0F; }, 1},                     // first byte of the top row
      {[&] { page[31] ^= 0x81; }, 1},                    // last byte of it
      {[&] { page[0x0FEF] ^= 0x3C; }, 1},                // the middle of the paper
      {[&] { page[6144 + 767] ^= 0x21; }, 8},            // an attribute: eight rows
      {[&] { machine->Screen.BorderColour ^= 5; }, -1},  // the border only
      {[&] {
         for (int i = 0; i < 6144; ++i) page[i] ^= 0xAA;
       },
       0},  // everything
  };
  for (const bool doubled : {true, false}) {
    panel->SetDoubleSize(doubled);
    QCoreApplication::processEvents();
    for (size_t i = 0; i < std::size(changes); ++i) {
      SCOPED_TRACE(testing::Message() << "doubled " << doubled << " change " << i);
      changes[i].first();
      machine->Screen.RedrawAll();
      machine->Screen.PresentFrame();
      repainted = QRegion();
      recording = true;
      QCoreApplication::processEvents();  // the frame, which asks for a repaint
      QCoreApplication::processEvents();  // the repaint
      recording = false;
      // The surface sends over a connection of its own, which the grab does not wait for.
      if (ownWindow) surface->WaitUntilShown();
      // What the window shows: its pixels as painted, not a fresh repaint.
      const QImage shown = panel->screen()
                               ->grabWindow(panel->winId())
                               .toImage()
                               .convertToFormat(QImage::Format_RGB32);
      // A new scale rebuilds the picture whole.
      panel->SetDoubleSize(!doubled);
      QCoreApplication::processEvents();
      panel->SetDoubleSize(doubled);
      QCoreApplication::processEvents();
      // Drawn again whole, through the path for pictures it cannot write directly.
      QImage whole(panel->size(), QImage::Format_RGB888);
      panel->render(&whole);
      EXPECT_EQ(shown, whole.convertToFormat(QImage::Format_RGB32));
      if (changes[i].second > 0 && !ownWindow) {
        EXPECT_EQ(repainted.boundingRect().height(), changes[i].second * (doubled ? 2 : 1));
      }
      if (changes[i].second < 0 && !ownWindow) {
        EXPECT_EQ(repainted.boundingRect(), QRect(QPoint(1, 1), panel->size() - QSize(2, 2)));
        EXPECT_FALSE(repainted.contains(QPoint(panel->width() / 2, panel->height() / 2)));
      }
    }
  }
}

// Frames from another thread, as the emulation thread presents them: every repaint shows
// one whole frame, never the border of one and the corner of another.
TEST_F(ScreenPanelTest, FramesFromAnotherThreadArePaintedWhole) {
  MakePanel();
  panel->SetDoubleSize(false);
  machine->Screen.BorderColour = 4;
  machine->Screen.RedrawAll();
  machine->Screen.PresentFrame();
  // The picture's own window shows a frame at once; otherwise the last one taken stays
  // until the window thread takes the next.
  const bool ownWindow = panel->findChild<PictureSurface*>() != nullptr;
  EXPECT_EQ(Painted().pixel(1, 1), ownWindow ? green : red);
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (int i = 0; i < 300; ++i) {
      machine->Screen.BorderColour = (i & 1) ? 4 : 2;
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

}  // namespace
}  // namespace vantrel
