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

}  // namespace
}  // namespace vantrel
