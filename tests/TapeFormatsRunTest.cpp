// Recorded tapes made from a TAP load through the ROM's loader in vantrel-run: the sound
// of a played load saved as WAV, and a CSW and a PZX written by the tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunnerFixture.h"
#include "TapeWriters.h"
#include "TestData.h"

namespace vantrel {
namespace {

using Bytes = std::vector<uint8_t>;

class TapeFormatsRunTest : public test::RunnerFixture {};

TEST_F(TapeFormatsRunTest, WavCswAndPzxOfATapLoadItsProgram) {
  if (rom48_.empty()) GTEST_SKIP() << "test data not found: roms/48.rom";
  // A BASIC loader and 760 bytes of code at 32768, which it calls.
  VANTREL_REQUIRE_TESTDATA(tapeFile, "z80-misc/ccffrm.tap");
  const Bytes tap = test::ReadBytes(tapeFile);
  const std::vector<test::TapeBytes> blocks = test::TapBlocks(tap);
  ASSERT_EQ(blocks.size(), 4u);
  const Bytes code(blocks[3].begin() + 1, blocks[3].end() - 1);
  const std::string load = "--rom48 $ROM --mode 48 --autoload --frames 4000 --until-pc 32768 ";

  // The sound of the whole load, run on past its end (about 1200 frames): a run stopped by
  // --until-pc ends inside a frame whose samples the WAV never gets.
  const test::RunResult played =
      Run("--rom48 $ROM --mode 48 --autoload --no-instant-load --frames 1500 --wav "
          "$D/played.wav " +
          tapeFile.string());
  ASSERT_EQ(played.Status, 0) << played.Err;
  test::WriteBytes(dir_.path() / "tape.csw",
                   test::CswFile(test::TapPulses(tap, 3500000), 44100, 2, true));
  test::WriteBytes(dir_.path() / "tape.pzx", test::PzxFile(tap, 3500000));
  for (const char* name : {"played.wav", "tape.csw", "tape.pzx"}) {
    SCOPED_TRACE(name);
    const test::RunResult run = Run(load + "--save-sna $D/after.sna $D/" + name);
    ASSERT_EQ(run.Status, 0) << run.Err;
    // A 48K SNA: a 27-byte header, then the memory from 16384.
    const Bytes sna = test::ReadBytes(dir_.path() / "after.sna");
    ASSERT_EQ(sna.size(), 27u + 49152);
    EXPECT_TRUE(std::equal(code.begin(), code.end(), sna.begin() + 27 + 32768 - 16384));
  }
}

}  // namespace
}  // namespace vantrel
