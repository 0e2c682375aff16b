#include <atomic>
#include <thread>
#include <tuple>

#include "ui/MouseCapture.h"
#include "ui/UiTest.h"

namespace vantrel {
namespace {

// Counts what reaches the window itself.
class CountingWidget : public QWidget {
 public:
  int Events = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override { ++Events; }
  void mouseReleaseEvent(QMouseEvent*) override { ++Events; }
  void mouseDoubleClickEvent(QMouseEvent*) override { ++Events; }
  void mouseMoveEvent(QMouseEvent*) override { ++Events; }
  void wheelEvent(QWheelEvent*) override { ++Events; }
  void contextMenuEvent(QContextMenuEvent*) override { ++Events; }
};

// Synthetic events: the real cursor cannot be moved reliably without a display.
class MouseCaptureTest : public testing::Test {
 protected:
  void SetUp() override {
    window.resize(200, 100);
    window.show();
    QCoreApplication::processEvents();
    QObject::connect(&capture, &MouseCapture::Released, [this] { ++released; });
  }
  void Mouse(QEvent::Type type, Qt::MouseButton button, QPoint offset = {}) {
    buttons.setFlag(button, type != QEvent::MouseButtonRelease);
    const QPoint global = capture.Centre() + offset;
    QMouseEvent event(type, window.mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &event);
  }
  void Move(int dx, int dy) { Mouse(QEvent::MouseMove, Qt::NoButton, {dx, dy}); }
  void Wheel(int angle) {
    const QPoint global = capture.Centre();
    QWheelEvent event(window.mapFromGlobal(global), global, {}, {0, angle}, buttons, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&window, &event);
  }
  // dx, dy, wheel and the buttons held (L, M, R) of one sample.
  std::string Take() {
    const auto s = capture.Take();
    if (!s) return "none";
    return std::to_string(s->Dx) + ',' + std::to_string(s->Dy) + ',' + std::to_string(s->Wheel) +
           (s->Left ? "L" : "") + (s->Middle ? "M" : "") + (s->Right ? "R" : "");
  }

  CountingWidget window;
  MouseCapture capture{&window};
  Qt::MouseButtons buttons;
  int released = 0;
};

TEST_F(MouseCaptureTest, CaptureNeedsAVisibleTargetAndReleasingByCallDeactivationOrHiding) {
  // Not captured: nothing is taken and the window has its events (a drag, as Qt drops
  // moves with no button unless the window tracks them), counted below.
  Mouse(QEvent::MouseButtonPress, Qt::RightButton);
  Move(5, 5);
  Mouse(QEvent::MouseButtonRelease, Qt::RightButton);
  Wheel(120);
  EXPECT_EQ(Take(), "none");

  window.hide();
  EXPECT_FALSE(capture.Capture() || QGuiApplication::overrideCursor());
  window.show();
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);  // someone else's, below ours
  ASSERT_TRUE(capture.Capture());
  EXPECT_TRUE(capture.Capture());
  // Grabbed, tracked (moves without a button count too) and hidden.
  EXPECT_TRUE(QWidget::mouseGrabber() == &window && window.hasMouseTracking());
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
  Move(9, 9);
  Wheel(120);
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton);
  capture.Release();
  capture.Release();
  EXPECT_EQ(Take(), "none");
  EXPECT_FALSE(QWidget::mouseGrabber() || window.hasMouseTracking());
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  QGuiApplication::restoreOverrideCursor();
  EXPECT_EQ(released, 0);  // an explicit Release needs no signal
  // What was not taken is forgotten; events while released are the window's.
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton);
  EXPECT_EQ(window.Events, 5);
  ASSERT_TRUE(capture.Capture());
  EXPECT_EQ(Take(), "0,0,0");
  QEvent deactivate(QEvent::WindowDeactivate);
  QCoreApplication::sendEvent(&window, &deactivate);
  EXPECT_FALSE(capture.Captured() || QGuiApplication::overrideCursor());
  QCoreApplication::sendEvent(&window, &deactivate);
  EXPECT_EQ(released, 1);  // nothing left to release the second time
  ASSERT_TRUE(capture.Capture());
  window.hide();
  EXPECT_FALSE(capture.Captured() || QWidget::mouseGrabber());
  EXPECT_EQ(released, 2);
}

TEST_F(MouseCaptureTest, MotionWheelAndButtonsAreTakenAndKeptFromTheWindow) {
  ASSERT_TRUE(capture.Capture());
  Move(5, -3);
  Move(0, 0);  // the move that putting the cursor back causes
  Move(-2, 7);
  for (int angle : {120, 120, -120}) Wheel(angle);
  Mouse(QEvent::MouseButtonPress, Qt::LeftButton);
  Mouse(QEvent::MouseButtonPress, Qt::RightButton);
  EXPECT_EQ(Take(), "3,4,120LR");
  EXPECT_EQ(Take(), "0,0,0LR");  // held buttons are not taken away
  Mouse(QEvent::MouseButtonRelease, Qt::RightButton);
  Mouse(QEvent::MouseButtonRelease, Qt::LeftButton);
  // The second press of a double click arrives as the double click alone.
  Mouse(QEvent::MouseButtonPress, Qt::MiddleButton);
  Mouse(QEvent::MouseButtonRelease, Qt::MiddleButton);
  Mouse(QEvent::MouseButtonDblClick, Qt::MiddleButton);
  EXPECT_EQ(Take(), "0,0,0M");
  QContextMenuEvent menu(QContextMenuEvent::Mouse, {10, 10}, window.mapToGlobal(QPoint(10, 10)));
  QCoreApplication::sendEvent(&window, &menu);
  EXPECT_EQ(window.Events, 0);
  // The centre follows the window; the cursor's jump there is not the user's motion.
  window.resize(400, 300);
  QCoreApplication::processEvents();
  (void)capture.Take();
  Move(1, 1);
  EXPECT_EQ(Take(), "1,1,0M");
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
      if (!sample) return missing.store(true);
      total.Dx += sample->Dx;
      total.Dy += sample->Dy;
      total.Wheel += sample->Wheel;
    };
    while (!stop.load()) add();
    add();  // whatever came after the last loop
  });
  for (int i = 0; i < kEvents; ++i) {
    Move(2, -1);
    Wheel(120);
    Mouse(i % 2 == 0 ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, Qt::LeftButton);
  }
  stop.store(true);
  emulation.join();
  EXPECT_FALSE(missing.load());
  EXPECT_EQ(std::tuple(total.Dx, total.Dy, total.Wheel),
            std::tuple(2 * kEvents, -kEvents, 120 * kEvents));
}

}  // namespace
}  // namespace vantrel
