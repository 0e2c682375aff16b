#pragma once

#include <cstdint>
#include <vector>

#include "core/Compiler.h"
#include "core/Memory.h"
#include "core/UlaTiming.h"

namespace vantrel {

// Memory as a Sinclair ULA shares it with the processor: the same accesses as Memory's,
// and the delay the ULA adds to a machine cycle that starts at a T-state while it fetches
// the picture from contended memory. The processor instance built on it times each machine
// cycle on its own; the plain instance is untouched.
class ContendedMemory {
 public:
  static constexpr bool kContended = true;

  explicit ContendedMemory(Memory& memory) : mem_(memory) {}

  // 48K: #4000-#7FFF. 128K: bank 5 at #4000 and an odd bank (1, 3, 5, 7) at #C000.
  void SetTiming(MachineTiming timing) {
    const UlaFigures* ula = FiguresOf(timing);
    table_ = ula ? BuildContentionTable(*ula) : std::vector<uint8_t>(1, 0);
    delays_ = table_.data();
    delayCount_ = static_cast<uint32_t>(table_.size());
    oddBanks_ = timing == MachineTiming::Sinclair128 ? 1 : 0;
  }

  VANTREL_ALWAYS_INLINE bool Contended(uint16_t address) const {
    const unsigned slot = address >> 14;
    return slot == 1 || (slot == 3 && (mem_.TopBank() & oddBanks_));
  }
  // The T-state at which a cycle that wants the bus at `t` with `address` on it starts.
  VANTREL_ALWAYS_INLINE uint32_t Contend(uint16_t address, uint32_t t) const {
    if (Contended(address) && t < delayCount_) t += delays_[t];
    return t;
  }

  VANTREL_ALWAYS_INLINE uint8_t ReadByte(uint16_t address) const { return mem_.ReadByte(address); }
  VANTREL_ALWAYS_INLINE void WriteByte(uint16_t address, uint8_t value) {
    mem_.WriteByte(address, value);
  }
  VANTREL_ALWAYS_INLINE uint16_t ReadWord(uint16_t address) const { return mem_.ReadWord(address); }
  VANTREL_ALWAYS_INLINE void WriteWord(uint16_t address, uint16_t value) {
    mem_.WriteWord(address, value);
  }
  VANTREL_ALWAYS_INLINE uint8_t FetchByte(uint16_t address) const { return mem_.ReadByte(address); }
  VANTREL_ALWAYS_INLINE uint16_t FetchWord(uint16_t address) const {
    return mem_.ReadWord(address);
  }
  uint8_t PeekByte(uint16_t address) const { return mem_.PeekByte(address); }
  void UpdateDosRom(uint16_t pc) { mem_.UpdateDosRom(pc); }

 private:
  Memory& mem_;
  std::vector<uint8_t> table_ = std::vector<uint8_t>(1, 0);
  const uint8_t* delays_ = table_.data();
  uint32_t delayCount_ = 1;
  unsigned oddBanks_ = 0;
};

}  // namespace vantrel
