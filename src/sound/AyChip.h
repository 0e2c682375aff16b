#pragma once

#include <array>
#include <cstdint>

namespace vantrel {

// The AY-3-8912's register file as the ports see it. Sound generation builds on it.
class AyChip {
 public:
  // Register select: only the low four bits reach the chip.
  void AySelect(uint8_t value) { selected_ = value & 0x0F; }
  void AyWriteData(uint8_t value) { registers_[selected_] = value; }
  uint8_t AyRead() const { return registers_[selected_]; }
  // Zeroes all sixteen registers; the selection is kept.
  void AyReset();

  uint8_t Selected() const { return selected_; }
  uint8_t Register(int index) const { return registers_[index & 0x0F]; }

 private:
  std::array<uint8_t, 16> registers_{};
  uint8_t selected_ = 0;
};

}  // namespace vantrel
