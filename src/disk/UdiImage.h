#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "disk/FloppyDisk.h"

namespace vantrel {

inline constexpr int kUdiHeaderSize = 16;

// Fills a fresh disk from a UDI file's raw tracks: type 0 (MFM), or type #F0, the same
// record zlib-compressed as some programs write it. A track longer than 6250 bytes keeps
// its first 6250 bytes and 782 bitmap bytes. No checksum is verified, so files without one
// load too. Returns the header's last cylinder. Raises DiskError "Can't open Ultra Disk
// Image file! Unsupported file format..." for a bad header, another track type or a track
// record past the end of the file (a compressed track that fails also names the track and
// why); the disk may then hold part of the file (drop it). The write-protect flag is the
// caller's (the file's read-only attribute).
int LoadUdiImage(std::span<const uint8_t> file, FloppyDisk& disk);

// The disk as a UDI file: cylinders 0 to `lastCylinder` (the last UDI load's, raised to 79
// and lowered to 85), two sides, 6250-byte tracks, then the format's CRC32; the length
// field is the offset of the checksum.
std::vector<uint8_t> SaveUdiImage(const FloppyDisk& disk, int lastCylinder);

// The UDI checksum as the format's reference code computes it: a reflected CRC-32 whose
// register is shifted as a signed number and inverted around every byte, so it differs
// from zlib's.
uint32_t UdiCrc32(std::span<const uint8_t> bytes);

}  // namespace vantrel
