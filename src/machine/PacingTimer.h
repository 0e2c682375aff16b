#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace vantrel {

// The 20 ms tick that paces the machine when no sound card does, and the frames-per-
// second count. Ticks follow the steady clock from StartTimer on: whoever asks for the
// tick count brings it up to date, so no thread has to wake every 20 ms to count them.
class PacingTimer {
 public:
  static constexpr int kTickMilliseconds = 20;
  static constexpr int kFpsSlotCount = 10;
  static constexpr uint32_t kTicksPerSlot = 5;  // 100 ms
  // More ticks than this overdue at once (a suspended process) count as a single one.
  static constexpr int64_t kStallTicks = 10;

  explicit PacingTimer(const std::atomic<uint32_t>& frameCount) : frameCount_(frameCount) {}
  PacingTimer(const PacingTimer&) = delete;
  PacingTimer& operator=(const PacingTimer&) = delete;

  // Ticks count from now on; starting a started timer changes nothing.
  void StartTimer();
  void StopTimer() { started_.store(false, std::memory_order_relaxed); }
  bool Started() const { return started_.load(std::memory_order_relaxed); }

  // The tick count, brought up to the clock first (any thread).
  uint32_t CurrentTick();
  // The frames of the last second, brought up to the clock first (any thread).
  uint32_t CurrentFramesPerSecond() {
    CurrentTick();
    return FramesPerSecond.load(std::memory_order_relaxed);
  }

  // True when no tick has come since the previous call; otherwise records the tick.
  // Emulation thread only.
  bool NoNewTick() {
    const uint32_t now = CurrentTick();
    if (now == lastSeenTick_) return true;
    lastSeenTick_ = now;
    return false;
  }

  // Sleeps until the next tick unless one has come since the last look. Never waits
  // for ever: with no timer running it gives up after a little more than a tick.
  void WaitForTick();

  // One tick's work: the count and the frame-rate bookkeeping.
  void Tick();

  std::atomic<uint32_t> TimerTicks{0};
  std::atomic<uint32_t> FramesPerSecond{0};
  // The tick at which the last frame was presented at maximum speed (emulation thread).
  uint32_t LastPresentedTick = 0;

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kTick = std::chrono::milliseconds(kTickMilliseconds);

  const std::atomic<uint32_t>& frameCount_;
  uint32_t lastSeenTick_ = 0;
  std::atomic<bool> started_{false};
  // Guarded by mutex_: the clock's reference and the ticks counted against it, and
  // the frames-per-second bookkeeping. Readers of the count only try it.
  std::mutex mutex_;
  Clock::time_point epoch_{};
  int64_t ticksCounted_ = 0;
  std::array<uint32_t, kFpsSlotCount> fpsSlots_{};
  uint32_t fpsSlotIndex_ = 0;
  uint32_t fpsFrameMark_ = 0;
  uint32_t fpsTickDown_ = kTicksPerSlot;
};

}  // namespace vantrel
