#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "video/ScreenRenderer.h"

namespace vantrel {

// One finished picture as the window thread sees it: the whole native frame and its
// palette. The window cuts the visible part out itself, as it sets the border sizes.
struct PresentedFrame {
  std::array<uint8_t, size_t{kNativeWidth} * kNativeHeight> Pixels{};
  ScreenPaletteTable Palette{};
  // Set when the border changed in any frame handed over since the last take, so a
  // window that copies only the paper otherwise never misses a border change.
  bool WholePicture = false;
  // 1 for the first frame published, rising by one per frame.
  uint64_t Sequence = 0;

  const uint8_t* Row(int y) const { return Pixels.data() + size_t(y) * kNativeWidth; }
};

// Hands finished frames from the thread that runs the machine to the window thread
// without a lock: a triple buffer. The producer fills its back slot and swaps it with
// the shared middle slot in one atomic exchange; the consumer swaps the middle slot with
// its front slot when a fresh one is there. Neither side ever waits for the other, and
// neither touches a slot the other owns, so a frame is never seen half-written. Frames
// the consumer is too slow for are dropped; only the newest counts.
//
// One producer at a time (the emulation thread, or the window thread while none runs)
// and one consumer. Nothing is allocated per frame.
class FrameMailbox final : public FramePresenter {
 public:
  FrameMailbox();
  FrameMailbox(const FrameMailbox&) = delete;
  FrameMailbox& operator=(const FrameMailbox&) = delete;

  // Producer: copies the native frame and the palette and publishes them.
  void PresentPicture(const ScreenRenderer& screen, bool wholePicture) override;

  // Consumer: the newest frame published and not yet taken, or nullptr when there is
  // none. A frame returned stays valid, and unchanged, until a later call returns
  // another one.
  const PresentedFrame* TakeLatest();

  // Called on the producing thread after each publish. Set it before the mailbox is
  // installed as a presenter: it is not guarded against a concurrent publish.
  void SetNotify(std::function<void()> notify) { notify_ = std::move(notify); }

  // Frames published so far (producer's count; any thread may read it).
  uint64_t Published() const { return published_.load(std::memory_order_relaxed); }

 private:
  static constexpr uint8_t kIndexMask = 0x03;
  static constexpr uint8_t kFresh = 0x04;  // the middle slot holds an untaken frame

  struct Slot {
    PresentedFrame Frame;
    uint64_t WholeUpTo = 0;  // the newest frame with wholePicture set, up to this one
  };

  std::unique_ptr<Slot[]> slots_;
  // Producer only.
  uint8_t back_ = 0;
  uint64_t lastWholeSequence_ = 0;  // the newest frame with wholePicture set
  std::function<void()> notify_;
  // Shared: the middle slot's index and the fresh flag.
  std::atomic<uint8_t> middle_{1};
  std::atomic<uint64_t> published_{0};
  // Consumer only.
  uint8_t front_ = 2;
  uint64_t takenSequence_ = 0;
};

}  // namespace vantrel
