#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vantrel {

// ROM files are made of whole pages of this size; each page is one ROM image.
inline constexpr size_t kRomPageSize = 16384;

// CRC-16 (polynomial 0x1021, most significant bit first, preset 0xCDB4, no final
// inversion) over the given bytes; a ROM page's checksum is taken over its 16384 bytes.
// 0xCDB4 is the CCITT state after the three A1h sync bytes, the floppy controller's preset.
uint16_t RomChecksum(std::span<const uint8_t> bytes);

// "#" and four upper-case hexadecimal digits: "#2BD6".
std::string FormatChecksum(uint16_t checksum);

// The page kinds offered by the navigator's kind lists; 0-2 are also the ROM slots.
inline constexpr int kRomKindUnknown = -1;
inline constexpr int kRomKind48kBasic = 0;
inline constexpr int kRomKind128kBasic = 1;
inline constexpr int kRomKindTrDos = 2;
inline constexpr int kRomKindAtmCpmBios = 3;
inline constexpr std::array<std::string_view, 8> kRomPageKinds = {
    "48k Basic",  "128k Basic", "TR-DOS",     "ATM CP/M BIOS",
    "ATM User 1", "ATM User 2", "ATM User 3", "ATM User 4",
};

struct RomCatalogueRow {
  std::string_view description;
  uint16_t checksum;
  int kind;  // 0 to 3
};

// Every catalogue row in catalogue order: 48k Basic rows, 128k Basic rows, the ATM CP/M
// BIOS row, then TR-DOS rows. Some checksums appear twice; lookups take the first.
std::span<const RomCatalogueRow> RomCatalogue();

struct RomIdentity {
  int row = -1;  // index into RomCatalogue(), -1 when unknown
  std::string_view description = "Unknown ROM";
  int kind = kRomKindUnknown;
  bool Known() const { return row >= 0; }
};

// The first catalogue row with this checksum.
RomIdentity IdentifyRom(uint16_t checksum);

}  // namespace vantrel
