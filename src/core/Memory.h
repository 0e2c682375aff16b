#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/Compiler.h"

namespace vantrel {

// Memory models selectable in the settings: they differ only in which port bits
// select banks and in whether the 48K lock bit works.
enum class MemoryModel : uint8_t {
  Spectrum128k = 0,
  Pentagon256k = 1,
  Pentagon512k = 2,
  Pentagon1024k = 3,
  Scorpion256k = 4,
  Scorpion1024k = 5,
};
inline constexpr int kMemoryModelCount = 6;
const char* MemoryModelName(MemoryModel model);

// The processor's 64 KB view of three ROM images and 1 MB of RAM in 64 banks.
//
// The address space is served through four 16 KB slots so that every access is one
// shift and one indexed load or store: slot 0 is the ROM window, slots 1-2 the
// fixed window (banks 5 and 2), slot 3 the paged top window. Writes to a ROM go to
// a scratch page, so WriteByte needs no test either.
class Memory {
 public:
  static constexpr size_t kBankSize = 16384;
  static constexpr int kBankCount = 64;
  static constexpr size_t kRomSize = 16384;
  // No ULA holds the processor off: the instruction's cost is added in one sum.
  static constexpr bool kContended = false;

  Memory();
  Memory(const Memory&) = delete;
  Memory& operator=(const Memory&) = delete;

  // Processor access: the whole cost of a memory cycle.
  VANTREL_ALWAYS_INLINE uint8_t ReadByte(uint16_t address) const {
    return read_[address >> 14][address & 0x3FFF];
  }
  VANTREL_ALWAYS_INLINE void WriteByte(uint16_t address, uint8_t value) {
    uint8_t* cell = write_[address >> 14] + (address & 0x3FFF);
    // A byte of the displayed screen is about to change: the picture first catches up
    // with the beam, so the beam sees the old byte wherever it has already passed.
    if (reinterpret_cast<uintptr_t>(cell) - watchedScreen_ < kWatchedScreenBytes) [[unlikely]]
      screenWrite_(screenWriteContext_);
    *cell = value;
  }
  VANTREL_ALWAYS_INLINE uint16_t ReadWord(uint16_t address) const {
    return static_cast<uint16_t>(ReadByte(address) |
                                 (ReadByte(static_cast<uint16_t>(address + 1)) << 8));
  }
  VANTREL_ALWAYS_INLINE void WriteWord(uint16_t address, uint16_t value) {
    WriteByte(address, static_cast<uint8_t>(value));
    WriteByte(static_cast<uint16_t>(address + 1), static_cast<uint8_t>(value >> 8));
  }

  // Opcode and operand fetches: the same cycle, told apart so that a watching wrapper
  // can leave them out of data breakpoints.
  VANTREL_ALWAYS_INLINE uint8_t FetchByte(uint16_t address) const { return ReadByte(address); }
  VANTREL_ALWAYS_INLINE uint16_t FetchWord(uint16_t address) const { return ReadWord(address); }

  // Debugger, loader and saver access: the same semantics as the processor's.
  uint8_t PeekByte(uint16_t address) const { return ReadByte(address); }
  uint16_t PeekWord(uint16_t address) const { return ReadWord(address); }
  void PokeByte(uint16_t address, uint8_t value) { WriteByte(address, value); }
  void PokeWord(uint16_t address, uint16_t value) { WriteWord(address, value); }

  // The displayed screen's bitmap and attributes (6912 bytes from `screen`): writes to them
  // call `hook` first. With no hook nothing is watched.
  using ScreenWriteHook = void (*)(void* context);
  static constexpr uintptr_t kWatchedScreenBytes = 6912;
  void WatchScreen(const uint8_t* screen, ScreenWriteHook hook, void* context) {
    watchedScreen_ =
        hook ? reinterpret_cast<uintptr_t>(screen) : ~uintptr_t{0} - kWatchedScreenBytes;
    screenWrite_ = hook;
    screenWriteContext_ = context;
  }

  // Where the byte ReadByte would return lives; writing through it ignores ROM protection.
  uint8_t* HostPointer(uint16_t address) { return read_[address >> 14] + (address & 0x3FFF); }

  // Paging ports, reached through the port decoder (and ResetMachine, snapshot loaders).
  void WritePort7FFD(uint8_t value);
  void WritePort1FFD(uint8_t value);
  // TR-DOS ROM switching by the address of the instruction about to be fetched.
  void UpdateDosRom(uint16_t pc) {
    if (DosEnabled && ((pc >> 8) == 0x3D || (DosActive && pc >= 0x4000))) SwitchDosRom(pc);
  }
  // Maps the TR-DOS ROM at 0x0000 (reset into a TR-DOS mode, snapshot with TR-DOS paged).
  void EnterDos();
  // Unmaps it; the 48K BASIC ROM returns as on leaving TR-DOS.
  void LeaveDos();
  // Leaves TR-DOS and clears the 48K lock, so the write that follows takes effect (a
  // reset, a loaded snapshot).
  void UnlockAndWritePort7FFD(uint8_t value);
  // A reset into TR-DOS: its ROM at 0x0000, with bit 4 set so leaving it finds 48K BASIC.
  void StartInDos();

  // Power-on contents: banks 5, 2 and 0 random, every other bank zero.
  void PowerOnFill(uint64_t seed);

  // The paging latches and what they map, for a machine capture. Restoring maps the same
  // windows again from the latches (TR-DOS, Scorpion RAM at 0x0000 and the top bank).
  struct PagingLatches {
    MemoryModel Model = MemoryModel::Spectrum128k;
    uint8_t Port7FFD = 0;
    uint8_t Port1FFD = 0;
    uint8_t ExtraPageBits = 0;
    bool DosActive = false;
    uint8_t TopBank = 0;
  };
  PagingLatches SavePaging() const;
  void RestorePaging(const PagingLatches& latches);
  // The RAM banks the model has (8 for the 128K up to 64 for the 1024K models).
  static int BankCountOf(MemoryModel model);

  // Paging latches.
  MemoryModel Model = MemoryModel::Spectrum128k;
  bool DosEnabled = false;  // the Beta 128 interface is fitted
  uint8_t Port7FFD = 0;
  uint8_t Port1FFD = 0;
  uint8_t ExtraPageBits = 0;
  bool DosActive = false;
  bool RomWriteEnable = false;
  uint8_t ScreenBank = 5;  // 5 or 7, from bit 3 of #7FFD

  // Windows.
  const uint8_t* RomWindow() const { return read_[0]; }
  const uint8_t* MidWindow() const { return read_[1]; }
  const uint8_t* TopWindow() const { return read_[3]; }
  // Bank number now mapped at 0xC000.
  int TopBank() const { return topBank_; }

  uint8_t* Bank(int bank) { return pageTable_[bank & (kBankCount - 1)]; }
  const uint8_t* Bank(int bank) const { return pageTable_[bank & (kBankCount - 1)]; }
  // Banks 5, 2, 0 (then 1, 3, 4, 6, 7, 8, ...) lie in one block, so 5-2-0 is one
  // 49152-byte run and 5-2 one 32768-byte run: loaders copy the 48K image in one go.
  uint8_t* RamBase() { return ram_.get(); }
  const uint8_t* RamBase() const { return ram_.get(); }

  uint8_t* Rom48k() { return roms_.get() + 0 * kRomSize; }
  uint8_t* Rom128k() { return roms_.get() + 1 * kRomSize; }
  uint8_t* RomDOS() { return roms_.get() + 2 * kRomSize; }
  // The three ROM images one after the other (48K BASIC, 128K editor, TR-DOS).
  static constexpr size_t kRomBytes = 3 * kRomSize;
  const uint8_t* RomImages() const { return roms_.get(); }

 private:
  uintptr_t watchedScreen_ = ~uintptr_t{0} - kWatchedScreenBytes;
  ScreenWriteHook screenWrite_ = nullptr;
  void* screenWriteContext_ = nullptr;
  void SwitchDosRom(uint16_t pc);
  void MapRom(uint8_t* rom);
  void MapTop(int bank);
  void MapScorpionRam();

  std::unique_ptr<uint8_t[]> ram_;
  std::unique_ptr<uint8_t[]> roms_;     // 48K BASIC, 128K editor, TR-DOS
  std::unique_ptr<uint8_t[]> romSink_;  // where writes to a protected ROM land
  std::array<uint8_t*, kBankCount> pageTable_{};
  std::array<uint8_t*, 4> read_{};
  std::array<uint8_t*, 4> write_{};
  int topBank_ = 0;
};

// The text shown beside the binary #7FFD value after every stop.
std::string PagingReport(uint8_t port7ffd);

}  // namespace vantrel
