#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <optional>

#include "input/KempstonMouseDriver.h"

class QEvent;

namespace vantrel {

// The desktop mouse captured by a window, for the emulated Kempston mouse. While
// captured, the cursor is hidden and kept at the centre of the target window: every move
// is measured from the centre and the cursor is put back there, so the motion never
// runs into the edge of the desktop. The window thread adds the events; the emulation
// thread takes the sums once a frame. Everything the two share is atomic.
//
// The capture ends when the target loses the activation or is hidden; Released then
// tells the owner. An explicit Release() does not emit it.
class MouseCapture : public QObject, public MouseMotionSource {
  Q_OBJECT

 public:
  // target: the window whose area holds the captured mouse.
  explicit MouseCapture(QWidget* target, QObject* parent = nullptr);
  ~MouseCapture() override;

  // Grabs the mouse to the target, hides the cursor and moves it to the target's centre.
  // Returns false when the target is not visible. Does nothing when already captured.
  bool Capture();
  // Lets the mouse go, shows the cursor again and forgets the motion and buttons not yet
  // taken. Does nothing when not captured.
  void Release();
  bool Captured() const { return captured_.load(std::memory_order_relaxed); }

  // The target's centre in global coordinates, taken when captured and again whenever the
  // target moves or changes size: moves are measured from it.
  QPoint Centre() const { return centre_; }

  // From the emulation thread: the motion since the previous call and the buttons held
  // now, or nothing when not captured.
  std::optional<MouseSample> Take() override;
  // The window thread keeps the capture; there is nothing to take back here.
  void Reacquire() override {}

 Q_SIGNALS:
  // The capture was lost to the window system (another window activated, or the target
  // hidden).
  void Released();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static constexpr uint8_t kLeft = 0x01;
  static constexpr uint8_t kRight = 0x02;
  static constexpr uint8_t kMiddle = 0x04;

  void Recentre();
  void SetButtons(Qt::MouseButtons buttons);

  QPointer<QWidget> target_;
  QPoint centre_;
  bool cursorHidden_ = false;  // an override cursor of ours is on the stack
  bool hadMouseTracking_ = false;

  std::atomic<bool> captured_{false};
  std::atomic<int32_t> dx_{0};
  std::atomic<int32_t> dy_{0};
  std::atomic<int32_t> wheel_{0};
  std::atomic<uint8_t> buttons_{0};  // kLeft | kRight | kMiddle while held
};

}  // namespace vantrel
