#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "disk/FloppyDisk.h"

namespace vantrel {

inline constexpr int kFdiHeaderSize = 14;

// Fills a fresh disk from an FDI file: each listed sector is formatted into its track with
// the file's own ID values and size (size codes 0 to 5), in the TR-DOS gap layout or with
// the gaps shrunk where that does not fit, and the write-protect flag comes from header
// byte 3. Returns the header's cylinder count.
// Raises DiskError "Can't open Disk Image File! Unsupported file format..." for a bad
// header, a record or sector past the end of the file, a size code above 5, or sectors
// that do not fit into one track even without gaps; the disk may then hold part of the
// file (drop it).
int LoadFdiImage(std::span<const uint8_t> file, FloppyDisk& disk);

// The disk as an FDI file of `cylinders` (the last FDI load's count, raised to 80 and
// lowered to 86) by two heads, with an empty description. Every data field after an ID
// field is listed; a size code above 5 is saved as the size the controller reads for it
// (128 << (N & 3)), and data cut off by the end of the track is padded with zeros.
std::vector<uint8_t> SaveFdiImage(const FloppyDisk& disk, int cylinders);

}  // namespace vantrel
