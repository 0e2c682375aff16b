#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tape/TapeImage.h"

namespace vantrel {

// Appends a standard-speed data block (flag byte, data, parity byte) to a tape: a TAP
// block, or on a TZX tape a block 0x10 with a second's pause after it. An empty tape
// becomes a TAP one. Blocks of more than 65535 bytes do not fit either format and are
// refused with false.
bool AppendStandardBlock(TapeCatalogue& tape, std::span<const uint8_t> data,
                         BlockInfoMode mode = BlockInfoMode::Hexadecimal);

// Whether every block is a standard data block (any TAP block, TZX block 0x10), so that
// the tape can be written as a TAP file without losing anything.
bool FitsTap(const TapeCatalogue& tape);

// The tape as a file: TAP when FitsTap (a TZX tape's pauses are left to the format's
// one second), else its TZX image as it stands.
std::vector<uint8_t> TapeFileBytes(const TapeCatalogue& tape);

}  // namespace vantrel
