#include "core/WatchedMemory.h"
#include "core/Z80.h"
#include "core/Z80Main.h"

namespace vantrel {

template <class M>
void Z80Core<M>::ExecuteIndexed(RegisterPair& index) {
  r_.R = static_cast<uint8_t>(r_.R + 1);
  const uint8_t opcode = FetchByte();
  T(4);  // the prefix
  idx_ = &index;
  switch (opcode) {
#define VANTREL_INDEXED_CASE(n) \
  case (n): Main<(n), 1>(); break;
    VANTREL_REPEAT256(VANTREL_INDEXED_CASE)
#undef VANTREL_INDEXED_CASE
  }
}

template <class M>
void Z80Core<M>::ExecuteIndexedCB(uint16_t address, uint8_t opcode) {
  const int x = opcode >> 6, y = (opcode >> 3) & 7, z = opcode & 7;
  const uint8_t value = m_.ReadByte(address);
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
  m_.WriteByte(address, result);
  // The undocumented encodings also leave the result in a register (H and L, not IXH/IXL).
  if (z != 6) Reg8ByIndex(z) = result;
  T(19);
}

// Both memories the processor runs on: plain and watched by the debugger.
template void Z80Core<Memory>::ExecuteIndexed(RegisterPair&);
template void Z80Core<Memory>::ExecuteIndexedCB(uint16_t, uint8_t);
template void Z80Core<WatchedMemory>::ExecuteIndexed(RegisterPair&);
template void Z80Core<WatchedMemory>::ExecuteIndexedCB(uint16_t, uint8_t);

}  // namespace vantrel
