#include "app/TKeyThread.h"

#include <utility>

#include "machine/EmulThread.h"

namespace vantrel {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

void Toggle(std::atomic<bool>& flag) {
  flag.store(!flag.load(kRelaxed), kRelaxed);
}

}  // namespace

TKeyThread::TKeyThread(TEmulThread& emulation, KeyRequests& requests)
    : emulation_(emulation),
      machine_(emulation.GetMachine()),
      requests_(requests),
      tables_(StandardPcKeyTables()) {}

void TKeyThread::SetKeyboardStateReader(KeyboardStateReader reader) {
  reader_ = std::move(reader);
}

void TKeyThread::KeyEvent(uint8_t scanCode, bool pressed) {
  if (!Running() || !Focused()) return;
  if (swallowEscape_ && scanCode == scan::kEscape) {
    if (!pressed) swallowEscape_ = false;
    return;
  }
  const bool alt = AltMode();
  if (!alt && tables_.Press[scanCode].Kind == PcKeyKind::kPressKeys) {
    // A key released while Alt was held kept its emulated keys down; its next press only
    // marks it held again, so the release that follows lets them go. Without this the
    // press counts would keep them down until the focus changes.
    if (pressed && heldInMatrix_[scanCode]) return;
    heldInMatrix_[scanCode] = pressed;
  }
  const PcKeyTable& table = pressed ? (alt ? tables_.AltPress : tables_.Press)
                                    : (alt ? tables_.AltRelease : tables_.Release);
  Dispatch(table[scanCode]);
}

void TKeyThread::SetRunning(bool running) {
  if (running && !Running()) Resync();
  running_.store(running, kRelaxed);
}

void TKeyThread::SetFocused(bool focused) {
  if (focused && !Focused()) Resync();
  focused_.store(focused, kRelaxed);
}

void TKeyThread::Resync() {
  // Releases seen by another window never reached us: start from nothing held.
  machine_.Keys.ClearMatrix();
  machine_.Joystick.State.store(0, kRelaxed);
  swallowEscape_ = false;
  altMode_.store(false, kRelaxed);
  heldInMatrix_.fill(false);
  if (!reader_) return;

  const std::array<bool, 256> down = reader_();
  swallowEscape_ = down[scan::kEscape];
  const bool alt = down[scan::kLeftAlt] || down[scan::kRightAlt];
  altMode_.store(alt, kRelaxed);
  const PcKeyTable& table = alt ? tables_.AltPress : tables_.Press;
  for (size_t code = 0; code < down.size(); ++code) {
    if (!down[code] || code == scan::kEscape) continue;
    heldInMatrix_[code] = !alt && table[code].Kind == PcKeyKind::kPressKeys;
    Dispatch(table[code]);
  }
}

void TKeyThread::Dispatch(const PcKeyAction& action) {
  KeyMatrix& keys = machine_.Keys;
  switch (action.Kind) {
    case PcKeyKind::kNone: break;
    case PcKeyKind::kPressKeys:
      keys.PressKey(action.Key);
      if (action.SecondKey != kNoSecondKey) keys.PressKey(action.SecondKey);
      break;
    case PcKeyKind::kReleaseKeys:
      if (action.SecondKey != kNoSecondKey) keys.ReleaseKey(action.SecondKey);
      keys.ReleaseKey(action.Key);
      break;
    case PcKeyKind::kJoystickOn:
      machine_.Joystick.State.fetch_or(action.JoystickBit, kRelaxed);
      break;
    case PcKeyKind::kJoystickOff:
      machine_.Joystick.State.fetch_and(static_cast<uint8_t>(~action.JoystickBit), kRelaxed);
      break;
    case PcKeyKind::kAltOn: altMode_.store(true, kRelaxed); break;
    case PcKeyKind::kAltOff: altMode_.store(false, kRelaxed); break;
    case PcKeyKind::kCommand: RunCommand(action.Command); break;
  }
}

void TKeyThread::RunCommand(PcCommand command) {
  MachineState& state = machine_.State;
  switch (command) {
    case PcCommand::kEscape:
      // The Escape that closes the screen window's menu must not also stop the machine.
      if (requests_.ScreenMenuOpen.load(kRelaxed)) {
        requests_.ScreenMenuOpen.store(false, kRelaxed);
      } else {
        StopMachine();
      }
      break;
    case PcCommand::kLoadDisk: requests_.LoadDisk.store(true, kRelaxed); break;
    case PcCommand::kLoadSnapshot: requests_.LoadSnapshot.store(true, kRelaxed); break;
    case PcCommand::kQuickSaveSnapshot: requests_.QuickSaveSnapshot.store(true, kRelaxed); break;
    case PcCommand::kCloseMainWindow: requests_.CloseMainWindow.store(true, kRelaxed); break;
    case PcCommand::kToggleNormalSpeed: Toggle(state.NormalSpeed); break;
    case PcCommand::kReset128k: RequestReset(kStart128k, kStart128k | kStartTrDos); break;
    case PcCommand::kReset48k: RequestReset(0, kStartTrDos); break;
    case PcCommand::kEndReset: state.ResetRequest.store(false, kRelaxed); break;
    case PcCommand::kTogglePause:
      state.Paused.store(state.Paused.load(kRelaxed) == 0 ? 1 : 0, kRelaxed);
      break;
    case PcCommand::kTapeReaderPanel: requests_.TapeReaderPanel.store(true, kRelaxed); break;
    case PcCommand::kToggleFullScreen: Toggle(requests_.FullScreen); break;
    case PcCommand::kToggleShowFps: Toggle(requests_.ShowFps); break;
    case PcCommand::kToggleMouseCapture:
      // At full screen the mouse is captured for as long as full screen lasts.
      if (!requests_.FullScreen.load(kRelaxed)) Toggle(requests_.MouseCaptureRequested);
      break;
    case PcCommand::kRestoreMainWindow:
      StopMachine();
      requests_.RestoreMainWindow.store(true, kRelaxed);
      break;
  }
}

// The machine is held in reset while F12 is down. A second press within a second adds
// TR-DOS to the start mode.
void TKeyThread::RequestReset(uint8_t singleMode, uint8_t doubleMode) {
  const uint32_t now = emulation_.Loop.Timer.CurrentTick();
  const bool doublePress = resetPressedBefore_ && now - lastResetTick_ < kDoublePressTicks;
  machine_.State.StartMode.store(doublePress ? doubleMode : singleMode, kRelaxed);
  resetPressedBefore_ = true;
  lastResetTick_ = now;
  machine_.State.ResetRequest.store(true, kRelaxed);
}

void TKeyThread::StopMachine() {
  emulation_.RequestStop();
  requests_.FullScreen.store(false, kRelaxed);
}

}  // namespace vantrel
