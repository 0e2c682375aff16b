#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "platform/QtSettingsStore.h"

namespace vantrel {
namespace {

using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

class QtSettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  fs::path IniPath() const { return fs::path(dir_.path().toStdString()) / "Vantrel.ini"; }

  void WriteFile(const std::string& bytes) const {
    std::ofstream out(IniPath(), std::ios::binary);
    out << bytes;
  }

  QTemporaryDir dir_;
};

TEST_F(QtSettingsStoreTest, ValuesSurviveIntoANewStore) {
  const std::vector<std::string> texts = {
      "C:\\Roms\\Pentagon.Rom:1",         "a, b; c = d", "@Variant(not really)", "", "  padded  ",
      "\xD0\x9F\xD0\xB5\xD0\xBD\xD1\x82", "[General]",   "two\nlines\ttab"};
  {
    QtSettingsStore store(IniPath());
    for (size_t i = 0; i < texts.size(); ++i)
      store.WriteText("Texts\\", "T" + std::to_string(i), texts[i]);
    store.WriteInteger("Model\\Timing\\", "Tackts per Int", 71680);
    store.WriteInteger("Numbers", "Min", std::numeric_limits<int32_t>::min());
    store.WriteInteger("Numbers", "Max", std::numeric_limits<int32_t>::max());
    store.WriteFlag("Hardware\\Kempston Joystick", "Enabled", true);
    store.WriteFlag("Hardware\\Kempston Joystick", "Off", false);
    store.WriteInteger("", "At Root", 3);
  }
  ASSERT_TRUE(fs::exists(IniPath()));

  const QtSettingsStore store(IniPath());
  for (size_t i = 0; i < texts.size(); ++i)
    EXPECT_EQ(store.ReadText("Texts", "T" + std::to_string(i)), texts[i]) << i;
  EXPECT_EQ(store.ReadInteger("\\Model\\Timing", "Tackts per Int"), 71680);
  EXPECT_EQ(store.ReadInteger("Numbers", "Min"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(store.ReadInteger("Numbers", "Max"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(store.ReadFlag("Hardware\\Kempston Joystick", "Enabled"), true);
  EXPECT_EQ(store.ReadInteger("Hardware\\Kempston Joystick", "Off"), 0);
  EXPECT_EQ(store.ReadInteger("", "At Root"), 3);
  EXPECT_EQ(store.ReadInteger("Nowhere", "Min"), std::nullopt);
  // A missing folder is created on the first write.
  const fs::path nested = IniPath().parent_path() / "a" / "b" / "Vantrel.ini";
  QtSettingsStore(nested).WriteInteger("X", "Y", 5);
  EXPECT_EQ(QtSettingsStore(nested).ReadInteger("X", "Y"), 5);
}

// An INI file holds only text, so a text of digits and an integer are one and the same;
// only text that is not exactly a 32-bit decimal number is mistyped for an integer.
TEST_F(QtSettingsStoreTest, IntegersAreTextsOfDecimalDigits) {
  QtSettingsStore store(IniPath());
  store.WriteText("T", "Digits", "12");
  store.WriteInteger("T", "Number", 12);
  EXPECT_EQ(store.ReadInteger("T", "Digits"), 12);
  EXPECT_EQ(store.ReadText("T", "Number"), "12");
  EXPECT_EQ(store.ReadFlag("T", "Digits"), true);

  const std::vector<std::pair<std::string, std::optional<int32_t>>> cases = {
      {"-5", -5},
      {"007", 7},
      {"", std::nullopt},
      {"12abc", std::nullopt},
      {"2147483648", std::nullopt}};
  for (const auto& [text, expected] : cases) {
    store.WriteText("T", "Value", text);
    EXPECT_EQ(QtSettingsStore(IniPath()).ReadInteger("T", "Value"), expected) << '"' << text << '"';
  }
}

// Both stores list, find and delete subkeys alike; the INI file's keeps it on disk.
TEST_F(QtSettingsStoreTest, BothStoresListAndDeleteSubkeys) {
  MemorySettingsStore memory;
  QtSettingsStore file(IniPath());
  for (SettingsStore* store :
       {static_cast<SettingsStore*>(&memory), static_cast<SettingsStore*>(&file)}) {
    store->WriteInteger("Hardware\\TR-DOS", "Enabled", 1);
    store->WriteInteger("Hardware\\TR-DOS\\Deep\\Deeper", "X", 1);
    // Sort between "Hardware\TR-DOS" and "Hardware\TR-DOS\Deep" but are not beneath it.
    store->WriteInteger("Hardware\\TR-DOS Extra", "X", 1);
    store->WriteInteger("Hardware\\TR-DOS0", "X", 1);
    store->WriteInteger("Hardware\\Keyboard", "Enabled", 1);
    store->WriteInteger("", "Root", 1);
    EXPECT_EQ(store->ListSubkeys(""), (Strings{"Hardware"}));
    EXPECT_EQ(store->ListSubkeys("Hardware\\"),
              (Strings{"Keyboard", "TR-DOS", "TR-DOS Extra", "TR-DOS0"}));
    EXPECT_EQ(store->ListSubkeys("Hardware\\TR-DOS"), (Strings{"Deep"}));
    EXPECT_TRUE(store->ListSubkeys("Hardware\\Keyboard").empty());
    EXPECT_TRUE(store->ListSubkeys("Nowhere").empty());
    // A subkey holding only subkeys exists too.
    EXPECT_TRUE(store->SubkeyExists("Hardware\\TR-DOS\\Deep"));
    EXPECT_FALSE(store->SubkeyExists("Hardware\\TR-DOS\\Dee"));
    EXPECT_FALSE(store->SubkeyExists("Hardware\\TR"));
    store->DeleteSubkey("Hardware\\TR-DOS");
    store->DeleteSubkey("\\");  // the root is never deleted
  }
  file.WriteInteger("General", "X", 1);  // the INI format's own name for root values
  const QtSettingsStore reopened(IniPath());
  EXPECT_EQ(reopened.ListSubkeys(""), (Strings{"General", "Hardware"}));
  for (const SettingsStore* store :
       {static_cast<const SettingsStore*>(&memory), static_cast<const SettingsStore*>(&reopened)}) {
    EXPECT_FALSE(store->SubkeyExists("Hardware\\TR-DOS"));
    EXPECT_FALSE(store->SubkeyExists("Hardware\\TR-DOS\\Deep"));
    EXPECT_EQ(store->ListSubkeys("Hardware"), (Strings{"Keyboard", "TR-DOS Extra", "TR-DOS0"}));
    EXPECT_EQ(store->ReadInteger("Hardware\\TR-DOS Extra", "X"), 1);
    EXPECT_EQ(store->ReadInteger("", "Root"), 1);
  }
}

// Another process sees only the disk: every write reaches the file at once, and keeps what
// another process wrote there meanwhile (appended here straight to the file).
TEST_F(QtSettingsStoreTest, WritesReachTheDiskWithoutLosingOtherWriters) {
  const auto onDisk = [this] {
    std::ifstream in(IniPath());
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  QtSettingsStore store(IniPath());
  store.WriteInteger("Parent", "Before", 1);
  store.WriteInteger("Doomed", "X", 1);
  EXPECT_NE(onDisk().find("Before=1"), std::string::npos) << onDisk();
  std::ofstream(IniPath(), std::ios::app) << "\n[Child]\nText=from the child\n";
  store.WriteInteger("Parent", "After", 2);
  store.DeleteSubkey("Doomed");
  const std::string text = onDisk();
  for (const char* part : {"Before=1", "After=2", "Text=from the child"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
  }
  EXPECT_EQ(text.find("Doomed"), std::string::npos) << text;
}

TEST_F(QtSettingsStoreTest, DamagedFileReadsAsMissingOrMistyped) {
  WriteFile(
      "[Hardware/Kempston Joystick\n"
      "Port Mask=@Variant(\\0\\0\\0\\x7f\\0)\n"
      "=no name\n"
      "[Hardware/Keyboard]\n"
      "Port Mask=1, 2, 3\n"
      "Port Bits=@ByteArray(\xff\xfe)\n"
      "Enabled=true\n"
      "\x01\x02\xff\xfe garbage without equals\n"
      "[Model/Timing]\n"
      "Tackts%20per%20Int=99999999999999999999\n"
      "[Hardware/Memory]\n"
      "Model=@Invalid()\n"
      "[StartUp]\n"
      "Reset=3\n"
      "Mode=1\n"
      // An open quote runs to the end of the file.
      "[Environment]\n"
      "Disable StoppedCPU=\"1\n"
      "[Model]\n"
      "Name=x\n");
  QtSettingsStore store(IniPath());
  const HardwareSettings hw = LoadHardwareSettings(store);
  EXPECT_EQ(hw.KempstonJoystick, HardwareSettings{}.KempstonJoystick);
  EXPECT_EQ(hw.Keyboard, HardwareSettings{}.Keyboard);
  EXPECT_EQ(hw.Memory, MemoryModel::Spectrum128k);
  EXPECT_EQ(store.ReadText("Hardware\\Keyboard", "Port Mask"), std::nullopt);  // a list
  EXPECT_EQ(store.ReadText("Hardware\\Keyboard", "Port Bits"), std::nullopt);  // bytes
  EXPECT_EQ(LoadMainWindowSettings(store).TacktsPerInt, 71680u);
  EXPECT_FALSE(LoadEnvironmentSettings(store).DisableStoppedCpu);
  EXPECT_EQ(LoadMainWindowSettings(store).ModelName, "Pentagon 48k");
  // Intact sections still read.
  EXPECT_EQ(hw.StartUp, (StartUpSetting{3, 1}));

  // And the store stays usable.
  store.WriteInteger("Hardware\\Memory", "Model", 2);
  EXPECT_EQ(LoadHardwareSettings(QtSettingsStore(IniPath())).Memory, MemoryModel::Pentagon512k);
}

}  // namespace
}  // namespace vantrel
