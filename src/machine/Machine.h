#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/ContendedMemory.h"
#include "core/MachineState.h"
#include "core/Memory.h"
#include "core/UlaTiming.h"
#include "core/WatchedMemory.h"
#include "core/Z80.h"
#include "disk/Beta128.h"
#include "disk/FloppyDisk.h"
#include "input/Kempston.h"
#include "input/KeyMatrix.h"
#include "machine/Breakpoints.h"
#include "machine/MachineCommands.h"
#include "machine/PortDecoder.h"
#include "sound/AyChip.h"
#include "sound/Beeper.h"
#include "sound/StereoMixer.h"
#include "tape/TapePlayer.h"
#include "tape/TapeRecorder.h"
#include "video/ScreenRenderer.h"

namespace vantrel {

// What happens between a frame's hardware end and the next frame's start when the machine
// runs for someone: the run loop's sound output, real-time pacing, presentation policy
// and mouse polling. Called once a frame on the thread that runs the machine.
class RewindBuffer;
class StepHistory;

class FrameEndHandler {
 public:
  virtual ~FrameEndHandler() = default;
  virtual void FrameFinished() = 0;
};

// What one step of the machine did: nothing (paused, or held in reset), one instruction
// (or one link of a prefix chain, or one repetition), or accepting the interrupt.
enum class StepKind : uint8_t { Idle, Instruction, Interrupt };

// The length of the instruction at `pc` when it executes again at its own address (HALT,
// and the repeating block instructions), else 0.
int RepeatingLength(const Memory& mem, uint16_t pc);

// One emulated computer: the machine state, memory, devices, port decoder and processor.
// Nothing is global, so any number of machines can live side by side. Pacing, showing
// frames and the sound card are the run loop's business (RunLoop).
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
  StepKind ProcessorStep() {
    return timing_ == MachineTiming::Default ? StepOn(Cpu) : StepOn(contendedCpu_);
  }

  // One step with the enabled breakpoints consulted: an execution entry before the
  // instruction (unless `checkExecution` is false: the first step of a run leaves the
  // address it stopped at), the others after the step that hit them. True when one
  // fired; Breaks.LastHit() says which. An execution entry fires once per visit of a
  // repeating instruction or HALT, not at each repetition (nor when an interrupt returns
  // into it). `kind` says what the step did.
  bool BreakpointStep(bool checkExecution, StepKind& kind);
  bool BreakpointStep(bool checkExecution) {
    StepKind kind;
    return BreakpointStep(checkExecution, kind);
  }
  // Installs the debugger's list; only between steps (through Apply while a thread runs).
  void SetBreakpoints(const std::vector<Breakpoint>& entries);
  const Breakpoints& Breaks() const { return breaks_; }
  Breakpoints& Breaks() { return breaks_; }

  // Between the interrupt window and the frame's end, with no pause, reset or playing tape
  // to serve, instructions may run back to back in the processor's own loop.
  bool PlainStretch() const {
    const uint32_t t = State.Regs.Tackts;
    return t >= State.IntLength && t < State.TacktsPerInt &&
           !State.Paused.load(std::memory_order_relaxed) &&
           !State.ResetRequest.load(std::memory_order_relaxed) && Tape.Idle();
  }

  // Runs a plain stretch in the processor's own loop, on the timing's processor.
  void StepStretch(const std::atomic<bool>& running) {
    if (history_) [[unlikely]]
      NoteStretch();
    if (timing_ == MachineTiming::Default) {
      Cpu.StepUntil(State.TacktsPerInt, running);
    } else {
      contendedCpu_.StepUntil(State.TacktsPerInt, running);
    }
  }

  // Reading the user's settings is the application's business; the machine takes the
  // resulting values here.
  void SetTrDosEnabled(bool enabled) { Mem.DosEnabled = enabled; }
  // The frame length; the picture's drawing limits follow it.
  void SetTacktsPerInt(uint32_t tackts) {
    State.TacktsPerInt = tackts;
    Screen.SetFrameLength(tackts);
    Beeper.SetFrameLength(tackts);
    Ay.SetFrameLength(tackts);
    Ay2.SetFrameLength(tackts);
  }
  // Where the AY's channels are heard in the stereo stream.
  void SetStereoLayout(StereoLayout layout) {
    Ay.SetLayout(layout);
    Ay2.SetLayout(layout);
  }
  // TurboSound: a second AY behind #FFFD (the application offers it on the Pentagon and
  // Scorpion models). Turning it off silences the second chip and selects the first.
  void SetTurboSound(bool enabled) {
    if (Ports.Settings.TurboSound == enabled) return;
    Ports.Settings.TurboSound = enabled;
    Ports.AyChipSelected = 0;
    Ay2.Reset();
  }
  // The timing: the default frame of `tacktsPerInt` T-states without contention, or a
  // Sinclair ULA's, which sets its own frame length, interrupt length, contention,
  // floating bus and picture geometry.
  void SetTiming(MachineTiming timing, uint32_t tacktsPerInt);
  MachineTiming Timing() const { return timing_; }
  // The "Sinclair Timing" setting with the default frame's length: "by start mode" is
  // worked out again at every reset, from the start mode and the memory model.
  void SetTimingChoice(TimingChoice choice, uint32_t tacktsPerInt) {
    timingChoice_ = choice;
    defaultTackts_ = tacktsPerInt;
    ApplyTimingChoice();
  }
  TimingChoice GetTimingChoice() const { return timingChoice_; }
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
  // The MIC output recorded into Tape while recording is on.
  TapeRecorder Recorder;
  ScreenRenderer Screen;
  vantrel::Beeper Beeper;
  AyChip Ay;
  AyChip Ay2;  // TurboSound's second chip; silent while TurboSound is off
  StereoMixer Mixer;
  KempstonJoystick Joystick;
  KempstonMouse Mouse;
  Beta128 Disk;
  // The disks in drives A to D. Drive A always holds one (all zero stands for none, as
  // at start); B to D start empty (nullptr). Replaced only between two steps (through
  // Apply while the emulation thread runs), never while the controller reads its tracks.
  static constexpr int kDrives = Vg93Controller::kDrives;
  std::array<std::unique_ptr<FloppyDisk>, kDrives> Disks{std::make_unique<FloppyDisk>()};
  void InsertDisk(std::unique_ptr<FloppyDisk> disk, int drive = 0) {
    if (!disk && drive == 0) disk = std::make_unique<FloppyDisk>();
    if (disk) disk->Serial = ++diskSerials_;
    Disks[drive] = std::move(disk);
    Disk.SetDisk(drive, Disks[drive].get());
  }
  // A disk rebuilt from a capture keeps the serial it had.
  void InsertCapturedDisk(std::unique_ptr<FloppyDisk> disk, int drive) {
    Disks[drive] = std::move(disk);
    Disk.SetDisk(drive, Disks[drive].get());
  }
  PortDecoder Ports;
  Z80 Cpu;

  // Changes from the window thread to machine-owned state. Apply runs the command at once
  // when no emulation thread exists (only the window thread starts one), and otherwise
  // queues it for the thread's next frame end; the run's end handler runs what is left.
  void Apply(std::function<void()> command) { Run(std::move(command), true); }
  // The same for a command that changes nothing the running program can see (how it is
  // shown, a copy of its tape taken): the step history starts no new stretch for it.
  void ApplyUnseen(std::function<void()> command) { Run(std::move(command), false); }
  // Something outside the machine's own steps changed it (a command, a register edited
  // while stopped, a restored capture): the step history starts a new stretch there.
  // Only on the thread that owns the machine.
  void NoteExternalChange() { ++externalChanges_; }
  uint32_t ExternalChanges() const { return externalChanges_; }
  MachineCommands Commands;

  // The 882 8-bit mono samples mixed at the last frame end.
  const std::array<uint8_t, kSoundBlockSize>& LastSoundBlock() const {
    return Beeper.LastSoundBlock();
  }
  // The same frame as the 16-bit stereo stream the sound card plays.
  const StereoMixer::Block& LastStereoBlock() const { return Mixer.LastBlock(); }

  // Paging set whatever the latches held: leaves TR-DOS, unlocks #7FFD and writes it (a
  // reset, a loaded snapshot).
  void ForcePaging(uint8_t port7ffd) {
    Mem.UnlockAndWritePort7FFD(port7ffd);
    Screen.MachinePageSelected(Mem.ScreenBank == 7);
  }

  // The run loop that shows frames and keeps time, or none: then every frame is shown
  // and nothing waits.
  void SetFrameEndHandler(FrameEndHandler* handler) { frameEnd_ = handler; }
  // The rewind captures taken as frames start, or none.
  void SetRewind(RewindBuffer* rewind) { rewind_ = rewind; }
  // The step history that records the steps, or none.
  void SetHistory(StepHistory* history) {
    history_ = history;
    Ports.History = history;
  }
  StepHistory* History() const { return history_; }

 private:
  // The step of ProcessorStep on the plain or the watching processor.
  template <class Core>
  StepKind StepOn(Core& cpu) {
    if (State.Paused.load(std::memory_order_relaxed)) return StepKind::Idle;
    Z80Registers& r = State.Regs;
    if (r.Tackts >= State.TacktsPerInt) [[unlikely]]
      EndFrame();
    State.StepStartT = r.Tackts;
    if (State.ResetRequest.load(std::memory_order_relaxed)) [[unlikely]] {
      HeldResetStep();
      return StepKind::Idle;
    }
    // The interrupt is a level during the frame's first T-states, tested only here.
    const bool interrupt = r.Tackts < State.IntLength && r.IFF1 && r.AcceptInt;
    if (history_) [[unlikely]]
      RecordStep(interrupt);
    if (interrupt) [[unlikely]] {
      cpu.AcceptInterrupt();
      return StepKind::Interrupt;
    }
    cpu.Step();
    // The paper is not drawn here: the beam's catch-up runs when a byte of the displayed
    // screen is about to change (Memory's screen watch), when the displayed page
    // switches, and at the frame end. The picture is the same as if every instruction
    // had drawn the bytes that came due, at a fraction of the cost.
    Tape.AdvanceTo(r.Tackts);
    return StepKind::Instruction;
  }
  void Run(std::function<void()> command, bool changesMachine) {
    if (State.EmulThreadAlive.load(std::memory_order_relaxed)) {
      if (changesMachine) {
        Commands.Post([this, command = std::move(command)] {
          command();
          NoteExternalChange();
        });
      } else {
        Commands.Post(std::move(command));
      }
    } else {
      Commands.RunPending();
      command();
      if (changesMachine) NoteExternalChange();
    }
  }
  void EndFrame();
  void HeldResetStep();
  void RecordStep(bool interrupt);
  void NoteStretch();
  // The step history's replay: one step on the processor the recording ran, telling no
  // breakpoint.
  friend class StepHistory;
  StepKind ReplayStep(bool watchedCore) {
    if (watchedCore) return StepOn(watchedCpu_);
    return timing_ == MachineTiming::Default ? StepOn(Cpu) : StepOn(contendedCpu_);
  }
  // Whether accesses are reported to the breakpoints (not while replaying).
  void WireWatchHooks(bool report);
  void WireBreakpointPorts();
  // Follows the visit of a repeating instruction after an instruction that began at
  // `pc` with `sp`.
  void FollowRepeat(uint16_t pc, uint16_t sp);

  Breakpoints breaks_;
  // The repeating instruction (block repeat or HALT) being executed: where it is and the
  // SP it runs at. An interrupt's handler runs deeper and leaves it standing.
  struct RepeatVisit {
    bool Active = false;
    uint16_t Pc = 0;
    uint16_t Sp = 0;
  } repeat_;
  // The processor that reports data accesses to breakpoints, used only while a memory
  // breakpoint is enabled; the port bus is wrapped only while a port breakpoint is.
  WatchedMemory watchedMem_{Mem};
  Z80Core<WatchedMemory> watchedCpu_{State, watchedMem_};
  PortBus plainBus_;
  // The processor of the Sinclair timings: each machine cycle at its own T-state.
  ContendedMemory contendedMem_{Mem};
  Z80Core<ContendedMemory> contendedCpu_{State, contendedMem_};
  MachineTiming timing_ = MachineTiming::Default;
  TimingChoice timingChoice_ = TimingChoice::Default;
  uint32_t defaultTackts_ = kDefaultTacktsPerInt;
  void ApplyTimingChoice();

  FrameEndHandler* frameEnd_ = nullptr;
  RewindBuffer* rewind_ = nullptr;
  StepHistory* history_ = nullptr;
  uint32_t externalChanges_ = 0;
  uint64_t diskSerials_ = 0;
};

}  // namespace vantrel
