#pragma once

#include <array>
#include <cstdint>

namespace vantrel {

// The AY-3-8912's register file as the ports see it. Sound generation builds on it.
class AyChip {
 public:
  // Register select: only the low four bits reach the chip.
  void AySelect(uint8_t value) { selected_ = value & 0x0F; }
  // Writing the value a register already holds changes nothing, so the chip is neither
  // advanced nor written; register 13 is the exception, since writing it restarts the
  // envelope.
  void AyWriteData(uint8_t value, uint32_t tackts) {
    if (value == registers_[selected_] && selected_ != 13) return;
    AyAdvance(tackts);
    registers_[selected_] = value;
    ++writes_;
  }
  // Brings the sound generators up to `tackts`.
  void AyAdvance(uint32_t /*tackts*/) {}
  uint8_t AyRead() const { return registers_[selected_]; }
  // Zeroes all sixteen registers; the selection is kept.
  void AyReset();

  uint8_t Selected() const { return selected_; }
  uint8_t Register(int index) const { return registers_[index & 0x0F]; }
  // Register writes that reached the chip (for tests and diagnostics).
  uint32_t Writes() const { return writes_; }

 private:
  std::array<uint8_t, 16> registers_{};
  uint8_t selected_ = 0;
  uint32_t writes_ = 0;
};

}  // namespace vantrel
