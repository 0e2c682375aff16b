// Instant loading against playing: the ROM's byte loader must leave the same bytes,
// registers, stack and tape position whether the block came through the EAR bit or
// straight from the tape. Only the time differs (the T-state, FRAMES and R).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MachineFixture.h"
#include "TestData.h"
#include "app/AutoLoad.h"
#include "machine/RomLoaderTrap.h"
#include "machine/RunLoop.h"
#include "media/FileTypes.h"

namespace vantrel {
namespace {

constexpr uint16_t kLoadBytes = 0x0556;   // LD-BYTES
constexpr uint16_t kLoaderExit = 0x053F;  // where it returns
constexpr uint16_t kFirstEdgeCall = 0x056C;

// Everything the loader leaves but the time: registers and the whole RAM.
struct LoaderExit {
  std::vector<long long> Registers;
  std::vector<uint8_t> Ram;
  bool operator==(const LoaderExit&) const = default;
};

std::vector<long long> RegistersOf(const Machine& m) {
  const Z80Registers& r = m.State.Regs;
  return test::Ints(r.AF.Get(), r.BC.Get(), r.DE.Get(), r.HL.Get(), r.IX.Get(), r.IY.Get(), r.SP,
                    r.PC, r.AltAF, r.AltBC, r.AltDE, r.AltHL, r.I, r.IM, r.IFF1, r.IFF2,
                    m.Ports.PortFE, m.Tape.CurrentBlock(), m.Tape.Playing(), m.Tape.EarLevel());
}

// A TAP block: flag, bytes and the parity byte that makes the XOR of all of them zero,
// spoilt on request.
std::vector<uint8_t> TapBlock(uint8_t flag, const std::vector<uint8_t>& bytes,
                              bool badParity = false) {
  std::vector<uint8_t> block = {flag};
  block.insert(block.end(), bytes.begin(), bytes.end());
  uint8_t parity = 0;
  for (uint8_t byte : block) parity ^= byte;
  block.push_back(static_cast<uint8_t>(parity ^ (badParity ? 0x01 : 0x00)));
  const auto length = static_cast<uint16_t>(block.size());
  block.insert(block.begin(), {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)});
  return block;
}

std::unique_ptr<Machine> MachineOn(const std::filesystem::path& rom, bool instant) {
  auto m = std::make_unique<Machine>(5);
  m->State.NormalSpeed = false;
  EXPECT_TRUE(test::LoadRomPage(rom, 0, m->Mem.Rom48k()));
  m->State.StartMode = 0;
  m->ResetMachine();
  m->Tape.SetInstantLoading(instant);
  return m;
}

// Calls LD-BYTES as a program would (A the flag, carry set to load, DE bytes to IX) and
// steps until it returns.
LoaderExit CallLoader(const std::filesystem::path& rom, bool instant,
                      const std::vector<uint8_t>& tap, uint8_t flag, bool load, uint16_t length,
                      const std::vector<uint8_t>& atDestination, uint32_t playedBefore) {
  auto m = MachineOn(rom, instant);
  Z80Registers& r = m->State.Regs;
  for (size_t i = 0; i < atDestination.size(); ++i) {
    m->Mem.PokeByte(static_cast<uint16_t>(0x8000 + i), atDestination[i]);
  }
  m->Tape.InsertTape(ReadTap(tap, BlockInfoMode::None));
  if (playedBefore > 0) {
    // The tape has been playing for a while (JR $ with interrupts off) when the loader
    // starts: its pilot is under way.
    m->Tape.PlayTape();
    test::Load(*m, 0x9100, {0x18, 0xFE});
    const uint64_t start = uint64_t{m->State.FrameCount} * m->State.TacktsPerInt + r.Tackts;
    while (uint64_t{m->State.FrameCount} * m->State.TacktsPerInt + r.Tackts - start < playedBefore)
      m->ProcessorStep();
  }
  r.SP = 0xF000;
  m->Mem.PokeWord(0xF000, 0x9000);
  r.AF.Set(static_cast<uint16_t>(flag << 8 | (load ? 0x01 : 0x00)));
  r.AltAF = 0x1234;
  r.DE.Set(length);
  r.IX.Set(0x8000);
  r.HL.Set(0x5555);
  r.PC = kLoadBytes;
  const uint32_t frames = m->State.FrameCount + 600;
  while (r.PC != kLoaderExit && m->State.FrameCount < frames) m->ProcessorStep();
  EXPECT_EQ(r.PC, kLoaderExit);
  LoaderExit exit{RegistersOf(*m), {}};
  for (uint32_t at = 0x4000; at < 0x10000; ++at) {
    exit.Ram.push_back(m->Mem.PeekByte(static_cast<uint16_t>(at)));
  }
  return exit;
}

// Every way out of the loader, on both ROMs that have it.
TEST(InstantLoad, LoaderCallsEndAsWhenPlayed) {
  const std::vector<uint8_t> header = {0,   'x', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                       ' ', ' ', 5,   0,   10,  0,   5,   0};
  const std::vector<uint8_t> five = {1, 2, 3, 4, 0xFF};
  std::vector<uint8_t> twoTaps = TapBlock(0xFF, five);
  const std::vector<uint8_t> second = TapBlock(0xFF, {9, 8});
  twoTaps.insert(twoTaps.end(), second.begin(), second.end());
  std::vector<uint8_t> emptyFirst = {0, 0};
  emptyFirst.insert(emptyFirst.end(), second.begin(), second.end());
  struct Case {
    const char* name;
    std::vector<uint8_t> tap;
    uint8_t flag;
    bool load;
    uint16_t length;
    std::vector<uint8_t> atDestination;
    uint32_t playedBefore = 0;  // T-states
  };
  const Case cases[] = {
      {"header", TapBlock(0x00, header), 0x00, true, 17, {}},
      {"data, then another block", twoTaps, 0xFF, true, 5, {}},
      {"the flag of another block", TapBlock(0xFF, five), 0x00, true, 5, {}},
      {"verified", TapBlock(0xFF, five), 0xFF, false, 5, five},
      {"verified, differs", TapBlock(0xFF, five), 0xFF, false, 5, {1, 2, 7}},
      {"block too short", TapBlock(0xFF, five), 0xFF, true, 9, {}},
      {"block too long", TapBlock(0xFF, five), 0xFF, true, 3, {}},
      {"bad parity", TapBlock(0xFF, five, true), 0xFF, true, 5, {}},
      {"no bytes asked", TapBlock(0xFF, five), 0xFF, true, 0, {}},
      {"empty block", emptyFirst, 0xFF, true, 5, {}},
      // An even and an odd number of pilot periods left: the level after the block differs.
      {"header, pilot under way", TapBlock(0x00, header), 0x00, true, 17, {}, 100000},
      {"header, pilot under way, one period on",
       TapBlock(0x00, header),
       0x00,
       true,
       17,
       {},
       102168},
  };
  for (const char* rom : {"roms/48.rom", "roms/opense.rom"}) {
    VANTREL_REQUIRE_TESTDATA(path, rom);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(rom) + ": " + c.name);
      const LoaderExit played =
          CallLoader(path, false, c.tap, c.flag, c.load, c.length, c.atDestination, c.playedBefore);
      const LoaderExit instant =
          CallLoader(path, true, c.tap, c.flag, c.load, c.length, c.atDestination, c.playedBefore);
      EXPECT_EQ(instant.Registers, played.Registers);
      EXPECT_TRUE(instant.Ram == played.Ram) << "RAM differs";
    }
  }
}

// The trap waits for the loader's first edge call and gives up on a loader it does not
// know or that PC has left.
TEST(InstantLoad, TrapWaitsForTheKnownLoaderOnly) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/48.rom");
  auto m = MachineOn(rom, true);
  m->Tape.InsertTape(ReadTap(TapBlock(0xFF, {1, 2}), BlockInfoMode::None));
  struct Case {
    uint16_t pc;
    bool patched;
    TapePlayer::TrapResult result;
  };
  const Case cases[] = {{0x055A, false, TapePlayer::TrapResult::Waiting},
                        {0x05F0, false, TapePlayer::TrapResult::Waiting},
                        {0x0605, false, TapePlayer::TrapResult::Abandoned},
                        {0x0555, false, TapePlayer::TrapResult::Abandoned},
                        {kFirstEdgeCall, true, TapePlayer::TrapResult::Abandoned}};
  for (const Case& c : cases) {
    m->State.Regs.PC = c.pc;
    m->Mem.Rom48k()[0x05A0] = c.patched ? 0x00 : 0xEE;
    EXPECT_EQ(LoadAtRomLoader(*m), c.result) << c.pc;
  }
  // Abandoned, the block plays after all.
  m->Mem.Rom48k()[0x05A0] = 0x00;
  m->State.Regs.PC = 0x0559;
  m->Cpu.Step();  // DI: the tape starts
  EXPECT_TRUE(m->Tape.Playing());
  m->State.Regs.PC = kFirstEdgeCall;
  m->Tape.AdvanceTo(m->State.Regs.Tackts + 1);
  EXPECT_EQ(m->Tape.State(), TapePlayer::PilotTone);
}

// What every call of the loader left, the loaded bytes with it, up to `loads` calls.
std::vector<LoaderExit> LoadTape(const std::filesystem::path& roms, int romPage,
                                 const std::filesystem::path& tape, uint8_t mode,
                                 uint32_t firstBlock, size_t loads, uint32_t frames, bool instant,
                                 uint32_t* framesRun) {
  auto m = std::make_unique<Machine>(3);
  m->State.NormalSpeed = false;
  if (romPage < 0) {
    EXPECT_TRUE(test::LoadRomPage(roms, 0, m->Mem.Rom48k()));
  } else {
    uint8_t* pages[] = {m->Mem.Rom128k(), m->Mem.Rom48k()};
    for (int page = 0; page < 2; ++page) EXPECT_TRUE(test::LoadRomPage(roms, page, pages[page]));
  }
  m->Tape.SetInstantLoading(instant);
  RunLoop loop(*m);
  FindFileType(tape.string())->Load(*m, test::ReadBytes(tape));
  m->Tape.SetCurrentBlock(firstBlock);
  AutoLoadTyper typer = StartAutoLoad(*m, mode, AutoLoadMedia::Tape);
  loop.FrameTask = [&] { return typer.FrameEnd(*m); };
  std::vector<LoaderExit> exits;
  Z80Registers& r = m->State.Regs;
  uint16_t from = 0;
  const uint32_t end = m->State.FrameCount + frames;
  while (exits.size() < loads && m->State.FrameCount < end) {
    m->ProcessorStep();
    if (r.PC == kLoadBytes) from = r.IX.Get();
    if (r.PC != kLoaderExit) continue;
    LoaderExit exit{RegistersOf(*m), {}};
    for (uint16_t at = from; at != r.IX.Get(); ++at) exit.Ram.push_back(m->Mem.PeekByte(at));
    exits.push_back(std::move(exit));
  }
  *framesRun = m->State.FrameCount - (end - frames);
  return exits;
}

// Every shared tape of standard blocks, through the autoload on the 48K and 128K ROMs and
// on OpenSE BASIC: each loader call ends as when the tape plays.
TEST(InstantLoad, SharedTapesLoadAsWhenPlayed) {
  struct Case {
    const char* tape;
    uint8_t mode;
    uint32_t firstBlock;
    size_t loads;  // the loader calls the tape's program makes
    uint32_t frames;
    const char* roms = "roms/pentagon128.rom";
    int page = 0;  // -1: a 48K ROM alone
  };
  const Case cases[] = {
      {"software/nirvana.tap", 0, 0, 4, 9000},
      {"software/DreamWalker48.tzx", 0, 0, 4, 24000, "roms/48.rom", -1},
      {"software/SHOCK.TAP", kStart128k, 0, 4, 8000},
      {"software/ECHOLOGI.TAP", 0, 2, 4, 12000},
      {"software/BorderTrix.tap", kStart128k, 0, 4, 6000},
      {"z80-zex-spectrum/z80tests.tap", 0, 0, 4, 5000},
      {"z80-zex-spectrum/zexdoc.tap", 0, 0, 4, 5000},
      {"z80-misc/ccffrm.tap", 0, 0, 2, 3000},
      {"z80-misc/int_skip.tap", 0, 0, 2, 3000},
      {"z80-misc/z80bltst.tap", 0, 0, 2, 3000},
      {"software/nirvana.tap", 0, 0, 4, 9000, "roms/opense.rom", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tape) + " on " + c.roms);
    VANTREL_REQUIRE_TESTDATA(roms, c.roms);
    VANTREL_REQUIRE_TESTDATA(tape, c.tape);
    uint32_t playedFrames = 0, instantFrames = 0;
    const auto played =
        LoadTape(roms, c.page, tape, c.mode, c.firstBlock, c.loads, c.frames, false, &playedFrames);
    const auto instant =
        LoadTape(roms, c.page, tape, c.mode, c.firstBlock, c.loads, c.frames, true, &instantFrames);
    // The start-up and the typing take as long; the blocks take no time.
    EXPECT_LT(instantFrames + 100 * c.loads, playedFrames) << instantFrames << " " << playedFrames;
    EXPECT_EQ(played.size(), c.loads);
    ASSERT_EQ(instant.size(), played.size());
    for (size_t i = 0; i < played.size(); ++i) {
      EXPECT_EQ(instant[i].Registers, played[i].Registers) << "call " << i;
      EXPECT_TRUE(instant[i].Ram == played[i].Ram) << "call " << i << ": loaded bytes differ";
    }
  }
}

}  // namespace
}  // namespace vantrel
