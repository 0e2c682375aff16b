#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "TestData.h"
#include "app/Application.h"

namespace vantrel {
namespace {

// ROMs resolved from the test data's roms folder, as if the program started there;
// no platform data directories, so the user's machine cannot change the outcome.
FileResolver TestRomResolver() {
  FileResolver resolver;
  resolver.startDirectory = test::TestDataDir() / "roms";
  resolver.programDirectory = test::TestDataDir() / "roms";
  return resolver;
}

class ApplicationTest : public testing::Test {
 protected:
  void SetUp() override {
    if (test::TestDataFile("roms/Pentagon.Rom").empty()) {
      GTEST_SKIP() << "test data not found: roms/Pentagon.Rom (set VANTREL_TESTDATA)";
    }
  }
  MemorySettingsStore store;
  HeadlessRunHost host;
};

TEST_F(ApplicationTest, FirstRunStartsStoppedIn128kModeFromTheDefaultRoms) {
  Application app(store, host, TestRomResolver());
  const auto result = app.StartUp();
  ASSERT_EQ(result.outcome, Application::StartUpOutcome::kStopped) << result.roms.message;
  EXPECT_FALSE(result.roms.showMessage);
  Machine& m = app.GetMachine();
  EXPECT_EQ(m.State.TacktsPerInt, 71680u);
  EXPECT_EQ(m.Mem.Port7FFD, 0x00);  // "128k Mode"
  EXPECT_EQ(m.State.Regs.PC, 0);
  EXPECT_FALSE(app.Emulation().Alive());
  // The Pentagon file's page 0 is the 128K editor ROM, now at 0x0000.
  EXPECT_EQ(m.Mem.PeekByte(0x0000), m.Mem.Rom128k()[0]);
  EXPECT_TRUE(m.Mem.DosEnabled);
}

TEST_F(ApplicationTest, SettingsReachTheMachineAndAreWrittenBackAtShutdown) {
  store.WriteInteger("Model\\Timing", "Tackts per Int", 69888);
  HardwareSettings hardware;
  hardware.StartUp.Reset = 3;
  hardware.Memory = MemoryModel::Pentagon1024k;
  SaveHardwareSettings(store, hardware);
  {
    Application app(store, host, TestRomResolver());
    ASSERT_EQ(app.StartUp().outcome, Application::StartUpOutcome::kStopped);
    Machine& m = app.GetMachine();
    EXPECT_EQ(m.State.TacktsPerInt, 69888u);
    EXPECT_TRUE(m.Mem.DosActive);  // "TR-DOS with 128k"
    EXPECT_EQ(m.Mem.Model, MemoryModel::Pentagon1024k);
    EXPECT_EQ(m.Ports.Settings.JoystickMask, 0x00A9);
  }
  // Shutdown wrote the groups back, defaults included.
  EXPECT_EQ(store.ReadInteger("Hardware\\Keyboard", "Port Bits"), 254);
  EXPECT_EQ(store.ReadText("RomFiles\\Rom48k", "File Name"), "Pentagon.Rom:1");
  EXPECT_EQ(store.ReadInteger("Model\\Timing", "Tackts per Int"), 69888);
}

TEST_F(ApplicationTest, OnStartRunEmulatorRunsUntilShutdown) {
  HardwareSettings hardware;
  hardware.StartUp.Mode = 1;
  SaveHardwareSettings(store, hardware);
  Application app(store, host, TestRomResolver());
  app.GetMachine().State.NormalSpeed = false;
  ASSERT_EQ(app.StartUp().outcome, Application::StartUpOutcome::kRunning);
  EXPECT_TRUE(app.Emulation().Alive());
  // Let it run a little; frames advance on the emulation thread.
  for (int i = 0; i < 5000 && app.GetMachine().State.FrameCount.load() < 10; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_GE(app.GetMachine().State.FrameCount.load(), 10u);
  app.ShutDown();
  EXPECT_FALSE(app.Emulation().Alive());
}

// A missing BASIC ROM stops the start; a missing TR-DOS ROM is told once and the
// machine starts without the interface, even in a TR-DOS start mode.
TEST_F(ApplicationTest, MissingRomsAreReported) {
  for (const bool basic : {true, false}) {
    SCOPED_TRACE(basic ? "BASIC" : "TR-DOS");
    MemorySettingsStore settings;
    HardwareSettings hardware;
    (basic ? hardware.Rom48k : hardware.RomDos).FileName = "no-such-file.rom";
    hardware.StartUp.Reset = 3;
    SaveHardwareSettings(settings, hardware);
    Application app(settings, host, TestRomResolver());
    const auto result = app.StartUp();
    EXPECT_TRUE(result.roms.showMessage);
    EXPECT_EQ(result.roms.offerCancel, basic);
    if (basic) {
      EXPECT_EQ(result.outcome, Application::StartUpOutcome::kRomsMissing);
      continue;
    }
    ASSERT_EQ(result.outcome, Application::StartUpOutcome::kStopped);
    Machine& m = app.GetMachine();
    EXPECT_FALSE(m.Mem.DosEnabled || m.Mem.DosActive);
    EXPECT_EQ(m.Mem.Port7FFD, 0x00);
  }
}

}  // namespace
}  // namespace vantrel
