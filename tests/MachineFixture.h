#pragma once

#include "machine/Machine.h"

namespace vantrel::test {

// RAM everywhere: on a Scorpion #1FFD bit 0 puts RAM bank 0, writable, at 0x0000, and
// #7FFD = 1 leaves bank 1 at 0xC000 (banks 5 and 2 sit in between as always).
inline void MakeFlatRam(Machine& m) {
  m.Mem.Model = MemoryModel::Scorpion256k;
  m.Ports.PortWrite(0x7FFD, 0x01);
  m.Ports.PortWrite(0x1FFD, 0x01);
}

}  // namespace vantrel::test
