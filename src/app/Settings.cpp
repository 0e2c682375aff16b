#include "app/Settings.h"

#include <charconv>

#include "input/KeyMatrix.h"

namespace vantrel {

namespace {

// Subkeys, as in the settings tables.
constexpr std::string_view kDiskImagesKey = "Disk Images\\";
constexpr std::string_view kSnapshotKey = "Snapshot\\";
constexpr std::string_view kModelKey = "Model\\";
constexpr std::string_view kTimingKey = "Model\\Timing\\";
constexpr std::string_view kMemoryBlockKey = "Environment\\Memory";
constexpr std::string_view kDebuggerKey = "Environment\\Debugger";
constexpr std::string_view kMainFormKey = "Environment\\MainForm";
constexpr std::string_view kBorderSizeKey = "Environment\\ScreenPanel\\BorderSize";
constexpr std::string_view kRom48kKey = "RomFiles\\Rom48k\\";
constexpr std::string_view kRom128kKey = "RomFiles\\Rom128k\\";
constexpr std::string_view kRomDosKey = "RomFiles\\RomDOS\\";
constexpr std::string_view kJoystickKey = "Hardware\\Kempston Joystick";
constexpr std::string_view kMouseKey = "Hardware\\Kempston Mouse";
constexpr std::string_view kTrDosKey = "Hardware\\TR-DOS";
constexpr std::string_view kKeyboardKey = "Hardware\\Keyboard";
constexpr std::string_view kMemoryKey = "Hardware\\Memory";
constexpr std::string_view kStartUpKey = "StartUp";
constexpr std::string_view kAttributePortKey = "Hardware\\Attribute Port";
constexpr std::string_view kVolumeKey = "Hardware\\Volume";
constexpr std::string_view kGamepadKey = "Hardware\\Gamepad";
constexpr std::string_view kScreenPanelKey = "Environment\\ScreenPanel";
constexpr std::string_view kEnvironmentKey = "Environment\\";
constexpr std::string_view kTapeReaderKey = "Environment\\TapeReader";
constexpr std::string_view kDisassemblerKey = "Environment\\Disassembler Panel";
constexpr std::string_view kGoToAddressKey = "Environment\\GotoAddress";
constexpr std::string_view kWatchesKey = "Environment\\Watches Panel";
constexpr std::string_view kBeta128ViewKey = "Environment\\Beta128";
constexpr std::string_view kSaveBlockKey = "Environment\\SaveMemoryBlock";
constexpr std::string_view kLoadBlockKey = "Environment\\LoadMemoryBlock";

void UseDefaultWhenEmpty(std::string& value, std::string_view fallback) {
  if (value.empty()) value = fallback;
}

void LoadRomFile(const SettingsStore& store, std::string_view subkey, RomFileSetting& rom,
                 std::string_view fallback) {
  GroupReader(store, subkey).Text("File Name", rom.FileName).Text("Default Path", rom.DefaultPath);
  UseDefaultWhenEmpty(rom.FileName, fallback);
}

void SaveRomFile(SettingsStore& store, std::string_view subkey, const RomFileSetting& rom) {
  GroupWriter(store, subkey).Text("File Name", rom.FileName).Text("Default Path", rom.DefaultPath);
}

void LoadPortDecode(const SettingsStore& store, std::string_view subkey, PortDecodeSetting& port) {
  GroupReader(store, subkey)
      .Integer("Port Mask", port.Mask)
      .Integer("Port Bits", port.Bits)
      .Flag("Enabled", port.Enabled);
}

void SavePortDecode(SettingsStore& store, std::string_view subkey, const PortDecodeSetting& port) {
  GroupWriter(store, subkey)
      .Integer("Port Mask", port.Mask)
      .Integer("Port Bits", port.Bits)
      .Flag("Enabled", port.Enabled);
}

void LoadPosition(const SettingsStore& store, std::string_view subkey, WindowPosition& position) {
  GroupReader(store, subkey).Integer("X Position", position.X).Integer("Y Position", position.Y);
}

void SavePosition(SettingsStore& store, std::string_view subkey, const WindowPosition& position) {
  GroupWriter(store, subkey).Integer("X Position", position.X).Integer("Y Position", position.Y);
}

// A border preset path: nullopt for names that would address some other subkey.
std::optional<std::string> BorderPresetKey(std::string_view name) {
  if (name.empty() || name.find_first_of("\\/") != std::string_view::npos) return std::nullopt;
  return std::string(kBorderSizeKey) + "\\" + std::string(name);
}

// A size stored as decimal text, within 0..max.
std::optional<int32_t> ParseBorderSide(const std::optional<std::string>& text, int32_t max) {
  if (!text) return std::nullopt;
  int32_t value = 0;
  const char* end = text->data() + text->size();
  const auto [stop, error] = std::from_chars(text->data(), end, value);
  if (error != std::errc() || stop != end || value < 0 || value > max) return std::nullopt;
  return value;
}

}  // namespace

MainWindowSettings LoadMainWindowSettings(const SettingsStore& store) {
  MainWindowSettings s;
  GroupReader(store, kDiskImagesKey)
      .Text("Disk A File Name", s.DiskAFileName)
      .Text("Disk B File Name", s.DiskBToDFileNames[0])
      .Text("Disk C File Name", s.DiskBToDFileNames[1])
      .Text("Disk D File Name", s.DiskBToDFileNames[2])
      .Text("Default Path", s.DiskDefaultPath);
  GroupReader(store, kSnapshotKey)
      .Text("File Name", s.SnapshotFileName)
      .Text("Default Path", s.SnapshotDefaultPath);
  GroupReader(store, kModelKey).Text("Name", s.ModelName);
  UseDefaultWhenEmpty(s.ModelName, kDefaultModelName);
  GroupReader(store, kTimingKey)
      .Integer("Tackts per Int", s.TacktsPerInt, kMinTacktsPerInt, kMaxTacktsPerInt);
  GroupReader(store, kMemoryBlockKey)
      .Text("File Name", s.MemoryFileName)
      .Text("Default Path", s.MemoryDefaultPath)
      .Text("Default Addr", s.MemoryDefaultAddr);
  LoadPosition(store, kMainFormKey, s.Position);
  GroupReader(store, kDebuggerKey).Flag("Keep History", s.KeepHistory);
  return s;
}

void SaveMainWindowSettings(SettingsStore& store, const MainWindowSettings& s) {
  GroupWriter(store, kDiskImagesKey)
      .Text("Disk A File Name", s.DiskAFileName)
      .Text("Disk B File Name", s.DiskBToDFileNames[0])
      .Text("Disk C File Name", s.DiskBToDFileNames[1])
      .Text("Disk D File Name", s.DiskBToDFileNames[2])
      .Text("Default Path", s.DiskDefaultPath);
  GroupWriter(store, kSnapshotKey)
      .Text("File Name", s.SnapshotFileName)
      .Text("Default Path", s.SnapshotDefaultPath);
  GroupWriter(store, kModelKey).Text("Name", s.ModelName);
  GroupWriter(store, kTimingKey).Integer("Tackts per Int", s.TacktsPerInt);
  GroupWriter(store, kMemoryBlockKey)
      .Text("File Name", s.MemoryFileName)
      .Text("Default Path", s.MemoryDefaultPath)
      .Text("Default Addr", s.MemoryDefaultAddr);
  SavePosition(store, kMainFormKey, s.Position);
  GroupWriter(store, kDebuggerKey).Flag("Keep History", s.KeepHistory);
}

HardwareSettings LoadHardwareSettings(const SettingsStore& store) {
  HardwareSettings s;
  GroupReader(store, kBorderSizeKey).Integer("Preset", s.BorderPreset, 0);
  LoadRomFile(store, kRom48kKey, s.Rom48k, kDefaultRom48k);
  LoadRomFile(store, kRom128kKey, s.Rom128k, kDefaultRom128k);
  LoadRomFile(store, kRomDosKey, s.RomDos, kDefaultRomDos);
  LoadPortDecode(store, kJoystickKey, s.KempstonJoystick);
  GroupReader(store, kMouseKey)
      .Flag("Enabled", s.KempstonMouse.Enabled)
      .Flag("Swap Buttons", s.KempstonMouse.SwapButtons)
      .Flag("Wheel Support", s.KempstonMouse.WheelSupport)
      .Flag("Wheel Direction", s.KempstonMouse.WheelDirection);
  GroupReader(store, kTrDosKey)
      .Flag("Port Access", s.TrDos.PortAccess)
      .Flag("Enabled", s.TrDos.Enabled)
      .Text("Boot File Name", s.TrDos.BootFileName)
      .Flag("Boot SCL", s.TrDos.BootScl)
      .Flag("Boot TRD", s.TrDos.BootTrd);
  GroupReader(store, kTrDosKey).Flag("No Disk Image Error", s.TrDos.NoDiskImageError);
  LoadPortDecode(store, kKeyboardKey, s.Keyboard);
  GroupReader(store, kMemoryKey).Choice("Model", s.Memory, kMemoryModelCount);
  GroupReader(store, kTimingKey).Choice("Sinclair Timing", s.SinclairTiming, kTimingChoiceCount);
  GroupReader(store, kStartUpKey)
      .Integer("Reset", s.StartUp.Reset, 0, kStartUpResetNames.size() - 1)
      .Integer("Mode", s.StartUp.Mode, 0, kStartUpModeNames.size() - 1);
  GroupReader(store, kStartUpKey).Flag("Fast Tape Loading", s.StartUp.FastTapeLoading);
  GroupReader(store, kStartUpKey).Flag("Fast Disk Access", s.StartUp.FastDiskAccess);
  GroupReader(store, kStartUpKey).Flag("Instant Tape Loading", s.StartUp.InstantTapeLoading);
  GroupReader(store, kStartUpKey).Integer("Rewind", s.StartUp.Rewind, 0, kRewindSeconds.size() - 1);
  GroupReader(store, kAttributePortKey)
      .Flag("Enabled", s.AttributePort.Enabled)
      .Flag("All Unused", s.AttributePort.AllUnused);
  GroupReader(store, kVolumeKey)
      .Integer("Speaker", s.Volume.Speaker, 0, kMaxVolume)
      .Integer("TapeIn", s.Volume.TapeIn, 0, kMaxVolume)
      .Integer("TapeOut", s.Volume.TapeOut, 0, kMaxVolume);
  GroupReader(store, kVolumeKey).Integer("SynchDelay", s.Volume.SynchDelay, 0, kMaxSynchDelay);
  GroupReader(store, kVolumeKey).Integer("Stereo", s.Volume.Stereo, 0, kStereoLayoutCount - 1);
  GroupReader(store, kVolumeKey).Flag("TurboSound", s.Volume.TurboSound);
  {
    GroupReader pad(store, kGamepadKey);
    pad.Flag("Use Keys", s.Gamepad.UseKeys);
    for (int c = 0; c < kPadControlCount; ++c) {
      pad.Integer(kPadControlNames[c], s.Gamepad.Keys[c], -1, kKeyCount - 1);
    }
  }
  return s;
}

void SaveHardwareSettings(SettingsStore& store, const HardwareSettings& s) {
  GroupWriter(store, kBorderSizeKey).Integer("Preset", s.BorderPreset);
  SaveRomFile(store, kRom48kKey, s.Rom48k);
  SaveRomFile(store, kRom128kKey, s.Rom128k);
  SaveRomFile(store, kRomDosKey, s.RomDos);
  SavePortDecode(store, kJoystickKey, s.KempstonJoystick);
  GroupWriter(store, kMouseKey)
      .Flag("Enabled", s.KempstonMouse.Enabled)
      .Flag("Swap Buttons", s.KempstonMouse.SwapButtons)
      .Flag("Wheel Support", s.KempstonMouse.WheelSupport)
      .Flag("Wheel Direction", s.KempstonMouse.WheelDirection);
  GroupWriter(store, kTrDosKey)
      .Flag("Port Access", s.TrDos.PortAccess)
      .Flag("Enabled", s.TrDos.Enabled)
      .Text("Boot File Name", s.TrDos.BootFileName)
      .Flag("Boot SCL", s.TrDos.BootScl)
      .Flag("Boot TRD", s.TrDos.BootTrd)
      .Flag("No Disk Image Error", s.TrDos.NoDiskImageError);
  SavePortDecode(store, kKeyboardKey, s.Keyboard);
  GroupWriter(store, kMemoryKey).Choice("Model", s.Memory);
  GroupWriter(store, kTimingKey).Choice("Sinclair Timing", s.SinclairTiming);
  GroupWriter(store, kStartUpKey)
      .Integer("Reset", s.StartUp.Reset)
      .Integer("Mode", s.StartUp.Mode)
      .Flag("Fast Tape Loading", s.StartUp.FastTapeLoading);
  GroupWriter(store, kStartUpKey).Flag("Fast Disk Access", s.StartUp.FastDiskAccess);
  GroupWriter(store, kStartUpKey).Flag("Instant Tape Loading", s.StartUp.InstantTapeLoading);
  GroupWriter(store, kStartUpKey).Integer("Rewind", s.StartUp.Rewind);
  GroupWriter(store, kAttributePortKey)
      .Flag("Enabled", s.AttributePort.Enabled)
      .Flag("All Unused", s.AttributePort.AllUnused);
  GroupWriter(store, kVolumeKey)
      .Integer("Speaker", s.Volume.Speaker)
      .Integer("TapeIn", s.Volume.TapeIn)
      .Integer("TapeOut", s.Volume.TapeOut)
      .Integer("SynchDelay", s.Volume.SynchDelay)
      .Integer("Stereo", s.Volume.Stereo)
      .Flag("TurboSound", s.Volume.TurboSound);
  GroupWriter pad(store, kGamepadKey);
  pad.Flag("Use Keys", s.Gamepad.UseKeys);
  for (int c = 0; c < kPadControlCount; ++c) pad.Integer(kPadControlNames[c], s.Gamepad.Keys[c]);
}

ScreenPanelSettings LoadScreenPanelSettings(const SettingsStore& store) {
  ScreenPanelSettings s;
  GroupReader(store, kScreenPanelKey).Flag("Show FPS", s.ShowFps);
  GroupReader(store, kScreenPanelKey).Flag("Double Size", s.DoubleSize);
  GroupReader(store, kScreenPanelKey)
      .Flag("Direct Memory", s.DirectMemory)
      .Flag("Interlaced", s.Interlaced)
      .Flag("Gray Palette", s.GrayPalette)
      .Integer("Video Mode", s.VideoMode, 0, kVideoModeCount - 1);
  LoadPosition(store, kScreenPanelKey, s.Position);
  GroupReader(store, kScreenPanelKey).Integer("Flash Frequency", s.FlashFrequency, 1);
  GroupReader(store, kScreenPanelKey).Integer("Screen Page", s.ScreenPage, 0, kScreenPageCount - 1);
  return s;
}

void SaveScreenPanelSettings(SettingsStore& store, const ScreenPanelSettings& s) {
  GroupWriter(store, kScreenPanelKey)
      .Flag("Show FPS", s.ShowFps)
      .Flag("Double Size", s.DoubleSize)
      .Flag("Direct Memory", s.DirectMemory)
      .Flag("Interlaced", s.Interlaced)
      .Flag("Gray Palette", s.GrayPalette)
      .Integer("Video Mode", s.VideoMode)
      .Integer("Flash Frequency", s.FlashFrequency)
      .Integer("Screen Page", s.ScreenPage)
      .Flag("Use DirectDraw", false);  // the option is gone; the value stays in the layout
  SavePosition(store, kScreenPanelKey, s.Position);
}

TapeReaderSettings LoadTapeReaderSettings(const SettingsStore& store) {
  TapeReaderSettings s;
  GroupReader(store, kTapeReaderKey).Text("Location", s.Location);
  GroupReader(store, kTapeReaderKey)
      .Integer("Block Info Mode", s.BlockInfoMode, 0, kBlockInfoModeCount - 1);
  GroupReader(store, kTapeReaderKey).Flag("Enabled", s.Enabled);
  GroupReader(store, kTapeReaderKey)
      .Text("File Name", s.FileName)
      .Text("Default Dir", s.DefaultDir);
  LoadPosition(store, kTapeReaderKey, s.Position);
  return s;
}

void SaveTapeReaderSettings(SettingsStore& store, const TapeReaderSettings& s) {
  GroupWriter(store, kTapeReaderKey)
      .Flag("Enabled", s.Enabled)
      .Text("Location", s.Location)
      .Text("File Name", s.FileName)
      .Text("Default Dir", s.DefaultDir);
  SavePosition(store, kTapeReaderKey, s.Position);
  GroupWriter(store, kTapeReaderKey).Integer("Block Info Mode", s.BlockInfoMode);
}

std::vector<std::string> ListBorderPresets(const SettingsStore& store) {
  return store.ListSubkeys(kBorderSizeKey);
}

std::optional<BorderSizes> LoadBorderPreset(const SettingsStore& store, std::string_view name) {
  const std::optional<std::string> key = BorderPresetKey(name);
  if (!key) return std::nullopt;
  const auto left = ParseBorderSide(store.ReadText(*key, "Left"), kMaxBorderSide);
  const auto right = ParseBorderSide(store.ReadText(*key, "Right"), kMaxBorderSide);
  const auto upper = ParseBorderSide(store.ReadText(*key, "Upper"), kMaxBorderTopBottom);
  const auto lower = ParseBorderSide(store.ReadText(*key, "Lower"), kMaxBorderTopBottom);
  if (!left || !right || !upper || !lower) return std::nullopt;
  return BorderSizes{*left, *right, *upper, *lower};
}

bool SaveBorderPreset(SettingsStore& store, std::string_view name, const BorderSizes& sizes) {
  const std::optional<std::string> key = BorderPresetKey(name);
  if (!key) return false;
  GroupWriter(store, *key)
      .Text("Left", std::to_string(sizes.Left))
      .Text("Right", std::to_string(sizes.Right))
      .Text("Upper", std::to_string(sizes.Upper))
      .Text("Lower", std::to_string(sizes.Lower));
  return true;
}

void DeleteBorderPreset(SettingsStore& store, std::string_view name) {
  if (const std::optional<std::string> key = BorderPresetKey(name)) store.DeleteSubkey(*key);
}

BorderSizes BorderPresetSizes(const SettingsStore& store, int32_t index) {
  const auto builtIns = static_cast<int32_t>(kBuiltInBorderPresets.size());
  if (index >= 0 && index < builtIns) return kBuiltInBorderPresets[index].Sizes;
  const std::vector<std::string> names = ListBorderPresets(store);
  if (index >= builtIns && index - builtIns < static_cast<int32_t>(names.size())) {
    if (auto sizes = LoadBorderPreset(store, names[index - builtIns])) return *sizes;
  }
  return kBuiltInBorderPresets[0].Sizes;
}

Beta128ViewSettings LoadBeta128ViewSettings(const SettingsStore& store) {
  Beta128ViewSettings s;
  LoadPosition(store, kBeta128ViewKey, s.Position);
  GroupReader(store, kBeta128ViewKey).Flag("Enabled", s.Enabled);
  return s;
}

void SaveBeta128ViewSettings(SettingsStore& store, const Beta128ViewSettings& s) {
  SavePosition(store, kBeta128ViewKey, s.Position);
  GroupWriter(store, kBeta128ViewKey).Flag("Enabled", s.Enabled);
}

static void LoadBlockFile(const SettingsStore& store, std::string_view subkey,
                          BlockFileSetting& file) {
  GroupReader(store, subkey)
      .Text("Location", file.Location)
      .Text("File Name", file.FileName)
      .Text("Default Dir", file.DefaultDir);
}

static void SaveBlockFile(SettingsStore& store, std::string_view subkey,
                          const BlockFileSetting& file) {
  GroupWriter(store, subkey)
      .Text("Location", file.Location)
      .Text("File Name", file.FileName)
      .Text("Default Dir", file.DefaultDir);
}

SaveMemoryBlockSettings LoadSaveMemoryBlockSettings(const SettingsStore& store) {
  SaveMemoryBlockSettings s;
  GroupReader(store, kSaveBlockKey)
      .Integer("Block Start", s.BlockStart, 0, 0xFFFF)
      .Integer("Block Length", s.BlockLength, 1, 0x10000)
      .Integer("Block End", s.BlockEnd, 0, 0xFFFF);
  GroupReader(store, kSaveBlockKey).Integer("Offset", s.Offset, 0);
  GroupReader(store, kSaveBlockKey)
      .Flag("Wrap Around", s.WrapAround)
      .Flag("New File", s.NewFile)
      .Flag("Overwrite", s.Overwrite)
      .Flag("Append to End", s.AppendToEnd);
  LoadBlockFile(store, kSaveBlockKey, s.File);
  return s;
}

void SaveSaveMemoryBlockSettings(SettingsStore& store, const SaveMemoryBlockSettings& s) {
  GroupWriter(store, kSaveBlockKey)
      .Integer("Block Start", s.BlockStart)
      .Integer("Block Length", s.BlockLength)
      .Integer("Block End", s.BlockEnd)
      .Integer("Offset", s.Offset)
      .Flag("Wrap Around", s.WrapAround)
      .Flag("New File", s.NewFile)
      .Flag("Overwrite", s.Overwrite)
      .Flag("Append to End", s.AppendToEnd);
  SaveBlockFile(store, kSaveBlockKey, s.File);
}

LoadMemoryBlockSettings LoadLoadMemoryBlockSettings(const SettingsStore& store) {
  LoadMemoryBlockSettings s;
  LoadBlockFile(store, kLoadBlockKey, s.File);
  GroupReader(store, kLoadBlockKey)
      .Flag("All File", s.AllFile)
      .Flag("ROM Preserve", s.RomPreserve)
      .Flag("Wrap Around", s.WrapAround);
  GroupReader(store, kLoadBlockKey)
      .Integer("From Position", s.FromPosition, 0)
      .Integer("To Position", s.ToPosition, 0)
      .Integer("Block Length", s.BlockLength, 1, 0x10000)
      .Integer("Block Start", s.BlockStart, 0, 0xFFFF);
  return s;
}

void SaveLoadMemoryBlockSettings(SettingsStore& store, const LoadMemoryBlockSettings& s) {
  SaveBlockFile(store, kLoadBlockKey, s.File);
  GroupWriter(store, kLoadBlockKey)
      .Flag("All File", s.AllFile)
      .Flag("ROM Preserve", s.RomPreserve)
      .Flag("Wrap Around", s.WrapAround)
      .Integer("From Position", s.FromPosition)
      .Integer("To Position", s.ToPosition)
      .Integer("Block Length", s.BlockLength)
      .Integer("Block Start", s.BlockStart);
}

EnvironmentSettings LoadEnvironmentSettings(const SettingsStore& store) {
  EnvironmentSettings s;
  GroupReader(store, kEnvironmentKey).Flag("Disable StoppedCPU", s.DisableStoppedCpu);
  return s;
}

void SaveEnvironmentSettings(SettingsStore& store, const EnvironmentSettings& s) {
  GroupWriter(store, kEnvironmentKey).Flag("Disable StoppedCPU", s.DisableStoppedCpu);
}

DisassemblerPanelSettings LoadDisassemblerPanelSettings(const SettingsStore& store) {
  DisassemblerPanelSettings s;
  GroupReader(store, kDisassemblerKey).Flag("Enabled", s.Enabled);
  LoadPosition(store, kDisassemblerKey, s.Position);
  GroupReader(store, kDisassemblerKey)
      .Flag("View Addr", s.ViewAddr)
      .Flag("View Code", s.ViewCode)
      .Integer("View Mode", s.ViewMode, 0, 1);
  GroupReader(store, kDisassemblerKey).Flag("View Labels", s.ViewLabels);
  // Below three rows the window is no longer a window; above 4096 pixels no screen shows it.
  GroupReader(store, kDisassemblerKey).Integer("Height", s.Height, 45, 4096);
  GroupReader(store, kDisassemblerKey).Text("Symbol File", s.SymbolFile);
  return s;
}

void SaveDisassemblerPanelSettings(SettingsStore& store, const DisassemblerPanelSettings& s) {
  GroupWriter(store, kDisassemblerKey)
      .Flag("Enabled", s.Enabled)
      .Flag("View Addr", s.ViewAddr)
      .Flag("View Code", s.ViewCode)
      .Flag("View Labels", s.ViewLabels)
      .Integer("View Mode", s.ViewMode)
      .Integer("Height", s.Height)
      .Text("Symbol File", s.SymbolFile);
  SavePosition(store, kDisassemblerKey, s.Position);
}

std::vector<std::string> LoadGoToHistory(const SettingsStore& store) {
  std::vector<std::string> history;
  while (history.size() < kGoToHistorySize) {
    auto entry = store.ReadText(kGoToAddressKey, "Hist" + std::to_string(history.size()));
    if (!entry) break;
    history.push_back(std::move(*entry));
  }
  return history;
}

void SaveGoToHistory(SettingsStore& store, const std::vector<std::string>& history) {
  // Older, longer lists leave no stale entries behind the new end.
  store.DeleteSubkey(kGoToAddressKey);
  for (size_t i = 0; i < history.size() && i < kGoToHistorySize; ++i) {
    store.WriteText(kGoToAddressKey, "Hist" + std::to_string(i), history[i]);
  }
}

WatchesPanelSettings LoadWatchesPanelSettings(const SettingsStore& store) {
  WatchesPanelSettings settings;
  settings.Enabled = store.ReadInteger(kWatchesKey, "Enabled").value_or(0) != 0;
  while (settings.Expressions.size() < kMaxWatches) {
    auto entry = store.ReadText(kWatchesKey, "Watch" + std::to_string(settings.Expressions.size()));
    if (!entry) break;
    settings.Expressions.push_back(std::move(*entry));
  }
  return settings;
}

void SaveWatchesPanelSettings(SettingsStore& store, const WatchesPanelSettings& settings) {
  // A shorter list leaves no stale entries behind its end.
  store.DeleteSubkey(kWatchesKey);
  store.WriteInteger(kWatchesKey, "Enabled", settings.Enabled ? 1 : 0);
  for (size_t i = 0; i < settings.Expressions.size() && i < kMaxWatches; ++i) {
    store.WriteText(kWatchesKey, "Watch" + std::to_string(i), settings.Expressions[i]);
  }
}

}  // namespace vantrel
