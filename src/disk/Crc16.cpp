#include "disk/Crc16.h"

namespace vantrel {

uint16_t Crc16(std::span<const uint8_t> bytes, uint16_t crc) {
  for (uint8_t byte : bytes) {
    crc ^= static_cast<uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

void AppendCrc16(std::span<uint8_t> bytes, size_t count) {
  const uint16_t crc = Crc16(bytes.first(count));
  bytes[count] = static_cast<uint8_t>(crc >> 8);
  bytes[count + 1] = static_cast<uint8_t>(crc);
}

}  // namespace vantrel
