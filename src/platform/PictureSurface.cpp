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

void PictureSurface::paintEvent(QPaintEvent* event) {
  const QImage* shown = ShownBuffer();
  if (shown == nullptr) return;
  if (redirected(nullptr) != nullptr) {
    // A grab or a render into a picture: Qt hands the painter that picture.
    QPainter painter(this);
    for (const QRect& part : event->region()) painter.drawImage(part, *shown, part);
    return;
  }
  Reshow(event->region());
}

#if defined(VANTREL_HAVE_XCB_SHM)
namespace {

// X11 with MIT-SHM: the picture is a shared memory segment the server reads from, so a
// frame goes over as a few small requests whatever its size. A query sent after each
// picture tells when the server has read it; by the next frame the answer is long there,
// so writing the next picture waits for nothing, yet never overwrites one being read.
class XcbPictureSurface final : public PictureSurface {
 public:
  XcbPictureSurface(QWidget* parent, xcb_connection_t* connection)
      : PictureSurface(parent), connection_(connection) {}
  ~XcbPictureSurface() override {
    ReleaseBuffer();
    if (gc_ != 0) xcb_free_gc(connection_, gc_);
    xcb_flush(connection_);
  }

  // Whether the window's pixels are 32-bit 0x00RRGGBB words in this machine's byte
  // order, as the buffer (QImage::Format_RGB32) holds them.
  bool Usable() {
    const auto window = static_cast<xcb_window_t>(winId());
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

  bool SetPictureGeometry(const QRect& geometry) override {
    setGeometry(geometry);
    whole_ = true;
    if (geometry.size() == image_.size()) return true;
    ReleaseBuffer();
    return geometry.size().isEmpty() || Attach(geometry.size());
  }

  void Present(const QRegion& changed) override {
    if (memory_ == nullptr || !Draw || (changed.isEmpty() && !whole_)) return;
    const QRect all = image_.rect();
    const QRegion region = whole_ ? QRegion(all) : changed.intersected(all);
    WaitUntilRead();
    for (const QRect& part : region) Draw(part, image_);
    whole_ = false;
    Put(region);
  }

 protected:
  const QImage* ShownBuffer() const override {
    return memory_ == nullptr || whole_ ? nullptr : &image_;
  }
  void Reshow(const QRegion& region) override {
    if (ShownBuffer() != nullptr) Put(region.intersected(image_.rect()));
  }

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

  void WaitUntilRead() {
    if (!reading_) return;
    std::free(xcb_get_input_focus_reply(connection_, read_, nullptr));
    reading_ = false;
  }

  void Put(const QRegion& region) {
    if (region.isEmpty()) return;
    const auto window = static_cast<xcb_window_t>(winId());
    for (const QRect& part : region) {
      xcb_shm_put_image(connection_, window, gc_, uint16_t(image_.width()),
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
  xcb_gcontext_t gc_ = 0;
  uint8_t depth_ = 24;
  uint8_t* memory_ = nullptr;
  xcb_shm_seg_t segment_ = 0;
  QImage image_;
  bool whole_ = true;  // the buffer is to be drawn whole and sent whole
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
  xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
  if (connection == nullptr || xcb_connection_has_error(connection) != 0) return nullptr;
  xcb_shm_query_version_reply_t* shm =
      xcb_shm_query_version_reply(connection, xcb_shm_query_version(connection), nullptr);
  if (shm == nullptr) return nullptr;
  std::free(shm);
  auto* surface = new XcbPictureSurface(parent, connection);
  if (surface->Usable()) return surface;
  delete surface;
#else
  (void)parent;
#endif
  return nullptr;
}

}  // namespace vantrel
