#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

#include "machine/Machine.h"
#include "machine/PacingTimer.h"
#include "sound/SoundOutput.h"

namespace vantrel {

// Where a debugger run stops by itself; Esc and breakpoints stop any run.
struct RunStop {
  enum class Kind : uint8_t {
    // After the step that leaves PC at Pc.
    Address,
    // A call or restart stepped over: at the first instruction boundary, once it has run,
    // with SP back at or above Sp (its value before), wherever PC is then. A routine that
    // returns past inline bytes or never returns stops where it left the caller's frame.
    Return,
    // A loop, HALT or repeating instruction stepped over: PC at Pc, the next instruction,
    // with SP at Sp, its value before (an interrupt's handler passing Pc runs deeper).
    Next,
  };
  Kind Mode = Kind::Address;
  uint16_t Pc = 0;
  uint16_t Sp = 0;
};

// Told of every step of RunFrames (the headless runner's instruction trace).
class StepObserver {
 public:
  virtual ~StepObserver() = default;
  virtual void BeforeStep() = 0;
  virtual void AfterStep(StepKind kind) = 0;
};

// The loop that runs a Machine for someone, shared by the emulation thread and the
// headless runner. Between frames it does what the hardware does not: hands the sound
// block to the sound card, waits for real time, decides which frames are shown, and
// polls the desktop's mouse. It stands in the machine's frame end for as long as it lives.
class RunLoop final : public FrameEndHandler {
 public:
  explicit RunLoop(Machine& machine);
  ~RunLoop() override;
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // Runs until `running` is cleared (or frame `endFrame` has begun): the emulation
  // thread's loop without a run target. Plain stretches of a frame run in the
  // processor's own loop. While a breakpoint is enabled (looked at once a frame, where
  // the list can change) each step consults the list instead; returns true when an
  // entry stopped the run.
  static constexpr uint32_t kNoEndFrame = 0xFFFFFFFF;
  bool RunWhile(const std::atomic<bool>& running, uint32_t endFrame = kNoEndFrame) {
    const std::atomic<uint32_t>& frameCount = machine_.State.FrameCount;
    bool resumed = true;
    do {
      const uint32_t frame = frameCount.load(std::memory_order_relaxed);
      if (machine_.Breaks().Active()) [[unlikely]] {
        if (RunFrameWithBreakpoints(running, resumed)) return true;
      } else {
        do {
          if (machine_.PlainStretch()) {
            machine_.StepStretch(running);
          } else {
            machine_.ProcessorStep();
          }
        } while (running.load(std::memory_order_relaxed) &&
                 frameCount.load(std::memory_order_relaxed) == frame);
      }
      resumed = false;
    } while (running.load(std::memory_order_relaxed) &&
             frameCount.load(std::memory_order_relaxed) != endFrame);
    return false;
  }
  // Steps until `running` is cleared or `stop` is reached, which clears it. True when a
  // breakpoint stopped it first.
  bool RunTo(std::atomic<bool>& running, const RunStop& stop);
  // Runs `frames` whole frames, stopping exactly between frames, or earlier where PC
  // stands at `untilPc` before a step. `frameDone` follows each frame end with the count
  // so far (the headless runner changes keys there, where the ROM's scan expects them).
  struct FramesRun {
    uint64_t Frames = 0;
    bool PcReached = false;
    bool BreakpointHit = false;  // Machine::Breaks().LastHit() says which
  };
  FramesRun RunFrames(uint64_t frames, std::optional<uint16_t> untilPc,
                      const std::function<void(uint64_t)>& frameDone);
  // Sees each step of RunFrames; while one is set no stretch runs in the processor's own
  // loop.
  StepObserver* Observer = nullptr;

  // The sound card starts when a run starts and stops when it ends.
  void StartSound();
  void StopSound();

  // The PC's sound device, set by the desktop; without one (or with one that did not
  // open) the 20 ms timer paces the machine.
  SoundOutput* Output = nullptr;
  PacingTimer Timer;
  // At maximum speed only one frame per timer tick is shown. A headless run shows none
  // of them but wants every frame presented, so the flash phase follows the frame count.
  bool PresentEveryFrame = false;
  // Whether the emulated mouse is captured (the application is active, the screen window
  // focused, capture on), and how to poll it.
  std::atomic<bool> MouseCaptured{false};
  std::function<void(KempstonMouse&)> PollMouse;
  // Receives the mixed block at every frame end whatever the speed (the headless runner
  // writes them to a WAV file).
  std::function<void(const std::array<uint8_t, kSoundBlockSize>&)> SoundBlockReady;
  // The same for the 16-bit stereo stream the sound card plays.
  std::function<void(const StereoMixer::Block&)> StereoBlockReady;
  // While the tape plays, frames are paced as at maximum speed; the user's speed comes
  // back when it stops. Written by the window thread, read at every frame end.
  std::atomic<bool> FastTapeLoading{true};
  // Runs at every frame end until it returns false (an autoload's typing). Set only by
  // the thread that runs the machine: through Machine::Apply while a run goes on.
  std::function<bool()> FrameTask;
  // While the disk controller runs a command, frames go at maximum speed (set from the
  // window thread).
  std::atomic<bool> FastDiskAccess{true};

  void FrameFinished() override;

 private:
  // Steps with breakpoints until the frame count moves; `resumed`: the first step of a
  // run, which leaves an execution breakpoint's address without stopping there again.
  bool RunFrameWithBreakpoints(const std::atomic<bool>& running, bool resumed);
  void WaitForSoundCard();

  Machine& machine_;
  // Whether the AY computes this frame's samples, and the timer tick of the last block
  // written at maximum speed.
  bool samplesWanted_ = true;
  uint32_t soundTick_ = 0xFFFFFFFF;
};

}  // namespace vantrel
