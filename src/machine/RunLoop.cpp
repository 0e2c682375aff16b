#include "machine/RunLoop.h"

#include <chrono>

namespace vantrel {

namespace {

// How long the wait for the sound card tolerates a play position that does not move.
constexpr int kSoundStallMilliseconds = 100;

}  // namespace

RunLoop::RunLoop(Machine& machine) : Timer(machine.State.FrameCount), machine_(machine) {
  machine_.SetFrameEndHandler(this);
}

RunLoop::~RunLoop() {
  machine_.SetFrameEndHandler(nullptr);
  machine_.Ay.SetSamplesWanted(true);
}

bool RunLoop::RunFrameWithBreakpoints(const std::atomic<bool>& running, bool resumed) {
  const std::atomic<uint32_t>& frameCount = machine_.State.FrameCount;
  const uint32_t frame = frameCount.load(std::memory_order_relaxed);
  bool checkExecution = !resumed;
  do {
    if (machine_.BreakpointStep(checkExecution)) return true;
    checkExecution = true;
  } while (running.load(std::memory_order_relaxed) &&
           frameCount.load(std::memory_order_relaxed) == frame);
  return false;
}

bool RunLoop::RunTo(std::atomic<bool>& running, const RunStop& stop) {
  const Z80Registers& r = machine_.State.Regs;
  // How far SP is below the stepped instruction's, the stack wrapping round: a push at
  // SP 0x0001 goes down to 0xFFFF.
  const auto deeper = [&stop](uint16_t sp) { return static_cast<int16_t>(stop.Sp - sp) > 0; };
  // A call's stop waits until the call itself has run: an interrupt taken first returns
  // to it with SP as before.
  bool called = stop.Mode != RunStop::Kind::Return;
  bool checkExecution = false;
  do {
    const bool fromFrame = !deeper(r.SP);
    StepKind kind;
    if (machine_.Breaks().Active()) {
      if (machine_.BreakpointStep(checkExecution, kind)) return true;
    } else {
      kind = machine_.ProcessorStep();
    }
    checkExecution = true;
    bool reached = false;
    switch (stop.Mode) {
      case RunStop::Kind::Address: reached = r.PC == stop.Pc; break;
      case RunStop::Kind::Return:
        called = called || (fromFrame && kind == StepKind::Instruction);
        reached = called && !deeper(r.SP);
        break;
      case RunStop::Kind::Next: reached = r.PC == stop.Pc && r.SP == stop.Sp; break;
    }
    if (reached) running.store(false, std::memory_order_relaxed);
  } while (running.load(std::memory_order_relaxed));
  return false;
}

RunLoop::FramesRun RunLoop::RunFrames(uint64_t frames, std::optional<uint16_t> untilPc,
                                      const std::function<void(uint64_t)>& frameDone) {
  FramesRun run;
  // Without a PC to watch nothing happens between two steps, and the processor's own loop
  // stops at the frame's end, where the keys change.
  const std::atomic<bool> running{true};
  bool checkExecution = false;
  while (frames > 0) {
    if (machine_.EndFrameIfDue()) {
      ++run.Frames;
      if (frameDone) frameDone(run.Frames);
      if (run.Frames == frames) break;
    }
    if (untilPc && machine_.State.Regs.PC == *untilPc) {
      run.PcReached = true;
      break;
    }
    if (Observer) Observer->BeforeStep();
    StepKind kind = StepKind::Idle;
    if (machine_.Breaks().Active()) {
      if (machine_.BreakpointStep(checkExecution, kind)) {
        run.BreakpointHit = true;
        break;
      }
    } else if (!untilPc && !Observer && machine_.PlainStretch()) {
      machine_.StepStretch(running);
    } else {
      kind = machine_.ProcessorStep();
    }
    if (Observer) Observer->AfterStep(kind);
    checkExecution = true;
  }
  return run;
}

void RunLoop::FrameFinished() {
  const MachineState& s = machine_.State;
  bool normalSpeed = s.NormalSpeed.load(std::memory_order_relaxed);
  if (machine_.Tape.Playing() && FastTapeLoading.load(std::memory_order_relaxed)) {
    normalSpeed = false;
  }
  if (FastDiskAccess.load(std::memory_order_relaxed) && machine_.Disk.Controller.Busy()) {
    normalSpeed = false;
  }
  const uint32_t tick = Timer.CurrentTick();
  if (SoundBlockReady) SoundBlockReady(machine_.Beeper.LastSoundBlock());
  if (StereoBlockReady) StereoBlockReady(machine_.LastStereoBlock());
  // At maximum speed one block per timer tick is heard: the first one computed after it.
  if (normalSpeed || (samplesWanted_ && soundTick_ != tick)) {
    machine_.Beeper.WriteSoundBlock(Output, machine_.LastStereoBlock());
    soundTick_ = tick;
  }
  // A trace that reaches a frame end runs it whole, but without the wait.
  if (normalSpeed && !s.TraceMode.load(std::memory_order_relaxed)) WaitForSoundCard();
  if (normalSpeed || PresentEveryFrame) {
    machine_.Screen.PresentFrame();
  } else if (Timer.LastPresentedTick != tick) {
    // At maximum speed at most one frame per tick is shown.
    Timer.LastPresentedTick = tick;
    machine_.Screen.PresentFrame();
  }
  if (MouseCaptured.load(std::memory_order_relaxed) &&
      machine_.Mouse.Enabled.load(std::memory_order_relaxed) && PollMouse) {
    PollMouse(machine_.Mouse);
  }
  if (FrameTask && !FrameTask()) FrameTask = nullptr;
  // The next frame's samples are computed only when they can be written.
  samplesWanted_ =
      normalSpeed || SoundBlockReady || StereoBlockReady || soundTick_ != Timer.CurrentTick();
  machine_.Ay.SetSamplesWanted(samplesWanted_);
  machine_.Ay2.SetSamplesWanted(samplesWanted_);
}

void RunLoop::WaitForSoundCard() {
  if (!Output || !Output->Active()) {
    Timer.WaitForTick();
    return;
  }
  // E is the end of the block just written. The card has nearly played what was written
  // once its position is within the block after E, less the synch delay. A machine that
  // comes late finds it a block further on and goes on at once: waiting a whole turn of
  // the buffer for the window would drop frames and leave the sound a turn behind.
  const Beeper& beeper = machine_.Beeper;
  const uint32_t end = beeper.BlockOffset == 0 ? kSoundBufferSize : beeper.BlockOffset;
  const uint32_t delay = beeper.SynchDelay.load(std::memory_order_relaxed);
  const uint32_t from = (end + kSoundBufferSize - delay) % kSoundBufferSize;
  uint32_t position = Output->PlayPosition();
  for (;;) {
    if ((position + kSoundBufferSize - from) % kSoundBufferSize < 2 * kSoundBlockSize) return;
    // A device that stops consuming must not hold the machine for ever: after a few
    // frames' time without movement the frame goes on.
    const uint32_t moved =
        Output->WaitForMove(position, std::chrono::milliseconds(kSoundStallMilliseconds));
    if (moved == position) return;
    position = moved;
  }
}

void RunLoop::StartSound() {
  // The card starts from the buffer's beginning, so the blocks do too.
  machine_.Beeper.BlockOffset = 0;
  if (Output && Output->Active()) Output->Start();
}

void RunLoop::StopSound() {
  if (Output && Output->Active()) Output->Stop();
}

}  // namespace vantrel
