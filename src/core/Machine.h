#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "core/MachineCommands.h"
#include "core/MachineState.h"
#include "core/Memory.h"
#include "core/PacingTimer.h"
#include "core/PortDecoder.h"
#include "core/Z80.h"
#include "disk/Beta128.h"
#include "input/Kempston.h"
#include "input/KeyMatrix.h"
#include "media/TapePlayer.h"
#include "sound/AyChip.h"
#include "sound/Beeper.h"
#include "sound/SoundOutput.h"
#include "video/ScreenRenderer.h"

namespace vantrel {

// One emulated computer: the machine state, memory, devices, port decoder, processor and
// pacing timer. Nothing is global, so any number of machines can live side by side.
class Machine {
 public:
  // Power-on: RAM banks 5, 2 and 0 get pseudo-random bytes from `seed`.
  explicit Machine(uint64_t seed);
  // Power-on with a seed taken from the system's entropy source.
  Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // The "Reset" command, a held reset key and start-up: establishes StartMode.
  void ResetMachine();

  // One step: a frame end when due, then a held reset, an interrupt or one instruction,
  // and the catch-ups of the screen and the tape with the new time.
  void ProcessorStep() {
    if (State.Paused.load(std::memory_order_relaxed)) return;
    Z80Registers& r = State.Regs;
    if (r.Tackts >= State.TacktsPerInt) [[unlikely]]
      EndFrame();
    State.StepStartT = r.Tackts;
    if (State.ResetRequest.load(std::memory_order_relaxed)) [[unlikely]] {
      HeldResetStep();
      return;
    }
    // The interrupt is a level during the frame's first T-states, tested only here.
    if (r.Tackts < State.IntLength && r.IFF1 && r.AcceptInt) [[unlikely]] {
      Cpu.AcceptInterrupt();
      return;
    }
    Cpu.Step();
    // The paper is not drawn here: the beam's catch-up runs when a byte of the displayed
    // screen is about to change (Memory's screen watch), when the displayed page
    // switches, and at the frame end. The picture is the same as if every instruction
    // had drawn the bytes that came due, at a fraction of the cost.
    Tape.AdvanceTape(r.Tackts);
  }

  // Runs until `running` is cleared (or frame `endFrame` has begun): the emulation
  // thread's loop without a run target.
  // Between the interrupt window and the frame's end, with no pause, reset or playing tape
  // to serve, instructions run back to back in the processor's own loop.
  static constexpr uint32_t kNoEndFrame = 0xFFFFFFFF;
  void RunWhile(const std::atomic<bool>& running, uint32_t endFrame = kNoEndFrame) {
    Z80Registers& r = State.Regs;
    do {
      const bool plain = r.Tackts >= State.IntLength && r.Tackts < State.TacktsPerInt &&
                         !State.Paused.load(std::memory_order_relaxed) &&
                         !State.ResetRequest.load(std::memory_order_relaxed) && Tape.Idle();
      if (plain) {
        Cpu.StepUntil(State.TacktsPerInt, running);
      } else {
        ProcessorStep();
      }
    } while (running.load(std::memory_order_relaxed) &&
             State.FrameCount.load(std::memory_order_relaxed) != endFrame);
  }

  // Reading the user's settings is the application's business; the machine takes the
  // resulting values here.
  void SetTrDosEnabled(bool enabled) { Mem.DosEnabled = enabled; }
  // The frame length; the picture's drawing limits follow it.
  void SetTacktsPerInt(uint32_t tackts) {
    State.TacktsPerInt = tackts;
    Screen.SetFrameLength(tackts);
    Sound.SetFrameLength(tackts);
    Ay.SetFrameLength(tackts);
  }
  // Runs the frame end now if the frame is complete, as the next step would. Lets a
  // caller stop exactly between frames (the headless runner counts frames this way).
  // Draws the paper up to the present moment (before a picture is taken mid-frame).
  void CatchUpPicture() { Screen.DrawPaperUpTo(State.Regs.Tackts); }
  bool EndFrameIfDue() {
    if (State.Regs.Tackts < State.TacktsPerInt) return false;
    EndFrame();
    return true;
  }

  MachineState State;
  Memory Mem;
  KeyMatrix Keys;
  TapePlayer Tape;
  ScreenRenderer Screen;
  Beeper Sound;
  AyChip Ay;
  KempstonJoystick Joystick;
  KempstonMouse Mouse;
  Beta128 Disk;
  PortDecoder Ports;
  Z80 Cpu;
  PacingTimer Timer;

  // Changes from the window thread to machine-owned state. Apply runs the command at once
  // when no emulation thread exists (only the window thread starts one), and otherwise
  // queues it for the thread's next frame end; the run's end handler runs what is left.
  void Apply(std::function<void()> command) {
    if (State.EmulThreadAlive.load(std::memory_order_relaxed)) {
      Commands.Post(std::move(command));
    } else {
      Commands.RunPending();
      command();
    }
  }
  MachineCommands Commands;

  // Frame-end hooks for the desktop: whether the emulated mouse is captured (the
  // application is active, the screen window focused, capture on), and how to poll it.
  std::atomic<bool> MouseCaptured{false};
  // At maximum speed only one frame per timer tick is shown. A headless run shows none
  // of them but wants every frame presented, so the flash phase follows the frame count.
  bool PresentEveryFrame = false;
  std::function<void(KempstonMouse&)> PollMouse;

  // The PC's sound device, set by the desktop; without one (or with one that did not
  // open) the 20 ms timer paces the machine.
  SoundOutput* Output = nullptr;
  // The emulation thread starts the sound when it starts running the machine and stops it
  // when it stops.
  void StartSound();
  void StopSound();
  // The 882 samples mixed at the last frame end, and a hook that receives them at every
  // frame end whatever the speed (the headless runner writes them to a WAV file).
  const std::array<uint8_t, kSoundBlockSize>& LastSoundBlock() const {
    return Sound.LastSoundBlock();
  }
  std::function<void(const std::array<uint8_t, kSoundBlockSize>&)> SoundBlockReady;

 private:
  void EndFrame();
  void HeldResetStep();
  void WaitForSoundCard();
};

}  // namespace vantrel
