#pragma once

#include <array>
#include <cstdint>

namespace vantrel::z80flags {

inline constexpr uint8_t S = 0x80;   // sign
inline constexpr uint8_t Z = 0x40;   // zero
inline constexpr uint8_t F5 = 0x20;  // undocumented copy of result bit 5
inline constexpr uint8_t H = 0x10;   // half carry
inline constexpr uint8_t F3 = 0x08;  // undocumented copy of result bit 3
inline constexpr uint8_t PV = 0x04;  // parity / overflow
inline constexpr uint8_t N = 0x02;   // subtract
inline constexpr uint8_t C = 0x01;   // carry
inline constexpr uint8_t F53 = F5 | F3;

// S, Z, F5 and F3 of a result byte.
inline constexpr std::array<uint8_t, 256> kSZ53 = [] {
  std::array<uint8_t, 256> table{};
  for (int v = 0; v < 256; ++v) {
    table[v] = static_cast<uint8_t>((v & (S | F53)) | (v == 0 ? Z : 0));
  }
  return table;
}();

// The same plus P/V set for an even number of 1 bits.
inline constexpr std::array<uint8_t, 256> kSZ53P = [] {
  std::array<uint8_t, 256> table{};
  for (int v = 0; v < 256; ++v) {
    int ones = 0;
    for (int bit = 0; bit < 8; ++bit) ones += (v >> bit) & 1;
    table[v] = static_cast<uint8_t>(kSZ53[v] | ((ones & 1) ? 0 : PV));
  }
  return table;
}();

}  // namespace vantrel::z80flags
