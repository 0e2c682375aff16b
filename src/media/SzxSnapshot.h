#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel {

class Machine;

// The zx-state (SZX) format: a header naming the machine, then chunks (a four-letter ID, a
// 32-bit length, the data). Versions 1.0 to 1.5 load; 1.5 is written.

// Loads a whole file into a stopped machine. The file is read and checked in full before
// anything changes, so a refused file (SnapshotError) leaves the machine as it was. The
// result lists what was left out (chunks of hardware this machine does not have), or is
// empty.
std::string LoadSzx(Machine& machine, std::span<const uint8_t> file);

// The machine as an SZX 1.5 file: processor, paging and RAM (zlib-compressed pages), the
// ULA's border and latches, the AY, keyboard and joystick, and the Beta 128 with its
// controller's registers. A model the format has no ID for raises SnapshotError.
std::vector<uint8_t> MakeSzx(const Machine& machine);

// The format's name of the machine ID, or "" for an ID it does not define.
std::string SzxMachineName(uint8_t id);

}  // namespace vantrel
