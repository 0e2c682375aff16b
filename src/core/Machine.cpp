#include "core/Machine.h"

#include <random>

namespace vantrel {

namespace {

uint64_t EntropySeed() {
  std::random_device device;
  return (static_cast<uint64_t>(device()) << 32) ^ device();
}

}  // namespace

Machine::Machine(uint64_t seed) : Ports(State, Mem), Cpu(State, Mem) {
  Cpu.SetPortBus(Ports.Bus());
  Mem.PowerOnFill(seed);
}

Machine::Machine() : Machine(EntropySeed()) {}

void Machine::ResetMachine() {
  // Unlock paging so the port writes below take effect. Leaving TR-DOS first means the
  // #7FFD write maps the BASIC ROM it selects; a reset into a non-TR-DOS mode must never
  // run on with the TR-DOS ROM still at 0x0000.
  Mem.Port7FFD = 0;
  Mem.DosActive = false;
  Ports.PortWrite(0x1FFD, 0x00);
  const uint8_t mode = State.StartMode.load(std::memory_order_relaxed);
  // 48K modes: bank 0 at 0xC000, the 48K BASIC ROM, paging locked.
  Ports.PortWrite(0x7FFD, (mode & kStart128k) ? 0x00 : 0x30);
  if (Mem.DosEnabled && (mode & kStartTrDos)) {
    Mem.EnterDos();
    Mem.Port7FFD |= 0x10;
  }

  Z80Registers& r = State.Regs;
  r.IM = 0;
  r.IFF1 = r.IFF2 = 0;
  r.PC = 0;
  r.R = r.R7 = 0;
  r.SP = 0xFFFF;
  r.AF.Set(0xFFFF);
  Ay.AyReset();
}

}  // namespace vantrel
