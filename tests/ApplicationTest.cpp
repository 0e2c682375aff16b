#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "TestData.h"
#include "app/Application.h"

namespace vantrel {
namespace {

// ROMs resolved from the test data's roms folder, as if the program started there;
// no platform data directories, so the user's machine cannot change the outcome.
FileResolver TestRomResolver() {
  FileResolver resolver;
  resolver.StartDirectory = test::TestDataDir() / "roms";
  resolver.ProgramDirectory = test::TestDataDir() / "roms";
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
  EXPECT_FALSE(result.roms.ShowMessage);
  Machine& m = app.GetMachine();
  // "128k Mode": the Pentagon file's page 0, the 128K editor ROM, is at 0x0000.
  EXPECT_EQ((std::vector<int>{int(m.State.TacktsPerInt), m.Mem.Port7FFD, m.State.Regs.PC,
                              app.Emulation().Alive(), m.Mem.PeekByte(0), m.Mem.DosEnabled}),
            (std::vector<int>{71680, 0x00, 0, false, m.Mem.Rom128k()[0], true}));
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
    // "TR-DOS with 128k".
    EXPECT_EQ((std::vector<int>{int(m.State.TacktsPerInt), m.Mem.DosActive, int(m.Mem.Model),
                                m.Ports.Settings.JoystickMask}),
              (std::vector<int>{69888, true, int(MemoryModel::Pentagon1024k), 0x00A9}));
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
    EXPECT_EQ(result.roms.ShowMessage, basic);
    EXPECT_EQ(result.roms.OfferCancel, basic);
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
