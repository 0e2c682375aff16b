// Real tapes through the real ROM loader: the autoload's typing, the tape deck, the
// processor and the frame loop have to work together for a program to start. The
// desktop's "Load Tape && Run" starts its typing through the same StartAutoLoad.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "MachineFixture.h"
#include "TestData.h"
#include "app/AutoLoad.h"
#include "machine/RunLoop.h"
#include "media/FileTypes.h"
#include "media/SnapshotLoader.h"

namespace vantrel {
namespace {

// A machine on the Pentagon ROMs (pages: 128K menu, 48K BASIC, TR-DOS), unpaced.
std::unique_ptr<Machine> PentagonMachine(const std::filesystem::path& roms) {
  auto m = std::make_unique<Machine>(3);
  m->State.NormalSpeed = false;
  uint8_t* pages[] = {m->Mem.Rom128k(), m->Mem.Rom48k(), m->Mem.RomDOS()};
  for (int page = 0; page < 3; ++page) EXPECT_TRUE(test::LoadRomPage(roms, page, pages[page]));
  m->SetTrDosEnabled(true);
  return m;
}

// A machine on the free OpenSE BASIC pair: a 128K stub that starts it, and the BASIC.
std::unique_ptr<Machine> OpenSeMachine(const std::filesystem::path& stub,
                                       const std::filesystem::path& basic) {
  auto m = std::make_unique<Machine>(3);
  m->State.NormalSpeed = false;
  EXPECT_TRUE(test::LoadRomPage(stub, 0, m->Mem.Rom128k()));
  EXPECT_TRUE(test::LoadRomPage(basic, 0, m->Mem.Rom48k()));
  return m;
}

// Each program's own code is reached at the address its BASIC loader calls (found in the
// tapes' headers and BASIC), within a bound of about twice the tape's playing time. The
// snapshot waits in the ROM's loader: its tape is inserted afterwards and played by hand.
TEST(TapeRun, AutoloadedTapesStartTheirPrograms) {
  struct Case {
    const char* tape;
    uint8_t mode;  // the user's start mode; a tape autoload leaves TR-DOS out
    uint32_t firstBlock;
    uint16_t start;
    uint32_t frames;
    const char* snapshot = nullptr;
    bool opense = false;  // the free ROMs, which spell keywords out and have no menu
  };
  const Case cases[] = {
      {"software/nirvana.tap", 0, 0, 32768, 9000},
      {"software/SHOCK.TAP", 0, 0, 25500, 8000},
      // The first program is a help text that waits for keys: the demo is block 2 on.
      {"software/ECHOLOGI.TAP", 0, 2, 24576, 12000},
      {"software/BorderTrix.tap", kStart128k, 0, 49102, 6000},
      {"software/DreamWalker48.tzx", 0, 0, 38680, 24000},
      {"z80-zex-spectrum/z80tests.tap", kStartTrDos | kStart128k, 0, 32768, 5000},
      {"software/nirvana.tap", 0, 0, 32768, 9000, "snapshots/ld48bas.z80"},
      {"software/nirvana.tap", 0, 0, 32768, 9000, nullptr, true},
      {"software/nirvana.tap", kStart128k, 0, 32768, 9000, nullptr, true},
  };
  VANTREL_REQUIRE_TESTDATA(roms, "roms/Pentagon.Rom");
  VANTREL_REQUIRE_TESTDATA(opense, "roms/opense.rom");
  VANTREL_REQUIRE_TESTDATA(stub, "roms/opense-stub.rom");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.snapshot ? c.snapshot : c.tape) + (c.opense ? " on OpenSE" : ""));
    VANTREL_REQUIRE_TESTDATA(tape, c.tape);
    auto m = c.opense ? OpenSeMachine(stub, opense) : PentagonMachine(roms);
    RunLoop loop(*m);
    m->State.StartMode = c.mode;
    AutoLoadTyper typer;
    if (c.snapshot) {
      VANTREL_REQUIRE_TESTDATA(snapshot, c.snapshot);
      LoadZ80(*m, test::ReadBytes(snapshot));
      FindFileType(c.tape)->Load(*m, test::ReadBytes(tape));
      m->Tape.PlayTape();
    } else {
      FindFileType(c.tape)->Load(*m, test::ReadBytes(tape));
      m->Tape.SetCurrentBlock(c.firstBlock);
      typer = StartAutoLoad(*m, c.mode, AutoLoadMedia::Tape);
      loop.FrameTask = [&] { return typer.FrameEnd(*m); };
    }
    const RunLoop::FramesRun run = loop.RunFrames(c.frames, c.start, nullptr);
    EXPECT_TRUE(run.PcReached) << "stopped at PC " << m->State.Regs.PC << ", block "
                               << m->Tape.CurrentBlock();
    EXPECT_EQ(m->State.StartMode, c.mode) << "the user's mode stays for the next reset";
  }
}

// A ROM that never counts FRAMES gets no keys: the typer gives up rather than type later.
// A disk gets none either: TR-DOS boots it.
TEST(TapeRun, TheTyperGivesUpOnAMachineThatNeverGetsReady) {
  Machine m(1);
  AutoLoadTyper typer(AutoLoadMedia::Tape);
  int calls = 0;
  while (typer.FrameEnd(m) && calls < 100000) ++calls;
  EXPECT_LT(calls, 100000);
  EXPECT_EQ(m.Keys.PressedCount(), 0);
  AutoLoadTyper disk(AutoLoadMedia::Disk);
  EXPECT_FALSE(disk.FrameEnd(m));
  EXPECT_FALSE(m.Tape.Playing());
}

// Counts the loop's waits for the sound card, each over at once.
class CountingOutput final : public SoundOutput {
 public:
  bool Active() const override { return true; }
  void WriteBlock(uint32_t offset, std::span<const int16_t>) override {
    end_ = (offset + kSoundBlockSize) % kSoundBufferSize;
  }
  uint32_t PlayPosition() const override { return ++Polls, end_; }
  void Start() override {}
  void Stop() override {}
  mutable int Polls = 0;

 private:
  uint32_t end_ = 0;
};

TEST(TapeRun, FastLoadingSkipsThePacingOnlyWhileTheTapePlays) {
  struct Case {
    bool fast, playing, waits;
  };
  const Case cases[] = {{true, true, false}, {false, true, true}, {true, false, true}};
  for (const Case& c : cases) {
    Machine m(1);
    test::MakeIdle(m);
    m.State.NormalSpeed = true;
    RunLoop loop(m);
    CountingOutput output;
    loop.Output = &output;
    loop.FastTapeLoading = c.fast;
    m.Tape.InsertTape(ReadTap({3, 0, 0xFF, 0xAA, 0x55}, BlockInfoMode::Hexadecimal));
    if (c.playing) m.Tape.PlayTape();
    loop.RunFrames(3, std::nullopt, nullptr);
    EXPECT_EQ(output.Polls > 0, c.waits) << "fast " << c.fast << ", playing " << c.playing;
  }
}

}  // namespace
}  // namespace vantrel
