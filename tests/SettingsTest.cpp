#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "app/SettingsStore.h"

namespace vantrel {
namespace {

using Strings = std::vector<std::string>;

TEST(MemorySettingsStore, KeepsEachValuesType) {
  MemorySettingsStore store;
  store.WriteText("A", "Text", "12");
  store.WriteInteger("A", "Number", 12);
  // Mistyped reads are in the group tests below. Any number other than 0 reads as true.
  EXPECT_EQ(store.ReadText("A", "Text"), "12");
  EXPECT_EQ(store.ReadFlag("A", "Number"), true);
  EXPECT_EQ(store.ReadInteger("A", "number"), std::nullopt);  // names are exact
  // Writing again replaces the value and its type.
  store.WriteInteger("A", "Text", -7);
  EXPECT_EQ(store.ReadText("A", "Text"), std::nullopt);
  EXPECT_EQ(store.ReadInteger("A", "Text"), -7);
}

TEST(MemorySettingsStore, SubkeyPathsIgnoreOuterAndDoubledBackslashes) {
  MemorySettingsStore store;
  store.WriteInteger("Model\\Timing\\", "Tackts per Int", 69888);
  EXPECT_EQ(store.ReadInteger("\\Model\\\\Timing\\", "Tackts per Int"), 69888);
  EXPECT_EQ(store.ReadInteger("Model", "Tackts per Int"), std::nullopt);
  EXPECT_EQ(SubkeyComponents("\\Model\\\\Timing\\"), (Strings{"Model", "Timing"}));
  EXPECT_TRUE(SubkeyComponents("\\").empty());
}

// Settings that differ from the defaults everywhere.
MainWindowSettings StoredMainWindow() {
  MainWindowSettings s;
  s.DiskAFileName = "games.trd", s.DiskDefaultPath = "/disks", s.SnapshotFileName = "elite.sna";
  s.DiskBToDFileNames = {"b.scl", "c.udi", "d.fdi"};
  s.SnapshotDefaultPath = "/snaps", s.ModelName = "Scorpion", s.TacktsPerInt = 69888;
  s.MemoryFileName = "block.bin", s.MemoryDefaultPath = "/blocks", s.MemoryDefaultAddr = "#8000";
  s.Position = {-5, 300};
  return s;
}

HardwareSettings StoredHardware() {
  HardwareSettings s;
  s.BorderPreset = 3, s.Rom48k = {"48.rom:0", "/roms48"}, s.Rom128k = {"128.rom:1", "/roms128"};
  s.RomDos = {"dos.rom:3", "/romsdos"}, s.KempstonJoystick = {0xFF, 0x1E, false};
  s.KempstonMouse = {true, true, true, true}, s.TrDos = {true, false, "boot.B", false, true, true};
  s.Keyboard = {0xFF, 0xFE, false}, s.Memory = MemoryModel::Scorpion1024k,
  s.StartUp = {3, 1, false, true, false, 1};
  s.AttributePort = {false, true}, s.Volume = {0, 1, 2, 200, 2, true};
  s.Gamepad = GamepadPresetMapping(GamepadPreset::Sinclair1);
  return s;
}

ScreenPanelSettings StoredScreenPanel() {
  ScreenPanelSettings s;
  s.ShowFps = s.DoubleSize = s.DirectMemory = s.Interlaced = false;
  s.GrayPalette = true, s.VideoMode = 2, s.Position = {100, 200}, s.FlashFrequency = 1;
  s.ScreenPage = 2;
  return s;
}

TapeReaderSettings StoredTapeReader() {
  return {"/tapes/game.tzx", 2, true, "game.tzx", "/tapes", {-3, 40}};
}

void SaveStoredValues(SettingsStore& store) {
  SaveMainWindowSettings(store, StoredMainWindow());
  SaveTapeReaderSettings(store, StoredTapeReader());
  SaveHardwareSettings(store, StoredHardware());
  SaveScreenPanelSettings(store, StoredScreenPanel());
}

TEST(Settings, SaveThenLoadGivesTheSameSettings) {
  MemorySettingsStore store;
  SaveStoredValues(store);
  SaveEnvironmentSettings(store, {true});
  EXPECT_EQ(LoadMainWindowSettings(store), StoredMainWindow());
  EXPECT_EQ(LoadHardwareSettings(store), StoredHardware());
  EXPECT_EQ(LoadScreenPanelSettings(store), StoredScreenPanel());
  EXPECT_EQ(LoadTapeReaderSettings(store), StoredTapeReader());
  EXPECT_TRUE(LoadEnvironmentSettings(store).DisableStoppedCpu);
  const DisassemblerPanelSettings disassembler{false, {7, 8}, false, false, false, 1, 100, "a.sym"};
  SaveDisassemblerPanelSettings(store, disassembler);
  EXPECT_EQ(LoadDisassemblerPanelSettings(store), disassembler);
  // A shorter history leaves no stale entry behind it.
  SaveGoToHistory(store, {"#8000", "pc", "hl+1"});
  SaveGoToHistory(store, {"sp", "#4000"});
  EXPECT_EQ(LoadGoToHistory(store), (std::vector<std::string>{"sp", "#4000"}));
  SaveBeta128ViewSettings(store, {{30, 40}, true});
  EXPECT_EQ(LoadBeta128ViewSettings(store), (Beta128ViewSettings{{30, 40}, true}));

  // Flags go out as the integers 0 and 1; the retired option is written as false.
  EXPECT_EQ(store.ReadInteger("Hardware\\Kempston Mouse", "Enabled"), 1);
  EXPECT_EQ(store.ReadInteger("Hardware\\Keyboard", "Enabled"), 0);
  EXPECT_EQ(store.ReadInteger("Environment\\ScreenPanel", "Use DirectDraw"), 0);
}

TEST(Settings, MistypedValueFailsItsGroupOnly) {
  MemorySettingsStore store;
  SaveStoredValues(store);
  store.WriteText("Hardware\\Keyboard", "Port Mask", "255");         // text where integer
  store.WriteInteger("Hardware\\TR-DOS", "Boot File Name", 7);       // integer where text
  store.WriteText("Environment\\ScreenPanel", "Show FPS", "false");  // text where flag
  const HardwareSettings hw = LoadHardwareSettings(store);
  EXPECT_EQ(hw.Keyboard, HardwareSettings{}.Keyboard);
  // Groups of their own under the same subkeys still read.
  EXPECT_EQ(hw.TrDos, (TrDosSetting{false, true, "", true, false, true}));
  EXPECT_EQ(hw.KempstonJoystick, StoredHardware().KempstonJoystick);

  const ScreenPanelSettings screen = LoadScreenPanelSettings(store);
  EXPECT_EQ((std::vector<int>{screen.ShowFps, screen.DoubleSize, screen.ScreenPage}),
            (std::vector<int>{true, false, 2}));
}

// Groups of their own read without the rest; a partial group reads as its defaults; the
// range limits themselves and empty names (their defaults) are accepted.
TEST(Settings, GroupsStandAloneAndTakeTheirLimits) {
  MemorySettingsStore store;
  store.WriteInteger("Hardware\\Volume", "Speaker", 1);
  store.WriteInteger("Hardware\\Volume", "TapeIn", 2);
  store.WriteInteger("Hardware\\Volume", "TapeOut", 3);
  store.WriteInteger("Environment\\ScreenPanel", "Screen Page", 1);
  store.WriteInteger("Environment\\ScreenPanel", "Video Mode", 1);  // rest of its group missing
  store.WriteInteger("Model\\Timing\\", "Tackts per Int", 1024);
  store.WriteInteger("Hardware\\Kempston Joystick", "Port Mask", 0xFFFF);
  store.WriteInteger("Hardware\\Kempston Joystick", "Port Bits", 0);
  store.WriteFlag("Hardware\\Kempston Joystick", "Enabled", true);
  store.WriteText("RomFiles\\Rom48k\\", "File Name", "");
  store.WriteText("RomFiles\\Rom48k\\", "Default Path", "/roms");
  store.WriteText("Model\\", "Name", "");
  store.WriteInteger("StartUp", "Reset", 1);  // stored before fast tape loading existed
  store.WriteInteger("StartUp", "Mode", 1);
  const HardwareSettings hw = LoadHardwareSettings(store);
  EXPECT_EQ(hw.StartUp, (StartUpSetting{1, 1, true}));
  EXPECT_TRUE(hw.StartUp.InstantTapeLoading) << "on unless stored off";
  EXPECT_EQ(hw.KempstonJoystick, (PortDecodeSetting{0xFFFF, 0, true}));
  EXPECT_EQ(hw.Volume, (VolumeSetting{1, 2, 3, 0}));
  EXPECT_EQ(hw.Rom48k, (RomFileSetting{"Pentagon.Rom:1", "/roms"}));
  const ScreenPanelSettings screen = LoadScreenPanelSettings(store);
  EXPECT_EQ((std::vector<int>{screen.ScreenPage, screen.VideoMode}), (std::vector<int>{1, 0}));
  const MainWindowSettings main = LoadMainWindowSettings(store);
  EXPECT_EQ(main.ModelName + std::to_string(main.TacktsPerInt), "Pentagon 48k1024");
  store.WriteInteger("Model\\Timing\\", "Tackts per Int", 1048576);
  EXPECT_EQ(LoadMainWindowSettings(store).TacktsPerInt, 1048576u);
}

// Values the machine cannot use, or their type cannot hold, fail their group, which takes its
// defaults; the neighbouring groups keep what was stored.
TEST(Settings, OutOfRangeValuesFailTheirGroup) {
  struct Case {
    const char* subkey;
    const char* name;
    int32_t value;
  };
  const Case cases[] = {
      {"Model\\Timing\\", "Tackts per Int", 1023},
      {"Hardware\\Memory", "Model", 6},
      {"Hardware\\Volume", "TapeIn", 200},
      {"Hardware\\Keyboard", "Port Bits", -1},
      {"Environment\\ScreenPanel", "Video Mode", 3},
      {"Hardware\\Keyboard", "Port Mask", 0x10000},
      {"Hardware\\Volume", "Stereo", 3},
      {"Hardware\\Gamepad", "Start", 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " = " + std::to_string(c.value));
    MemorySettingsStore store;
    SaveStoredValues(store);
    store.WriteInteger(c.subkey, c.name, c.value);
    MainWindowSettings main = StoredMainWindow();
    HardwareSettings hw = StoredHardware();
    ScreenPanelSettings screen = StoredScreenPanel();
    // The expected result: the stored values with the failing group at its defaults.
    const HardwareSettings d;
    const ScreenPanelSettings ds;
    const std::string name = c.name;
    if (name == "Tackts per Int") main.TacktsPerInt = MainWindowSettings{}.TacktsPerInt;
    if (name == "Model") hw.Memory = d.Memory;
    if (name == "TapeIn") {
      hw.Volume.Speaker = d.Volume.Speaker, hw.Volume.TapeIn = d.Volume.TapeIn;
      hw.Volume.TapeOut = d.Volume.TapeOut;
    }
    if (name == "Stereo") hw.Volume.Stereo = d.Volume.Stereo;
    if (name == "Start") hw.Gamepad = d.Gamepad;
    if (name.starts_with("Port")) hw.Keyboard = d.Keyboard;
    if (name == "Video Mode") {
      screen.DirectMemory = ds.DirectMemory, screen.Interlaced = ds.Interlaced;
      screen.GrayPalette = ds.GrayPalette, screen.VideoMode = ds.VideoMode;
    }
    EXPECT_EQ(LoadMainWindowSettings(store), main);
    EXPECT_EQ(LoadHardwareSettings(store), hw);
    EXPECT_EQ(LoadScreenPanelSettings(store), screen);
    EXPECT_EQ(LoadTapeReaderSettings(store), StoredTapeReader());
  }
  // A fourth Block Info Mode fails that value alone.
  MemorySettingsStore store;
  SaveStoredValues(store);
  store.WriteInteger("Environment\\TapeReader", "Block Info Mode", 3);
  TapeReaderSettings tape = StoredTapeReader();
  tape.BlockInfoMode = 0;
  EXPECT_EQ(LoadTapeReaderSettings(store), tape);
}

// "Sinclair Timing" sits beside "Tackts per Int" as a group of its own: a settings file from
// before it keeps its frame length, and a value past the four choices reads as the default.
TEST(Settings, SinclairTimingIsAGroupOfItsOwnBesideTheFrameLength) {
  struct Case {
    std::optional<int32_t> stored;
    TimingChoice expected;
  };
  for (const Case& c : {Case{std::nullopt, TimingChoice::Default},
                        Case{1, TimingChoice::Sinclair48}, Case{3, TimingChoice::ByStartMode},
                        Case{4, TimingChoice::Default}, Case{-1, TimingChoice::Default}}) {
    MemorySettingsStore store;
    store.WriteInteger("Model\\Timing\\", "Tackts per Int", 69000);
    if (c.stored) store.WriteInteger("Model\\Timing\\", "Sinclair Timing", *c.stored);
    EXPECT_EQ(LoadHardwareSettings(store).SinclairTiming, c.expected) << c.stored.value_or(99);
    EXPECT_EQ(LoadMainWindowSettings(store).TacktsPerInt, 69000u);
  }
  MemorySettingsStore store;
  HardwareSettings hw;
  hw.SinclairTiming = TimingChoice::Sinclair128;
  SaveHardwareSettings(store, hw);
  EXPECT_EQ(store.ReadInteger("Model\\Timing\\", "Sinclair Timing"), 2);
}

// Saving, choosing and deleting are driven through the video options page in its tests;
// here the stored form, an overwrite, and names that would reach other subkeys.
TEST(BorderPresetSettings, StoredAsTextsUnderTheirOwnName) {
  MemorySettingsStore store;
  store.WriteInteger("Environment\\ScreenPanel\\BorderSize", "Preset", 3);
  EXPECT_TRUE(SaveBorderPreset(store, "Narrow TV", {0, 1, 2, 3}));
  EXPECT_TRUE(SaveBorderPreset(store, "Narrow TV", {64, 0, 48, 5}));
  EXPECT_EQ(store.ReadText("Environment\\ScreenPanel\\BorderSize\\Narrow TV", "Lower"), "5");
  for (const char* name : {"", "a\\b", "\\", "a/b"}) {
    EXPECT_FALSE(SaveBorderPreset(store, name, {1, 2, 3, 4})) << name;
    DeleteBorderPreset(store, name);
  }
  EXPECT_EQ(ListBorderPresets(store), (Strings{"Narrow TV"}));
  EXPECT_EQ(LoadBorderPreset(store, "Narrow TV"), (BorderSizes{64, 0, 48, 5}));
  EXPECT_EQ(LoadHardwareSettings(store).BorderPreset, 3);
}

TEST(BorderPresetSettings, UnusableStoredSizesGiveNoPreset) {
  const std::pair<Strings, std::optional<BorderSizes>> cases[] = {
      {{"64", "0", "48", "0"}, BorderSizes{64, 0, 48, 0}},
      {{"65", "0", "0", "0"}, std::nullopt},
      {{"0", "0", "0", "1x"}, std::nullopt},
  };
  for (const auto& [sizes, expected] : cases) {
    MemorySettingsStore store;
    const std::string key = "Environment\\ScreenPanel\\BorderSize\\Bad";
    for (int i = 0; i < 4; ++i)
      store.WriteText(key, Strings{"Left", "Right", "Upper", "Lower"}[i], sizes[i]);
    EXPECT_EQ(LoadBorderPreset(store, "Bad"), expected) << sizes[0] << " " << sizes[3];
    store.WriteInteger(key, "Left", 10);  // a number where text is stored
    EXPECT_EQ(LoadBorderPreset(store, "Bad"), std::nullopt);
  }
}

}  // namespace
}  // namespace vantrel
