#include "app/RomCatalogue.h"

#include <iterator>

namespace vantrel {

namespace {

constexpr int k48 = kRomKind48kBasic;
constexpr int k128 = kRomKind128kBasic;
constexpr int kDos = kRomKindTrDos;
constexpr int kCpm = kRomKindAtmCpmBios;

// The OpenSE rows were computed with RomChecksum from Debian's opense-basic 3.2.1 files
// (opense.rom is a free 48K BASIC, opense-stub.rom the matching 128K-slot stub).
constexpr RomCatalogueRow kRows[] = {
    {"SOS ATM v1.06", 0x552D, k48},
    {"SOS Didaktik Gama", 0xA58D, k48},
    {"Didaktik Gama Polak", 0x13EF, k48},
    {"Didaktik Skalica", 0x962A, k48},
    {"Dubna 48k", 0xC8CA, k48},
    {"Inves Spectrum 48K+ (Spanish)", 0x9A21, k48},
    {"ISO-ROM 48K v2.2", 0xD2CA, k48},
    {"Micro Digital TK-90x", 0x83B2, k48},
    {"Micro Digital TK-95", 0x5A1D, k48},
    {"Pentagon 128k (1990)", 0x5946, k48},
    {"Pentagon 128k SOS89R (1991)", 0xC527, k48},
    {"SOS Timex TC-2048", 0x0C3B, k48},
    {"ZS Scorpion 256k v2.92", 0x1890, k48},
    {"Original SOS (128k, 1986)", 0xC83F, k48},
    {"ZX Spectrum 128k (Spanish)", 0xD587, k48},
    {"ZX Spectrum 128k Plus 2", 0xA471, k48},
    {"ZX Spectrum 128k Plus 2 (Spanish)", 0x292E, k48},
    {"ZX Spectrum 128k Plus 2 (French)", 0x0FD4, k48},
    {"ZX Spectrum 128k Plus 2A v4.1", 0xAA38, k48},
    {"ZX Spectrum 128k Plus 3 v4.0", 0x9E48, k48},
    {"ZX Spectrum 128k Plus 3 v4.0 (Spanish)", 0xEFFF, k48},
    {"Original SOS (48k, 1982)", 0xE98D, k48},
    {"ZX Spectrum 48k (Spanish)", 0xAEB7, k48},
    {"ZX Spectrum 48k HDT", 0x81FE, k48},
    {"ZX Spectrum 48k Turbo v2.3", 0x28DE, k48},
    {"ZX Spectrum 48k Turbo+ v4.4", 0x070A, k48},
    {"ATM-1 Basic 48k", 0x5282, k48},
    {"Didaktik M", 0xD419, k48},
    {"ISO-ROM 128K (1993)", 0x2708, k48},
    {"ISO-ROM 128K (1994)", 0xDCB0, k48},
    {"ISO-ROM 128K (1994) (alt 1)", 0xEF54, k48},
    {"Kay 1024 2000", 0xD881, k48},
    {"Sprinter (1999)", 0x4FF4, k48},
    {"ZS Scorpion 256K Prof.Extension", 0x1F3F, k48},
    {"ZX Spectrum roms (alt)", 0x8CD9, k48},
    {"OpenSE BASIC", 0xCFAB, k48},

    {"Pentagon 128k", 0x2BD6, k128},
    {"Pentagon Basic 128k", 0xCEAC, k128},
    {"Pentagon 128k (1993)", 0xD2F5, k128},
    {"Profi 128k", 0xF6F3, k128},
    {"Original 128k (128k, 1986)", 0xFB2F, k128},
    {"ZX Spectrum 128k (Spanish)", 0x2ECC, k128},
    {"ZX Spectrum 128k Plus 2", 0x3E70, k128},
    {"ZX Spectrum 128k Plus 2 (Spanish)", 0x21B4, k128},
    {"ZX Spectrum 128k Plus 2 (French)", 0xC767, k128},
    {"NEOS v1.0 128k", 0x4056, k128},
    {"NEOS v1.0 128k 32c", 0x765D, k128},
    {"NEOS v1.0 128k 64c", 0x4234, k128},
    {"NEOS v1.0 256k", 0x8BB9, k128},
    {"NEOS v1.0 512k", 0xAEAB, k128},
    {"NEOS v1.0 Pentagon 512k 64c", 0x0D66, k128},
    {"NEOS v1.0 Scorpion 256 64c", 0xC89B, k128},
    {"Kay 1024 1998", 0x2747, k128},
    {"Kay 1024 2000", 0xD0A8, k128},
    {"Pentagon 128K (spanish)", 0x3862, k128},
    {"Sprinter (1999)", 0x68F2, k128},
    {"ZS Scorpion 256K Prof.Extension", 0x6EFA, k128},
    {"ZS Scorpion 256K Prof.Ext.(alt 1)", 0x26C0, k128},
    {"ZS Scorpion 256K Serv.Mon & SMUC v4.02", 0xAEFA, k128},
    {"ZX Spectrum 128K Plus 3e v0.87", 0x18E7, k128},
    {"ZX Spectrum roms (alt)", 0x3B89, k128},
    {"OpenSE BASIC stub", 0x787F, k128},

    {"ATM-1 CP/M BIOS", 0xCC4D, kCpm},

    {"ATM-1 TR-DOS", 0x513F, kDos},
    {"TR-DOS 5.01 (1986)", 0xF9FF, kDos},
    {"TR-DOS 5.03 (R80)", 0xA100, kDos},
    {"TR-DOS 5.03 (x128)", 0x17B6, kDos},
    {"TR-DOS 5.03'", 0xB026, kDos},
    {"TR-DOS 5.03", 0x482F, kDos},
    {"TR-DOS 5.03 (Kvorum)", 0xC8C4, kDos},
    {"TR-DOS 5.03 (Speccy Emu)", 0x53CF, kDos},
    {"TR-DOS 5.03 (Z80)", 0xBFAF, kDos},
    {"TR-DOS 5.03 Scorpion", 0x4916, kDos},
    {"TR-DOS 5.03 Scorpion (Alt)", 0xB017, kDos},
    {"TR-DOS 5.03 (GrandRomMax 1995)", 0x20EC, kDos},
    {"TR-DOS 5.03 (ZS Scorp.256K Serv.Mon.v2.94)", 0xD9E3, kDos},
    {"TR-DOS 5.03 (ATM v1.03)", 0x641A, kDos},
    {"TR-DOS 5.03 (ATM v1.06)", 0xD977, kDos},
    {"TR-DOS 5.03M", 0x44E4, kDos},
    {"TR-DOS 5.04.1 (Profi)", 0x3A85, kDos},
    {"TR-DOS 5.04 (1990)", 0xD926, kDos},
    {"TR-DOS 5.05D", 0x6741, kDos},
    {"TR-DOS 5.05D", 0x6741, kDos},
    {"TR-DOS 5.04F", 0xDC6E, kDos},
    {"TR-DOS 5.04M", 0xA463, kDos},
    {"TR-DOS 5.04s", 0x5E21, kDos},
    {"TR-DOS 5.04S", 0x878A, kDos},
    {"TR-DOS 5.04T (Kay 1024 2000)", 0x6AF8, kDos},
    {"TR-DOS 5.04T", 0x4543, kDos},
    {"TR-DOS 5.04TM", 0x43B7, kDos},
    {"TR-DOS 5.05 (alt)", 0x6697, kDos},
    {"TR-DOS 5.05", 0x9588, kDos},
    {"TR-DOS 5.05", 0x36B6, kDos},
    {"TR-DOS 5.12", 0xC299, kDos},
    {"TR-DOS 5.12F", 0x14F2, kDos},
    {"TR-DOS 5.13FM", 0x8749, kDos},
};

}  // namespace

uint16_t RomChecksum(std::span<const uint8_t> bytes) {
  uint16_t crc = 0xCDB4;
  for (uint8_t byte : bytes) {
    crc ^= static_cast<uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

std::string FormatChecksum(uint16_t checksum) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "#0000";
  for (int i = 4; i >= 1; --i, checksum >>= 4) text[i] = kDigits[checksum & 0xF];
  return text;
}

std::span<const RomCatalogueRow> RomCatalogue() {
  return kRows;
}

RomIdentity IdentifyRom(uint16_t checksum) {
  for (size_t i = 0; i < std::size(kRows); ++i) {
    if (kRows[i].checksum == checksum) {
      return {static_cast<int>(i), kRows[i].description, kRows[i].kind};
    }
  }
  return {};
}

}  // namespace vantrel
