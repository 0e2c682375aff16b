#include "machine/EmulThread.h"

namespace vantrel {

void HeadlessRunHost::PostTermination(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_ = std::move(handler);
}

void HeadlessRunHost::ProcessEvents() {
  std::function<void()> handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    handler.swap(pending_);
  }
  if (handler) {
    handler();
  } else {
    std::this_thread::yield();
  }
}

std::optional<RunStop> StepOverStop(const Memory& memory, uint16_t pc, uint16_t sp) {
  const auto next = [&](int length) {
    return RunStop{RunStop::Kind::Next, static_cast<uint16_t>(pc + length), sp};
  };
  const uint8_t opcode = memory.PeekByte(pc);
  // CALL nn, CALL cc and RST n: a call whose condition fails is one step.
  if (opcode == 0xCD || (opcode & 0xC7) == 0xC4 || (opcode & 0xC7) == 0xC7) {
    return RunStop{RunStop::Kind::Return, 0, sp};
  }
  if (opcode == 0x10) return next(2);  // DJNZ
  if (const int length = RepeatingLength(memory, pc)) return next(length);
  return std::nullopt;
}

void TEmulThread::StartEmulation(std::optional<uint16_t> runTarget) {
  if (Alive()) return;
  MachineState& s = machine_.State;
  s.RunToAddress.store(runTarget.value_or(0), std::memory_order_relaxed);
  s.RunToSet.store(runTarget.has_value(), std::memory_order_relaxed);
  Start(runTarget ? std::optional<RunStop>(RunStop{RunStop::Kind::Address, *runTarget, 0})
                  : std::nullopt);
}

void TEmulThread::Start(const std::optional<RunStop>& stop) {
  MachineState& s = machine_.State;
  // Marked alive and running before the thread exists, so a stop requested at once is
  // neither missed nor undone by the thread's start.
  s.EmulThreadAlive.store(true, std::memory_order_relaxed);
  s.Running.store(true, std::memory_order_relaxed);
  if (thread_.joinable()) thread_.join();
  stop_ = stop;
  thread_ = std::thread([this] { Body(); });
}

void TEmulThread::Body() {
  MachineState& s = machine_.State;
  s.StartTacktsMeter();
  host_.RunStarting();
  Loop.StartSound();
  machine_.Breaks().ClearLastHit();
  const bool hit = stop_ ? Loop.RunTo(s.Running, *stop_) : Loop.RunWhile(s.Running);
  if (hit) s.Running.store(false, std::memory_order_relaxed);
  Loop.StopSound();
  host_.PostTermination([this] { Terminate(); });
}

void TEmulThread::Terminate() {
  if (thread_.joinable()) thread_.join();
  machine_.Commands.RunPending();  // queued after the thread's last frame end
  // The thread is gone: the window thread's refresh may read and change the machine, and
  // what it applies runs at once.
  machine_.State.EmulThreadAlive.store(false, std::memory_order_relaxed);
  machine_.State.UpdateTacktsMeter();
  host_.RunFinished();
}

void TEmulThread::StopEmulation() {
  RequestStop();
  while (Alive()) host_.ProcessEvents();
  if (thread_.joinable()) thread_.join();
}

void TEmulThread::TraceInto() {
  if (Alive()) return;
  MachineState& s = machine_.State;
  machine_.Breaks().ClearLastHit();
  s.StartTacktsMeter();
  // A trace that reaches a frame end runs it whole, but without the pacing wait.
  s.TraceMode.store(true, std::memory_order_relaxed);
  machine_.ProcessorStep();
  s.TraceMode.store(false, std::memory_order_relaxed);
  s.UpdateTacktsMeter();
  host_.RunFinished();
}

void TEmulThread::StepOver() {
  if (Alive()) return;
  const Z80Registers& r = machine_.State.Regs;
  if (const auto stop = StepOverStop(machine_.Mem, r.PC, r.SP)) {
    machine_.State.RunToSet.store(false, std::memory_order_relaxed);
    Start(stop);
  } else {
    TraceInto();
  }
}

void TEmulThread::StoppedCpuDebugger() {
  // Wait for the stop: a HALT still running would raise the flag again.
  StopEmulation();
  machine_.State.CpuStopped.store(false, std::memory_order_relaxed);
}

void TEmulThread::AnswerStoppedCpu(CpuStoppedRequestKind kind) {
  MachineState& s = machine_.State;
  if (Alive()) {
    // The HALT keeps raising the flag until the frame end carries the answer out, so the
    // emulation thread clears it there.
    s.CpuStoppedRequest.store(kind, std::memory_order_relaxed);
    return;
  }
  if (kind == kCpuStoppedReset) {
    s.Regs.PC = 0;
  } else {
    s.Regs.IFF1 = 1;
  }
  s.CpuStopped.store(false, std::memory_order_relaxed);
}

void TEmulThread::Reset() {
  StopEmulation();
  machine_.ResetMachine();
  host_.RunFinished();
}

}  // namespace vantrel
