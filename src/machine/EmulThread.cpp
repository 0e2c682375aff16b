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

std::optional<uint16_t> StepOverTarget(const Memory& memory, uint16_t pc) {
  const uint8_t opcode = memory.PeekByte(pc);
  switch (opcode) {
    case 0xCD: return static_cast<uint16_t>(pc + 3);  // CALL nn
    case 0x10: return static_cast<uint16_t>(pc + 2);  // DJNZ
    case 0x76:                                        // HALT
    case 0xDF:                                        // RST #18
    case 0xE7: return static_cast<uint16_t>(pc + 1);  // RST #20
    case 0xED: {
      const uint8_t next = memory.PeekByte(static_cast<uint16_t>(pc + 1));
      if (next == 0xB0 || next == 0xB8) return static_cast<uint16_t>(pc + 2);  // LDIR, LDDR
      return std::nullopt;
    }
    default: return std::nullopt;
  }
}

void TEmulThread::StartEmulation(uint16_t runTarget) {
  if (Alive()) return;
  MachineState& s = machine_.State;
  s.RunToAddress.store(runTarget, std::memory_order_relaxed);
  // Marked alive and running before the thread exists, so a stop requested at once is
  // neither missed nor undone by the thread's start.
  s.EmulThreadAlive.store(true, std::memory_order_relaxed);
  s.Running.store(true, std::memory_order_relaxed);
  if (thread_.joinable()) thread_.join();
  thread_ = std::thread([this] { Body(); });
}

void TEmulThread::Body() {
  MachineState& s = machine_.State;
  s.StartTacktsMeter();
  host_.RunStarting();
  Loop.StartSound();
  machine_.Breaks().ClearLastHit();
  const uint16_t target = s.RunToAddress.load(std::memory_order_relaxed);
  const bool hit = target == 0 ? Loop.RunWhile(s.Running) : Loop.RunTo(s.Running, target);
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
  if (const auto target = StepOverTarget(machine_.Mem, machine_.State.Regs.PC)) {
    StartEmulation(*target);
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
