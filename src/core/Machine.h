#pragma once

#include <cstdint>

#include "core/MachineState.h"
#include "core/Memory.h"
#include "core/PortDecoder.h"
#include "core/Z80.h"
#include "sound/AyChip.h"

namespace vantrel {

// One emulated computer: the machine state, memory, port decoder, processor and
// devices. Nothing is global, so any number of machines can live side by side.
class Machine {
 public:
  // Power-on: RAM banks 5, 2 and 0 get pseudo-random bytes from `seed`.
  explicit Machine(uint64_t seed);
  // Power-on with a seed taken from the system's entropy source.
  Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // The "Reset" command, a held reset key and start-up: establishes StartMode.
  void ResetMachine();

  MachineState State;
  Memory Mem;
  AyChip Ay;
  PortDecoder Ports;
  Z80 Cpu;
};

}  // namespace vantrel
