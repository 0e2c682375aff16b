// Boots the real ROMs on the whole machine: reset, interrupts, paging and the frame loop
// have to work together for these to pass.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "TestData.h"
#include "machine/Machine.h"
#include "machine/RunLoop.h"

namespace vantrel {
namespace {

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Copies 16 KB page `page` of `file` into a ROM buffer.
void LoadPage(const std::filesystem::path& file, int page, uint8_t* rom) {
  const std::vector<uint8_t> data = ReadFile(file);
  ASSERT_GE(data.size(), static_cast<size_t>(page + 1) * Memory::kRomSize) << file;
  std::memcpy(rom, data.data() + page * Memory::kRomSize, Memory::kRomSize);
}

void RunFrames(Machine& m, uint32_t frames) {
  const uint32_t end = m.State.FrameCount + frames;
  while (m.State.FrameCount != end) m.ProcessorStep();
}

// Reads text row `row` (0-23) of the displayed screen by matching each character cell
// against the 48K ROM's character set; inverse cells are read too. '?' where no match.
std::string ScreenText(Machine& m, int row) {
  const uint8_t* font = m.Mem.Rom48k() + 0x3D00;  // characters 0x20-0x7F
  const uint8_t* screen = m.Mem.Bank(m.Mem.ScreenBank);
  std::string text;
  for (int column = 0; column < 32; ++column) {
    uint8_t cell[8];
    for (int line = 0; line < 8; ++line) {
      cell[line] = screen[((row & 0x18) << 8) | (line << 8) | ((row & 7) << 5) | column];
    }
    char found = '?';
    for (int ch = 0; ch < 96 && found == '?'; ++ch) {
      bool normal = true, inverse = true;
      for (int line = 0; line < 8; ++line) {
        normal &= cell[line] == font[ch * 8 + line];
        inverse &= cell[line] == static_cast<uint8_t>(~font[ch * 8 + line]);
      }
      if (normal || inverse) found = ch == 0x5F ? '@' : static_cast<char>(0x20 + ch);
    }
    text += found;
  }
  return text;
}

std::string WholeScreenText(Machine& m) {
  std::string text;
  for (int row = 0; row < 24; ++row) text += ScreenText(m, row) + "\n";
  return text;
}

class RomBoot : public testing::Test {
 protected:
  void SetUp() override { m.State.NormalSpeed = false; }  // unpaced
  Machine m{7};
};

TEST_F(RomBoot, Spectrum48kReachesBasicAndCountsFrames) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/48.rom");
  LoadPage(rom, 0, m.Mem.Rom48k());
  m.State.StartMode = 0;
  m.ResetMachine();
  RunFrames(m, 200);
  // FRAMES (0x5C78, three bytes) is counted by the ROM's interrupt handler.
  auto frames = [&] { return m.Mem.PeekWord(0x5C78) | (m.Mem.PeekByte(0x5C7A) << 16); };
  const int before = frames();
  RunFrames(m, 50);
  EXPECT_EQ(frames() - before, 50) << "one interrupt accepted per frame";
  EXPECT_NE(ScreenText(m, 23).find("1982 Sinclair Research Ltd"), std::string::npos)
      << WholeScreenText(m);
  EXPECT_EQ(m.Mem.Port7FFD, 0x30);
}

TEST_F(RomBoot, Spectrum128kShowsItsMenu) {
  VANTREL_REQUIRE_TESTDATA(rom0, "roms/128-0.rom");
  VANTREL_REQUIRE_TESTDATA(rom1, "roms/128-1.rom");
  LoadPage(rom0, 0, m.Mem.Rom128k());
  LoadPage(rom1, 0, m.Mem.Rom48k());
  m.State.StartMode = 2;
  m.ResetMachine();
  RunFrames(m, 250);
  const std::string screen = WholeScreenText(m);
  EXPECT_NE(screen.find("128 BASIC"), std::string::npos) << screen;
  EXPECT_NE(screen.find("Tape Loader"), std::string::npos) << screen;
}

TEST_F(RomBoot, PentagonRomPagesBootTheDefaultLayout) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  LoadPage(rom, 1, m.Mem.Rom48k());
  LoadPage(rom, 0, m.Mem.Rom128k());
  LoadPage(rom, 2, m.Mem.RomDOS());
  m.SetTrDosEnabled(true);
  m.State.StartMode = 2;
  m.ResetMachine();
  RunFrames(m, 250);
  const std::string screen = WholeScreenText(m);
  EXPECT_NE(screen.find("128"), std::string::npos) << screen;
  // Its 48K BASIC page on its own reaches the copyright line.
  Machine basic(7);
  basic.State.NormalSpeed = false;
  LoadPage(rom, 1, basic.Mem.Rom48k());
  basic.State.StartMode = 0;
  basic.ResetMachine();
  RunFrames(basic, 200);
  EXPECT_NE(ScreenText(basic, 23).find("Sinclair Research"), std::string::npos)
      << WholeScreenText(basic);
}

TEST_F(RomBoot, TrDosWith128kStartsInTheTrDosRom) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  LoadPage(rom, 1, m.Mem.Rom48k());
  LoadPage(rom, 0, m.Mem.Rom128k());
  LoadPage(rom, 2, m.Mem.RomDOS());
  m.SetTrDosEnabled(true);
  m.State.StartMode = 3;
  m.ResetMachine();
  EXPECT_TRUE(m.Mem.DosActive);
  EXPECT_EQ(m.Mem.Port7FFD, 0x10);
  EXPECT_EQ(m.Mem.PeekByte(0), m.Mem.RomDOS()[0]);
  // The first instructions run from the TR-DOS ROM, which keeps itself paged in while
  // it runs below 0x4000.
  for (int i = 0; i < 20; ++i) m.ProcessorStep();
  EXPECT_TRUE(m.Mem.DosActive);
  RunFrames(m, 100);  // and the machine keeps running whatever TR-DOS does next
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

// The emulation thread's fast loop must be the ordinary step loop, only faster: the same
// registers, memory and picture after a boot with interrupts, paging and screen output.
TEST(RunWhileTest, BootsExactlyAsTheStepLoopDoes) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/48.rom");
  Machine stepped{3};
  Machine fast{3};
  for (Machine* m : {&stepped, &fast}) {
    LoadPage(rom, 0, m->Mem.Rom48k());
    m->State.NormalSpeed = false;
    m->State.StartMode = 0;
    m->ResetMachine();
  }
  while (stepped.State.FrameCount != 120) stepped.ProcessorStep();
  RunLoop fastLoop(fast);
  fastLoop.PresentEveryFrame = true;
  const std::atomic<bool> running{true};
  fastLoop.RunWhile(running, 120);
  const Z80Registers& a = stepped.State.Regs;
  const Z80Registers& b = fast.State.Regs;
  EXPECT_EQ(a.PC, b.PC);
  EXPECT_EQ(a.SP, b.SP);
  EXPECT_EQ(a.AF.Get(), b.AF.Get());
  EXPECT_EQ(a.HL.Get(), b.HL.Get());
  EXPECT_EQ(a.Tackts, b.Tackts);
  EXPECT_EQ(a.ReadR(), b.ReadR());
  for (int bank : {5, 2, 0}) {
    EXPECT_EQ(0, std::memcmp(stepped.Mem.Bank(bank), fast.Mem.Bank(bank), Memory::kBankSize))
        << "bank " << bank;
  }
  for (int y = 0; y < kNativeHeight; ++y) {
    ASSERT_EQ(0, std::memcmp(stepped.Screen.Row(y), fast.Screen.Row(y), kNativeWidth)) << y;
  }
  // A cleared flag stops the loop after one step, as the thread's loop always did.
  const std::atomic<bool> stopped{false};
  const uint32_t frames = fast.State.FrameCount;
  fastLoop.RunWhile(stopped);
  EXPECT_EQ(fast.State.FrameCount, frames);
}

}  // namespace
}  // namespace vantrel
