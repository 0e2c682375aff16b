#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace vantrel {

// Changes the window thread wants made to machine-owned state (the renderer's tables,
// the displayed page) while the emulation thread may be using it. They are queued and
// carried out by the thread that owns the machine at that moment: the emulation thread
// at its next frame end, or the window thread once the run has ended. The frame end only
// tests an atomic flag; the lock is taken only when something is queued.
class MachineCommands {
 public:
  void Post(std::function<void()> command) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(command));
    pending_.store(true, std::memory_order_release);
  }

  // Runs what was queued, in order; true when something was. Called only by the
  // machine's owning thread.
  bool RunPending() {
    if (!pending_.load(std::memory_order_acquire)) return false;
    std::vector<std::function<void()>> commands;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      commands.swap(queue_);
      pending_.store(false, std::memory_order_relaxed);
    }
    for (auto& command : commands) command();
    return !commands.empty();
  }

 private:
  std::mutex mutex_;
  std::vector<std::function<void()>> queue_;
  std::atomic<bool> pending_{false};
};

}  // namespace vantrel
