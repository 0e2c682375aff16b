#include "video/FrameMailbox.h"

#include <cstring>

namespace vantrel {

FrameMailbox::FrameMailbox() : slots_(std::make_unique<Slot[]>(3)) {}

void FrameMailbox::PresentPicture(const ScreenRenderer& screen, bool wholePicture) {
  Slot& slot = slots_[back_];
  PresentedFrame& frame = slot.Frame;
  for (int y = 0; y < kNativeHeight; ++y) {
    std::memcpy(frame.Pixels.data() + size_t(y) * kNativeWidth, screen.Row(y), kNativeWidth);
  }
  frame.Palette = screen.Palette();
  frame.Sequence = published_.load(std::memory_order_relaxed) + 1;
  if (wholePicture) lastWholeSequence_ = frame.Sequence;
  // The consumer works out the flag from this: frames dropped between two takes may
  // have carried the border change, and the one it takes must still say so.
  slot.WholeUpTo = lastWholeSequence_;

  // Release: the slot's contents before its index; acquire: the slot handed back may
  // have just been read by the consumer.
  const uint8_t old =
      middle_.exchange(static_cast<uint8_t>(back_ | kFresh), std::memory_order_acq_rel);
  back_ = old & kIndexMask;
  published_.store(frame.Sequence, std::memory_order_relaxed);
  if (notify_) notify_();
}

const PresentedFrame* FrameMailbox::TakeLatest() {
  if ((middle_.load(std::memory_order_relaxed) & kFresh) == 0) return nullptr;
  // Only the consumer clears the fresh flag, so it is still set here.
  const uint8_t old = middle_.exchange(front_, std::memory_order_acq_rel);
  front_ = old & kIndexMask;
  Slot& slot = slots_[front_];
  slot.Frame.WholePicture = slot.WholeUpTo > takenSequence_;
  takenSequence_ = slot.Frame.Sequence;
  return &slot.Frame;
}

}  // namespace vantrel
