#pragma once

#include <QPoint>
#include <QRegion>
#include <atomic>
#include <mutex>
#include <optional>

#include "platform/PictureSurface.h"
#include "ui/WindowPicture.h"
#include "video/FrameMailbox.h"

namespace vantrel {

// Where the machine's finished frames go for the screen window. While the picture's own
// surface shows it (windowed, where the display system has one), the thread that finishes
// a frame draws the changes onto the surface itself: the window thread is not woken for
// a frame. Otherwise (full screen, or no surface) frames go through the mailbox and the
// window thread paints them.
//
// The picture is shared by the two threads, under a lock that each holds only while it
// brings the picture up to date or draws from it (well under a millisecond).
class ScreenPresenter final : public FramePresenter {
 public:
  // `surface` may be null. It must outlive the presenter's use, and is hidden until
  // UseSurface.
  explicit ScreenPresenter(PictureSurface* surface);

  // The machine's thread.
  void PresentPicture(const ScreenRenderer& screen, bool wholePicture) override;

  // The rest is for the window thread.
  FrameMailbox& Mailbox() { return mailbox_; }
  // The picture's cut, its scale and, on the surface, its place on the window.
  void SetCut(const VisibleRect& visible, int scale, const QPoint& place);
  // Frames go to the surface (on) or to the mailbox (off). False when the surface cannot
  // show the picture (there is none, or no buffer for its size): the presenter has then
  // let go of it for good.
  bool UseSurface(bool on);
  // Takes the mailbox's newest frame into the picture: what changed in it (picture
  // coordinates; all of it for new colours). Nothing when there is no frame, or the
  // surface takes the frames now.
  std::optional<QRegion> TakeMailboxFrame();
  // Runs `work` on the picture with the presenting thread kept out.
  template <class Work>
  decltype(auto) WithPicture(Work&& work) {
    std::lock_guard<std::mutex> lock(mutex_);
    return work(static_cast<const WindowPicture&>(picture_));
  }

 private:
  // With mutex_ held.
  void PlaceSurface(bool anew);

  std::mutex mutex_;
  WindowPicture picture_;
  PictureSurface* surface_;
  PictureSurface::DrawPart draw_;
  QPoint place_;
  // Whether the surface takes the frames; written with mutex_ held.
  std::atomic<bool> direct_{false};
  FrameMailbox mailbox_;
};

}  // namespace vantrel
