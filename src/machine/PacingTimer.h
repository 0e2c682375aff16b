#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace vantrel {

// The 20 ms tick that paces the machine when no sound card does, and the frames-per-
// second count. The tick runs on a thread of its own; the emulation thread only reads
// TimerTicks.
class PacingTimer {
 public:
  static constexpr int kTickMilliseconds = 20;
  static constexpr int kFpsSlotCount = 10;
  static constexpr uint32_t kTicksPerSlot = 5;  // 100 ms

  explicit PacingTimer(const std::atomic<uint32_t>& frameCount) : frameCount_(frameCount) {}
  ~PacingTimer() { StopTimer(); }
  PacingTimer(const PacingTimer&) = delete;
  PacingTimer& operator=(const PacingTimer&) = delete;

  void StartTimer();
  void StopTimer();
  bool Started() const { return thread_.joinable(); }

  // True when no tick has come since the previous call; otherwise records the tick.
  bool NoNewTick() {
    const uint32_t now = TimerTicks.load(std::memory_order_relaxed);
    if (now == lastSeenTick_) return true;
    lastSeenTick_ = now;
    return false;
  }

  // Waits, 1 ms at a time, for the next tick. Never waits for ever: if the tick does
  // not come (no timer, or a stalled one) it gives up after a little more than a tick.
  void WaitForTick();

  // One tick's work; the timer thread calls it every 20 ms.
  void Tick();

  std::atomic<uint32_t> TimerTicks{0};
  std::atomic<uint32_t> FramesPerSecond{0};
  // The tick at which the last frame was presented at maximum speed (emulation thread).
  uint32_t LastPresentedTick = 0;

 private:
  void Run();

  const std::atomic<uint32_t>& frameCount_;
  uint32_t lastSeenTick_ = 0;
  // Frames-per-second bookkeeping, touched only by the tick.
  std::array<uint32_t, kFpsSlotCount> fpsSlots_{};
  uint32_t fpsSlotIndex_ = 0;
  uint32_t fpsFrameMark_ = 0;
  uint32_t fpsTickDown_ = kTicksPerSlot;

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
};

}  // namespace vantrel
