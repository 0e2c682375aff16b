#pragma once

// The unprefixed instruction set, written once for HL (Idx 0) and once for each index
// register of a DD/FD prefix (Idx 1 IX, Idx 2 IY). Costs are the unprefixed ones; with a prefix the
// executor has already added the prefix's 4 T-states, and the (IX+d) forms add their
// own longer costs here.

#include "core/Z80Prefixed.h"

namespace vantrel {

template <class M>
template <int Op, int Idx, bool Local>
void Z80Core<M>::Main() {
  using namespace z80flags;
  constexpr int x = Op >> 6, y = (Op >> 3) & 7, z = Op & 7, p = y >> 1, q = y & 1;
  uint8_t& A = r_.AF.High;
  uint8_t& F = r_.AF.Low;

  if constexpr (x == 1) {
    if constexpr (Op == 0x76) {
      if constexpr (Idx == 0) {
        Halt();
      } else {
        pc_ = static_cast<uint16_t>(pc_ - 1);  // the HALT itself runs next step
      }
    } else if constexpr (y == 6) {  // LD (HL),r: H and L keep their meaning
      if constexpr (Idx == 0) {
        Wr(r_.HL.Get(), Reg8<z, 0>());
        T(7);
      } else {
        Wr(IndexAddress<Idx>(), Reg8<z, 0>());
        T(15);
      }
    } else if constexpr (z == 6) {  // LD r,(HL)
      if constexpr (Idx == 0) {
        Reg8<y, 0>() = Rd(r_.HL.Get());
        T(7);
      } else {
        Reg8<y, 0>() = Rd(IndexAddress<Idx>());
        T(15);
      }
    } else {
      Reg8<y, Idx>() = Reg8<z, Idx>();
      T(4);
    }
  } else if constexpr (x == 2) {
    if constexpr (z != 6) {
      Alu<y>(Reg8<z, Idx>());
      T(4);
    } else if constexpr (Idx == 0) {
      Alu<y>(Rd(r_.HL.Get()));
      T(7);
    } else {
      Alu<y>(Rd(IndexAddress<Idx>()));
      T(15);
    }
  } else if constexpr (x == 0) {
    if constexpr (z == 0) {
      if constexpr (y == 0) {  // NOP
        T(4);
      } else if constexpr (y == 1) {  // EX AF,AF'
        const uint16_t af = r_.AF.Get();
        r_.AF.Set(r_.AltAF);
        r_.AltAF = af;
        T(4);
      } else if constexpr (y == 2) {  // DJNZ e
        Ir(1);
        const auto e = static_cast<int8_t>(FetchByte());
        if (--r_.BC.High) {
          Idle(static_cast<uint16_t>(pc_ - 1), 5);
          pc_ = static_cast<uint16_t>(pc_ + e);
          T(13);
        } else {
          T(8);
        }
      } else if constexpr (y == 3) {  // JR e
        const auto e = static_cast<int8_t>(FetchByte());
        Idle(static_cast<uint16_t>(pc_ - 1), 5);
        pc_ = static_cast<uint16_t>(pc_ + e);
        T(12);
      } else {  // JR cc,e
        const auto e = static_cast<int8_t>(FetchByte());
        if (Condition<y - 4>()) {
          Idle(static_cast<uint16_t>(pc_ - 1), 5);
          pc_ = static_cast<uint16_t>(pc_ + e);
          T(12);
        } else {
          T(7);
        }
      }
    } else if constexpr (z == 1) {
      if constexpr (q == 0) {  // LD rr,nn
        SetRR<p, Idx>(FetchWord());
        T(10);
      } else {  // ADD HL,rr
        Ir(7);
        HLx<Idx>().Set(Add16(HLx<Idx>().Get(), GetRR<p, Idx>()));
        T(11);
      }
    } else if constexpr (z == 2) {
      if constexpr (y == 0) {
        Wr(r_.BC.Get(), A);
        T(7);
      } else if constexpr (y == 1) {
        A = Rd(r_.BC.Get());
        T(7);
      } else if constexpr (y == 2) {
        Wr(r_.DE.Get(), A);
        T(7);
      } else if constexpr (y == 3) {
        A = Rd(r_.DE.Get());
        T(7);
      } else if constexpr (y == 4) {  // LD (nn),HL
        WrWord(FetchWord(), HLx<Idx>().Get());
        T(16);
      } else if constexpr (y == 5) {  // LD HL,(nn)
        HLx<Idx>().Set(RdWord(FetchWord()));
        T(16);
      } else if constexpr (y == 6) {  // LD (nn),A
        Wr(FetchWord(), A);
        T(13);
      } else {  // LD A,(nn)
        A = Rd(FetchWord());
        T(13);
      }
    } else if constexpr (z == 3) {  // INC rr / DEC rr
      Ir(2);
      SetRR<p, Idx>(static_cast<uint16_t>(GetRR<p, Idx>() + (q == 0 ? 1 : -1)));
      T(6);
    } else if constexpr (z == 4 || z == 5) {  // INC r / DEC r
      if constexpr (y != 6) {
        Reg8<y, Idx>() = (z == 4) ? Inc8(Reg8<y, Idx>()) : Dec8(Reg8<y, Idx>());
        T(4);
      } else {
        const uint16_t address = (Idx == 0) ? r_.HL.Get() : IndexAddress<Idx>();
        const uint8_t value = Rd(address);
        Idle(address, 1);
        Wr(address, (z == 4) ? Inc8(value) : Dec8(value));
        T(Idx == 0 ? 11 : 19);
      }
    } else if constexpr (z == 6) {  // LD r,n
      if constexpr (y != 6) {
        Reg8<y, Idx>() = FetchByte();
        T(7);
      } else if constexpr (Idx == 0) {
        const uint8_t value = FetchByte();
        Wr(r_.HL.Get(), value);
        T(10);
      } else {  // the displacement comes before the operand
        const uint16_t address = IndexAddress<Idx, 0>();
        const uint8_t value = FetchByte();
        Idle(static_cast<uint16_t>(pc_ - 1), 2);
        Wr(address, value);
        T(15);
      }
    } else {                   // z == 7: accumulator and flag operations
      if constexpr (y == 0) {  // RLCA
        A = static_cast<uint8_t>((A << 1) | (A >> 7));
        F = static_cast<uint8_t>((F & (S | Z | PV)) | (A & (F53 | C)));
      } else if constexpr (y == 1) {  // RRCA
        const uint8_t carry = A & 1;
        A = static_cast<uint8_t>((A >> 1) | (carry << 7));
        F = static_cast<uint8_t>((F & (S | Z | PV)) | (A & F53) | carry);
      } else if constexpr (y == 2) {  // RLA
        const uint8_t carry = A >> 7;
        A = static_cast<uint8_t>((A << 1) | (F & C));
        F = static_cast<uint8_t>((F & (S | Z | PV)) | (A & F53) | carry);
      } else if constexpr (y == 3) {  // RRA
        const uint8_t carry = A & 1;
        A = static_cast<uint8_t>((A >> 1) | ((F & C) << 7));
        F = static_cast<uint8_t>((F & (S | Z | PV)) | (A & F53) | carry);
      } else if constexpr (y == 4) {
        Daa();
        return;
      } else if constexpr (y == 5) {  // CPL
        A = static_cast<uint8_t>(~A);
        F = static_cast<uint8_t>((F & (S | Z | PV | C)) | H | N | (A & F53));
      } else if constexpr (y == 6) {  // SCF
        F = static_cast<uint8_t>((F & (S | Z | PV)) | (A & F53) | C);
      } else {  // CCF: H takes the old carry
        F = static_cast<uint8_t>((F & (S | Z | PV)) | ((F & C) ? H : C) | (A & F53));
      }
      T(4);
    }
  } else {                   // x == 3
    if constexpr (z == 0) {  // RET cc
      Ir(1);
      if (Condition<y>()) {
        pc_ = Pop();
        T(11);
      } else {
        T(5);
      }
    } else if constexpr (z == 1) {
      if constexpr (q == 0) {  // POP BC, DE, HL, AF
        const uint16_t value = Pop();
        if constexpr (p == 3) {
          r_.AF.Set(value);
        } else {
          SetRR<p, Idx>(value);
        }
        T(10);
      } else if constexpr (p == 0) {  // RET
        pc_ = Pop();
        T(10);
      } else if constexpr (p == 1) {  // EXX
        uint16_t v = r_.BC.Get();
        r_.BC.Set(r_.AltBC);
        r_.AltBC = v;
        v = r_.DE.Get();
        r_.DE.Set(r_.AltDE);
        r_.AltDE = v;
        v = r_.HL.Get();
        r_.HL.Set(r_.AltHL);
        r_.AltHL = v;
        T(4);
      } else if constexpr (p == 2) {  // JP (HL)
        pc_ = HLx<Idx>().Get();
        T(4);
      } else {  // LD SP,HL
        Ir(2);
        r_.SP = HLx<Idx>().Get();
        T(6);
      }
    } else if constexpr (z == 2) {  // JP cc,nn
      const uint16_t target = FetchWord();
      if (Condition<y>()) pc_ = target;
      T(10);
    } else if constexpr (z == 3) {
      if constexpr (y == 0) {  // JP nn
        pc_ = FetchWord();
        T(10);
      } else if constexpr (y == 1) {
        if constexpr (Idx != 0) {  // DD CB d op: displacement and opcode are one operand word
          const uint16_t word = FetchWord();
          Idle(static_cast<uint16_t>(pc_ - 1), 2);
          const auto d = static_cast<int8_t>(word & 0xFF);
          IndexedCb(static_cast<uint16_t>(HLx<Idx>().Get() + d), static_cast<uint8_t>(word >> 8));
        } else {
          Prefixed<Local, &Z80Core::ExecuteCB>();
        }
      } else if constexpr (y == 2) {  // OUT (n),A: the device sees the end of the instruction
        Cycle(pc_, 3);
        const uint8_t n = m_.PeekByte(pc_);
        pc_ = static_cast<uint16_t>(pc_ + 1);
        T(11);
        PortOut<Local>(static_cast<uint16_t>((A << 8) | n), A);
      } else if constexpr (y == 3) {
        InAN<Local>();
      } else if constexpr (y == 4) {  // EX (SP),HL
        const uint16_t value = RdWord(r_.SP);
        const uint16_t hl = HLx<Idx>().Get();
        if constexpr (kTimed) {  // high byte first, then two T-states at SP
          const auto high = static_cast<uint16_t>(r_.SP + 1);
          Idle(high, 1);
          Wr(high, static_cast<uint8_t>(hl >> 8));
          Wr(r_.SP, static_cast<uint8_t>(hl));
          Idle(r_.SP, 2);
        } else {
          m_.WriteWord(r_.SP, hl);
        }
        HLx<Idx>().Set(value);
        T(19);
      } else if constexpr (y == 5) {  // EX DE,HL: never the index register
        const uint16_t de = r_.DE.Get();
        r_.DE.Set(r_.HL.Get());
        r_.HL.Set(de);
        T(4);
      } else if constexpr (y == 6) {
        Di<Local>();
      } else {  // EI: the next instruction always runs before an interrupt
        r_.IFF1 = r_.IFF2 = 1;
        r_.AcceptInt = 0;
        T(4);
      }
    } else if constexpr (z == 4) {  // CALL cc,nn
      const uint16_t target = FetchWord();
      if (Condition<y>()) {
        Idle(static_cast<uint16_t>(pc_ - 1), 1);
        Push(pc_);
        pc_ = target;
        T(17);
      } else {
        T(10);
      }
    } else if constexpr (z == 5) {
      if constexpr (q == 0) {  // PUSH BC, DE, HL, AF
        Ir(1);
        if constexpr (p == 3) {
          Push(r_.AF.Get());
        } else {
          Push(GetRR<p, Idx>());
        }
        T(11);
      } else if constexpr (p == 0) {  // CALL nn
        const uint16_t target = FetchWord();
        Idle(static_cast<uint16_t>(pc_ - 1), 1);
        Push(pc_);
        pc_ = target;
        T(17);
      } else if constexpr (p == 2) {  // ED: a DD/FD before it is simply dropped
        Prefixed<Local, &Z80Core::ExecuteED>();
      } else if constexpr (Idx == 0) {
        Prefixed<Local, &Z80Core::template ExecuteIndexed<p == 1 ? 1 : 2>>();
      } else {
        // A prefix after a prefix: end this step after the first one's 4 T-states and
        // fetch the second as a new instruction, with no interrupt in between.
        pc_ = static_cast<uint16_t>(pc_ - 1);
        refresh_ = static_cast<uint8_t>(refresh_ - 1);
        r_.AcceptInt = 0;
      }
    } else if constexpr (z == 6) {  // ALU n
      Alu<y>(FetchByte());
      T(7);
    } else {  // RST
      Ir(1);
      Push(pc_);
      pc_ = static_cast<uint16_t>(y * 8);
      T(11);
    }
  }
}

template <class M>
template <int Idx>
void Z80Core<M>::DispatchIndexed() {
  refresh_ = static_cast<uint8_t>(refresh_ + 1);
  uint8_t opcode;
  if constexpr (kTimed) {
    // A second prefix and a HALT are fetched again as instructions of their own.
    opcode = m_.FetchByte(pc_);
    if (opcode != 0xDD && opcode != 0xFD && opcode != 0x76) Cycle(pc_, 4);
    pc_ = static_cast<uint16_t>(pc_ + 1);
  } else {
    opcode = FetchByte();
  }
  T(4);  // the prefix
  switch (opcode) {
#define VANTREL_INDEXED_CASE(n) \
  case (n): Main<(n), Idx, false>(); break;
    VANTREL_REPEAT256(VANTREL_INDEXED_CASE)
#undef VANTREL_INDEXED_CASE
  }
}

}  // namespace vantrel
