#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/RomCatalogue.h"
#include "app/Settings.h"

namespace vantrel {

class Memory;

// The three ROM buffers; the numbers equal the page kinds that belong in them.
enum class RomSlot : uint8_t { k48kBasic = 0, k128kBasic = 1, kTrDos = 2 };
inline constexpr int kRomSlotCount = 3;

// Used when a slot's stored reference is empty: the usual Pentagon ROM file holds the
// 128K editor ROM in page 0, the 48K BASIC ROM in page 1 and TR-DOS in page 2.
inline constexpr std::array<std::string_view, kRomSlotCount> kDefaultRomReferences = {
    kDefaultRom48k, kDefaultRom128k, kDefaultRomDos};

// A ROM reference "path" or "path:page", the page a decimal index of 16 KB pages.
struct RomReference {
  std::string path;
  uint32_t page = 0;
  bool PageTooLarge = false;  // a page number beyond any file: loading fails

  uint64_t Offset() const { return uint64_t{page} * kRomPageSize; }
};

// The last ':' separates path and page, unless it is the second character (a drive letter
// as in "C:\roms\a.rom"). A page text that is not all decimal digits gives page 0.
RomReference ParseRomReference(std::string_view text);
// "path:page", as the navigator writes it.
std::string MakeRomReference(std::string_view path, size_t page);

// The environment values behind the standard data directories, read once so that tests
// (and threads) never depend on or change the process environment.
struct DataDirEnvironment {
  std::string Home;         // $HOME
  std::string XdgDataHome;  // $XDG_DATA_HOME
  std::string XdgDataDirs;  // $XDG_DATA_DIRS
  static DataDirEnvironment FromProcess();
};

// Where ROM files are looked for after the start-up and program directories:
// $XDG_DATA_HOME/vantrel/roms (default ~/.local/share), each $XDG_DATA_DIRS entry's
// vantrel/roms (default /usr/local/share:/usr/share), then /usr/share/spectrum-roms
// (where Debian's opense-basic package installs its ROMs). Relative entries are ignored.
std::vector<std::filesystem::path> RomDataDirectories(const DataDirEnvironment& env);

// Finds a file by the name the user typed. The candidates are, in order: the name as
// entered, then (for a relative name) the name inside the start-up directory, the
// program's directory and each data directory. The process's current directory is never
// changed: other threads rely on it.
struct FileResolver {
  std::filesystem::path StartDirectory;    // the current directory at start-up
  std::filesystem::path ProgramDirectory;  // the directory of the executable
  std::vector<std::filesystem::path> DataDirectories;

  std::vector<std::filesystem::path> Candidates(const std::filesystem::path& name) const;
  // The first candidate that is an existing regular file.
  std::optional<std::filesystem::path> Resolve(const std::filesystem::path& name) const;
};

// The resolver ROM loading uses: both directories plus RomDataDirectories(env).
FileResolver MakeRomFileResolver(std::filesystem::path startDirectory,
                                 std::filesystem::path programDirectory,
                                 const DataDirEnvironment& env);

// Where a loaded ROM image came from.
struct RomSource {
  std::filesystem::path file;
  uint32_t page = 0;
};

using RomBuffer = std::span<uint8_t, kRomPageSize>;

// Reads the page a reference names. The buffer changes only when all 16384 bytes were
// read, so a failed load never leaves a half-filled ROM.
std::optional<RomSource> LoadRomPage(std::string_view reference, const FileResolver& resolver,
                                     RomBuffer buffer);

// Loads one slot. When the reference is the slot's default (or empty) and no
// "Pentagon.Rom" is found anywhere, the slot tries the usual single-ROM files, page 0:
// 48K "48.rom" then "opense.rom"; 128K "128-0.rom" then "opense-stub.rom"; TR-DOS
// "trdos.rom".
std::optional<RomSource> LoadRomSlot(RomSlot slot, std::string_view reference,
                                     const FileResolver& resolver, RomBuffer buffer);

inline constexpr std::string_view kRomWarningCaption = "Warning!";
inline constexpr std::string_view kRomWarningText =
    "ROM Image files missed or not defined!\nPlease select all ROM Image Files to run emulator.";
inline constexpr std::string_view kTrDosOffText =
    "The TR-DOS interface stays off until a TR-DOS ROM image is chosen.";

enum class RomCheckOutcome : uint8_t {
  kReady,              // all three slots loaded
  kReadyWithoutTrDos,  // run with the TR-DOS interface unavailable; `message` says so
  kMissing,            // warn with OK (open the ROM settings page) and Cancel (do not start)
};

enum class RomSlotState : uint8_t { kNotTried, kLoaded, kFailed };

struct RomCheckResult {
  RomCheckOutcome outcome = RomCheckOutcome::kMissing;
  std::array<RomSlotState, kRomSlotCount> slots{};
  std::array<RomSource, kRomSlotCount> sources{};  // meaningful where the slot loaded
  bool TrDosAvailable = false;
  bool ShowMessage = false;  // a message box with caption and message (else a note, if any)
  bool OfferCancel = false;  // the box has OK and Cancel; Cancel means do not start
  std::string caption;
  std::string message;
};

// Loads the 48K, 128K and TR-DOS slots into memory's ROM buffers, in that order; a 48K or
// 128K failure stops there. A slot that fails keeps its previous contents.
RomCheckResult CheckRoms(const std::array<std::string, kRomSlotCount>& references,
                         const FileResolver& resolver, Memory& memory);

}  // namespace vantrel
