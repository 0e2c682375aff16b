#include "machine/Machine.h"

#include <random>

#include "machine/Rewind.h"
#include "machine/RomLoaderTrap.h"
#include "machine/StepHistory.h"

namespace vantrel {

namespace {

uint64_t EntropySeed() {
  std::random_device device;
  return (static_cast<uint64_t>(device()) << 32) ^ device();
}

}  // namespace

Machine::Machine(uint64_t seed)
    : Screen(State, Mem),
      Beeper(State),
      Ports(State, Mem,
            PortDevices{Keys, Tape, Screen, Beeper, Ay, Ay2, Joystick, Mouse, Disk, Recorder}),
      Cpu(State, Mem) {
  plainBus_ = Ports.Bus();
  breaks_.Bind(&State.Regs, &Mem);
  Cpu.SetPortBus(plainBus_);
  watchedCpu_.SetPortBus(plainBus_);
  contendedCpu_.SetPortBus(plainBus_);
  const auto tapeStart = [](void* tape) { static_cast<TapePlayer*>(tape)->TapeAutoStart(); };
  Cpu.SetTapeAutoStart(tapeStart, &Tape);
  watchedCpu_.SetTapeAutoStart(tapeStart, &Tape);
  contendedCpu_.SetTapeAutoStart(tapeStart, &Tape);
  WireWatchHooks(true);
  // The tape reads this machine's clock and frame length, and the 48K lock of its stop
  // block; its edges are heard through the beeper's tape input.
  Tape.Connect(&State.Regs.Tackts, &State.TacktsPerInt, &Mem.Port7FFD);
  Tape.SetEarHook(
      [](void* beeper, bool high) { static_cast<vantrel::Beeper*>(beeper)->TapeInChanged(high); },
      &Beeper);
  // Instant loading: the ROM loader's start hands a standard block to the loader's model.
  Tape.SetLoaderHook([](void* machine) { return LoadAtRomLoader(*static_cast<Machine*>(machine)); },
                     this);
  Recorder.Connect(&State.Regs.Tackts, &State.TacktsPerInt, &State.FrameCount);
  Recorder.SetDeck(&Tape);
  Disk.Connect(&State);
  Disk.SetDisk(0, Disks[0].get());
  Mem.PowerOnFill(seed);
}

Machine::Machine() : Machine(EntropySeed()) {}

void Machine::ResetMachine() {
  // Leaving TR-DOS and unlocking paging first means the #7FFD write maps the BASIC ROM it
  // selects: a reset into a mode without TR-DOS must not run on with the TR-DOS ROM still
  // at 0x0000. 48K modes: bank 0 at 0xC000, the 48K BASIC ROM, paging locked.
  Ports.PortWrite(0x1FFD, 0x00);
  const uint8_t mode = State.StartMode.load(std::memory_order_relaxed);
  if (timingChoice_ == TimingChoice::ByStartMode) ApplyTimingChoice();
  ForcePaging((mode & kStart128k) ? 0x00 : 0x30);
  if (Mem.DosEnabled && (mode & kStartTrDos)) Mem.StartInDos();

  Z80Registers& r = State.Regs;
  r.IM = 0;
  r.IFF1 = r.IFF2 = 0;
  r.PC = 0;
  r.R = r.R7 = 0;
  r.SP = 0xFFFF;
  r.AF.Set(0xFFFF);
  Ay.Reset();
  Ay2.Reset();
  Ports.AyChipSelected = 0;
}

void Machine::WireWatchHooks(bool report) {
  if (!report) {
    watchedMem_.SetHooks([](void*, uint16_t) {}, [](void*, uint16_t) {}, nullptr);
    return;
  }
  watchedMem_.SetHooks(
      [](void* breaks, uint16_t address) {
        static_cast<Breakpoints*>(breaks)->OnAccess(BreakType::ReadMemory, address);
      },
      [](void* breaks, uint16_t address) {
        static_cast<Breakpoints*>(breaks)->OnAccess(BreakType::WriteMemory, address);
      },
      &breaks_);
}

void Machine::RecordStep(bool interrupt) {
  history_->BeforeStep(*this, interrupt);
}

void Machine::NoteStretch() {
  history_->BeforeStretch(*this);
}

void Machine::SetBreakpoints(const std::vector<Breakpoint>& entries) {
  breaks_.Assign(entries);
  repeat_.Active = false;
  WireBreakpointPorts();
}

void Machine::WireBreakpointPorts() {
  PortBus bus = plainBus_;
  if (breaks_.WatchesPorts()) {
    // Both processors go through the watching bus, which reports and passes on.
    bus.Context = this;
    bus.Read = [](void* context, uint16_t port) {
      auto* machine = static_cast<Machine*>(context);
      machine->breaks_.OnAccess(BreakType::ReadPort, port);
      return machine->plainBus_.PortRead(port);
    };
    bus.Write = [](void* context, uint16_t port, uint8_t value) {
      auto* machine = static_cast<Machine*>(context);
      machine->breaks_.OnAccess(BreakType::WritePort, port);
      machine->plainBus_.PortWrite(port, value);
    };
  }
  Cpu.SetPortBus(bus);
  watchedCpu_.SetPortBus(bus);
  contendedCpu_.SetPortBus(bus);
}

void Machine::ApplyTimingChoice() {
  SetTiming(
      ResolveTiming(timingChoice_, State.StartMode.load(std::memory_order_relaxed), Mem.Model),
      defaultTackts_);
}

void Machine::SetTiming(MachineTiming timing, uint32_t tacktsPerInt) {
  const uint32_t frame =
      timing == MachineTiming::Default ? tacktsPerInt : FiguresOf(timing)->FrameTackts();
  if (timing == timing_ && frame == State.TacktsPerInt) return;
  timing_ = timing;
  const UlaFigures* ula = FiguresOf(timing);
  contendedMem_.SetTiming(timing);
  Ports.FloatingBus = ula != nullptr;
  Screen.SetTiming(timing);
  State.IntLength = ula ? ula->IntLength : kDefaultIntLength;
  SetTacktsPerInt(ula ? ula->FrameTackts() : tacktsPerInt);
}

int RepeatingLength(const Memory& mem, uint16_t pc) {
  const uint8_t opcode = mem.PeekByte(pc);
  if (opcode == 0x76) return 1;
  // LDIR, CPIR, INIR, OTIR, LDDR, CPDR, INDR, OTDR: ED B0-B3 and ED B8-BB.
  if (opcode == 0xED && (mem.PeekByte(static_cast<uint16_t>(pc + 1)) & 0xF4) == 0xB0) return 2;
  return 0;
}

void Machine::FollowRepeat(uint16_t pc, uint16_t sp) {
  const Z80Registers& r = State.Regs;
  if (r.PC == pc && RepeatingLength(Mem, pc) != 0) {
    repeat_ = {true, pc, sp};
  } else if (static_cast<int16_t>(repeat_.Sp - sp) <= 0) {
    // An instruction at the visit's own stack level (not in an interrupt's handler,
    // deeper down): the visit is over.
    repeat_.Active = false;
  }
}

bool Machine::BreakpointStep(bool checkExecution, StepKind& kind) {
  Z80Registers& r = State.Regs;
  kind = StepKind::Idle;
  // A run's first step starts a new visit of whatever it executes.
  if (!checkExecution) repeat_.Active = false;
  const bool revisit = repeat_.Active && r.PC == repeat_.Pc && r.SP == repeat_.Sp;
  if (checkExecution && !revisit && breaks_.Watches(BreakType::Execution) &&
      !State.Paused.load(std::memory_order_relaxed) && breaks_.CheckExecution(r.PC)) {
    return true;
  }
  const uint16_t pc = r.PC;
  const uint16_t sp = r.SP;
  const bool timed = breaks_.Watches(BreakType::TimePass);
  uint32_t before = 0;
  if (timed) {
    State.UpdateTacktsMeter();
    before = State.TacktsMeter;
  }
  // Memory entries run the watching processor, which has no contention.
  if (breaks_.WatchesMemory()) {
    kind = StepOn(watchedCpu_);
  } else {
    kind = timing_ == MachineTiming::Default ? StepOn(Cpu) : StepOn(contendedCpu_);
  }
  if (kind == StepKind::Interrupt) breaks_.OnInterrupt();
  if (kind == StepKind::Instruction && breaks_.Watches(BreakType::Execution)) {
    FollowRepeat(pc, sp);
  }
  if (timed) {
    State.UpdateTacktsMeter();
    breaks_.OnTime(before, State.TacktsMeter);
  }
  return breaks_.TakeHit();
}

void Machine::HeldResetStep() {
  // While the reset key is held the machine stays at 0 and time runs on.
  ResetMachine();
  NoteExternalChange();
  Z80Registers& r = State.Regs;
  r.Tackts += 4;
  Tape.AdvanceTo(r.Tackts);
}

void Machine::EndFrame() {
  Z80Registers& r = State.Regs;
  Screen.FinishFrame(r.Tackts);
  Beeper.FinishFrame(r.Tackts);
  Disk.AdvanceTo(r.Tackts);
  // Only to the frame's end: the run loop may change whether the next frame's samples
  // are wanted, and the overrun belongs to that frame.
  Ay.FinishFrame(State.TacktsPerInt);
  Ay2.FinishFrame(State.TacktsPerInt);
  const bool turbo = Ports.Settings.TurboSound;
  Beeper.MixSoundBlock(Ay.Samples(), turbo ? &Ay2.Samples() : nullptr);
  StepBuffer* const steps[] = {&Beeper.Steps, &Ay.Steps, &Ay2.Steps};
  Mixer.Mix(steps);
  Ay.NextSoundFrame();
  Ay2.NextSoundFrame();

  const bool replaying = history_ && history_->Replaying();
  if (replaying) [[unlikely]] {
    // Shown or not as when it ran: the flash phase follows the frames shown.
    if (history_->Input(0)) Screen.CountPresentedFrame();
  } else {
    const uint32_t shown = Screen.PresentedFrames();
    if (frameEnd_) {
      frameEnd_->FrameFinished();
    } else {
      Screen.PresentFrame();
    }
    if (history_) history_->Input(Screen.PresentedFrames() != shown);
  }
  Screen.StartFrame();

  r.Tackts -= State.TacktsPerInt;
  State.StepStartT = r.Tackts;  // queued changes see the new frame
  State.FrameCount.fetch_add(1, std::memory_order_relaxed);

  if (replaying) [[unlikely]]
    return;
  Commands.RunPending();
  if (const auto answer = State.CpuStoppedRequest.load(std::memory_order_relaxed)) {
    NoteExternalChange();
    if (answer == kCpuStoppedReset) {
      r.PC = 0;  // runs on from address 0
    } else {
      r.IFF1 = 1;  // the next interrupt ends the HALT
    }
    // Released after the flag: whoever sees no request pending also sees the flag down.
    State.CpuStopped.store(false, std::memory_order_relaxed);
    State.CpuStoppedRequest.store(kCpuStoppedNone, std::memory_order_release);
  }
  // Between two steps, with the new frame begun: the place a capture restores to.
  if (rewind_) rewind_->FrameStarted(*this);
  if (history_) history_->FrameStarted(*this);
}

}  // namespace vantrel
