#pragma once

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <functional>

namespace vantrel {

// A child window that hands a 32-bit picture straight to the display system, with no
// pass through Qt's painting: for a picture that changes every frame, Qt's repaint cycle
// (a round trip to the display server before each paint, and the painter around it)
// costs more than the picture itself. The buffer keeps the picture shown, so each frame
// draws (through Draw) and sends only what changed.
//
// Create gives nullptr where the platform has no such path; the caller then paints as
// usual. Only the X11 platform (with shared memory) has one.
class PictureSurface : public QWidget {
  Q_OBJECT

 public:
  static PictureSurface* Create(QWidget* parent);
  ~PictureSurface() override = default;

  // Draws `part` (surface pixels) of the current picture into `buffer`, at the same place.
  std::function<void(const QRect& part, QImage& buffer)> Draw;

  // Places the surface on its parent and sizes its buffer; the next picture is drawn and
  // sent whole. False when a buffer of that size cannot be had (the surface is then of no
  // use).
  virtual bool SetPictureGeometry(const QRect& geometry) = 0;
  // Shows the current picture, which differs from the one shown last only in `changed`.
  virtual void Present(const QRegion& changed) = 0;

 protected:
  explicit PictureSurface(QWidget* parent);
  // The picture shown, for paints Qt asks for (an expose, or a grab into a picture);
  // null before the first.
  virtual const QImage* ShownBuffer() const = 0;
  // Sends `region` of the picture shown to the window again.
  virtual void Reshow(const QRegion& region) = 0;

  QPaintEngine* paintEngine() const override { return nullptr; }
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace vantrel
