// Timing self-tests written for the Sinclair 48K, loaded by the 48K ROM's own loader and
// run in the 48K timing: what they print, and what they draw where.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "MachineFixture.h"
#include "TestData.h"
#include "app/AutoLoad.h"
#include "machine/RunLoop.h"
#include "media/FileTypes.h"

namespace vantrel {
namespace {

// The 48K ROM in the 48K timing, the tape typed in with LOAD "" and run for `frames`.
std::unique_ptr<Machine> RunTape(const std::filesystem::path& rom,
                                 const std::filesystem::path& tape, uint32_t frames) {
  auto m = std::make_unique<Machine>(5);
  m->State.NormalSpeed = false;
  EXPECT_TRUE(test::LoadRomPage(rom, 0, m->Mem.Rom48k()));
  m->State.StartMode = 0;
  m->SetTimingChoice(TimingChoice::Sinclair48, kDefaultTacktsPerInt);
  m->ResetMachine();
  RunLoop loop(*m);
  FindFileType(tape.string())->Load(*m, test::ReadBytes(tape));
  AutoLoadTyper typer = StartAutoLoad(*m, 0, AutoLoadMedia::Tape);
  loop.FrameTask = [&] { return typer.FrameEnd(*m); };
  loop.RunFrames(frames, std::nullopt, nullptr);
  return m;
}

size_t Count(const std::string& text, const std::string& word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

// Fuse's test program prints a verdict per test: with contention, the floating bus and
// the I/O timing in place none fails.
TEST(TimingTape, FuseTestPassesEveryTest) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/48.rom");
  VANTREL_REQUIRE_TESTDATA(tape, "timing-48k/fusetest.tap");
  auto m = RunTape(rom, tape, 3000);
  const std::string text = test::ScreenText(*m);
  EXPECT_EQ(Count(text, "failed"), 0u) << text;
  EXPECT_GE(Count(text, "passed"), 5u) << text;
}

// ULA test 3 reads an unattached port at successive T-states around the first paper
// fetch and prints what it got: the bitmap and attribute bytes it set up, between #FFs.
TEST(TimingTape, UlaTest3ReadsTheScreenOffTheFloatingBus) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/48.rom");
  VANTREL_REQUIRE_TESTDATA(tape, "timing-48k/ulatest3-orig.tap");
  auto m = RunTape(rom, tape, 2000);
  const std::string text = test::ScreenText(*m);
  EXPECT_NE(text.find("00 40 01 41"), std::string::npos) << text;
  EXPECT_NE(text.find("0C"), std::string::npos) << text;
}

// The index of the first pixel of `colour` in native row `y`, or -1.
int FirstPixel(const Machine& m, int y, uint8_t colour) {
  const uint8_t* row = m.Screen.Row(y);
  for (int x = 0; x < kNativeWidth; ++x) {
    if (row[x] == m.Screen.ColourIndices()[colour]) return x;
  }
  return -1;
}

// The border and screen adjusters at their start settings. The border test's OUT falls at
// T-state 14112 of the line above the paper (its "14112 + 224"): the ULA takes the colour
// at its next 4-T-state step, 14114, the T-state of the paper's left edge on that line
// (14338 - 224), so the red stripe starts above the paper's first pixel. The screen test
// writes the first bitmap byte at 14335, before the ULA fetches it at 14338: the cell's
// first line shows the new byte, the lines below do not.
TEST(TimingTape, AdjustersPlaceTheirStripesByTheUlaTiming) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/48.rom");
  VANTREL_REQUIRE_TESTDATA(btime, "timing-48k/btime-orig.tap");
  VANTREL_REQUIRE_TESTDATA(stime, "timing-48k/stime-orig.tap");
  constexpr uint8_t kRed = 2;
  auto border = RunTape(rom, btime, 2000);
  EXPECT_NE(test::ScreenText(*border).find("14112 + 224 = 14336"), std::string::npos);
  EXPECT_EQ(FirstPixel(*border, kPaperTop - 1, kRed), kPaperLeft);
  EXPECT_EQ(FirstPixel(*border, kPaperTop - 2, kRed), -1);
  auto screen = RunTape(rom, stime, 2000);
  EXPECT_NE(test::ScreenText(*screen).find("14335"), std::string::npos);
  EXPECT_EQ(FirstPixel(*screen, kPaperTop, kRed), kPaperLeft);
  EXPECT_EQ(FirstPixel(*screen, kPaperTop + 1, kRed), -1);
}

}  // namespace
}  // namespace vantrel
