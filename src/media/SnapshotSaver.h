#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "media/SnapshotLoader.h"

namespace vantrel {

class Machine;

// The entries of the snapshot type list, in its order.
enum class SnaVariant : uint8_t { Sna48k = 0, Sna128k = 1, Z80 = 2, Szx = 3 };
inline constexpr int kSnaVariantCount = 4;

// The machine a snapshot says it was taken on. A 48K is a machine whose paging is locked
// with bank 0 at 0xC000 and the 48K ROM; Pentagon 128 and the 128K differ in frame length.
enum class SnapshotMachine : uint8_t {
  Spectrum48k,
  Spectrum128k,
  Pentagon128,
  Pentagon256,
  Pentagon512,
  Pentagon1024,
  Scorpion256,
  Scorpion1024,
};
SnapshotMachine SnapshotMachineOf(const Machine& machine);

// A Z80 version 3 image (48K, 128K or Pentagon 128 hardware, with the AY registers). Other
// models have no hardware number in the format: SnapshotError names the model.
std::vector<uint8_t> MakeZ80(const Machine& machine);

// The image of a variant (SnapshotError for a model the format cannot name).
std::vector<uint8_t> MakeSnapshotImage(const Machine& machine, SnaVariant variant);

// The variant a file name asks for by its extension (.szx, .z80, .sna as 128K), or none.
std::optional<SnaVariant> SnapshotVariantOfName(std::string_view fileName);

// The SNA images of the machine as it is now. The 48K image carries PC on the stack below
// SP (and SP - 2 in the header), as a 48K SNA has no other place for it; the machine
// itself is not changed for that. The 128K image is 131103 bytes, or 147487 when bank 2
// or 5 is paged at 0xC000.
//
// The state must be read between two steps: the caller stops the emulation thread first
// (StopEmulation), or otherwise makes sure no step is in progress.
std::vector<uint8_t> MakeSna48(const Machine& machine);
std::vector<uint8_t> MakeSna128(const Machine& machine);

// Write the image to `fileName`, replacing an existing file. The bytes go to a temporary
// file in the same directory which is then renamed over the old one, so a failed save
// leaves the old file as it was. A failure raises SnapshotError with the system's reason.
void SaveSna48(const Machine& machine, const std::filesystem::path& fileName);
void SaveSna128(const Machine& machine, const std::filesystem::path& fileName);

// Writes a finished image: to a temporary file beside `fileName`, then renamed over it, so
// a failed write keeps the old file. A failure raises SnapshotError.
void WriteReplacing(const std::filesystem::path& fileName, std::span<const uint8_t> bytes);

// The quick save's saving steps: holds the machine with Paused while the variant is
// written, and gives Paused back as it was also when the writing fails.
void SaveSnapshot(Machine& machine, const std::filesystem::path& fileName, SnaVariant variant);

// The quick-save name generator: "game.sna" -> "game_001.sna" -> "game_002.sna"; a name
// without extension gets the counter at its end. The counter is "_" and three digits before
// the extension; past 999 it grows a digit (x_999 -> x_1000 -> x_1001). A counter of 000
// is no counter (x_000.sna -> x_000_001.sna).
std::string NextGeneratedName(std::string_view name);

inline constexpr std::string_view kSnapshotSaveCaption = "Error!";

}  // namespace vantrel
