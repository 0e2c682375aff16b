#include "platform/PictureSurface.h"

#include <QPaintEvent>
#include <QPainter>

#if defined(VANTREL_HAVE_XCB_SHM)
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#endif

namespace vantrel {

PictureSurface::PictureSurface(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_NativeWindow);
  setAttribute(Qt::WA_PaintOnScreen);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
}

bool PictureSurface::SetPictureGeometry(const QRect& geometry) {
  setGeometry(geometry);
  std::lock_guard<std::mutex> lock(mutex_);
  whole_ = true;
  if (geometry.size() == size_) return true;
  // Empty until a buffer is had, so a failed size is tried again next time.
  size_ = QSize();
  if (!ResizeBuffer(geometry.size())) return false;
  size_ = geometry.size();
  return true;
}

void PictureSurface::Present(const QRegion& changed, const DrawPart& draw) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (size_.isEmpty() || (changed.isEmpty() && !whole_)) return;
  const QRect all(QPoint(0, 0), size_);
  const QRegion region = whole_ ? QRegion(all) : changed.intersected(all);
  DrawAndSend(region, draw);
  whole_ = false;
}

void PictureSurface::WaitUntilShown() {
  std::lock_guard<std::mutex> lock(mutex_);
  WaitUntilRead();
}

void PictureSurface::paintEvent(QPaintEvent* event) {
  std::lock_guard<std::mutex> lock(mutex_);
  const QImage* shown = whole_ ? nullptr : ShownBuffer();
  if (shown == nullptr) return;
  if (redirected(nullptr) != nullptr) {
    // A grab or a render into a picture: Qt hands the painter that picture.
    QPainter painter(this);
    for (const QRect& part : event->region()) painter.drawImage(part, *shown, part);
    return;
  }
  Reshow(event->region().intersected(shown->rect()));
}

bool PictureSurface::event(QEvent* event) {
  if (event->type() == QEvent::WinIdChange) {
    std::lock_guard<std::mutex> lock(mutex_);
    WindowChanged(internalWinId());
  }
  return QWidget::event(event);
}

#if defined(VANTREL_HAVE_XCB_SHM)
namespace {

// X11 with MIT-SHM: the picture is a shared memory segment the server reads from, so a
// frame goes over as a few small requests whatever its size. A query sent after each
// picture tells when the server has read it; by the next frame the answer is long there,
// so writing the next picture waits for nothing, yet never overwrites one being read.
//
// The surface has a connection to the server of its own. The answers to its queries then
// wake no thread of Qt's (whose reader thread reads everything on Qt's connection), and
// the thread that presents can use it while the window thread uses Qt's.
class XcbPictureSurface final : public PictureSurface {
 public:
  XcbPictureSurface(QWidget* parent, xcb_connection_t* connection)
      : PictureSurface(parent), connection_(connection) {}
  ~XcbPictureSurface() override {
    ReleaseBuffer();
    if (gc_ != 0) xcb_free_gc(connection_, gc_);
    xcb_disconnect(connection_);
  }

  // Whether the window's pixels are 32-bit 0x00RRGGBB words in this machine's byte
  // order, as the buffer (QImage::Format_RGB32) holds them.
  bool Usable() {
    std::lock_guard<std::mutex> lock(mutex_);
    window_ = static_cast<xcb_window_t>(winId());
    const xcb_window_t window = window_;
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr);
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
    const bool usable = attributes != nullptr && geometry != nullptr &&
                        (geometry->depth == 24 || geometry->depth == 32) &&
                        VisualIsRgb32(attributes->visual, geometry->depth);
    if (usable) {
      depth_ = geometry->depth;
      gc_ = xcb_generate_id(connection_);
      const uint32_t noExposures = 0;
      xcb_create_gc(connection_, gc_, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    }
    std::free(attributes);
    std::free(geometry);
    return usable;
  }

  // Before anything else the connection is asked about the window: Qt creates it on
  // its own connection, which is to have reached the server first.
  static void Sync(xcb_connection_t* connection) {
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  }

 protected:
  bool ResizeBuffer(const QSize& size) override {
    ReleaseBuffer();
    return size.isEmpty() || Attach(size);
  }

  void DrawAndSend(const QRegion& region, const DrawPart& draw) override {
    if (memory_ == nullptr) return;
    WaitUntilRead();
    for (const QRect& part : region) draw(part, image_);
    Put(region);
  }

  const QImage* ShownBuffer() const override { return memory_ == nullptr ? nullptr : &image_; }
  void Reshow(const QRegion& region) override { Put(region); }
  void WindowChanged(WId window) override { window_ = static_cast<xcb_window_t>(window); }

 private:
  bool VisualIsRgb32(xcb_visualid_t visual, uint8_t depth) const {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
    bool thirtyTwoBits = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem != 0; xcb_format_next(&f)) {
      if (f.data->depth == depth) thirtyTwoBits = f.data->bits_per_pixel == 32;
    }
    if (!thirtyTwoBits) return false;
    for (auto s = xcb_setup_roots_iterator(setup); s.rem != 0; xcb_screen_next(&s)) {
      for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem != 0; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem != 0; xcb_visualtype_next(&v)) {
          if (v.data->visual_id != visual) continue;
          return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xFF0000 &&
                 v.data->green_mask == 0xFF00 && v.data->blue_mask == 0xFF;
        }
      }
    }
    return false;
  }

  bool Attach(const QSize& size) {
    const size_t bytes = size_t(size.width()) * size_t(size.height()) * 4;
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id == -1) return false;
    void* memory = shmat(id, nullptr, 0);
    if (memory == reinterpret_cast<void*>(-1)) {
      shmctl(id, IPC_RMID, nullptr);
      return false;
    }
    const xcb_shm_seg_t segment = xcb_generate_id(connection_);
    xcb_generic_error_t* error =
        xcb_request_check(connection_, xcb_shm_attach_checked(connection_, segment, id, 0));
    // Marked for removal now, so it goes when both sides have let go, even after a crash.
    shmctl(id, IPC_RMID, nullptr);
    if (error != nullptr) {
      std::free(error);
      shmdt(memory);
      return false;
    }
    memory_ = static_cast<uint8_t*>(memory);
    segment_ = segment;
    image_ = QImage(memory_, size.width(), size.height(), size.width() * 4, QImage::Format_RGB32);
    return true;
  }

  void ReleaseBuffer() {
    if (memory_ == nullptr) return;
    WaitUntilRead();
    image_ = QImage();
    xcb_shm_detach(connection_, segment_);
    shmdt(memory_);
    memory_ = nullptr;
  }

  void WaitUntilRead() override {
    if (!reading_) return;
    std::free(xcb_get_input_focus_reply(connection_, read_, nullptr));
    reading_ = false;
  }

  void Put(const QRegion& region) {
    // Nothing asks for events here; what arrives is errors (a window gone since), which
    // would otherwise pile up.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) std::free(event);
    if (region.isEmpty() || window_ == 0) return;
    for (const QRect& part : region) {
      xcb_shm_put_image(connection_, window_, gc_, uint16_t(image_.width()),
                        uint16_t(image_.height()), int16_t(part.x()), int16_t(part.y()),
                        uint16_t(part.width()), uint16_t(part.height()), int16_t(part.x()),
                        int16_t(part.y()), depth_, XCB_IMAGE_FORMAT_Z_PIXMAP, 0, segment_, 0);
    }
    // Requests are carried out in order: the answer to this one means the puts are done.
    WaitUntilRead();
    read_ = xcb_get_input_focus(connection_);
    reading_ = true;
    xcb_flush(connection_);
  }

  xcb_connection_t* connection_;
  xcb_window_t window_ = 0;
  xcb_gcontext_t gc_ = 0;
  uint8_t depth_ = 24;
  uint8_t* memory_ = nullptr;
  xcb_shm_seg_t segment_ = 0;
  QImage image_;
  xcb_get_input_focus_cookie_t read_{};
  bool reading_ = false;
};

}  // namespace
#endif

PictureSurface* PictureSurface::Create(QWidget* parent) {
#if defined(VANTREL_HAVE_XCB_SHM)
  // The portable path on request, for comparing the two.
  if (qEnvironmentVariableIsSet("VANTREL_QT_PAINTING")) return nullptr;
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  if (parent == nullptr || parent->devicePixelRatio() != 1.0) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* qtConnection = x11 != nullptr ? x11->connection() : nullptr;
  if (qtConnection == nullptr || xcb_connection_has_error(qtConnection) != 0) return nullptr;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  xcb_shm_query_version_reply_t* shm =
      xcb_shm_query_version_reply(connection, xcb_shm_query_version(connection), nullptr);
  if (shm == nullptr) {
    xcb_disconnect(connection);
    return nullptr;
  }
  std::free(shm);
  auto* surface = new XcbPictureSurface(parent, connection);
  surface->winId();
  XcbPictureSurface::Sync(qtConnection);
  if (surface->Usable()) return surface;
  delete surface;
#else
  (void)parent;
#endif
  return nullptr;
}

}  // namespace vantrel
