// Boots the real ROMs on the whole machine: reset, interrupts, paging and the frame loop
// have to work together for these to pass.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "TestData.h"
#include "machine/Machine.h"
#include "machine/RunLoop.h"

namespace vantrel {
namespace {

using test::LoadRomPage;
using test::RunFrames;
using test::ScreenText;

TEST(RomBoot, EachStartModeReachesItsScreen) {
  struct Case {
    const char* file48;
    int page48;
    const char* file128;  // with page 0
    int pageDos;          // of Pentagon.Rom, -1: no TR-DOS
    int startMode;
    const char* text;
  };
  const Case cases[] = {
      {"roms/48.rom", 0, nullptr, -1, 0, "@ 1982 Sinclair Research Ltd"},
      {"roms/128-1.rom", 0, "roms/128-0.rom", -1, 2, "Tape Loader"},
      {"roms/Pentagon.Rom", 1, "roms/Pentagon.Rom", 2, 2, "128"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    VANTREL_REQUIRE_TESTDATA(rom48, c.file48);
    Machine m(7);
    m.State.NormalSpeed = false;
    ASSERT_TRUE(LoadRomPage(rom48, c.page48, m.Mem.Rom48k()));
    if (c.file128) {
      ASSERT_TRUE(LoadRomPage(test::TestDataFile(c.file128), 0, m.Mem.Rom128k()));
    }
    if (c.pageDos >= 0) {
      ASSERT_TRUE(LoadRomPage(rom48, c.pageDos, m.Mem.RomDOS()));
      m.SetTrDosEnabled(true);
    }
    m.State.StartMode = c.startMode;
    m.ResetMachine();
    RunFrames(m, 200);
    // FRAMES (0x5C78, three bytes) is counted by the ROM's interrupt handler.
    auto frames = [&] { return m.Mem.PeekWord(0x5C78) | (m.Mem.PeekByte(0x5C7A) << 16); };
    const int before = frames();
    RunFrames(m, 50);
    if (c.startMode == 0) {
      EXPECT_EQ(frames() - before, 50) << "one interrupt accepted per frame";
      EXPECT_EQ(m.Mem.Port7FFD, 0x30);
    }
    const std::string screen = ScreenText(m);
    EXPECT_NE(screen.find(c.text), std::string::npos) << screen;
  }
}

// The emulation thread's fast loop must be the ordinary step loop, only faster: the same
// registers, memory and picture after a boot with interrupts, paging and screen output.
TEST(RunWhileTest, BootsExactlyAsTheStepLoopDoes) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/48.rom");
  // The thread's loop, and the headless runner's loop without a PC to watch.
  Machine stepped{3}, fast{3}, counted{3};
  for (Machine* m : {&stepped, &fast, &counted}) {
    LoadRomPage(rom, 0, m->Mem.Rom48k());
    m->State.NormalSpeed = false;
    m->State.StartMode = 0;
    m->ResetMachine();
  }
  RunFrames(stepped, 120);
  RunLoop loop(fast);
  loop.PresentEveryFrame = true;
  const std::atomic<bool> running{true};
  loop.RunWhile(running, 120);
  RunLoop runner(counted);
  runner.PresentEveryFrame = true;
  EXPECT_EQ(runner.RunFrames(120, std::nullopt, nullptr).Frames, 120u);
  counted.ProcessorStep();  // it stops before the step that follows the frame end
  for (const Machine* m : {&fast, &counted}) {
    const Z80Registers &a = stepped.State.Regs, &b = m->State.Regs;
    EXPECT_EQ(std::vector<uint32_t>({a.PC, a.SP, a.AF.Get(), a.HL.Get(), a.Tackts, a.ReadR()}),
              std::vector<uint32_t>({b.PC, b.SP, b.AF.Get(), b.HL.Get(), b.Tackts, b.ReadR()}));
    for (int bank : {5, 2, 0}) {
      EXPECT_EQ(0, std::memcmp(stepped.Mem.Bank(bank), m->Mem.Bank(bank), Memory::kBankSize))
          << "bank " << bank;
    }
    for (int y = 0; y < kNativeHeight; ++y) {
      ASSERT_EQ(0, std::memcmp(stepped.Screen.Row(y), m->Screen.Row(y), kNativeWidth)) << y;
    }
  }
  // A cleared flag stops the loop after one step, as the thread's loop always did.
  const std::atomic<bool> stopped{false};
  const uint32_t frames = fast.State.FrameCount;
  loop.RunWhile(stopped);
  EXPECT_EQ(fast.State.FrameCount, frames);
}

}  // namespace
}  // namespace vantrel
