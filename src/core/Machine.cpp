#include "core/Machine.h"

#include <chrono>
#include <random>
#include <thread>

namespace vantrel {

namespace {

// How long the wait for the sound card tolerates a play position that does not move.
constexpr int kSoundStallMilliseconds = 100;

uint64_t EntropySeed() {
  std::random_device device;
  return (static_cast<uint64_t>(device()) << 32) ^ device();
}

}  // namespace

Machine::Machine(uint64_t seed)
    : Screen(State, Mem),
      Sound(State),
      Ports(State, Mem, PortDevices{Keys, Tape, Screen, Sound, Ay, Joystick, Mouse, Disk}),
      Cpu(State, Mem),
      Timer(State.FrameCount) {
  Cpu.SetPortBus(Ports.Bus());
  Cpu.SetTapeAutoStart([](void* tape) { static_cast<TapePlayer*>(tape)->TapeAutoStart(); }, &Tape);
  Mem.PowerOnFill(seed);
}

Machine::Machine() : Machine(EntropySeed()) {}

void Machine::ResetMachine() {
  // Unlock paging so the port writes below take effect. Leaving TR-DOS first means the
  // #7FFD write maps the BASIC ROM it selects: a reset into a mode without TR-DOS must
  // not run on with the TR-DOS ROM still at 0x0000.
  Mem.Port7FFD = 0;
  Mem.DosActive = false;
  Ports.PortWrite(0x1FFD, 0x00);
  const uint8_t mode = State.StartMode.load(std::memory_order_relaxed);
  // 48K modes: bank 0 at 0xC000, the 48K BASIC ROM, paging locked.
  Ports.PortWrite(0x7FFD, (mode & kStart128k) ? 0x00 : 0x30);
  if (Mem.DosEnabled && (mode & kStartTrDos)) {
    Mem.EnterDos();
    Mem.Port7FFD |= 0x10;
  }

  Z80Registers& r = State.Regs;
  r.IM = 0;
  r.IFF1 = r.IFF2 = 0;
  r.PC = 0;
  r.R = r.R7 = 0;
  r.SP = 0xFFFF;
  r.AF.Set(0xFFFF);
  Ay.AyReset();
}

void Machine::HeldResetStep() {
  // While the reset key is held the machine stays at 0 and time runs on.
  ResetMachine();
  Z80Registers& r = State.Regs;
  r.Tackts += 4;
  Tape.AdvanceTape(r.Tackts);
}

void Machine::EndFrame() {
  Z80Registers& r = State.Regs;
  Screen.DrawPaperUpTo(r.Tackts);
  if (State.SoundChangeHistory & 0x07) {
    State.SoundChangeHistory = static_cast<uint8_t>(State.SoundChangeHistory << 1);
    if (!State.SamplerWrapped) Sound.AdvanceBeeper(r.Tackts);
    State.SamplerWrapped = 0;
  }
  if (State.BorderChangeHistory & 0x03) Screen.DrawBorderUpTo(r.Tackts);
  State.BorderChangeHistory = static_cast<uint8_t>(State.BorderChangeHistory << 1);
  Disk.AdvanceTo(r.Tackts);
  Ay.AyAdvance(r.Tackts);

  const bool normalSpeed = State.NormalSpeed.load(std::memory_order_relaxed);
  const uint32_t tick = Timer.TimerTicks.load(std::memory_order_relaxed);
  Sound.MixSoundBlock(Ay.Samples());
  if (SoundBlockReady) SoundBlockReady(Sound.LastSoundBlock());
  if (normalSpeed || Timer.LastPresentedTick != tick) Sound.WriteSoundBlock(Output);
  if (normalSpeed && !State.TraceMode.load(std::memory_order_relaxed)) WaitForSoundCard();
  if (normalSpeed || PresentEveryFrame) {
    Screen.PresentFrame();
  } else if (Timer.LastPresentedTick != tick) {
    // At maximum speed at most one frame per tick is shown.
    Timer.LastPresentedTick = tick;
    Screen.PresentFrame();
  }
  Screen.StartFrame();
  if (MouseCaptured.load(std::memory_order_relaxed) &&
      Mouse.Enabled.load(std::memory_order_relaxed) && PollMouse) {
    PollMouse(Mouse);
  }

  r.Tackts -= State.TacktsPerInt;
  State.StepStartT = r.Tackts;  // queued changes see the new frame
  State.FrameCount.fetch_add(1, std::memory_order_relaxed);

  Commands.RunPending();
  switch (State.CpuStoppedRequest.exchange(kCpuStoppedNone, std::memory_order_relaxed)) {
    case kCpuStoppedReset: r.PC = 0; break;        // runs on from address 0
    case kCpuStoppedReanimate: r.IFF1 = 1; break;  // the next interrupt ends the HALT
    default: break;
  }
}

void Machine::WaitForSoundCard() {
  if (!Output || !Output->Active()) {
    Timer.WaitForTick();
    return;
  }
  // E is the end of the block just written. The card has nearly played what was written
  // once its position is within the block after E, less the synch delay. A machine that
  // comes late finds it a block further on and goes on at once: waiting a whole turn of
  // the buffer for the window would drop frames and leave the sound a turn behind.
  const uint32_t end = Sound.BlockOffset == 0 ? kSoundBufferSize : Sound.BlockOffset;
  const uint32_t delay = Sound.SynchDelay.load(std::memory_order_relaxed);
  const uint32_t from = (end + kSoundBufferSize - delay) % kSoundBufferSize;
  uint32_t last = Output->PlayPosition();
  int stalled = 0;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const uint32_t position = Output->PlayPosition();
    if ((position + kSoundBufferSize - from) % kSoundBufferSize < 2 * kSoundBlockSize) return;
    // A device that stops consuming must not hold the machine for ever: after a few
    // frames' time without movement the frame goes on.
    if (position != last) {
      last = position;
      stalled = 0;
    } else if (++stalled >= kSoundStallMilliseconds) {
      return;
    }
  }
}

void Machine::StartSound() {
  // The card starts from the buffer's beginning, so the blocks do too.
  Sound.BlockOffset = 0;
  if (Output && Output->Active()) Output->Start();
}

void Machine::StopSound() {
  if (Output && Output->Active()) Output->Stop();
}

}  // namespace vantrel
