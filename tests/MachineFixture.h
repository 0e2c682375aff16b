#pragma once

#include <cstdint>
#include <vector>

#include "core/Machine.h"

namespace vantrel::test {

// Several values compared in one assertion, printed as plain numbers.
template <class... T>
std::vector<long long> Ints(const T&... values) {
  return {static_cast<long long>(values)...};
}

// RAM everywhere: on a Scorpion #1FFD bit 0 puts RAM bank 0, writable, at 0x0000, and
// #7FFD = 1 leaves bank 1 at 0xC000 (banks 5 and 2 sit in between as always).
inline void MakeFlatRam(Memory& mem) {
  mem.Model = MemoryModel::Scorpion256k;
  mem.WritePort7FFD(0x01);
  mem.WritePort1FFD(0x01);
}
inline void MakeFlatRam(Machine& m) {
  m.Mem.Model = MemoryModel::Scorpion256k;
  m.Ports.PortWrite(0x7FFD, 0x01);
  m.Ports.PortWrite(0x1FFD, 0x01);
}

// Places code at `at` and points PC at it.
inline void Load(Machine& m, uint16_t at, const std::vector<uint8_t>& code) {
  m.State.Regs.PC = at;
  for (uint8_t byte : code) m.Mem.PokeByte(at++, byte);
}

}  // namespace vantrel::test
