#include "ui/MouseCapture.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWheelEvent>

namespace vantrel {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}  // namespace

MouseCapture::MouseCapture(QWidget* target, QObject* parent) : QObject(parent), target_(target) {
  if (target_) target_->installEventFilter(this);
}

MouseCapture::~MouseCapture() {
  Release();
  if (target_) target_->removeEventFilter(this);
}

bool MouseCapture::Capture() {
  if (Captured()) return true;
  if (!target_ || !target_->isVisible()) return false;
  dx_.store(0, kRelaxed);
  dy_.store(0, kRelaxed);
  wheel_.store(0, kRelaxed);
  // A button held while the capture starts (the double click that asked for it, say) is
  // not a click on the emulated mouse; the next press or release sets the state.
  buttons_.store(0, kRelaxed);
  // Qt drops moves with no button held before the widget's filters see them unless the
  // widget tracks the mouse.
  hadMouseTracking_ = target_->hasMouseTracking();
  target_->setMouseTracking(true);
  target_->grabMouse();
  QGuiApplication::setOverrideCursor(Qt::BlankCursor);
  cursorHidden_ = true;
  Recentre();
  captured_.store(true, kRelaxed);
  return true;
}

void MouseCapture::Release() {
  if (!Captured()) return;
  captured_.store(false, kRelaxed);
  if (target_) {
    target_->releaseMouse();
    target_->setMouseTracking(hadMouseTracking_);
  }
  if (cursorHidden_) {
    QGuiApplication::restoreOverrideCursor();
    cursorHidden_ = false;
  }
  dx_.store(0, kRelaxed);
  dy_.store(0, kRelaxed);
  wheel_.store(0, kRelaxed);
  buttons_.store(0, kRelaxed);
}

std::optional<MouseSample> MouseCapture::Take() {
  if (!captured_.load(kRelaxed)) return std::nullopt;
  MouseSample sample;
  sample.Dx = dx_.exchange(0, kRelaxed);
  sample.Dy = dy_.exchange(0, kRelaxed);
  sample.Wheel = wheel_.exchange(0, kRelaxed);
  const uint8_t buttons = buttons_.load(kRelaxed);
  sample.Left = (buttons & kLeft) != 0;
  sample.Right = (buttons & kRight) != 0;
  sample.Middle = (buttons & kMiddle) != 0;
  return sample;
}

void MouseCapture::Recentre() {
  centre_ = target_->mapToGlobal(target_->rect().center());
  QCursor::setPos(target_->screen(), centre_);
}

void MouseCapture::SetButtons(Qt::MouseButtons buttons) {
  uint8_t bits = 0;
  if (buttons & Qt::LeftButton) bits |= kLeft;
  if (buttons & Qt::RightButton) bits |= kRight;
  if (buttons & Qt::MiddleButton) bits |= kMiddle;
  buttons_.store(bits, kRelaxed);
}

bool MouseCapture::eventFilter(QObject* watched, QEvent* event) {
  if (watched != target_ || !Captured()) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseMove: {
      // The move that putting the cursor back causes arrives at the centre and adds
      // nothing, so it needs no flag of its own.
      const auto* move = static_cast<QMouseEvent*>(event);
      const QPoint offset = (move->globalPosition() - QPointF(centre_)).toPoint();
      if (!offset.isNull()) {
        dx_.fetch_add(offset.x(), kRelaxed);
        dy_.fetch_add(offset.y(), kRelaxed);
        QCursor::setPos(target_->screen(), centre_);
      }
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      // The buttons held after the event, so a press or release never seen (the window
      // system kept it) does not leave a button stuck.
      SetButtons(static_cast<QMouseEvent*>(event)->buttons());
      return true;
    case QEvent::Wheel:
      wheel_.fetch_add(static_cast<QWheelEvent*>(event)->angleDelta().y(), kRelaxed);
      return true;
    case QEvent::ContextMenu:
      // Qt makes one from the right button whatever became of the press.
      return true;
    case QEvent::Move:
    case QEvent::Resize:
      // Full screen on or off, or the window dragged by the keyboard: keep the cursor
      // inside the window.
      Recentre();
      return false;
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
      Release();
      Q_EMIT Released();
      return false;  // the window still has to see these
    default: return false;
  }
}

}  // namespace vantrel
