#pragma once

#include <atomic>
#include <cstdint>

#include "core/Compiler.h"
#include "core/MachineState.h"
#include "core/Memory.h"
#include "core/PortBus.h"

namespace vantrel {

// The Z80 processor: executes one instruction (or one link of a prefix chain, or one
// repetition of a block instruction) per call of Step, with uncontended timing.
//
// It owns no state: registers and the clock live in MachineState, memory in Memory.
// Each prefix has its own 256-way dispatch; the opcode is a template argument of the
// handlers, so decoding is done by the compiler and each case is straight-line code.
//
// `M` is the memory the processor sees: Memory itself, or a watching wrapper that reports
// each data access to the debugger's breakpoints (a second instance of the same code, so
// the plain processor pays nothing for them).
template <class M>
class Z80Core {
 public:
  using TapeHook = void (*)(void* context);

  Z80Core(MachineState& state, M& memory)
      : s_(state),
        r_(state.Regs),
        pc_(state.Regs.PC),
        tackts_(state.Regs.Tackts),
        refresh_(state.Regs.R),
        m_(memory) {}
  Z80Core(const Z80Core&) = delete;
  Z80Core& operator=(const Z80Core&) = delete;

  void SetPortBus(const PortBus& bus) { io_ = bus; }
  // Called when DI executes at 0x0559 (0x0556 in OpenSE BASIC), the start of the ROM tape
  // loader.
  void SetTapeAutoStart(TapeHook hook, void* context) {
    tapeHook_ = hook;
    tapeContext_ = context;
  }

  // Fetch and execute: R counts, AcceptInt is set, the TR-DOS ROM follows the
  // instruction's address, then the instruction runs and adds its T-states.
  void Step();
  // Steps until Tackts reaches `limit` or `running` is cleared (at least one step). The
  // same work as repeated Step calls with the step start recorded, in one loop, for the
  // stretches of a frame where nothing but instructions happens.
  void StepUntil(uint32_t limit, const std::atomic<bool>& running);
  // The same, but never runs an instruction at an address up to `lowPc` (none at all
  // when PC is there already): the CP/M shim answers the system calls there.
  void StepUntil(uint32_t limit, const std::atomic<bool>& running, uint16_t lowPc);

  // Accepts the maskable interrupt (the caller has checked that it is due and allowed).
  void AcceptInterrupt();

  void ExecuteMain(uint8_t opcode);
  void ExecuteCB();
  void ExecuteED();

 private:
  // The stretch loop's worker: a local copy of the core whose PC, clock and R are local
  // variables, so that the compiler keeps them in host registers. In memory, each would be
  // a chain of stores and reloads through every instruction (a byte store may alias
  // anything in memory, so nothing there can stay in a host register).
  Z80Core(Z80Core& home, uint16_t& pc, uint32_t& tackts, uint8_t& refresh)
      : home_(&home),
        s_(home.s_),
        r_(home.r_),
        pc_(pc),
        tackts_(tackts),
        refresh_(refresh),
        m_(home.m_),
        io_(home.io_),
        tapeHook_(home.tapeHook_),
        tapeContext_(home.tapeContext_) {}

  VANTREL_ALWAYS_INLINE void DispatchMain(uint8_t opcode);
  VANTREL_ALWAYS_INLINE void DispatchCB();
  VANTREL_ALWAYS_INLINE void DispatchED();
  template <int Idx>
  VANTREL_ALWAYS_INLINE void DispatchIndexed();
  // The threaded loop keeps its labels' addresses in a table, so it cannot be inlined.
  template <bool WatchPc>
  void RunStretch(uint32_t limit, const std::atomic<bool>& running, uint16_t lowPc);
  template <int Idx>
  void ExecuteIndexed();
  // DD CB d op / FD CB d op on the byte at the effective address.
  VANTREL_ALWAYS_INLINE void IndexedCb(uint16_t address, uint8_t opcode);
  // Idx 0: HL and its halves; Idx 1: IX; Idx 2: IY. `Local` is true in the worker: its
  // registers are written home before anything outside the processor can look at them.
  template <int Op, int Idx, bool Local>
  VANTREL_ALWAYS_INLINE void Main();
  template <int Op>
  VANTREL_ALWAYS_INLINE void Cb();
  template <int Op>
  VANTREL_ALWAYS_INLINE uint8_t CbApply(uint8_t value);
  template <int Op>
  VANTREL_ALWAYS_INLINE void Ed();
  // Port devices, the tape and the debugger read the registers (the clock above all)
  // from the machine state.
  template <bool Local>
  VANTREL_ALWAYS_INLINE void Publish() {
    if constexpr (Local) {
      r_.PC = pc_;
      r_.Tackts = tackts_;
      r_.R = refresh_;
    }
  }
  // The worker leaves the prefixed sets to the core's own executors, registers handed over
  // both ways: they are rarer, and inline they would make the loop several times larger.
  template <bool Local, void (Z80Core::*Execute)()>
  VANTREL_ALWAYS_INLINE void Prefixed() {
    if constexpr (Local) {
      Publish<true>();
      (home_->*Execute)();
      pc_ = r_.PC;
      tackts_ = r_.Tackts;
      refresh_ = r_.R;
    } else {
      (this->*Execute)();
    }
  }
  template <bool Local>
  VANTREL_ALWAYS_INLINE uint8_t PortIn(uint16_t port) {
    if constexpr (kTimed) {
      // The byte is taken in the cycle's last T-state, after the ULA has let it go.
      IoEarly(port);
      IoLate(port);
      tackts_ -= 1;
      Publish<Local>();
      const uint8_t value = io_.Read(io_.Context, port);
      tackts_ += 1;
      return value;
    } else {
      Publish<Local>();
      return io_.Read(io_.Context, port);
    }
  }
  template <bool Local>
  VANTREL_ALWAYS_INLINE void PortOut(uint16_t port, uint8_t value) {
    if constexpr (kTimed) {
      IoEarly(port);
      IoLate(port);
      tackts_ -= 1;
      Publish<Local>();
      s_.StepStartT = tackts_;
      io_.Write(io_.Context, port, value);
      tackts_ += 1;
    } else {
      Publish<Local>();
      io_.Write(io_.Context, port, value);
    }
  }
  // The I/O cycle's four T-states: the device is reached after the first. The ULA holds
  // the cycle as a memory access when the high byte selects contended memory, and again
  // for its own port (bit 0 low), at each of the T-states it looks at.
  VANTREL_ALWAYS_INLINE void IoEarly(uint16_t port) {
    if constexpr (kTimed) tackts_ = m_.Contend(port, tackts_) + 1;
  }
  VANTREL_ALWAYS_INLINE void IoLate(uint16_t port) {
    if constexpr (kTimed) {
      if (!(port & 1)) {
        tackts_ = m_.Contend(0x4000, tackts_) + 3;
      } else if (m_.Contended(port)) {
        Idle(port, 3);
      } else {
        tackts_ += 3;
      }
    }
  }

  template <int N, int Idx>
  VANTREL_ALWAYS_INLINE uint8_t& Reg8();
  VANTREL_ALWAYS_INLINE void SetReg8ByIndex(int n, uint8_t value);
  template <int Idx>
  VANTREL_ALWAYS_INLINE RegisterPair& HLx();
  template <int P, int Idx>
  VANTREL_ALWAYS_INLINE uint16_t GetRR();
  template <int P, int Idx>
  VANTREL_ALWAYS_INLINE void SetRR(uint16_t value);
  template <int Cc>
  VANTREL_ALWAYS_INLINE bool Condition() const;

  // The plain processor adds an instruction's whole cost in one sum (T); the contended one
  // advances the clock by each machine cycle instead (Cycle, Idle), so every access, and
  // the ULA's delay before it, falls at its own T-state. Each is a no-op in the other.
  static constexpr bool kTimed = M::kContended;
  VANTREL_ALWAYS_INLINE void T(uint32_t tackts) {
    if constexpr (!kTimed) tackts_ += tackts;
  }
  VANTREL_ALWAYS_INLINE void Cycle(uint16_t address, uint32_t length) {
    if constexpr (kTimed) tackts_ = m_.Contend(address, tackts_) + length;
  }
  // Internal T-states that leave `address` on the bus, each contended on its own.
  VANTREL_ALWAYS_INLINE void Idle(uint16_t address, int count) {
    if constexpr (kTimed) {
      for (int i = 0; i < count; ++i) tackts_ = m_.Contend(address, tackts_) + 1;
    }
  }
  // Internal T-states with IR on the bus (the refresh address).
  VANTREL_ALWAYS_INLINE void Ir(int count) {
    if constexpr (kTimed) Idle(static_cast<uint16_t>(r_.I << 8), count);
  }
  VANTREL_ALWAYS_INLINE uint8_t Rd(uint16_t address) {
    Cycle(address, 3);
    return m_.ReadByte(address);
  }
  VANTREL_ALWAYS_INLINE void Wr(uint16_t address, uint8_t value) {
    Cycle(address, 3);
    // The picture catches up to the write's own T-state (the cycle's second), not the
    // instruction's start.
    if constexpr (kTimed) s_.StepStartT = tackts_ - 2;
    m_.WriteByte(address, value);
  }
  VANTREL_ALWAYS_INLINE uint16_t RdWord(uint16_t address) {
    if constexpr (kTimed) {
      const uint8_t low = Rd(address);
      return static_cast<uint16_t>(low | (Rd(static_cast<uint16_t>(address + 1)) << 8));
    } else {
      return m_.ReadWord(address);
    }
  }
  VANTREL_ALWAYS_INLINE void WrWord(uint16_t address, uint16_t value) {
    if constexpr (kTimed) {
      Wr(address, static_cast<uint8_t>(value));
      Wr(static_cast<uint16_t>(address + 1), static_cast<uint8_t>(value >> 8));
    } else {
      m_.WriteWord(address, value);
    }
  }
  // An opcode fetch (M1): four T-states, the refresh included.
  VANTREL_ALWAYS_INLINE uint8_t FetchOpcode() {
    Cycle(pc_, 4);
    const uint8_t value = m_.FetchByte(pc_);
    pc_ = static_cast<uint16_t>(pc_ + 1);
    return value;
  }
  VANTREL_ALWAYS_INLINE uint8_t FetchByte() {
    Cycle(pc_, 3);
    const uint8_t value = m_.FetchByte(pc_);
    pc_ = static_cast<uint16_t>(pc_ + 1);
    return value;
  }
  VANTREL_ALWAYS_INLINE uint16_t FetchWord() {
    if constexpr (kTimed) {
      const uint8_t low = FetchByte();
      return static_cast<uint16_t>(low | (FetchByte() << 8));
    } else {
      const uint16_t value = m_.FetchWord(pc_);
      pc_ = static_cast<uint16_t>(pc_ + 2);
      return value;
    }
  }
  // (IX+d): the displacement, then `Wait` internal T-states at its address while the
  // processor adds it.
  template <int Idx, int Wait = 5>
  VANTREL_ALWAYS_INLINE uint16_t IndexAddress() {
    const auto d = static_cast<int8_t>(FetchByte());
    Idle(static_cast<uint16_t>(pc_ - 1), Wait);
    return static_cast<uint16_t>(HLx<Idx>().Get() + d);
  }
  // The stack: the high byte goes first, below SP.
  VANTREL_ALWAYS_INLINE void Push(uint16_t value) {
    if constexpr (kTimed) {
      r_.SP = static_cast<uint16_t>(r_.SP - 1);
      Wr(r_.SP, static_cast<uint8_t>(value >> 8));
      r_.SP = static_cast<uint16_t>(r_.SP - 1);
      Wr(r_.SP, static_cast<uint8_t>(value));
    } else {
      r_.SP = static_cast<uint16_t>(r_.SP - 2);
      m_.WriteWord(r_.SP, value);
    }
  }
  VANTREL_ALWAYS_INLINE uint16_t Pop() {
    const uint16_t value = RdWord(r_.SP);
    r_.SP = static_cast<uint16_t>(r_.SP + 2);
    return value;
  }

  // Arithmetic and logic with their flags.
  VANTREL_ALWAYS_INLINE void Add8(uint8_t value, uint8_t carry);
  VANTREL_ALWAYS_INLINE void Sub8(uint8_t value, uint8_t carry);
  VANTREL_ALWAYS_INLINE void Cp8(uint8_t value);
  template <int Y>
  VANTREL_ALWAYS_INLINE void Alu(uint8_t value);
  VANTREL_ALWAYS_INLINE uint8_t Inc8(uint8_t value);
  VANTREL_ALWAYS_INLINE uint8_t Dec8(uint8_t value);
  VANTREL_ALWAYS_INLINE uint16_t Add16(uint16_t a, uint16_t b);
  VANTREL_ALWAYS_INLINE void Adc16(uint16_t value);
  VANTREL_ALWAYS_INLINE void Sbc16(uint16_t value);
  template <int Y>
  VANTREL_ALWAYS_INLINE uint8_t Rotate(uint8_t value);
  VANTREL_ALWAYS_INLINE uint8_t RotateBy(int y, uint8_t value);
  VANTREL_ALWAYS_INLINE void Bit(int bit, uint8_t value, uint8_t undocumented);
  VANTREL_ALWAYS_INLINE void Daa();
  VANTREL_ALWAYS_INLINE void Halt();
  template <bool Local>
  VANTREL_ALWAYS_INLINE void Di();
  template <bool Local>
  VANTREL_ALWAYS_INLINE void InAN();

  // ED block instructions: Y 4..7 (I, D, IR, DR), Z 0..3 (LD, CP, IN, OUT).
  template <int Y>
  VANTREL_ALWAYS_INLINE void BlockLd();
  template <int Y>
  VANTREL_ALWAYS_INLINE void BlockCp();
  template <int Y>
  VANTREL_ALWAYS_INLINE void BlockIn();
  template <int Y>
  VANTREL_ALWAYS_INLINE void BlockOut();
  VANTREL_ALWAYS_INLINE void BlockIoFlags(uint8_t value, uint8_t low, uint8_t b);

  Z80Core* home_ = nullptr;  // the worker's core
  MachineState& s_;
  Z80Registers& r_;
  // The registers that change with every instruction: r_'s own in the core, the stretch
  // loop's locals in its worker.
  uint16_t& pc_;
  uint32_t& tackts_;
  uint8_t& refresh_;
  M& m_;
  PortBus io_;
  TapeHook tapeHook_ = nullptr;
  void* tapeContext_ = nullptr;
};

using Z80 = Z80Core<Memory>;

}  // namespace vantrel
