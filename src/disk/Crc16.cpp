#include "disk/Crc16.h"

#include <array>

namespace vantrel {

namespace {

// The register after each high byte, eight shifts at once: every open formats whole
// disks (2560 sectors for a TR-DOS one).
constexpr std::array<uint16_t, 256> kTable = [] {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
    table[i] = static_cast<uint16_t>(crc);
  }
  return table;
}();

}  // namespace

uint16_t Crc16(std::span<const uint8_t> bytes, uint16_t crc) {
  for (uint8_t byte : bytes) crc = static_cast<uint16_t>(crc << 8 ^ kTable[(crc >> 8) ^ byte]);
  return crc;
}

void AppendCrc16(std::span<uint8_t> bytes, size_t count) {
  const uint16_t crc = Crc16(bytes.first(count));
  bytes[count] = static_cast<uint8_t>(crc >> 8);
  bytes[count + 1] = static_cast<uint8_t>(crc);
}

}  // namespace vantrel
