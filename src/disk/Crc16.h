#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantrel {

// The controller's CRC-16 (polynomial 0x1021, no final inversion), preset to 0xCDB4: the
// register after the three 0xA1 sync bytes from 0xFFFF, so the marks are not passed in.
inline constexpr uint16_t kCrc16Preset = 0xCDB4;

uint16_t Crc16(std::span<const uint8_t> bytes, uint16_t crc = kCrc16Preset);

// Computes the CRC of the first `count` bytes and stores it in the two bytes after them,
// high byte first. `bytes` must hold count + 2 bytes.
void AppendCrc16(std::span<uint8_t> bytes, size_t count);

}  // namespace vantrel
