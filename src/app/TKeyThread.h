#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "input/PcKeyTables.h"

namespace vantrel {

class Machine;
class TEmulThread;

// Flags and requests shared between key handling and the windows. A request is set here
// and cleared by the window that serves it.
struct KeyRequests {
  std::atomic<bool> LoadDisk{false}, LoadSnapshot{false}, QuickSaveSnapshot{false},
      CloseMainWindow{false}, TapeReaderPanel{false}, RestoreMainWindow{false};
  std::atomic<bool> FullScreen{false};             // Alt+Enter toggles; Escape, Alt+Space clear
  std::atomic<bool> ShowFps{true};                 // Alt+F toggles
  std::atomic<bool> MouseCaptureRequested{false};  // Alt+M toggles unless FullScreen
  std::atomic<bool> ScreenMenuOpen{false};         // set by the screen window's pop-up menu
};

// The PC-key policy: turns key events into the emulated keyboard, the Kempston joystick,
// the emulator's hot keys and the requests above. It stops the machine through the
// emulation thread and times double presses by its run loop's ticks.
//
// Key events come on the window thread, which must never block, so this is a plain object
// rather than a thread of its own. Events are acted on only while the machine runs and
// the screen has the focus; each time either turns on, the matrix is rebuilt from the
// keys held at that moment (Resync). Callers pass real transitions only, not the host's
// auto-repeat: each press adds to a key's press count.
class TKeyThread {
 public:
  // At least 50 ticks of 20 ms between two F12 presses make them two single presses.
  static constexpr uint32_t kDoublePressTicks = 50;

  TKeyThread(TEmulThread& emulation, KeyRequests& requests);
  TKeyThread(const TKeyThread&) = delete;
  TKeyThread& operator=(const TKeyThread&) = delete;

  // The scan codes held at this moment.
  using KeyboardStateReader = std::function<std::array<bool, 256>()>;
  void SetKeyboardStateReader(KeyboardStateReader reader);

  void KeyEvent(uint8_t scanCode, bool pressed);
  void SetRunning(bool running);
  void SetFocused(bool focused);
  void Resync();

  // Read by the mouse poll on the emulation thread (Alt+click swaps the buttons).
  bool AltMode() const { return altMode_.load(std::memory_order_relaxed); }
  bool Running() const { return running_.load(std::memory_order_relaxed); }
  bool Focused() const { return focused_.load(std::memory_order_relaxed); }

 private:
  void Dispatch(const PcKeyAction& action);
  void RunCommand(PcCommand command);
  void RequestReset(uint8_t singleMode, uint8_t doubleMode);
  void StopMachine();

  TEmulThread& emulation_;
  Machine& machine_;
  KeyRequests& requests_;
  const PcKeyTables& tables_;
  KeyboardStateReader reader_;
  // Scan codes pressed through the normal tables and not yet released through them.
  std::array<bool, 256> heldInMatrix_{};
  std::atomic<bool> running_{false};
  std::atomic<bool> focused_{false};
  std::atomic<bool> altMode_{false};
  // An Escape held while focus came is probably the one that moved it here (closing a
  // dialog); it is ignored until it goes up.
  bool swallowEscape_ = false;
  bool resetPressedBefore_ = false;
  uint32_t lastResetTick_ = 0;
};

}  // namespace vantrel
