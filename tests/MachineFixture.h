#pragma once

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "machine/Machine.h"

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

// RAM everywhere, unpaced, interrupt mode 1, JR $ at 0x0038 and 0x8000, SP at 0xF000: a
// machine with nothing to do but frame ends.
inline void MakeIdle(Machine& m) {
  MakeFlatRam(m);
  m.State.NormalSpeed = false;
  m.State.Regs.IM = 1;
  Load(m, 0x0038, {0x18, 0xFE});
  Load(m, 0x8000, {0x18, 0xFE});
  m.State.Regs.SP = 0xF000;
}

// Waits until `done()` holds; false when it never does. The bound is generous, so a slow
// sanitizer build never trips it: reaching it is a failure, not a measurement.
template <class Done>
bool WaitFor(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

}  // namespace vantrel::test
