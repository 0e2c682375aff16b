#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace vantrel {

// The emulated keyboard: eight half-rows of five keys, bit clear = pressed. The keyboard
// thread writes the rows, the port decoder reads them, so each row is an atomic byte.
class KeyMatrix {
 public:
  KeyMatrix() { ClearMatrix(); }

  // The ULA's keyboard answer: every half-row whose address line (bits 8-15) is low is
  // ANDed in; bit 6 (EAR) and the unused bits 5 and 7 read as 1 before EAR is added.
  uint8_t ReadKeyboardPort(uint16_t port) const {
    uint8_t value = 0xBF;
    const unsigned lines = static_cast<unsigned>(~port >> 8) & 0xFF;
    for (int row = 0; row < 8; ++row) {
      if (lines & (1u << row)) value &= rows_[row].load(std::memory_order_relaxed);
    }
    return value;
  }

  void SetRow(int row, uint8_t value) { rows_[row & 7].store(value, std::memory_order_relaxed); }
  uint8_t Row(int row) const { return rows_[row & 7].load(std::memory_order_relaxed); }
  void ClearMatrix() {
    for (auto& row : rows_) row.store(0xFF, std::memory_order_relaxed);
  }

 private:
  std::array<std::atomic<uint8_t>, 8> rows_;
};

}  // namespace vantrel
