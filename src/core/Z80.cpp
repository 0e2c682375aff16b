#include "core/Z80.h"

#include "core/WatchedMemory.h"
#include "core/Z80Main.h"

namespace vantrel {

template <class M>
VANTREL_ALWAYS_INLINE void Z80Core<M>::DispatchMain(uint8_t opcode) {
  switch (opcode) {
#define VANTREL_MAIN_CASE(n) \
  case (n): Main<(n), 0>(); break;
    VANTREL_REPEAT256(VANTREL_MAIN_CASE)
#undef VANTREL_MAIN_CASE
  }
}

template <class M>
void Z80Core<M>::Step() {
  r_.R = static_cast<uint8_t>(r_.R + 1);
  r_.AcceptInt = 1;
  m_.UpdateDosRom(r_.PC);
  const uint8_t opcode = m_.FetchByte(r_.PC);
  r_.PC = static_cast<uint16_t>(r_.PC + 1);
  DispatchMain(opcode);
}

#if defined(__GNUC__) && !defined(VANTREL_PORTABLE_DISPATCH)
// Threaded dispatch: every handler ends in its own copy of the fetch and an indirect
// jump through the table, so the branch predictor sees one jump per opcode rather than
// a single shared one. Labels are op_HL, for the opcode's two hex digits.
#define VANTREL_HEX16(M, h)                                                                       \
  M(h, 0)                                                                                         \
  M(h, 1)                                                                                         \
  M(h, 2) M(h, 3) M(h, 4) M(h, 5) M(h, 6) M(h, 7) M(h, 8) M(h, 9) M(h, A) M(h, B) M(h, C) M(h, D) \
      M(h, E) M(h, F)
#define VANTREL_HEX256(M)                                                                 \
  VANTREL_HEX16(M, 0)                                                                     \
  VANTREL_HEX16(M, 1)                                                                     \
  VANTREL_HEX16(M, 2) VANTREL_HEX16(M, 3) VANTREL_HEX16(M, 4) VANTREL_HEX16(M, 5)         \
      VANTREL_HEX16(M, 6) VANTREL_HEX16(M, 7) VANTREL_HEX16(M, 8) VANTREL_HEX16(M, 9)     \
          VANTREL_HEX16(M, A) VANTREL_HEX16(M, B) VANTREL_HEX16(M, C) VANTREL_HEX16(M, D) \
              VANTREL_HEX16(M, E) VANTREL_HEX16(M, F)
#endif

template <class M>
template <bool WatchPc>
void Z80Core<M>::RunStretch(uint32_t limit, const std::atomic<bool>& running, uint16_t lowPc) {
  if (WatchPc && r_.PC <= lowPc) return;
#if defined(__GNUC__) && !defined(VANTREL_PORTABLE_DISPATCH)
#define VANTREL_ADDRESS(h, l) &&op_##h##l,
  static const void* const kHandlers[256] = {VANTREL_HEX256(VANTREL_ADDRESS)};
#undef VANTREL_ADDRESS
  // The fetch of Step, with the step's start recorded for the devices' catch-ups.
#define VANTREL_DISPATCH()                     \
  do {                                         \
    s_.StepStartT = r_.Tackts;                 \
    r_.R = static_cast<uint8_t>(r_.R + 1);     \
    r_.AcceptInt = 1;                          \
    m_.UpdateDosRom(r_.PC);                    \
    const uint8_t opcode = m_.FetchByte(r_.PC);\
    r_.PC = static_cast<uint16_t>(r_.PC + 1);  \
    goto* kHandlers[opcode];                   \
  } while (false)
  VANTREL_DISPATCH();
#define VANTREL_HANDLER(h, l)                                           \
  op_##h##l : Main<0x##h##l, 0>();                                      \
  if (r_.Tackts >= limit || !running.load(std::memory_order_relaxed) || \
      (WatchPc && r_.PC <= lowPc)) [[unlikely]]                         \
    return;                                                             \
  VANTREL_DISPATCH();
  VANTREL_HEX256(VANTREL_HANDLER)
#undef VANTREL_HANDLER
#undef VANTREL_DISPATCH
#else
  do {
    s_.StepStartT = r_.Tackts;
    Step();
  } while (r_.Tackts < limit && running.load(std::memory_order_relaxed) &&
           !(WatchPc && r_.PC <= lowPc));
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
  if (m_.PeekByte(r_.PC) == 0x76) r_.PC = static_cast<uint16_t>(r_.PC + 1);
  r_.IFF1 = r_.IFF2 = 0;
  Push(r_.PC);
  if (r_.IM == 2) {
    r_.PC = m_.ReadWord(static_cast<uint16_t>((r_.I << 8) | 0xFF));
    T(19);
  } else {  // IM 0 and IM 1 alike: the bus floats at 0xFF, which is RST 38
    r_.PC = 0x0038;
    T(13);
  }
}

template <class M>
void Z80Core<M>::Daa() {
  using namespace z80flags;
  const uint8_t a = r_.AF.High;
  const uint8_t f = r_.AF.Low;
  uint8_t correction = 0;
  uint8_t carry = f & C;
  if ((f & H) || (a & 0x0F) > 9) correction = 0x06;
  if (carry || a > 0x99) {
    correction |= 0x60;
    carry = C;
  }
  const auto result = static_cast<uint8_t>((f & N) ? a - correction : a + correction);
  r_.AF.High = result;
  r_.AF.Low = static_cast<uint8_t>(kSZ53P[result] | ((a ^ result) & H) | (f & N) | carry);
  T(4);
}

template <class M>
void Z80Core<M>::Halt() {
  // With interrupts off nothing can ever end this HALT: tell the user.
  if (!r_.IFF1) s_.CpuStopped.store(true, std::memory_order_relaxed);
  r_.PC = static_cast<uint16_t>(r_.PC - 1);
  T(4);
}

template <class M>
void Z80Core<M>::Di() {
  // PC is past the DI: 0x0559 is the DI that opens the ROM tape loader.
  if (r_.PC == 0x055A && tapeHook_) tapeHook_(tapeContext_);
  r_.IFF1 = r_.IFF2 = 0;
  T(4);
}

template <class M>
void Z80Core<M>::InAN() {
  // IN A,(n): the device sees the T-state at which the instruction began.
  const uint8_t n = m_.PeekByte(r_.PC);
  r_.PC = static_cast<uint16_t>(r_.PC + 1);
  r_.AF.High = io_.PortRead(static_cast<uint16_t>((r_.AF.High << 8) | n));
  T(11);
}

// Both memories the processor runs on: plain and watched by the debugger.
template void Z80Core<Memory>::Step();
template void Z80Core<Memory>::StepUntil(uint32_t, const std::atomic<bool>&);
template void Z80Core<Memory>::StepUntil(uint32_t, const std::atomic<bool>&, uint16_t);
template void Z80Core<Memory>::ExecuteMain(uint8_t);
template void Z80Core<Memory>::AcceptInterrupt();
template void Z80Core<Memory>::Daa();
template void Z80Core<Memory>::Halt();
template void Z80Core<Memory>::Di();
template void Z80Core<Memory>::InAN();
template void Z80Core<WatchedMemory>::Step();
template void Z80Core<WatchedMemory>::ExecuteMain(uint8_t);
template void Z80Core<WatchedMemory>::AcceptInterrupt();
template void Z80Core<WatchedMemory>::Daa();
template void Z80Core<WatchedMemory>::Halt();
template void Z80Core<WatchedMemory>::Di();
template void Z80Core<WatchedMemory>::InAN();

}  // namespace vantrel
