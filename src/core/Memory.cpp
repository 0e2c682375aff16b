#include "core/Memory.h"

#include <cstring>

namespace vantrel {

namespace {

// Bank storage order: 5, 2, 0, 1, 3, 4, 6, 7, 8, 9, ..., 63.
constexpr std::array<int, 8> kFirstBanksInOrder = {5, 2, 0, 1, 3, 4, 6, 7};

int StorageSlot(int bank) {
  if (bank >= 8) return bank;
  for (int slot = 0; slot < 8; ++slot) {
    if (kFirstBanksInOrder[slot] == bank) return slot;
  }
  return bank;
}

uint64_t SplitMix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

}  // namespace

const char* MemoryModelName(MemoryModel model) {
  switch (model) {
    case MemoryModel::Spectrum128k: return "ZX Spectrum 128k";
    case MemoryModel::Pentagon256k: return "Pentagon 256k";
    case MemoryModel::Pentagon512k: return "Pentagon 512k";
    case MemoryModel::Pentagon1024k: return "Pentagon 1024k";
    case MemoryModel::Scorpion256k: return "Scorpion ZS 256k";
    case MemoryModel::Scorpion1024k: return "Scorpion ZS 1024k";
  }
  return "";
}

Memory::Memory()
    : ram_(new uint8_t[kBankCount * kBankSize]()),
      roms_(new uint8_t[3 * kRomSize]),
      romSink_(new uint8_t[kBankSize]()) {
  // A ROM slot nobody filled reads as an unconnected bus.
  std::memset(roms_.get(), 0xFF, 3 * kRomSize);
  for (int bank = 0; bank < kBankCount; ++bank) {
    pageTable_[bank] = ram_.get() + StorageSlot(bank) * kBankSize;
  }
  // Banks 5 and 2 are adjacent, so one slot pair serves 0x4000-0xBFFF.
  read_[1] = write_[1] = pageTable_[5];
  read_[2] = write_[2] = pageTable_[2];
  MapRom(Rom128k());
  MapTop(0);
}

void Memory::MapRom(uint8_t* rom) {
  read_[0] = rom;
  write_[0] = romSink_.get();
  RomWriteEnable = false;
}

void Memory::MapScorpionRam() {
  read_[0] = write_[0] = pageTable_[0];
  RomWriteEnable = true;
}

void Memory::MapTop(int bank) {
  topBank_ = bank & (kBankCount - 1);
  read_[3] = write_[3] = pageTable_[topBank_];
}

void Memory::WritePort7FFD(uint8_t value) {
  if ((Port7FFD & 0x20) && Model != MemoryModel::Pentagon1024k) return;  // 48K lock
  Port7FFD = value;
  const int b5 = (value >> 5) & 1, b6 = (value >> 6) & 1, b7 = (value >> 7) & 1;
  switch (Model) {
    case MemoryModel::Pentagon256k: ExtraPageBits = static_cast<uint8_t>(8 * b6); break;
    case MemoryModel::Pentagon512k: ExtraPageBits = static_cast<uint8_t>(8 * b6 + 16 * b7); break;
    case MemoryModel::Pentagon1024k:
      ExtraPageBits = static_cast<uint8_t>(8 * b5 + 16 * b6 + 32 * b7);
      break;
    default: break;  // Scorpion models keep what #1FFD set
  }
  MapTop((value & 7) + ExtraPageBits);
  if (DosActive) {
    write_[0] = romSink_.get();  // TR-DOS stays; bit 4 is only stored
    RomWriteEnable = false;
  } else {
    MapRom((value & 0x10) ? Rom48k() : Rom128k());
  }
  const bool scorpion = Model == MemoryModel::Scorpion256k || Model == MemoryModel::Scorpion1024k;
  if (scorpion && (Port1FFD & 1)) MapScorpionRam();
  ScreenBank = (value & 0x08) ? 7 : 5;
}

void Memory::WritePort1FFD(uint8_t value) {
  const bool scorpion = Model == MemoryModel::Scorpion256k || Model == MemoryModel::Scorpion1024k;
  if (!scorpion) return;
  Port1FFD = value;
  // Replaces whatever is at 0x0000, the TR-DOS ROM included (DosActive stays as it is).
  if (value & 1) {
    MapScorpionRam();
  } else {
    MapRom((Port7FFD & 0x10) ? Rom48k() : Rom128k());
  }
  int extra = 8 * ((value >> 4) & 1);
  if (Model == MemoryModel::Scorpion1024k)
    extra += 16 * ((value >> 6) & 1) + 32 * ((value >> 7) & 1);
  ExtraPageBits = static_cast<uint8_t>(extra);
  MapTop((Port7FFD & 7) + ExtraPageBits);
}

void Memory::SwitchDosRom(uint16_t pc) {
  if ((pc >> 8) == 0x3D) {
    // Only the 48K BASIC ROM's calls into 0x3Dxx reach the interface.
    if (Port7FFD & 0x10) EnterDos();
  } else if (DosActive && pc >= 0x4000) {
    LeaveDos();
  }
}

void Memory::EnterDos() {
  DosActive = true;
  MapRom(RomDOS());
}

void Memory::LeaveDos() {
  DosActive = false;
  MapRom(Rom48k());
}

void Memory::UnlockAndWritePort7FFD(uint8_t value) {
  if (DosActive) LeaveDos();
  Port7FFD = 0;
  WritePort7FFD(value);
}

void Memory::StartInDos() {
  EnterDos();
  Port7FFD |= 0x10;
}

void Memory::PowerOnFill(uint64_t seed) {
  std::memset(ram_.get(), 0, kBankCount * kBankSize);
  uint64_t state = seed;
  uint8_t* run = pageTable_[5];  // 5, 2, 0 are one run
  for (size_t i = 0; i < 3 * kBankSize; i += 8) {
    const uint64_t word = SplitMix64(state);
    for (int k = 0; k < 8; ++k) run[i + k] = static_cast<uint8_t>(word >> (8 * k));
  }
}

Memory::PagingLatches Memory::SavePaging() const {
  return {Model, Port7FFD, Port1FFD, ExtraPageBits, DosActive, static_cast<uint8_t>(topBank_)};
}

void Memory::RestorePaging(const PagingLatches& latches) {
  Model = latches.Model;
  Port7FFD = latches.Port7FFD;
  Port1FFD = latches.Port1FFD;
  ExtraPageBits = latches.ExtraPageBits;
  DosActive = latches.DosActive;
  ScreenBank = (Port7FFD & 0x08) ? 7 : 5;
  MapTop(latches.TopBank);
  if (DosActive) {
    MapRom(RomDOS());
  } else {
    MapRom((Port7FFD & 0x10) ? Rom48k() : Rom128k());
  }
  const bool scorpion = Model == MemoryModel::Scorpion256k || Model == MemoryModel::Scorpion1024k;
  // #1FFD's RAM at 0x0000 covers the TR-DOS ROM too.
  if (scorpion && (Port1FFD & 1)) MapScorpionRam();
}

int Memory::BankCountOf(MemoryModel model) {
  switch (model) {
    case MemoryModel::Spectrum128k: return 8;
    case MemoryModel::Pentagon256k:
    case MemoryModel::Scorpion256k: return 16;
    case MemoryModel::Pentagon512k: return 32;
    case MemoryModel::Pentagon1024k:
    case MemoryModel::Scorpion1024k: return 64;
  }
  return kBankCount;
}

std::string PagingReport(uint8_t value) {
  std::string text = "Page RAM" + std::to_string(value & 7) + " mapped";
  text += "\nScreen in RAM";
  text += (value & 0x08) ? "7 (#C" : "5 (#4";
  text += "000)";
  text += "\nBasic ";
  text += (value & 0x10) ? "4" : "12";
  text += "8k ROM mapped";
  if (value & 0x20) text += "\n48k Mode Locked";
  return text;
}

}  // namespace vantrel
