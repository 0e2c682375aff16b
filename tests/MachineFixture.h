#pragma once

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "TestData.h"
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

// Runs to the next frame start: the point where the rewind captures are taken.
inline void OneFrame(Machine& m) {
  while (!m.EndFrameIfDue()) m.ProcessorStep();
}

// A 128K program that never rests: AY registers, the beeper, the border, the paging and
// the screen change all the time, under its own IM 2 interrupt.
inline void LoadBusy128kProgram(Machine& m) {
  m.ForcePaging(0x00);
  const std::vector<uint8_t> code = {
      0xF3, 0x31, 0xF0, 0xBF, 0x3E, 0x81, 0xED, 0x47, 0xED, 0x5E, 0x21, 0x00, 0x40, 0xFB,
      // loop: select register E & 15, write D, then the beeper and border, #7FFD, screen.
      0x01, 0xFD, 0xFF, 0x7B, 0xE6, 0x0F, 0xED, 0x79, 0x06, 0xBF, 0x7A, 0xED, 0x79, 0x1C, 0xC6,
      0x03, 0x57, 0xD3, 0xFE, 0xE6, 0x0F, 0x01, 0xFD, 0x7F, 0xED, 0x79, 0x77, 0x23, 0x7C, 0xE6,
      0x3F, 0xF6, 0x40, 0x67, 0x18, 0xDB};
  for (size_t i = 0; i < code.size(); ++i)
    m.Mem.PokeByte(static_cast<uint16_t>(0x8000 + i), code[i]);
  for (int a = 0x8100; a <= 0x8200; ++a) m.Mem.PokeByte(static_cast<uint16_t>(a), 0x82);
  // The handler at 0x8282: EI, RETI.
  m.Mem.PokeByte(0x8282, 0xFB);
  m.Mem.PokeWord(0x8283, 0x4DED);
  m.State.Regs.PC = 0x8000;
}

inline bool LoadPentagonRoms(Machine& m) {
  const auto rom = TestDataFile("roms/Pentagon.Rom");
  if (rom.empty()) return false;
  LoadRomPage(rom, 0, m.Mem.Rom128k());
  LoadRomPage(rom, 1, m.Mem.Rom48k());
  LoadRomPage(rom, 2, m.Mem.RomDOS());
  m.SetTrDosEnabled(true);
  return true;
}

}  // namespace vantrel::test
