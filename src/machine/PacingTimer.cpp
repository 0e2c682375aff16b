#include "machine/PacingTimer.h"

#include <thread>

namespace vantrel {

void PacingTimer::StartTimer() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (started_.load(std::memory_order_relaxed)) return;
  epoch_ = Clock::now();
  ticksCounted_ = 0;
  fpsTickDown_ = kTicksPerSlot;
  started_.store(true, std::memory_order_relaxed);
}

uint32_t PacingTimer::CurrentTick() {
  if (started_.load(std::memory_order_relaxed)) {
    // Another thread bringing the count up to date does the same work: no need to wait.
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (lock.owns_lock() && started_.load(std::memory_order_relaxed)) {
      const int64_t due = (Clock::now() - epoch_) / kTick;
      if (due - ticksCounted_ > kStallTicks) {
        // After a stall, go on from now instead of ticking in a burst.
        ticksCounted_ = due - 1;
      }
      for (; ticksCounted_ < due; ++ticksCounted_) Tick();
    }
  }
  return TimerTicks.load(std::memory_order_relaxed);
}

void PacingTimer::Tick() {
  TimerTicks.fetch_add(1, std::memory_order_relaxed);
  if (--fpsTickDown_ != 0) return;
  fpsTickDown_ = kTicksPerSlot;
  const uint32_t frames = frameCount_.load(std::memory_order_relaxed);
  uint32_t fps = FramesPerSecond.load(std::memory_order_relaxed) - fpsSlots_[fpsSlotIndex_];
  fpsSlots_[fpsSlotIndex_] = frames - fpsFrameMark_;
  fps += fpsSlots_[fpsSlotIndex_];
  FramesPerSecond.store(fps, std::memory_order_relaxed);
  fpsFrameMark_ = frames;
  fpsSlotIndex_ = (fpsSlotIndex_ + 1) % kFpsSlotCount;
}

void PacingTimer::WaitForTick() {
  if (!NoNewTick()) return;
  auto wake = Clock::now() + kTick + kTick / 4;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_.load(std::memory_order_relaxed)) {
      wake = std::min(wake, epoch_ + (ticksCounted_ + 1) * kTick);
    }
  }
  std::this_thread::sleep_until(wake);
  NoNewTick();
}

}  // namespace vantrel
