#pragma once

#include <cstdint>

#include "core/MachineState.h"
#include "core/Memory.h"
#include "core/PortBus.h"

namespace vantrel {

// Turns the processor's port accesses into device actions by mask and pattern:
// a device answers when (port XOR pattern) AND mask is 0.
class PortDecoder {
 public:
  // The 128K paging port answers when address bits 15 and 1 are both 0.
  static constexpr uint16_t Port7FFDBits = 0x7FFD;
  static constexpr uint16_t Port7FFDMask = 0x8002;
  static constexpr uint16_t Port1FFDBits = 0x1FFD;
  static constexpr uint16_t Port1FFDMask = 0xD027;

  PortDecoder(MachineState& state, Memory& memory) : state_(state), memory_(memory) {}

  uint8_t PortRead(uint16_t port);
  void PortWrite(uint16_t port, uint8_t value);

  // The seam the processor calls through.
  PortBus Bus();

 private:
  static bool Matches(uint16_t port, uint16_t pattern, uint16_t mask) {
    return ((port ^ pattern) & mask) == 0;
  }

  MachineState& state_;
  Memory& memory_;
};

}  // namespace vantrel
