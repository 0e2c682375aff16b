#pragma once

// The CB and ED instruction sets and the DD CB / FD CB forms. Included by the executor
// source files only.

#include "core/Z80Inline.h"

namespace vantrel {

// The rotations, RES and SET.
template <class M>
template <int Op>
uint8_t Z80Core<M>::CbApply(uint8_t value) {
  constexpr int x = Op >> 6, y = (Op >> 3) & 7;
  constexpr auto mask = static_cast<uint8_t>(1 << y);
  if constexpr (x == 0) return Rotate<y>(value);
  if constexpr (x == 2) return static_cast<uint8_t>(value & ~mask);
  if constexpr (x == 3) return static_cast<uint8_t>(value | mask);
}

template <class M>
template <int Op>
void Z80Core<M>::Cb() {
  constexpr int x = Op >> 6, y = (Op >> 3) & 7, z = Op & 7;
  if constexpr (x == 1) {  // BIT
    if constexpr (z == 6) {
      const uint8_t value = Rd(r_.HL.Get());
      Idle(r_.HL.Get(), 1);
      Bit(y, value, value);  // bits 5 and 3 from the memory byte
      T(12);
    } else {
      Bit(y, Reg8<z, 0>(), Reg8<z, 0>());
      T(8);
    }
  } else {
    if constexpr (z == 6) {
      const uint16_t address = r_.HL.Get();
      const uint8_t value = Rd(address);
      Idle(address, 1);
      Wr(address, CbApply<Op>(value));
      T(15);
    } else {
      Reg8<z, 0>() = CbApply<Op>(Reg8<z, 0>());
      T(8);
    }
  }
}

// LDI LDD LDIR LDDR. Bits 5 and 3 come from the transferred byte plus A.
template <class M>
template <int Y>
void Z80Core<M>::BlockLd() {
  using namespace z80flags;
  constexpr int step = (Y & 1) ? -1 : 1;
  const uint16_t de = r_.DE.Get();
  const uint8_t value = Rd(r_.HL.Get());
  Wr(de, value);
  Idle(de, 2);
  r_.HL.Set(static_cast<uint16_t>(r_.HL.Get() + step));
  r_.DE.Set(static_cast<uint16_t>(r_.DE.Get() + step));
  const auto bc = static_cast<uint16_t>(r_.BC.Get() - 1);
  r_.BC.Set(bc);
  const auto n = static_cast<uint8_t>(value + r_.AF.High);
  r_.AF.Low = static_cast<uint8_t>((r_.AF.Low & (S | Z | C)) | (bc ? PV : 0) | (n & F3) |
                                   ((n & 0x02) << 4));
  T(16);
  // A repeat is a separate step: interrupts and frame ends fall between repetitions.
  if (Y >= 6 && bc) {
    Idle(de, 5);
    pc_ = static_cast<uint16_t>(pc_ - 2);
    T(5);
  }
}

// CPI CPD CPIR CPDR.
template <class M>
template <int Y>
void Z80Core<M>::BlockCp() {
  using namespace z80flags;
  constexpr int step = (Y & 1) ? -1 : 1;
  const uint8_t a = r_.AF.High;
  const uint16_t hl = r_.HL.Get();
  const uint8_t value = Rd(hl);
  Idle(hl, 5);
  const auto result = static_cast<uint8_t>(a - value);
  const uint8_t half = (a ^ value ^ result) & H;
  const auto n = static_cast<uint8_t>(result - (half ? 1 : 0));
  r_.HL.Set(static_cast<uint16_t>(r_.HL.Get() + step));
  const auto bc = static_cast<uint16_t>(r_.BC.Get() - 1);
  r_.BC.Set(bc);
  r_.AF.Low = static_cast<uint8_t>((r_.AF.Low & C) | N | (kSZ53[result] & (S | Z)) | half |
                                   (bc ? PV : 0) | (n & F3) | ((n & 0x02) << 4));
  T(16);
  if (Y >= 6 && bc && result != 0) {
    Idle(hl, 5);
    pc_ = static_cast<uint16_t>(pc_ - 2);
    T(5);
  }
}

// INI IND INIR INDR: the port is read at the instruction's start.
template <class M>
template <int Y>
void Z80Core<M>::BlockIn() {
  using namespace z80flags;
  constexpr int step = (Y & 1) ? -1 : 1;
  Ir(1);
  const uint8_t value = PortIn<false>(r_.BC.Get());
  T(16);
  const uint16_t hl = r_.HL.Get();
  Wr(hl, value);
  r_.HL.Set(static_cast<uint16_t>(r_.HL.Get() + step));
  const auto b = static_cast<uint8_t>(r_.BC.High - 1);
  r_.BC.High = b;
  if constexpr (kTimed) {
    BlockIoFlags(value, static_cast<uint8_t>(r_.BC.Low + step), b);
  } else {
    r_.AF.Low =
        static_cast<uint8_t>((r_.AF.Low & C) | N | (kSZ53P[value] & (S | F53 | PV)) | (b ? 0 : Z));
  }
  if (Y >= 6 && b) {
    Idle(hl, 5);
    pc_ = static_cast<uint16_t>(pc_ - 2);
    T(5);
  }
}

// The flags the real chip leaves after INI, IND, OUTI, OUTD and their repeats, kept for
// the Sinclair timings, whose test programs check them: S Z F5 F3 from the new B, N from
// bit 7 of the byte, H and C from the carry of byte + `low` (C +/- 1 for input, the new L
// for output), P/V the parity of that sum's low three bits XOR B.
template <class M>
void Z80Core<M>::BlockIoFlags(uint8_t value, uint8_t low, uint8_t b) {
  using namespace z80flags;
  const unsigned k = value + low;
  r_.AF.Low = static_cast<uint8_t>((kSZ53[b]) | ((value >> 6) & N) | (k > 0xFF ? (H | C) : 0) |
                                   (kSZ53P[(k & 7) ^ b] & PV));
}

// OUTI OUTD OTIR OTDR: the chip decrements B before the write, so the port's high byte
// is the new B (music players rely on it: LD B,#C0 / OUTI writes the AY data port #BFFD).
// The write comes at the end of the base cost; a repeat's 5 T-states come after it.
template <class M>
template <int Y>
void Z80Core<M>::BlockOut() {
  using namespace z80flags;
  constexpr int step = (Y & 1) ? -1 : 1;
  Ir(1);
  const uint8_t value = Rd(r_.HL.Get());
  r_.HL.Set(static_cast<uint16_t>(r_.HL.Get() + step));
  const auto b = static_cast<uint8_t>(r_.BC.High - 1);
  r_.BC.High = b;
  T(16);
  PortOut<false>(r_.BC.Get(), value);
  if constexpr (kTimed) {
    BlockIoFlags(value, r_.HL.Low, b);
  } else {
    r_.AF.Low = static_cast<uint8_t>((r_.AF.Low & ~Z) | N | (b ? 0 : Z));
  }
  if (Y >= 6 && b) {
    Idle(r_.BC.Get(), 5);
    pc_ = static_cast<uint16_t>(pc_ - 2);
    T(5);
  }
}

template <class M>
template <int Op>
void Z80Core<M>::Ed() {
  using namespace z80flags;
  constexpr int x = Op >> 6, y = (Op >> 3) & 7, z = Op & 7, p = y >> 1, q = y & 1;
  uint8_t& A = r_.AF.High;
  uint8_t& F = r_.AF.Low;
  if constexpr (x == 1) {
    if constexpr (z == 0) {  // IN r,(C); IN (C) keeps only the flags
      const uint8_t value = PortIn<false>(r_.BC.Get());
      if constexpr (y != 6) Reg8<y, 0>() = value;
      F = static_cast<uint8_t>((F & C) | kSZ53P[value]);
      T(12);
    } else if constexpr (z == 1) {  // OUT (C),r; OUT (C),0
      T(12);
      if constexpr (y == 6) {
        PortOut<false>(r_.BC.Get(), 0);
      } else {
        PortOut<false>(r_.BC.Get(), Reg8<y, 0>());
      }
    } else if constexpr (z == 2) {
      if constexpr (q == 0) {
        Sbc16(GetRR<p, 0>());
      } else {
        Adc16(GetRR<p, 0>());
      }
      Ir(7);
      T(15);
    } else if constexpr (z == 3) {
      const uint16_t address = FetchWord();
      if constexpr (q == 0) {
        WrWord(address, GetRR<p, 0>());
      } else {
        SetRR<p, 0>(RdWord(address));
      }
      T(20);
    } else if constexpr (z == 4) {  // NEG
      const uint8_t value = A;
      A = 0;
      Sub8(value, 0);
      T(8);
    } else if constexpr (z == 5) {  // RETN; RETI is the same operation
      pc_ = Pop();
      r_.IFF1 = r_.IFF2;
      T(14);
    } else if constexpr (z == 6) {
      r_.IM = static_cast<uint8_t>((y & 3) <= 1 ? 0 : (y & 3) - 1);
      T(8);
    } else if constexpr (y == 0) {  // LD I,A
      Ir(1);
      r_.I = A;
      T(9);
    } else if constexpr (y == 1) {  // LD R,A
      Ir(1);
      refresh_ = A;
      r_.R7 = A & 0x80;
      T(9);
    } else if constexpr (y == 2 || y == 3) {  // LD A,I; LD A,R
      Ir(1);
      A = (y == 2) ? r_.I : static_cast<uint8_t>((refresh_ & 0x7F) | (r_.R7 & 0x80));
      T(9);
      // An instruction ending at the frame's end reports IFF2 as 0, as the chip does when
      // an interrupt is accepted right after it. The default timing keeps the constant
      // frame length; a Sinclair timing's frame is its own.
      const uint32_t frame = kTimed ? s_.TacktsPerInt : kDefaultTacktsPerInt;
      const bool iff = r_.IFF2 && tackts_ < frame;
      F = static_cast<uint8_t>((F & C) | kSZ53[A] | (iff ? PV : 0));
    } else if constexpr (y == 4 || y == 5) {  // RRD; RLD
      const uint16_t address = r_.HL.Get();
      const uint8_t value = Rd(address);
      Idle(address, 4);
      if constexpr (y == 4) {
        Wr(address, static_cast<uint8_t>((A << 4) | (value >> 4)));
        A = static_cast<uint8_t>((A & 0xF0) | (value & 0x0F));
      } else {
        Wr(address, static_cast<uint8_t>((value << 4) | (A & 0x0F)));
        A = static_cast<uint8_t>((A & 0xF0) | (value >> 4));
      }
      F = static_cast<uint8_t>((F & C) | kSZ53P[A]);
      T(18);
    } else {
      T(8);
    }
  } else if constexpr (x == 2 && y >= 4 && z <= 3) {
    if constexpr (z == 0) BlockLd<y>();
    if constexpr (z == 1) BlockCp<y>();
    if constexpr (z == 2) BlockIn<y>();
    if constexpr (z == 3) BlockOut<y>();
  } else {
    T(8);  // the undefined ED opcodes do nothing
  }
}

template <class M>
void Z80Core<M>::DispatchCB() {
  refresh_ = static_cast<uint8_t>(refresh_ + 1);
  const uint8_t opcode = FetchOpcode();
  switch (opcode) {
#define VANTREL_CB_CASE(n) \
  case (n): Cb<(n)>(); break;
    VANTREL_REPEAT256(VANTREL_CB_CASE)
#undef VANTREL_CB_CASE
  }
}

template <class M>
void Z80Core<M>::DispatchED() {
  refresh_ = static_cast<uint8_t>(refresh_ + 1);
  const uint8_t opcode = FetchOpcode();
  switch (opcode) {
#define VANTREL_ED_CASE(n) \
  case (n): Ed<(n)>(); break;
    VANTREL_REPEAT256(VANTREL_ED_CASE)
#undef VANTREL_ED_CASE
  }
}

template <class M>
void Z80Core<M>::IndexedCb(uint16_t address, uint8_t opcode) {
  const int x = opcode >> 6, y = (opcode >> 3) & 7, z = opcode & 7;
  const uint8_t value = Rd(address);
  Idle(address, 1);
  if (x == 1) {  // BIT: all eight register encodings are the same instruction
    Bit(y, value, static_cast<uint8_t>(address >> 8));
    T(16);
    return;
  }
  uint8_t result;
  if (x == 0) {
    result = RotateBy(y, value);
  } else if (x == 2) {
    result = static_cast<uint8_t>(value & ~(1 << y));
  } else {
    result = static_cast<uint8_t>(value | (1 << y));
  }
  Wr(address, result);
  // The undocumented encodings also leave the result in a register (H and L, not IXH/IXL).
  if (z != 6) SetReg8ByIndex(z, result);
  T(19);
}

}  // namespace vantrel
