#pragma once

// The persistent settings, one plain struct per owner. Every default lives in the member
// initialisers below: a default-constructed struct is exactly what a first run gets.
// Each owner has a Load function (called when the owner is created at start-up) and a
// Save function (called when it is destroyed at exit).
//
// Values that would be unsafe for the machine (a frame of no length, a memory model that
// does not exist, a volume past the mixer's scale) fail their whole group, which then
// takes its defaults, as a missing value does: the user gets a working machine rather
// than a clamped half-setting nobody chose.
//
// To add an owner: a struct with defaults, a Load that reads each group with one
// GroupReader statement, a Save that writes the same names with GroupWriter, and a
// round-trip case in the tests.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/SettingsStore.h"
#include "core/MachineState.h"
#include "core/Memory.h"
#include "core/UlaTiming.h"
#include "input/Gamepad.h"
#include "input/KempstonMouseSetting.h"
#include "sound/StereoMixer.h"
#include "video/BorderSize.h"

namespace vantrel {

// Where a window was last left. 20, 20 is where windows start when nothing is stored.
struct WindowPosition {
  int32_t X = 20;
  int32_t Y = 20;
  bool operator==(const WindowPosition&) const = default;
};

// ---------------------------------------------------------------------------------------
// Main window.

inline constexpr std::string_view kDefaultModelName = "Pentagon 48k";

// A frame must hold the 24-T-state interrupt and a few instructions. At the top, a TZX
// pause of up to 65535 ms is counted as ms x (TacktsPerInt / 20) in 32 bits, which
// overflows past about 1.3 million T-states per frame.
inline constexpr uint32_t kMinTacktsPerInt = 1024;
inline constexpr uint32_t kMaxTacktsPerInt = 1048576;

struct MainWindowSettings {
  // "Disk Images\": the disks reopened at start-up, drive A's and B to D's.
  std::string DiskAFileName;
  std::array<std::string, 3> DiskBToDFileNames;
  std::string DiskDefaultPath;
  std::string& DiskFileName(int drive) {
    return drive == 0 ? DiskAFileName : DiskBToDFileNames[drive - 1];
  }
  // "Snapshot\"
  std::string SnapshotFileName;
  std::string SnapshotDefaultPath;
  // "Model\": an empty stored name reads as the default.
  std::string ModelName{kDefaultModelName};
  // "Model\Timing\"
  uint32_t TacktsPerInt = kDefaultTacktsPerInt;
  // "Environment\Memory": the memory block dialogs' last file and address.
  std::string MemoryFileName;
  std::string MemoryDefaultPath;
  std::string MemoryDefaultAddr;
  // "Environment\MainForm"
  WindowPosition Position;
  // "Environment\Debugger": the Debug menu's "Keep History".
  bool KeepHistory = true;

  bool operator==(const MainWindowSettings&) const = default;
};

MainWindowSettings LoadMainWindowSettings(const SettingsStore& store);
void SaveMainWindowSettings(SettingsStore& store, const MainWindowSettings& settings);

// ---------------------------------------------------------------------------------------
// Hardware settings of the Options dialog.

// A device found by (port XOR Bits) AND Mask == 0.
struct PortDecodeSetting {
  uint16_t Mask = 0;
  uint16_t Bits = 0;
  bool Enabled = true;
  bool operator==(const PortDecodeSetting&) const = default;
};

// A ROM page as "file name:page"; an empty stored name reads as the slot's default.
struct RomFileSetting {
  std::string FileName;
  std::string DefaultPath;
  bool operator==(const RomFileSetting&) const = default;
};

inline constexpr std::string_view kDefaultRom48k = "Pentagon.Rom:1";
inline constexpr std::string_view kDefaultRom128k = "Pentagon.Rom:0";
inline constexpr std::string_view kDefaultRomDos = "Pentagon.Rom:2";

struct TrDosSetting {
  bool PortAccess = false;  // Beta 128 ports open outside the TR-DOS ROM too
  bool Enabled = true;
  std::string BootFileName;
  bool BootScl = true;
  bool BootTrd = false;
  bool NoDiskImageError = false;  // a group of its own
  bool operator==(const TrDosSetting&) const = default;
};

// "On Start run" and "in" of the Options dialog's start-up page.
inline constexpr std::array<std::string_view, 4> kStartUpResetNames = {
    "48k Mode", "TR-DOS with 48k", "128k Mode", "TR-DOS with 128k"};
inline constexpr std::array<std::string_view, 2> kStartUpModeNames = {"Debugger", "Emulator"};
// The "Sinclair Timing" choices, in the order of their stored values.
inline constexpr std::array<std::string_view, kTimingChoiceCount> kTimingChoiceNames = {
    "As specified (no contention)", "Sinclair 48K", "Sinclair 128K", "By start mode"};

// The choices of the seconds of rewind kept while running (0: none).
inline constexpr std::array<int, 4> kRewindSeconds = {0, 30, 60, 120};

struct StartUpSetting {
  uint8_t Reset = 2;  // index into kStartUpResetNames
  uint8_t Mode = 0;   // index into kStartUpModeNames
  // Maximum speed while the tape plays; a group of its own.
  bool FastTapeLoading = true;
  bool FastDiskAccess = true;  // maximum speed while the disk controller works
  // The ROM loader takes standard blocks straight from the tape; a group of its own.
  bool InstantTapeLoading = true;
  // The seconds of rewind kept, an index into kRewindSeconds; a group of its own.
  uint8_t Rewind = 2;
  bool operator==(const StartUpSetting&) const = default;
};

struct AttributePortSetting {
  bool Enabled = true;     // unanswered reads of port #FF give the attribute under the beam
  bool AllUnused = false;  // ... and so do those of every other port
  bool operator==(const AttributePortSetting&) const = default;
};

inline constexpr uint8_t kMaxVolume = 8;
inline constexpr uint8_t kMaxSynchDelay = 200;  // samples

struct VolumeSetting {
  uint8_t Speaker = 8;
  uint8_t TapeIn = 7;
  uint8_t TapeOut = 6;
  uint8_t SynchDelay = 0;  // a group of its own
  uint8_t Stereo = 0;      // StereoLayout (Mono, ABC, ACB); a group of its own
  // A second AY on the Pentagon and Scorpion models; a group of its own.
  bool TurboSound = false;
  bool operator==(const VolumeSetting&) const = default;
};

struct HardwareSettings {
  // Index into the border preset list (two built-ins, then the user presets). Only a
  // negative index is refused here; the screen window knows how long the list is.
  int32_t BorderPreset = 1;
  RomFileSetting Rom48k{std::string(kDefaultRom48k), {}};
  RomFileSetting Rom128k{std::string(kDefaultRom128k), {}};
  RomFileSetting RomDos{std::string(kDefaultRomDos), {}};
  PortDecodeSetting KempstonJoystick{0x00A9, 0x001F, true};
  KempstonMouseSetting KempstonMouse;
  TrDosSetting TrDos;
  PortDecodeSetting Keyboard{0x0001, 0x00FE, true};
  MemoryModel Memory = MemoryModel::Spectrum128k;
  // "Sinclair Timing", stored beside "Tackts per Int" as a group of its own.
  TimingChoice SinclairTiming = TimingChoice::Default;
  StartUpSetting StartUp;
  AttributePortSetting AttributePort;
  VolumeSetting Volume;
  // "Hardware\Gamepad": what the first game pad drives; one group.
  GamepadMapping Gamepad;

  bool operator==(const HardwareSettings&) const = default;
};

// The models whose boards take a second AY (TurboSound).
constexpr bool TurboSoundModel(MemoryModel model) {
  return model != MemoryModel::Spectrum128k;
}

HardwareSettings LoadHardwareSettings(const SettingsStore& store);
void SaveHardwareSettings(SettingsStore& store, const HardwareSettings& settings);

// ---------------------------------------------------------------------------------------
// Screen window.

struct ScreenPanelSettings {
  bool ShowFps = true;     // a group of its own
  bool DoubleSize = true;  // a group of its own
  // Full-screen presentation, one group.
  bool DirectMemory = true;
  bool Interlaced = true;
  bool GrayPalette = false;
  uint8_t VideoMode = 0;  // 640x480, 800x600, 1024x768
  WindowPosition Position;
  // Presented frames per flash phase; 0 would never let the phase change.
  int32_t FlashFrequency = 10;
  uint8_t ScreenPage = 0;  // 0 the current page, 1 the first (bank 5), 2 the second (bank 7)

  bool operator==(const ScreenPanelSettings&) const = default;
};

inline constexpr int kVideoModeCount = 3;
inline constexpr int kScreenPageCount = 3;

ScreenPanelSettings LoadScreenPanelSettings(const SettingsStore& store);
void SaveScreenPanelSettings(SettingsStore& store, const ScreenPanelSettings& settings);

// ---------------------------------------------------------------------------------------
// Tape reader window ("Environment\TapeReader").

inline constexpr int kBlockInfoModeCount = 3;  // hexadecimal, decimal, none

struct TapeReaderSettings {
  std::string Location;       // the tape loaded at start-up
  uint8_t BlockInfoMode = 0;  // a group of its own
  bool Enabled = false;       // shown; a group of its own
  std::string FileName;       // the file dialog's preset name and directory
  std::string DefaultDir;
  WindowPosition Position;

  bool operator==(const TapeReaderSettings&) const = default;
};

TapeReaderSettings LoadTapeReaderSettings(const SettingsStore& store);
void SaveTapeReaderSettings(SettingsStore& store, const TapeReaderSettings& settings);

// ---------------------------------------------------------------------------------------
// Border presets: user presets are subkeys of the "BorderSize" subkey, named after the
// preset, with the four sizes stored as text.

// The user presets' names, sorted.
std::vector<std::string> ListBorderPresets(const SettingsStore& store);
// nullopt when the preset is absent or any size is missing, not a number or out of range.
std::optional<BorderSizes> LoadBorderPreset(const SettingsStore& store, std::string_view name);
// Creates or overwrites the preset. False (nothing written) for a name that is empty or
// holds a separator ("\" or "/"), which would address another subkey.
bool SaveBorderPreset(SettingsStore& store, std::string_view name, const BorderSizes& sizes);
// Removes the preset; names refused by SaveBorderPreset are ignored.
void DeleteBorderPreset(SettingsStore& store, std::string_view name);
// The sizes of the preset list's entry `index` (the two built-ins, then the user presets
// in ListBorderPresets order). An index past the list or a damaged preset gives the
// "Maximum" sizes, so the whole picture stays visible.
BorderSizes BorderPresetSizes(const SettingsStore& store, int32_t index);

// ---------------------------------------------------------------------------------------
// Disassembler panel and the go-to-address dialog.

inline constexpr int32_t kDisassemblerDefaultHeight = 292;  // 22 lines of 12 pixels

struct DisassemblerPanelSettings {
  bool Enabled = true;  // shown
  WindowPosition Position;
  bool ViewAddr = true;
  bool ViewCode = true;
  bool ViewLabels = true;
  int32_t ViewMode = 0;  // 0 hexadecimal, 1 decimal
  int32_t Height = kDisassemblerDefaultHeight;
  std::string SymbolFile;  // reloaded at start-up; empty: none

  bool operator==(const DisassemblerPanelSettings&) const = default;
};

DisassemblerPanelSettings LoadDisassemblerPanelSettings(const SettingsStore& store);
void SaveDisassemblerPanelSettings(SettingsStore& store, const DisassemblerPanelSettings& settings);

// The go-to dialog's typed expressions, most recent first (at most 10 are kept).
inline constexpr size_t kGoToHistorySize = 10;
std::vector<std::string> LoadGoToHistory(const SettingsStore& store);
void SaveGoToHistory(SettingsStore& store, const std::vector<std::string>& history);

// The watches panel: its expressions in order (at most 100), and whether it is shown.
inline constexpr size_t kMaxWatches = 100;
struct WatchesPanelSettings {
  std::vector<std::string> Expressions;
  bool Enabled = false;
  bool operator==(const WatchesPanelSettings&) const = default;
};
WatchesPanelSettings LoadWatchesPanelSettings(const SettingsStore& store);
void SaveWatchesPanelSettings(SettingsStore& store, const WatchesPanelSettings& settings);
// The disk controller's debug view.

struct Beta128ViewSettings {
  WindowPosition Position;
  bool Enabled = false;  // shown
  bool operator==(const Beta128ViewSettings&) const = default;
};

Beta128ViewSettings LoadBeta128ViewSettings(const SettingsStore& store);
void SaveBeta128ViewSettings(SettingsStore& store, const Beta128ViewSettings& settings);

// The memory block dialogs' fields as last left. Location is the typed file; File Name
// and Default Dir are its parts, where the file dialog starts.
struct BlockFileSetting {
  std::string Location;
  std::string FileName;
  std::string DefaultDir;
  bool operator==(const BlockFileSetting&) const = default;
};

struct SaveMemoryBlockSettings {
  int32_t BlockStart = 0x4000;  // the screen, a common thing to save
  int32_t BlockLength = 6912;
  int32_t BlockEnd = 0x5AFF;
  int32_t Offset = 0;
  bool WrapAround = false;
  bool NewFile = true;
  bool Overwrite = true;  // ask before replacing a file
  bool AppendToEnd = false;
  BlockFileSetting File;
  bool operator==(const SaveMemoryBlockSettings&) const = default;
};

SaveMemoryBlockSettings LoadSaveMemoryBlockSettings(const SettingsStore& store);
void SaveSaveMemoryBlockSettings(SettingsStore& store, const SaveMemoryBlockSettings& settings);

struct LoadMemoryBlockSettings {
  BlockFileSetting File;
  bool AllFile = true;
  bool RomPreserve = true;
  bool WrapAround = false;
  int32_t FromPosition = 0;
  int32_t ToPosition = 0;
  int32_t BlockLength = 1;
  int32_t BlockStart = 0x8000;
  bool operator==(const LoadMemoryBlockSettings&) const = default;
};

LoadMemoryBlockSettings LoadLoadMemoryBlockSettings(const SettingsStore& store);
void SaveLoadMemoryBlockSettings(SettingsStore& store, const LoadMemoryBlockSettings& settings);

// ---------------------------------------------------------------------------------------
// "Environment\" values shared by several windows.

struct EnvironmentSettings {
  bool DisableStoppedCpu = false;  // no dialog when the processor halts with interrupts off
  bool operator==(const EnvironmentSettings&) const = default;
};

EnvironmentSettings LoadEnvironmentSettings(const SettingsStore& store);
void SaveEnvironmentSettings(SettingsStore& store, const EnvironmentSettings& settings);

}  // namespace vantrel
