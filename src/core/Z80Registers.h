#pragma once

#include <cstdint>

#include "core/Compiler.h"

namespace vantrel {

// A register pair: one 16-bit register whose halves are also 8-bit registers.
// The halves are the storage; the 16-bit view is composed from them, which GCC
// turns into a single load/store, so there is no type punning to go wrong.
struct RegisterPair {
  uint8_t Low = 0;   // F, C, E, L, IXL, IYL
  uint8_t High = 0;  // A, B, D, H, IXH, IYH

  VANTREL_ALWAYS_INLINE uint16_t Get() const { return static_cast<uint16_t>(Low | (High << 8)); }
  VANTREL_ALWAYS_INLINE void Set(uint16_t value) {
    Low = static_cast<uint8_t>(value);
    High = static_cast<uint8_t>(value >> 8);
  }
};

struct Z80Registers {
  RegisterPair AF, BC, DE, HL, IX, IY;
  uint8_t IFF1 = 0;       // tested when an interrupt is requested
  uint8_t IFF2 = 0;       // restored into IFF1 by RETN/RETI, read by LD A,I / LD A,R
  uint8_t I = 0;          // high byte of the IM 2 vector table
  uint8_t IM = 0;         // interrupt mode 0, 1 or 2
  uint8_t R = 0;          // counts opcode fetches; only bits 0-6 are meaningful
  uint8_t R7 = 0;         // bit 7 of R as last written; counting never changes it
  uint8_t AcceptInt = 0;  // an interrupt may be accepted before the next instruction
  uint16_t PC = 0;
  uint16_t SP = 0;
  uint16_t AltAF = 0, AltBC = 0, AltDE = 0, AltHL = 0;
  uint32_t Tackts = 0;  // T-states since the start of the current frame

  uint8_t& A() { return AF.High; }
  uint8_t& F() { return AF.Low; }
  uint8_t& B() { return BC.High; }
  uint8_t& C() { return BC.Low; }
  uint8_t& D() { return DE.High; }
  uint8_t& E() { return DE.Low; }
  uint8_t& H() { return HL.High; }
  uint8_t& L() { return HL.Low; }
  uint8_t& IXH() { return IX.High; }
  uint8_t& IXL() { return IX.Low; }
  uint8_t& IYH() { return IY.High; }
  uint8_t& IYL() { return IY.Low; }

  // What every reader of R sees: the counted low 7 bits with the stored bit 7.
  VANTREL_ALWAYS_INLINE uint8_t ReadR() const {
    return static_cast<uint8_t>((R & 0x7F) | (R7 & 0x80));
  }
  // LD R,A and snapshot loaders: the whole byte is stored, bit 7 kept apart.
  VANTREL_ALWAYS_INLINE void WriteR(uint8_t value) {
    R = value;
    R7 = value & 0x80;
  }
};

}  // namespace vantrel
