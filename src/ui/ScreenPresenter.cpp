#include "ui/ScreenPresenter.h"

namespace vantrel {

ScreenPresenter::ScreenPresenter(PictureSurface* surface)
    : surface_(surface),
      draw_([this](const QRect& part, QImage& buffer) { picture_.DrawPart(part, buffer); }) {}

void ScreenPresenter::PresentPicture(const ScreenRenderer& screen, bool wholePicture) {
  if (direct_.load(std::memory_order_relaxed)) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Checked again: the window thread may have turned the surface off meanwhile.
    if (direct_.load(std::memory_order_relaxed)) {
      const QRegion changed =
          picture_.Refresh([&screen](int y) { return screen.Row(y); }, screen.Palette());
      surface_->Present(changed, draw_);
      return;
    }
  }
  mailbox_.PresentPicture(screen, wholePicture);
}

void ScreenPresenter::SetCut(const VisibleRect& visible, int scale, const QPoint& place) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool anew = picture_.SetCut(visible, scale) || place != place_;
  place_ = place;
  if (direct_.load(std::memory_order_relaxed)) PlaceSurface(anew);
}

bool ScreenPresenter::UseSurface(bool on) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (surface_ == nullptr) return false;
  if (!on) {
    direct_.store(false, std::memory_order_relaxed);
    surface_->hide();
    return true;
  }
  if (direct_.load(std::memory_order_relaxed)) return true;
  direct_.store(true, std::memory_order_relaxed);
  PlaceSurface(true);
  return surface_ != nullptr;
}

void ScreenPresenter::PlaceSurface(bool anew) {
  if (anew || surface_->isHidden()) {
    if (!surface_->SetPictureGeometry(QRect(place_, picture_.Size()))) {
      surface_->hide();
      surface_ = nullptr;
      direct_.store(false, std::memory_order_relaxed);
      return;
    }
    surface_->show();
  }
  // After a new geometry the surface draws and sends the whole picture.
  if (picture_.HasFrame()) surface_->Present(QRegion(), draw_);
}

std::optional<QRegion> ScreenPresenter::TakeMailboxFrame() {
  std::lock_guard<std::mutex> lock(mutex_);
  const PresentedFrame* frame = mailbox_.TakeLatest();
  // A frame queued before the surface took over is older than the picture by now.
  if (frame == nullptr || direct_.load(std::memory_order_relaxed)) return std::nullopt;
  return picture_.Refresh([frame](int y) { return frame->Row(y); }, frame->Palette);
}

}  // namespace vantrel
