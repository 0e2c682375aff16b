#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "machine/Machine.h"
#include "machine/RunLoop.h"

namespace vantrel {

// What a run needs from the program around the machine. The desktop marshals these to
// its window thread; the headless runner does them in place.
class RunHost {
 public:
  virtual ~RunHost() = default;
  // On the emulation thread before its loop: windows prepared, sound started,
  // keyboard capture on.
  virtual void RunStarting() {}
  // Delivers the run's termination handler to the window thread.
  virtual void PostTermination(std::function<void()> handler) = 0;
  // Called repeatedly while the window thread waits for the run to end, so that the
  // termination handler (and the rest of the window thread's work) can run.
  virtual void ProcessEvents() = 0;
  // On the window thread, in the termination handler: keyboard capture off, sound
  // stopped, debugger panels refreshed, windows restored.
  virtual void RunFinished() {}
};

// A host without windows: the termination handler runs when the waiting thread
// processes events.
class HeadlessRunHost : public RunHost {
 public:
  void PostTermination(std::function<void()> handler) override;
  void ProcessEvents() override;

 private:
  std::mutex mutex_;
  std::function<void()> pending_;
};

// Where Step Over stops for the instruction at `pc` with the stack at `sp`, or nothing
// when the instruction is simply traced. Calls (CALL nn, CALL cc) and every RST return
// to the caller's frame; DJNZ, HALT and the repeating block instructions go on to the
// next instruction.
std::optional<RunStop> StepOverStop(const Memory& memory, uint16_t pc, uint16_t sp);

// The emulation thread and the debugger's run commands. All calls are made on the
// window thread, which starts and stops runs only through here.
class TEmulThread {
 public:
  TEmulThread(Machine& machine, RunHost& host) : Loop(machine), machine_(machine), host_(host) {}
  ~TEmulThread() { StopEmulation(); }
  TEmulThread(const TEmulThread&) = delete;
  TEmulThread& operator=(const TEmulThread&) = delete;

  // Starts the emulation thread; it stops after the step that leaves PC at `runTarget`
  // (any address, 0 included; none: no target), or when Running is cleared.
  void StartEmulation(std::optional<uint16_t> runTarget);
  // Clears Running and waits, processing events, until the thread has ended and its
  // termination handler has run.
  void StopEmulation();
  // Asks the run to end without waiting; the termination handler follows as usual.
  void RequestStop() { machine_.State.Running.store(false, std::memory_order_relaxed); }
  bool Alive() const { return machine_.State.EmulThreadAlive.load(std::memory_order_relaxed); }

  // The debugger's commands.
  void Run() { StartEmulation(std::nullopt); }
  void TraceInto();
  void StepOver();
  void RunTo(uint16_t address) { StartEmulation(address); }
  void RunUntilReturn() { StartEmulation(machine_.Mem.PeekWord(machine_.State.Regs.SP)); }
  void Reset();

  // The CPU stopped dialog's buttons: "Debugger" ends the run; "Reset" continues from
  // address 0 and "Reanimate" enables interrupts, both at the next frame end.
  void StoppedCpuDebugger();
  void StoppedCpuReset() { AnswerStoppedCpu(kCpuStoppedReset); }
  void StoppedCpuReanimate() { AnswerStoppedCpu(kCpuStoppedReanimate); }

  Machine& GetMachine() { return machine_; }
  // The loop the thread runs the machine in: its sound device, timer and frame policy.
  RunLoop Loop;

 private:
  void AnswerStoppedCpu(CpuStoppedRequestKind kind);
  void Start(const std::optional<RunStop>& stop);
  void Body();
  void Terminate();

  Machine& machine_;
  RunHost& host_;
  // The run's own stop; written only while no thread runs, before one starts.
  std::optional<RunStop> stop_;
  std::thread thread_;
};

}  // namespace vantrel
