#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <atomic>
#include <thread>

#include "ui/MouseCapture.h"

namespace vantrel {
namespace {

// Counts what reaches the window itself.
class CountingWidget : public QWidget {
 public:
  int MouseEvents = 0;
  int WheelEvents = 0;
  int ContextMenus = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override { ++MouseEvents; }
  void mouseReleaseEvent(QMouseEvent*) override { ++MouseEvents; }
  void mouseDoubleClickEvent(QMouseEvent*) override { ++MouseEvents; }
  void mouseMoveEvent(QMouseEvent*) override { ++MouseEvents; }
  void wheelEvent(QWheelEvent*) override { ++WheelEvents; }
  void contextMenuEvent(QContextMenuEvent*) override { ++ContextMenus; }
};

class MouseCaptureTest : public testing::Test {
 protected:
  void SetUp() override {
    window.resize(200, 100);
    window.show();
    QCoreApplication::processEvents();
    QObject::connect(&capture, &MouseCapture::Released, [this] { ++released; });
  }

  // Synthetic events: the real cursor cannot be moved reliably without a display.
  void MoveBy(QPoint offset) { Mouse(QEvent::MouseMove, Qt::NoButton, buttons, offset); }
  void Press(Qt::MouseButton button, QEvent::Type type = QEvent::MouseButtonPress) {
    buttons |= button;
    Mouse(type, button, buttons);
  }
  void Let(Qt::MouseButton button) {
    buttons &= ~Qt::MouseButtons(button);
    Mouse(QEvent::MouseButtonRelease, button, buttons);
  }
  void Wheel(int angle) {
    const QPoint global = capture.Centre();
    QWheelEvent event(window.mapFromGlobal(global), global, QPoint(), QPoint(0, angle), buttons,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&window, &event);
  }
  void ContextMenu() {
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                            window.mapToGlobal(QPoint(10, 10)));
    QCoreApplication::sendEvent(&window, &event);
  }

  CountingWidget window;
  MouseCapture capture{&window};
  Qt::MouseButtons buttons;
  int released = 0;

 private:
  void Mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held, QPoint offset = {}) {
    const QPoint global = capture.Centre() + offset;
    QMouseEvent event(type, window.mapFromGlobal(global), global, button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &event);
  }
};

TEST_F(MouseCaptureTest, NotCapturedTakesNothingAndLeavesEventsToTheWindow) {
  EXPECT_FALSE(capture.Captured());
  Press(Qt::RightButton);
  MoveBy({5, 5});  // a drag: Qt drops moves with no button unless the window tracks them
  Let(Qt::RightButton);
  Wheel(120);
  ContextMenu();
  EXPECT_EQ(window.MouseEvents, 3);
  EXPECT_EQ(window.WheelEvents, 1);
  EXPECT_EQ(window.ContextMenus, 1);
  EXPECT_FALSE(capture.Take().has_value());
}

TEST_F(MouseCaptureTest, CaptureNeedsAVisibleTargetAndUndoesExactlyWhatItDid) {
  window.hide();
  EXPECT_FALSE(capture.Capture());
  EXPECT_FALSE(capture.Captured());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  window.show();
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);  // someone else's, below ours
  ASSERT_TRUE(capture.Capture());
  EXPECT_TRUE(capture.Capture());
  EXPECT_TRUE(capture.Captured());
  EXPECT_EQ(QWidget::mouseGrabber(), &window);
  EXPECT_TRUE(window.hasMouseTracking());  // moves without a button count too
  EXPECT_EQ(capture.Centre(), window.mapToGlobal(window.rect().center()));
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);

  capture.Release();
  capture.Release();
  EXPECT_FALSE(capture.Captured());
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
  EXPECT_FALSE(window.hasMouseTracking());
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  QGuiApplication::restoreOverrideCursor();
  EXPECT_EQ(released, 0);  // an explicit Release needs no signal
}

TEST_F(MouseCaptureTest, MotionAndWheelAreTakenOnceAndKeptFromTheWindow) {
  ASSERT_TRUE(capture.Capture());
  MoveBy({5, -3});
  MoveBy({0, 0});  // the move that putting the cursor back causes
  MoveBy({-2, 7});
  Wheel(120);
  Wheel(120);
  Wheel(-120);
  const auto sample = capture.Take();
  ASSERT_TRUE(sample.has_value());
  EXPECT_EQ(sample->Dx, 3);
  EXPECT_EQ(sample->Dy, 4);
  EXPECT_EQ(sample->Wheel, 120);

  Wheel(-120);
  Wheel(-120);
  const auto again = capture.Take();
  EXPECT_EQ(again->Dx, 0);
  EXPECT_EQ(again->Dy, 0);
  EXPECT_EQ(again->Wheel, -240);
  EXPECT_EQ(window.MouseEvents, 0);
  EXPECT_EQ(window.WheelEvents, 0);
}

TEST_F(MouseCaptureTest, ButtonsFollowPressAndReleaseAndStayAcrossTakes) {
  ASSERT_TRUE(capture.Capture());
  Press(Qt::LeftButton);
  Press(Qt::RightButton);
  capture.Take();
  auto sample = capture.Take();  // held buttons are not taken away
  EXPECT_TRUE(sample->Left);
  EXPECT_TRUE(sample->Right);
  EXPECT_FALSE(sample->Middle);

  Let(Qt::LeftButton);
  Press(Qt::MiddleButton);
  sample = capture.Take();
  EXPECT_FALSE(sample->Left);
  EXPECT_TRUE(sample->Right);
  EXPECT_TRUE(sample->Middle);
  Let(Qt::RightButton);
  Let(Qt::MiddleButton);

  // The second press of a double click arrives as the double click alone.
  Press(Qt::LeftButton);
  Let(Qt::LeftButton);
  Press(Qt::LeftButton, QEvent::MouseButtonDblClick);
  EXPECT_TRUE(capture.Take()->Left);
  Let(Qt::LeftButton);
  EXPECT_FALSE(capture.Take()->Left);

  ContextMenu();
  EXPECT_EQ(window.MouseEvents, 0);
  EXPECT_EQ(window.ContextMenus, 0);
}

TEST_F(MouseCaptureTest, ReleaseForgetsWhatWasNotTaken) {
  ASSERT_TRUE(capture.Capture());
  MoveBy({9, 9});
  Wheel(120);
  Press(Qt::LeftButton);
  capture.Release();
  EXPECT_FALSE(capture.Take().has_value());

  // Events while released belong to the window and do not count.
  MoveBy({4, 4});
  EXPECT_EQ(window.MouseEvents, 1);

  ASSERT_TRUE(capture.Capture());
  const auto sample = capture.Take();
  ASSERT_TRUE(sample.has_value());
  EXPECT_EQ(sample->Dx, 0);
  EXPECT_EQ(sample->Dy, 0);
  EXPECT_EQ(sample->Wheel, 0);
  EXPECT_FALSE(sample->Left);
}

TEST_F(MouseCaptureTest, DeactivationOrHidingReleasesAndSaysSo) {
  ASSERT_TRUE(capture.Capture());
  QEvent deactivate(QEvent::WindowDeactivate);
  QCoreApplication::sendEvent(&window, &deactivate);
  EXPECT_FALSE(capture.Captured());
  EXPECT_EQ(released, 1);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  QCoreApplication::sendEvent(&window, &deactivate);
  EXPECT_EQ(released, 1);  // nothing left to release

  ASSERT_TRUE(capture.Capture());
  window.hide();
  EXPECT_FALSE(capture.Captured());
  EXPECT_EQ(released, 2);
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
}

TEST_F(MouseCaptureTest, CentreFollowsTheWindowWhileCaptured) {
  ASSERT_TRUE(capture.Capture());
  window.resize(400, 300);
  QCoreApplication::processEvents();
  ASSERT_EQ(window.size(), QSize(400, 300));
  EXPECT_EQ(capture.Centre(), window.mapToGlobal(window.rect().center()));
  // The jump of the cursor to the new centre is not the user's motion; what follows is
  // measured from there.
  (void)capture.Take();
  MoveBy({1, 1});
  EXPECT_EQ(capture.Take()->Dx, 1);
}

TEST_F(MouseCaptureTest, EmulationThreadTakesWhileTheWindowThreadAdds) {
  ASSERT_TRUE(capture.Capture());
  constexpr int kEvents = 2000;
  std::atomic<bool> stop{false};
  std::atomic<bool> missing{false};
  MouseSample total;
  std::thread emulation([&] {
    auto add = [&] {
      const auto sample = capture.Take();
      if (!sample) {
        missing.store(true);
        return;
      }
      total.Dx += sample->Dx;
      total.Dy += sample->Dy;
      total.Wheel += sample->Wheel;
    };
    while (!stop.load()) add();
    add();  // whatever came after the last loop
  });
  for (int i = 0; i < kEvents; ++i) {
    MoveBy({2, -1});
    Wheel(120);
    if (i % 2 == 0)
      Press(Qt::LeftButton);
    else
      Let(Qt::LeftButton);
  }
  stop.store(true);
  emulation.join();
  EXPECT_FALSE(missing.load());
  EXPECT_EQ(total.Dx, 2 * kEvents);
  EXPECT_EQ(total.Dy, -kEvents);
  EXPECT_EQ(total.Wheel, 120 * kEvents);
}

}  // namespace
}  // namespace vantrel
