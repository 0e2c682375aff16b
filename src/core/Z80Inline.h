#pragma once

// Shared inline pieces of the processor: register selection, the ALU with its flag
// rules, and the dispatch macros. Included only by the executor source files.

#include "core/Z80.h"
#include "core/Z80Flags.h"

// Expands M(n) for every opcode 0..255: each case of an executor's switch calls the
// handler instantiated for that opcode, so the compiler builds one jump table.
#define VANTREL_REPEAT16(M, b) \
  M(b + 0)                     \
  M(b + 1)                     \
  M(b + 2)                     \
  M(b + 3)                     \
  M(b + 4)                     \
  M(b + 5)                     \
  M(b + 6) M(b + 7) M(b + 8) M(b + 9) M(b + 10) M(b + 11) M(b + 12) M(b + 13) M(b + 14) M(b + 15)
#define VANTREL_REPEAT256(M)                                                        \
  VANTREL_REPEAT16(M, 0x00)                                                         \
  VANTREL_REPEAT16(M, 0x10)                                                         \
  VANTREL_REPEAT16(M, 0x20)                                                         \
  VANTREL_REPEAT16(M, 0x30)                                                         \
  VANTREL_REPEAT16(M, 0x40)                                                         \
  VANTREL_REPEAT16(M, 0x50)                                                         \
  VANTREL_REPEAT16(M, 0x60)                                                         \
  VANTREL_REPEAT16(M, 0x70) VANTREL_REPEAT16(M, 0x80) VANTREL_REPEAT16(M, 0x90)     \
      VANTREL_REPEAT16(M, 0xA0) VANTREL_REPEAT16(M, 0xB0) VANTREL_REPEAT16(M, 0xC0) \
          VANTREL_REPEAT16(M, 0xD0) VANTREL_REPEAT16(M, 0xE0) VANTREL_REPEAT16(M, 0xF0)

namespace vantrel {

template <class M>
template <int N, int Idx>
uint8_t& Z80Core<M>::Reg8() {
  static_assert(N >= 0 && N <= 7 && N != 6, "(HL) is not a register");
  if constexpr (N == 0) return r_.BC.High;
  if constexpr (N == 1) return r_.BC.Low;
  if constexpr (N == 2) return r_.DE.High;
  if constexpr (N == 3) return r_.DE.Low;
  if constexpr (N == 4) return HLx<Idx>().High;
  if constexpr (N == 5) return HLx<Idx>().Low;
  if constexpr (N == 7) return r_.AF.High;
}

// A register chosen at run time, stored by value: a reference into the registers would
// keep the worker's copy of them out of host registers.
template <class M>
void Z80Core<M>::SetReg8ByIndex(int n, uint8_t value) {
  switch (n & 7) {
    case 0: r_.BC.High = value; break;
    case 1: r_.BC.Low = value; break;
    case 2: r_.DE.High = value; break;
    case 3: r_.DE.Low = value; break;
    case 4: r_.HL.High = value; break;
    case 5: r_.HL.Low = value; break;
    default: r_.AF.High = value; break;
  }
}

template <class M>
template <int Idx>
RegisterPair& Z80Core<M>::HLx() {
  if constexpr (Idx == 0) {
    return r_.HL;
  } else if constexpr (Idx == 1) {
    return r_.IX;
  } else {
    return r_.IY;
  }
}

// P selects BC, DE, HL (or the index register), SP.
template <class M>
template <int P, int Idx>
uint16_t Z80Core<M>::GetRR() {
  if constexpr (P == 0) return r_.BC.Get();
  if constexpr (P == 1) return r_.DE.Get();
  if constexpr (P == 2) return HLx<Idx>().Get();
  if constexpr (P == 3) return r_.SP;
}

template <class M>
template <int P, int Idx>
void Z80Core<M>::SetRR(uint16_t value) {
  if constexpr (P == 0) r_.BC.Set(value);
  if constexpr (P == 1) r_.DE.Set(value);
  if constexpr (P == 2) HLx<Idx>().Set(value);
  if constexpr (P == 3) r_.SP = value;
}

// NZ, Z, NC, C, PO, PE, P, M.
template <class M>
template <int Cc>
bool Z80Core<M>::Condition() const {
  using namespace z80flags;
  const uint8_t f = r_.AF.Low;
  if constexpr (Cc == 0) return !(f & Z);
  if constexpr (Cc == 1) return f & Z;
  if constexpr (Cc == 2) return !(f & C);
  if constexpr (Cc == 3) return f & C;
  if constexpr (Cc == 4) return !(f & PV);
  if constexpr (Cc == 5) return f & PV;
  if constexpr (Cc == 6) return !(f & S);
  if constexpr (Cc == 7) return f & S;
}

template <class M>
inline void Z80Core<M>::Add8(uint8_t value, uint8_t carry) {
  using namespace z80flags;
  const uint8_t a = r_.AF.High;
  const unsigned sum = a + value + carry;
  const auto result = static_cast<uint8_t>(sum);
  r_.AF.High = result;
  r_.AF.Low = static_cast<uint8_t>(kSZ53[result] | ((a ^ value ^ result) & H) |
                                   (((a ^ ~value) & (a ^ result) & 0x80) >> 5) | (sum >> 8));
}

template <class M>
inline void Z80Core<M>::Sub8(uint8_t value, uint8_t carry) {
  using namespace z80flags;
  const uint8_t a = r_.AF.High;
  const unsigned diff = a - value - carry;
  const auto result = static_cast<uint8_t>(diff);
  r_.AF.High = result;
  r_.AF.Low = static_cast<uint8_t>(kSZ53[result] | N | ((a ^ value ^ result) & H) |
                                   (((a ^ value) & (a ^ result) & 0x80) >> 5) | ((diff >> 8) & C));
}

// CP: flags of A - value, but bits 5 and 3 come from the operand.
template <class M>
inline void Z80Core<M>::Cp8(uint8_t value) {
  using namespace z80flags;
  const uint8_t a = r_.AF.High;
  const unsigned diff = a - value;
  const auto result = static_cast<uint8_t>(diff);
  r_.AF.Low = static_cast<uint8_t>((kSZ53[result] & (S | Z)) | (value & F53) | N |
                                   ((a ^ value ^ result) & H) |
                                   (((a ^ value) & (a ^ result) & 0x80) >> 5) | ((diff >> 8) & C));
}

// ADD ADC SUB SBC AND XOR OR CP.
template <class M>
template <int Y>
void Z80Core<M>::Alu(uint8_t value) {
  using namespace z80flags;
  if constexpr (Y == 0) Add8(value, 0);
  if constexpr (Y == 1) Add8(value, r_.AF.Low & C);
  if constexpr (Y == 2) Sub8(value, 0);
  if constexpr (Y == 3) Sub8(value, r_.AF.Low & C);
  if constexpr (Y == 4) {
    r_.AF.High &= value;
    r_.AF.Low = kSZ53P[r_.AF.High] | H;
  }
  if constexpr (Y == 5) {
    r_.AF.High ^= value;
    r_.AF.Low = kSZ53P[r_.AF.High];
  }
  if constexpr (Y == 6) {
    r_.AF.High |= value;
    r_.AF.Low = kSZ53P[r_.AF.High];
  }
  if constexpr (Y == 7) Cp8(value);
}

template <class M>
inline uint8_t Z80Core<M>::Inc8(uint8_t value) {
  using namespace z80flags;
  const auto result = static_cast<uint8_t>(value + 1);
  r_.AF.Low = static_cast<uint8_t>((r_.AF.Low & C) | kSZ53[result] | ((result & 0x0F) ? 0 : H) |
                                   (result == 0x80 ? PV : 0));
  return result;
}

template <class M>
inline uint8_t Z80Core<M>::Dec8(uint8_t value) {
  using namespace z80flags;
  const auto result = static_cast<uint8_t>(value - 1);
  r_.AF.Low = static_cast<uint8_t>((r_.AF.Low & C) | N | kSZ53[result] | ((value & 0x0F) ? 0 : H) |
                                   (result == 0x7F ? PV : 0));
  return result;
}

template <class M>
inline uint16_t Z80Core<M>::Add16(uint16_t a, uint16_t b) {
  using namespace z80flags;
  const uint32_t sum = a + b;
  r_.AF.Low = static_cast<uint8_t>((r_.AF.Low & (S | Z | PV)) | ((sum >> 8) & F53) |
                                   (((a ^ b ^ sum) >> 8) & H) | (sum >> 16));
  return static_cast<uint16_t>(sum);
}

template <class M>
inline void Z80Core<M>::Adc16(uint16_t value) {
  using namespace z80flags;
  const uint16_t hl = r_.HL.Get();
  const uint32_t sum = hl + value + (r_.AF.Low & C);
  const auto result = static_cast<uint16_t>(sum);
  r_.HL.Set(result);
  r_.AF.Low = static_cast<uint8_t>(((result >> 8) & (S | F53)) | (result ? 0 : Z) |
                                   (((hl ^ value ^ sum) >> 8) & H) |
                                   (((hl ^ ~value) & (hl ^ sum) & 0x8000) >> 13) | (sum >> 16));
}

template <class M>
inline void Z80Core<M>::Sbc16(uint16_t value) {
  using namespace z80flags;
  const uint16_t hl = r_.HL.Get();
  const uint32_t diff = hl - value - (r_.AF.Low & C);
  const auto result = static_cast<uint16_t>(diff);
  r_.HL.Set(result);
  r_.AF.Low = static_cast<uint8_t>(
      ((result >> 8) & (S | F53)) | (result ? 0 : Z) | N | (((hl ^ value ^ diff) >> 8) & H) |
      (((hl ^ value) & (hl ^ diff) & 0x8000) >> 13) | ((diff >> 16) & C));
}

// RLC RRC RL RR SLA SRA SLL SRL.
template <class M>
template <int Y>
uint8_t Z80Core<M>::Rotate(uint8_t value) {
  using namespace z80flags;
  uint8_t result = 0;
  uint8_t carry = 0;
  if constexpr (Y == 0) {
    carry = value >> 7;
    result = static_cast<uint8_t>((value << 1) | carry);
  } else if constexpr (Y == 1) {
    carry = value & 1;
    result = static_cast<uint8_t>((value >> 1) | (carry << 7));
  } else if constexpr (Y == 2) {
    carry = value >> 7;
    result = static_cast<uint8_t>((value << 1) | (r_.AF.Low & C));
  } else if constexpr (Y == 3) {
    carry = value & 1;
    result = static_cast<uint8_t>((value >> 1) | ((r_.AF.Low & C) << 7));
  } else if constexpr (Y == 4) {
    carry = value >> 7;
    result = static_cast<uint8_t>(value << 1);
  } else if constexpr (Y == 5) {
    carry = value & 1;
    result = static_cast<uint8_t>((value >> 1) | (value & 0x80));
  } else if constexpr (Y == 6) {  // SLL: bit 0 becomes 1
    carry = value >> 7;
    result = static_cast<uint8_t>((value << 1) | 1);
  } else {
    carry = value & 1;
    result = static_cast<uint8_t>(value >> 1);
  }
  r_.AF.Low = kSZ53P[result] | carry;
  return result;
}

template <class M>
inline uint8_t Z80Core<M>::RotateBy(int y, uint8_t value) {
  switch (y & 7) {
    case 0: return Rotate<0>(value);
    case 1: return Rotate<1>(value);
    case 2: return Rotate<2>(value);
    case 3: return Rotate<3>(value);
    case 4: return Rotate<4>(value);
    case 5: return Rotate<5>(value);
    case 6: return Rotate<6>(value);
    default: return Rotate<7>(value);
  }
}

// BIT: F5/F3 come from `undocumented`, which is the tested register, the memory byte
// for (HL), or the high byte of the effective address for (IX+d).
template <class M>
inline void Z80Core<M>::Bit(int bit, uint8_t value, uint8_t undocumented) {
  using namespace z80flags;
  const uint8_t tested = value & (1 << bit);
  r_.AF.Low = static_cast<uint8_t>((r_.AF.Low & C) | H | (undocumented & F53) |
                                   (tested ? (tested & S) : (Z | PV)));
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
  pc_ = static_cast<uint16_t>(pc_ - 1);
  T(4);
}

template <class M>
template <bool Local>
void Z80Core<M>::Di() {
  // PC is past the DI that opens the ROM's tape loader: at 0x0559 in Sinclair's ROM, at
  // 0x0556 in OpenSE BASIC's (no other known ROM has a DI at either place).
  if ((pc_ == 0x055A || pc_ == 0x0557) && tapeHook_) [[unlikely]] {
    Publish<Local>();
    tapeHook_(tapeContext_);
  }
  r_.IFF1 = r_.IFF2 = 0;
  T(4);
}

template <class M>
template <bool Local>
void Z80Core<M>::InAN() {
  // IN A,(n): the device sees the T-state at which the instruction began.
  Cycle(pc_, 3);
  const uint8_t n = m_.PeekByte(pc_);
  pc_ = static_cast<uint16_t>(pc_ + 1);
  r_.AF.High = PortIn<Local>(static_cast<uint16_t>((r_.AF.High << 8) | n));
  T(11);
}

}  // namespace vantrel
