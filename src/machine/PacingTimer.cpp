#include "machine/PacingTimer.h"

#include <chrono>

namespace vantrel {

void PacingTimer::StartTimer() {
  if (thread_.joinable()) return;
  fpsTickDown_ = kTicksPerSlot;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = false;
  }
  thread_ = std::thread([this] { Run(); });
}

void PacingTimer::StopTimer() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void PacingTimer::Run() {
  // Absolute deadlines keep the period at 20 ms on average, whatever the sleep jitter.
  auto next = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    next += std::chrono::milliseconds(kTickMilliseconds);
    if (wake_.wait_until(lock, next, [this] { return stop_; })) return;
    Tick();
    // After a long stall (a suspended process) start afresh instead of ticking in a burst.
    const auto now = std::chrono::steady_clock::now();
    if (now - next > std::chrono::milliseconds(10 * kTickMilliseconds)) next = now;
  }
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
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(kTickMilliseconds + kTickMilliseconds / 4);
  while (NoNewTick()) {
    if (std::chrono::steady_clock::now() >= deadline) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace vantrel
