#pragma once

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <mutex>

namespace vantrel {

// A child window that hands a 32-bit picture straight to the display system, with no
// pass through Qt's painting: for a picture that changes every frame, Qt's repaint cycle
// (a round trip to the display server before each paint, and the painter around it)
// costs more than the picture itself. The buffer keeps the picture shown, so each frame
// draws (through the caller's DrawPart) and sends only what changed.
//
// Create gives nullptr where the platform has no such path; the caller then paints as
// usual. Only the X11 platform (with shared memory) has one.
//
// Present may be called from any thread, one call at a time: the thread that finishes
// frames shows them itself, without waking the window thread. Everything else is for the
// window thread.
class PictureSurface : public QWidget {
  Q_OBJECT

 public:
  static PictureSurface* Create(QWidget* parent);
  ~PictureSurface() override = default;

  // Draws `part` (surface pixels) of the current picture into `buffer`, at the same place.
  using DrawPart = std::function<void(const QRect& part, QImage& buffer)>;

  // Places the surface on its parent and sizes its buffer; the next picture is drawn and
  // sent whole. False when a buffer of that size cannot be had (the surface is then of no
  // use).
  bool SetPictureGeometry(const QRect& geometry);
  // Shows the current picture, which differs from the one shown last only in `changed`
  // (surface pixels; the whole picture after a new geometry).
  void Present(const QRegion& changed, const DrawPart& draw);
  // Returns once the display system has taken all that was sent. What it is asked later on
  // another connection (a grab of the window's pixels) then sees the picture.
  void WaitUntilShown();

 protected:
  explicit PictureSurface(QWidget* parent);
  // The parts below are called with mutex_ held.
  // Sizes the buffer for a picture of `size`.
  virtual bool ResizeBuffer(const QSize& size) = 0;
  // Draws `region` into the buffer and sends it.
  virtual void DrawAndSend(const QRegion& region, const DrawPart& draw) = 0;
  // The picture shown, for paints Qt asks for (an expose, or a grab into a picture);
  // null before the first.
  virtual const QImage* ShownBuffer() const = 0;
  // Sends `region` of the picture shown to the window again.
  virtual void Reshow(const QRegion& region) = 0;
  // The native window is now `window`.
  virtual void WindowChanged(WId window) = 0;
  // Waits for the display system to have read the buffer.
  virtual void WaitUntilRead() = 0;

  QPaintEngine* paintEngine() const override { return nullptr; }
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

  // Guards the buffer and the connection's state between the presenting thread and the
  // window thread's repaints.
  std::mutex mutex_;
  QSize size_;
  bool whole_ = true;  // the buffer is to be drawn whole and sent whole
};

}  // namespace vantrel
