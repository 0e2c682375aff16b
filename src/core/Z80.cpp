#include "core/Z80.h"

#include "core/ContendedMemory.h"
#include "core/WatchedMemory.h"
#include "core/Z80Main.h"

namespace vantrel {

template <class M>
void Z80Core<M>::DispatchMain(uint8_t opcode) {
  switch (opcode) {
#define VANTREL_MAIN_CASE(n) \
  case (n): Main<(n), 0, false>(); break;
    VANTREL_REPEAT256(VANTREL_MAIN_CASE)
#undef VANTREL_MAIN_CASE
  }
}

template <class M>
void Z80Core<M>::Step() {
  refresh_ = static_cast<uint8_t>(refresh_ + 1);
  r_.AcceptInt = 1;
  m_.UpdateDosRom(pc_);
  DispatchMain(FetchOpcode());
}

#if defined(__GNUC__) && !defined(VANTREL_PORTABLE_DISPATCH)
// Threaded dispatch: every handler ends in its own copy of the fetch and an indirect
// jump through the table, so the branch predictor sees one jump per opcode rather than
// a single shared one. Labels are op_HL, for the opcode's two hex digits.
#define VANTREL_HEX16(M, h) \
  M(h, 0)                   \
  M(h, 1)                   \
  M(h, 2)                   \
  M(h, 3)                   \
  M(h, 4) M(h, 5) M(h, 6) M(h, 7) M(h, 8) M(h, 9) M(h, A) M(h, B) M(h, C) M(h, D) M(h, E) M(h, F)
#define VANTREL_HEX256(M)                                                             \
  VANTREL_HEX16(M, 0)                                                                 \
  VANTREL_HEX16(M, 1)                                                                 \
  VANTREL_HEX16(M, 2)                                                                 \
  VANTREL_HEX16(M, 3)                                                                 \
  VANTREL_HEX16(M, 4) VANTREL_HEX16(M, 5) VANTREL_HEX16(M, 6) VANTREL_HEX16(M, 7)     \
      VANTREL_HEX16(M, 8) VANTREL_HEX16(M, 9) VANTREL_HEX16(M, A) VANTREL_HEX16(M, B) \
          VANTREL_HEX16(M, C) VANTREL_HEX16(M, D) VANTREL_HEX16(M, E) VANTREL_HEX16(M, F)
#endif

template <class M>
template <bool WatchPc>
void Z80Core<M>::RunStretch(uint32_t limit, const std::atomic<bool>& running, uint16_t lowPc) {
  if (WatchPc && pc_ <= lowPc) return;
#if defined(__GNUC__) && !defined(VANTREL_PORTABLE_DISPATCH)
  uint16_t pc = pc_;
  uint32_t tackts = tackts_;
  uint8_t refresh = refresh_;
  Z80Core local(*this, pc, tackts, refresh);
  // The worker's registers go home when the stretch ends.
#define VANTREL_STRETCH_END() \
  do {                        \
    pc_ = pc;                 \
    tackts_ = tackts;         \
    refresh_ = refresh;       \
    return;                   \
  } while (false)
#define VANTREL_ADDRESS(h, l) &&op_##h##l,
  static const void* const kHandlers[256] = {VANTREL_HEX256(VANTREL_ADDRESS)};
#undef VANTREL_ADDRESS
  // The fetch of Step, with the step's start recorded for the devices' catch-ups.
#define VANTREL_DISPATCH()                         \
  do {                                             \
    local.s_.StepStartT = tackts;                  \
    refresh = static_cast<uint8_t>(refresh + 1);   \
    local.r_.AcceptInt = 1;                        \
    local.m_.UpdateDosRom(pc);                     \
    const uint8_t opcode = local.m_.FetchByte(pc); \
    if constexpr (kTimed) local.Cycle(pc, 4);      \
    pc = static_cast<uint16_t>(pc + 1);            \
    goto* kHandlers[opcode];                       \
  } while (false)
  VANTREL_DISPATCH();
#define VANTREL_HANDLER(h, l)                                                                  \
  op_##h##l : local.template Main<0x##h##l, 0, true>();                                        \
  if (tackts >= limit || !running.load(std::memory_order_relaxed) || (WatchPc && pc <= lowPc)) \
      [[unlikely]]                                                                             \
    VANTREL_STRETCH_END();                                                                     \
  VANTREL_DISPATCH();
  VANTREL_HEX256(VANTREL_HANDLER)
#undef VANTREL_HANDLER
#undef VANTREL_DISPATCH
#undef VANTREL_STRETCH_END
#else
  // Step, one call per instruction: the one huge worker function is left to the threaded
  // loop, which the instrumenting builds do not need.
  do {
    s_.StepStartT = tackts_;
    Step();
  } while (tackts_ < limit && running.load(std::memory_order_relaxed) &&
           !(WatchPc && pc_ <= lowPc));
#endif
}

template <class M>
void Z80Core<M>::StepUntil(uint32_t limit, const std::atomic<bool>& running) {
  RunStretch<false>(limit, running, 0);
}

template <class M>
void Z80Core<M>::StepUntil(uint32_t limit, const std::atomic<bool>& running, uint16_t lowPc) {
  RunStretch<true>(limit, running, lowPc);
}

template <class M>
void Z80Core<M>::ExecuteMain(uint8_t opcode) {
  DispatchMain(opcode);
}

template <class M>
void Z80Core<M>::AcceptInterrupt() {
  // A processor halted on HALT leaves it: the return address is the next instruction.
  if (m_.PeekByte(pc_) == 0x76) pc_ = static_cast<uint16_t>(pc_ + 1);
  r_.IFF1 = r_.IFF2 = 0;
  // The acknowledge takes seven T-states (an M1 cycle with two wait states and one more
  // T-state before the push), with no memory address the ULA looks at.
  if constexpr (kTimed) tackts_ += 7;
  Push(pc_);
  if (r_.IM == 2) {
    pc_ = RdWord(static_cast<uint16_t>((r_.I << 8) | 0xFF));
    T(19);
  } else {  // IM 0 and IM 1 alike: the bus floats at 0xFF, which is RST 38
    pc_ = 0x0038;
    T(13);
  }
}

// The memories the processor runs on: plain, watched by the debugger, and contended.
template void Z80Core<Memory>::Step();
template void Z80Core<Memory>::StepUntil(uint32_t, const std::atomic<bool>&);
template void Z80Core<Memory>::StepUntil(uint32_t, const std::atomic<bool>&, uint16_t);
template void Z80Core<Memory>::ExecuteMain(uint8_t);
template void Z80Core<Memory>::AcceptInterrupt();
template void Z80Core<WatchedMemory>::Step();
template void Z80Core<WatchedMemory>::ExecuteMain(uint8_t);
template void Z80Core<WatchedMemory>::AcceptInterrupt();
template void Z80Core<ContendedMemory>::Step();
template void Z80Core<ContendedMemory>::StepUntil(uint32_t, const std::atomic<bool>&);
template void Z80Core<ContendedMemory>::ExecuteMain(uint8_t);
template void Z80Core<ContendedMemory>::AcceptInterrupt();

}  // namespace vantrel
