#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/MachineState.h"
#include "core/Memory.h"
#include "core/Z80.h"

namespace vantrel {

// Turns the memory engine into 64 KB of flat, writable, zeroed RAM: the Scorpion's
// #1FFD bit 0 puts RAM bank 0 at 0x0000, #7FFD puts bank 1 at 0xC000, and banks 5 and 2
// are always at 0x4000-0xBFFF.
void MakeFlatRam(Memory& memory);

// Just enough CP/M to run the processor exercisers on the real processor and memory
// engine: a .COM program at 0x0100, console output through BDOS functions 2 and 9, and
// the end of the run when the program jumps to 0x0000 (warm boot).
class CpmMachine {
 public:
  static constexpr uint16_t kLoadAddress = 0x0100;
  static constexpr uint16_t kBdosEntry = 0x0005;
  // Top of the program area: the address the BDOS jump at 0x0005 leads to, which
  // programs read from 0x0006 to place their stack. Above it lie the loader's stack.
  static constexpr uint16_t kTopOfTpa = 0xFE00;
  static constexpr size_t kMaxComSize = kTopOfTpa - kLoadAddress;

  enum class Result { Finished, Limit };

  CpmMachine() : cpu_(state_, memory_) {}
  CpmMachine(const CpmMachine&) = delete;
  CpmMachine& operator=(const CpmMachine&) = delete;

  // Resets memory and processor and loads the program; false (with the reason in
  // *error) for an empty image or one that does not fit below kTopOfTpa.
  bool LoadCom(const std::vector<uint8_t>& image, std::string* error);

  // Runs until the program jumps to 0x0000 (Finished) or until TotalTackts() reaches
  // maxTackts (Limit, checked between instructions). BDOS output goes to `output`.
  Result Run(const std::function<void(char)>& output, uint64_t maxTackts);

  // T-states since LoadCom.
  uint64_t TotalTackts() const { return folded_ + state_.Regs.Tackts; }

  MachineState& State() { return state_; }
  const MachineState& State() const { return state_; }
  Memory& Mem() { return memory_; }
  const Memory& Mem() const { return memory_; }
  Z80& Cpu() { return cpu_; }

 private:
  void Bdos(const std::function<void(char)>& output);

  MachineState state_;
  Memory memory_;
  Z80 cpu_;
  uint64_t folded_ = 0;  // T-states moved out of the 32-bit per-frame counter
};

}  // namespace vantrel
