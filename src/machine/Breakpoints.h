#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "machine/ExpressionProgram.h"

namespace vantrel {

// The debugger's breakpoint kinds, in the order the breakpoint window lists them.
enum class BreakType : uint8_t {
  Execution,
  WriteMemory,
  ReadMemory,
  WritePort,
  ReadPort,
  TimePass,
  Interrupt,
  Nmi,  // listed, but the machine has no NMI source, so it never fires
};
inline constexpr int kBreakTypeCount = 8;
// The argument that matches any address or port.
inline constexpr uint32_t kBreakAny = 0xFFFFFFFF;

struct Breakpoint {
  BreakType Type = BreakType::Execution;
  uint32_t Argument = kBreakAny;
  uint32_t Pass = 0;  // stops at the Pass-th hit; 0 and 1 stop at every hit
  bool Enabled = true;
  // Looked at first, at each hit: a hit counts (towards Pass) only when it is non-zero.
  // Empty: every hit counts. The text is the condition as the user typed it.
  std::shared_ptr<const ExpressionProgram> Condition{};
  std::string ConditionText{};
};

// Why the machine stopped: the entry (0-based) and what matched (the address, the port
// or the T-state meter; nothing for an interrupt).
struct BreakHit {
  int Index = -1;
  BreakType Type = BreakType::Execution;
  uint32_t Value = 0;
  // Set when the entry's condition could not be evaluated (a division by zero): the
  // machine stops and says why.
  const char* ConditionFailure = nullptr;
};

// The breakpoint list as the emulation thread consults it. Changed only where the machine
// is not running (Machine::SetBreakpoints through Apply), so one thread at a time uses it.
// With no enabled entry nothing consults it: the run loop keeps its plain path.
class Breakpoints {
 public:
  static constexpr size_t kMaxEntries = 100;

  // What conditions read: the machine's registers and memory.
  void Bind(const Z80Registers* regs, const Memory* mem) {
    regs_ = regs;
    mem_ = mem;
  }

  // Replaces the list (beyond kMaxEntries are dropped); hit counts start again.
  void Assign(const std::vector<Breakpoint>& entries);
  const std::vector<Breakpoint>& Entries() const { return entries_; }

  // Any enabled entry that can fire: the run loop then takes its checking path.
  bool Active() const { return active_ != 0; }
  bool Watches(BreakType type) const { return (active_ >> static_cast<int>(type)) & 1; }
  bool WatchesMemory() const {
    return Watches(BreakType::ReadMemory) || Watches(BreakType::WriteMemory);
  }
  bool WatchesPorts() const {
    return Watches(BreakType::ReadPort) || Watches(BreakType::WritePort);
  }

  // Before the instruction at `pc` runs.
  bool CheckExecution(uint16_t pc) { return Count(BreakType::Execution, pc) && TakeHit(); }
  // During an instruction: a hit is held until the instruction has finished.
  void OnAccess(BreakType type, uint16_t where) { Count(type, where); }
  void OnInterrupt() { Count(BreakType::Interrupt, 0); }
  // After each step with the T-state meter since the run began; `before` is the meter
  // before the step, so each entry fires once as the meter passes it.
  void OnTime(uint32_t before, uint32_t now);
  // Whether an entry fired since the last call; the cause is kept in LastHit.
  bool TakeHit() {
    const bool hit = pending_;
    pending_ = false;
    return hit;
  }
  // Read after the run has ended.
  const BreakHit& LastHit() const { return last_; }
  void ClearLastHit() { last_ = BreakHit{}; }

 private:
  bool Count(BreakType type, uint32_t value);
  bool Matches(const Breakpoint& entry, uint32_t value) const;
  bool Fire(size_t index, uint32_t value);

  std::vector<Breakpoint> entries_;
  std::vector<uint32_t> hits_;
  uint32_t active_ = 0;  // bit per BreakType with an enabled entry
  bool pending_ = false;
  BreakHit last_;
  const Z80Registers* regs_ = nullptr;
  const Memory* mem_ = nullptr;
};

}  // namespace vantrel
