#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "TempDir.h"
#include "TestData.h"
#include "machine/Machine.h"
#include "media/FileTypes.h"
#include "media/SnapshotLoader.h"
#include "media/SnapshotSaver.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
constexpr size_t kBank = Memory::kBankSize;

using test::ReadBytes;
using test::WriteBytes;

// Everything a snapshot carries, for comparing two machines.
std::vector<uint32_t> Registers(const Machine& m) {
  const Z80Registers& r = m.State.Regs;
  return {r.I,        r.AltHL,    r.AltDE,    r.AltBC,    r.AltAF, r.HL.Get(),
          r.DE.Get(), r.BC.Get(), r.IY.Get(), r.IX.Get(), r.IFF1,  r.IFF2,
          r.ReadR(),  r.AF.Get(), r.SP,       r.IM,       r.PC};
}

Bytes Ram(const Machine& m, std::initializer_list<int> banks = {0, 1, 2, 3, 4, 5, 6, 7}) {
  Bytes out;
  for (int bank : banks) out.insert(out.end(), m.Mem.Bank(bank), m.Mem.Bank(bank) + kBank);
  return out;
}

void Fill(Machine& m, int bank, uint8_t value) {
  std::memset(m.Mem.Bank(bank), value, kBank);
}

template <typename Load>
void ExpectRefused(Load load, std::string_view message,
                   std::string_view caption = kSnapshotLoadCaption) {
  try {
    load();
    ADD_FAILURE() << "not refused";
  } catch (const SnapshotError& e) {
    EXPECT_EQ(std::string(e.what()), message);
    EXPECT_EQ(e.Caption, caption);
  }
}

// Expects `load` to be refused with `message` and to leave the machine as it was.
template <typename Load>
void ExpectRefusedUnchanged(Machine& m, std::string_view message, Load load) {
  const auto regs = Registers(m);
  const Bytes ram = Ram(m);
  const uint8_t port = m.Mem.Port7FFD, border = m.Screen.BorderColour;
  ExpectRefused(load, message);
  EXPECT_EQ(Registers(m), regs);
  EXPECT_TRUE(Ram(m) == ram);
  EXPECT_EQ(m.Mem.Port7FFD, port);
  EXPECT_EQ(m.Screen.BorderColour, border);
}

// A Z80 file of version 2 (extra header 23) or 3 (54) with the given page blocks.
struct Block {
  uint8_t page;
  Bytes data;
  int length = -1;  // the length word; -1: the data's size
};
Bytes Z80File(int version, uint8_t hardware, uint8_t port7ffd, const std::vector<Block>& blocks) {
  const uint16_t extra = version == 2 ? 23 : 54;
  Bytes f(32 + extra, 0);
  f[8] = 0x00, f[9] = 0x80;  // SP
  f[12] = 0x04;              // border 2
  f[30] = static_cast<uint8_t>(extra);
  f[32] = 0x34, f[33] = 0x12;  // PC
  f[34] = hardware;
  f[35] = port7ffd;
  for (const Block& b : blocks) {
    const int length = b.length < 0 ? static_cast<int>(b.data.size()) : b.length;
    f.push_back(static_cast<uint8_t>(length));
    f.push_back(static_cast<uint8_t>(length >> 8));
    f.push_back(b.page);
    f.insert(f.end(), b.data.begin(), b.data.end());
  }
  return f;
}
// A compressed page of one repeated byte.
Bytes PackedPage(uint8_t value) {
  Bytes d;
  for (int i = 0; i < 64; ++i) d.insert(d.end(), {0xED, 0xED, 0x00, value});  // empty runs
  for (int i = 0; i < 64; ++i) d.insert(d.end(), {0xED, 0xED, 0xFF, value});
  d.insert(d.end(), {0xED, 0xED, 64, value});
  return d;
}

TEST(SnapshotUnpack, ExpandsRunsAndKeepsStrayEdBytes) {
  struct Case {
    Bytes input;
    size_t size;
    Bytes output;
    size_t used;
  };
  const Case cases[] = {
      {{0xED, 0xED, 3, 0xAA, 0x01}, 4, {0xAA, 0xAA, 0xAA, 0x01}, 5},
      {{0xED, 0x12, 0x07}, 3, {0xED, 0x12, 0x07}, 3},           // a lone ED is itself
      {{0x01, 0x02, 0xED, 0xED}, 3, {0x01, 0x02, 0xED}, 3},     // ED in the last place
      {{0xED, 0xED, 0, 0x55, 0x07, 0x08}, 2, {0x07, 0x08}, 6},  // an empty run
      {{0x09, 0x00, 0xED, 0xED, 0x00}, 1, {0x09}, 1},           // the end marker is never read
  };
  for (const Case& c : cases) {
    Bytes out(c.size);
    EXPECT_EQ(UnpackZ80Block(c.input, out), c.used);
    EXPECT_EQ(out, c.output);
  }
  // A run past the block's end, and input that ends first, are refused; what was stored stays.
  Bytes out(3);
  EXPECT_THROW(UnpackZ80Block(Bytes{0xED, 0xED, 5, 0xAA}, out), SnapshotError);
  EXPECT_EQ(out, (Bytes{0xAA, 0xAA, 0xAA}));
  for (const Bytes& input : {Bytes{0x01}, Bytes{0xED}, Bytes{0xED, 0xED, 2}}) {
    Bytes two(2);
    EXPECT_THROW(UnpackZ80Block(input, two), SnapshotError);
  }
}

Bytes Sna48(uint16_t sp, uint8_t interrupts) {
  Bytes f(kSna48Size);
  for (size_t i = 0; i < 27; ++i) f[i] = static_cast<uint8_t>(0x10 + i);
  f[19] = interrupts;
  f[20] = 0x85;  // R with bit 7
  f[23] = static_cast<uint8_t>(sp), f[24] = static_cast<uint8_t>(sp >> 8);
  f[25] = 1;
  f[26] = 0xFD;  // border 5, the other bits ignored
  for (size_t i = 27; i < f.size(); ++i) f[i] = static_cast<uint8_t>(i * 7);
  return f;
}

TEST(SnapshotSna, Loads48kImageAndPopsPc) {
  Machine m(1);
  m.State.Regs.Tackts = 500;
  Bytes f = Sna48(0xFFFE, 0xFB);  // bit 2 clear: disabled, other bits ignored
  f[27 + 0xBFFE] = 0x34, f[27 + 0xBFFF] = 0x12;
  LoadSna(m, f);
  const Z80Registers& r = m.State.Regs;
  // SP popped from 0xFFFE, wrapping.
  EXPECT_EQ(Registers(m),
            (std::vector<uint32_t>{0x10, 0x1211, 0x1413, 0x1615, 0x1817, 0x1A19, 0x1C1B, 0x1E1D,
                                   0x201F, 0x2221, 0, 0, 0x85, 0x2625, 0x0000, 1, 0x1234}));
  EXPECT_EQ((std::vector<uint32_t>{r.Tackts, m.Screen.BorderColour, m.Screen.BorderChangeHistory,
                                   m.Mem.Port7FFD, uint32_t(m.Mem.TopBank())}),
            (std::vector<uint32_t>{0, 5, 5, 0x30, 0}));
  EXPECT_EQ(m.Mem.PeekWord(0xFFFE), 0x1234);  // the stack bytes stay

  LoadSna(m, Sna48(0x8000, 0x04));
  EXPECT_EQ(r.IFF1 & r.IFF2, 1);

  // On a model where port bit 5 selects banks, a 48K image still runs in banks 5, 2, 0.
  for (int model = 0; model < kMemoryModelCount; ++model) {
    SCOPED_TRACE(model);
    m.Mem.Model = static_cast<MemoryModel>(model);
    LoadSna(m, f);
    EXPECT_EQ(m.Mem.TopBank(), 0);
    EXPECT_TRUE(std::equal(f.begin() + 27, f.end(), Ram(m, {5, 2, 0}).begin()));
  }
}

TEST(SnapshotSna, RefusesEveryOtherSizeUnchanged) {
  Machine m(1);
  for (size_t size : {size_t{0}, size_t{27}, kSna48Size - 1, kSna48Size + 1, kSna128Size - 1,
                      kSna128LongSize + 1}) {
    const Bytes f(size, 0x11);
    ExpectRefusedUnchanged(m, kSnaFormatError, [&] { LoadSna(m, f); });
  }
}

TEST(SnapshotZ80, Version1HeaderAndCompressedImage) {
  Machine m(1);
  Bytes f = {0xA1, 0xF1, 0xC1, 0xB1, 0x61, 0x81, 0x00, 0x70, 0xFE, 0xFF, 0x3F, 0x05,
             0x2B,  // R7, border 5, compressed
             0xE1, 0xD1, 0xC2, 0xB2, 0xE2, 0xD2, 0x62, 0x82, 0xA2, 0xF2, 0xFD, 0xFD,
             0xDD, 0xDD, 0x00, 0x01, 0xFE};
  f.insert(f.end(), {0xED, 0xED, 0xFF, 0x11, 0xED, 0xED, 0x01, 0x11});  // 256 bytes of 0x11
  for (int i = 0; i < 191; ++i) f.insert(f.end(), {0xED, 0xED, 0xFF, 0x22});
  f.insert(f.end(), {0xED, 0xED, 0xBF, 0x22, 0x00, 0xED, 0xED, 0x00});  // and the end marker
  LoadZ80(m, f);
  EXPECT_EQ(Registers(m),
            (std::vector<uint32_t>{0x3F, 0x8262, 0xD2E2, 0xB2C2, 0xA2F2, 0x8161, 0xD1E1, 0xB1C1,
                                   0xFDFD, 0xDDDD, 0, 1, 0x85, 0xA1F1, 0xFFFE, 2, 0x7000}));
  EXPECT_EQ((std::vector<int>{m.Screen.BorderColour, m.Mem.Port7FFD, m.Mem.PeekByte(0x40FF),
                              m.Mem.PeekByte(0x4100), m.Mem.PeekByte(0xFFFF)}),
            (std::vector<int>{5, 0x30, 0x11, 0x22, 0x22}));

  // Uncompressed: the plain 48K follow the header; a short one is refused untouched.
  f.resize(30);
  f[12] = 0x00;
  f.resize(30 + 3 * kBank, 0x33);
  LoadZ80(m, f);
  EXPECT_EQ(m.Mem.PeekByte(0xC000), 0x33);
  f.pop_back();
  ExpectRefusedUnchanged(m, kZ80FormatError, [&] { LoadZ80(m, f); });
}

TEST(SnapshotZ80, VersionAndHardwareModeChooseTheMachine) {
  struct Case {
    int version;
    uint8_t hardware;
    bool is128k;
  };
  const Case cases[] = {{2, 0, false},    {2, 1, false},    {2, 3, true},
                        {2, 4, true},     {2, 0x80, false}, {3, 3, false},
                        {3, 0xFF, false}, {3, 4, true},     {3, 9, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "v" << c.version << " hw " << int(c.hardware));
    Machine m(1);
    LoadZ80(m, Z80File(c.version, c.hardware, 0x13,
                       {{c.is128k ? uint8_t{10} : uint8_t{5}, PackedPage(0x5A)}}));
    EXPECT_EQ((std::vector<int>{m.State.Regs.PC, m.Screen.BorderColour, m.Mem.Port7FFD,
                                m.Mem.Bank(c.is128k ? 7 : 0)[kBank - 1]}),
              (std::vector<int>{0x1234, 2, c.is128k ? 0x13 : 0x30, 0x5A}));
  }
  for (int version : {2, 3}) {
    Machine m(1);
    const Bytes f = Z80File(version, 2, 0, {{8, PackedPage(1)}});
    ExpectRefusedUnchanged(m, kZ80SamRamError, [&] { LoadZ80(m, f); });
  }
}

TEST(SnapshotZ80, PageBlocksUnknownPlainAndMissing) {
  Machine m(1);
  Fill(m, 1, 0x11);
  Fill(m, 6, 0x66);
  const Bytes plain(kBank, 0x3C);
  LoadZ80(m, Z80File(3, 4, 0x00,
                     {{0, {0xED, 0xED, 0xFF, 0x99}},  // ROM page: skipped by its length
                      {3, PackedPage(0xA0)},
                      {7, plain, 0xFFFF},     // stored without compression
                      {2, plain, 0xFFFF}}));  // an unknown plain page is passed over too
  // Banks 1 and 6 are not in the file: kept.
  EXPECT_EQ((std::vector<int>{m.Mem.Bank(0)[0], m.Mem.Bank(4)[kBank - 1], m.Mem.Bank(1)[0],
                              m.Mem.Bank(6)[0]}),
            (std::vector<int>{0xA0, 0x3C, 0x11, 0x66}));
}

TEST(SnapshotZ80, TruncatedFilesAreRefused) {
  Machine m(1);
  const Bytes whole = Z80File(3, 4, 0x01, {{3, PackedPage(0x42)}, {4, PackedPage(0x43)}});
  // Cut inside the header: refused before anything changes.
  for (size_t size : {size_t{0}, size_t{29}, size_t{31}, size_t{35}, size_t{85}}) {
    const Bytes f(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    ExpectRefusedUnchanged(m, kZ80FormatError, [&] { LoadZ80(m, f); });
  }
  // Cut inside a block header or a block's data: refused after the registers are set.
  const size_t second = 86 + 3 + PackedPage(0).size();
  for (size_t size : {second + 1, second + 2, second + 3, whole.size() - 1, size_t{100}}) {
    const Bytes f(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    SCOPED_TRACE(size);
    ExpectRefused([&] { LoadZ80(m, f); }, kZ80FormatError);
  }
  // An unknown page whose length runs past the end.
  ExpectRefused([&] { LoadZ80(m, Z80File(3, 0, 0, {{1, {1, 2, 3}, 4}})); }, kZ80FormatError);
}

// The shared snapshots the other tests do not load.
TEST(SnapshotFiles, RealSnapshotsLoad) {
  VANTREL_REQUIRE_TESTDATA(dir, "snapshots");
  for (const std::string name :
       {"snapshots/ld48bas.z80", "snapshots/kempston_mouse_interface_driver.z80",
        "tape-libspectrum-edgecases/empty.z80", "tape-libspectrum-edgecases/plus3.z80"}) {
    const fs::path file = test::TestDataFile(name);
    if (file.empty()) continue;
    Machine m(1);
    EXPECT_NO_THROW(LoadSnapshot(m, file)) << name;
    // The edge-case files were made with PC 0x1234.
    EXPECT_TRUE(name.starts_with("snapshots") || m.State.Regs.PC == 0x1234) << name;
  }
}

TEST(SnapshotFiles, SnaAndZ80OfOneSessionAgree) {
  VANTREL_REQUIRE_TESTDATA(dir, "snapshots");
  for (const char* base : {"p48k", "p128"}) {
    SCOPED_TRACE(base);
    Machine sna(1), z80(2);
    LoadSnapshot(sna, dir / (std::string(base) + ".sna"));
    LoadSnapshot(z80, dir / (std::string(base) + ".z80"));
    // Saved a few frames apart, at the interrupt: the SNA at 0x0038, the Z80 one
    // instruction later, after the PUSH AF there. HL, DE, R (and in p128.sna I) differ.
    const Z80Registers &a = sna.State.Regs, &b = z80.State.Regs;
    EXPECT_EQ(a.PC, 0x0038);
    EXPECT_EQ(b.PC, 0x0039);
    const bool is128 = std::string(base) == "p128";
    // The 48K SNA's PC was popped off the stack, the 128K one's was stored apart.
    EXPECT_EQ(a.SP, b.SP + (is128 ? 2 : 4));
    EXPECT_EQ(std::vector<uint32_t>({a.AltAF, a.AltBC, a.AltDE, a.AltHL, a.AF.Get(), a.BC.Get(),
                                     a.IX.Get(), a.IY.Get(), a.IM, a.IFF1, a.IFF2}),
              std::vector<uint32_t>({b.AltAF, b.AltBC, b.AltDE, b.AltHL, b.AF.Get(), b.BC.Get(),
                                     b.IX.Get(), b.IY.Get(), b.IM, b.IFF1, b.IFF2}));
    EXPECT_EQ(sna.Mem.Port7FFD, z80.Mem.Port7FFD);
    EXPECT_EQ(sna.Screen.BorderColour, z80.Screen.BorderColour);
    for (int bank : is128 ? std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7} : std::vector<int>{5, 2, 0}) {
      const Bytes x = Ram(sna, {bank}), y = Ram(z80, {bank});
      const auto differ = std::inner_product(x.begin(), x.end(), y.begin(), 0, std::plus<>(),
                                             std::not_equal_to<>());
      // The frame counter, a system variable and a few stack bytes moved on in between.
      EXPECT_LE(differ, (bank == 0 || bank == 5) ? 24 : 0) << "bank " << bank;
    }
  }
}

Bytes Gunzip(const fs::path& file) {
  Bytes out;
  FILE* pipe = popen(("gzip -dc '" + file.string() + "' 2>/dev/null").c_str(), "r");
  if (!pipe) return out;
  for (int c; (c = fgetc(pipe)) != EOF;) out.push_back(static_cast<uint8_t>(c));
  pclose(pipe);
  return out;
}

TEST(SnapshotFiles, StackedPcReadFromRomAndAcrossTheTop) {
  VANTREL_REQUIRE_TESTDATA(dir, "tape-libspectrum-edgecases");
  Machine m(1);
  for (size_t i = 0; i < Memory::kRomSize; ++i) m.Mem.Rom48k()[i] = static_cast<uint8_t>(i + 3);
  const Bytes low = Gunzip(dir / "sp-2000.sna.gz"), top = Gunzip(dir / "sp-ffff.sna.gz");
  if (low.size() != kSna48Size || top.size() != kSna48Size) GTEST_SKIP() << "no gzip";
  LoadSna(m, low);
  EXPECT_EQ(m.State.Regs.PC | m.State.Regs.SP << 16, 0x2002'0403);  // ROM bytes 0x2000, 0x2001
  LoadSna(m, top);
  EXPECT_EQ(m.State.Regs.PC | m.State.Regs.SP << 16, 0x0001'0300 | top.back());  // 0xFFFF, ROM 0
}

TEST(SnapshotFiles, LoadSnapshotChoosesByExtension) {
  test::TempDir tmp;
  Machine m(1);
  WriteBytes(tmp.path() / "game.sna", Sna48(0x8000, 0));
  WriteBytes(tmp.path() / "game.Z80X", Sna48(0x8000, 0));
  EXPECT_NO_THROW(LoadSnapshot(m, tmp.path() / "game.sna"));
  EXPECT_EQ(FileExtension(" a.b.z80 \t"), ".Z80");
  EXPECT_EQ(FileExtension("dir.sna/game"), "");
  const fs::path odd = tmp.path() / "game.Z80X";
  ExpectRefusedUnchanged(m, "File " + odd.string() + " has unsupported format!",
                         [&] { LoadSnapshot(m, odd); });
  // What cannot be read fails as such, whatever its extension.
  for (const fs::path& missing : {tmp.path() / "none.sna", tmp.path() / "none.txt", tmp.path()}) {
    ExpectRefused([&] { LoadSnapshot(m, missing); }, kSnapshotReadFailed, "Error!");
  }
}

// A machine with every register and all eight banks distinct.
void Scramble(Machine& m, uint8_t port7ffd) {
  Z80Registers& r = m.State.Regs;
  r.AF.Set(0x1122), r.BC.Set(0x3344), r.DE.Set(0x5566), r.HL.Set(0x7788);
  r.IX.Set(0x99AA), r.IY.Set(0xBBCC);
  r.AltAF = 0x0102, r.AltBC = 0x0304, r.AltDE = 0x0506, r.AltHL = 0x0708;
  r.I = 0x3F, r.IM = 2, r.IFF1 = r.IFF2 = 1, r.PC = 0x1234, r.SP = 0x8000;
  r.WriteR(0xA5);
  m.Ports.PortFE = 0x0E;  // border 6
  for (int bank = 0; bank < 8; ++bank) {
    for (size_t i = 0; i < kBank; ++i) m.Mem.Bank(bank)[i] = static_cast<uint8_t>(bank * 31 + i);
  }
  m.Ports.PortWrite(0x7FFD, port7ffd);
}

TEST(SnapshotSave, Sna48PushesPcOnlyInTheImage) {
  Machine m(1);
  Scramble(m, 0x10);
  const Bytes ram = Ram(m);
  const Bytes f = MakeSna48(m);
  ASSERT_EQ(f.size(), kSna48Size);
  EXPECT_EQ(m.State.Regs.SP, 0x8000);
  EXPECT_TRUE(Ram(m) == ram);
  // The pushed PC is in the image only (real files round-trip in the runner's tests).
  EXPECT_EQ(f[27 + 0x7FFE - 0x4000] | f[27 + 0x7FFF - 0x4000] << 8, 0x1234);
  m.State.Regs.IFF2 = 0;
  m.State.Regs.SP = 0x4001;  // the pushed high byte would land in ROM
  const Bytes low = MakeSna48(m);
  EXPECT_EQ(low[19], 0x00);
  EXPECT_EQ(low[27], 0x12);
}

TEST(SnapshotSave, Sna128WritesTheOtherBanksInOrder) {
  for (uint8_t port : {uint8_t{0x17}, uint8_t{0x05}, uint8_t{0x02}}) {
    SCOPED_TRACE(int(port));
    Machine m(1);
    Scramble(m, port);
    m.Mem.DosActive = port == 0x05;
    const Bytes f = MakeSna128(m);
    const bool six = (port & 7) == 5 || (port & 7) == 2;
    ASSERT_EQ(f.size(), six ? kSna128LongSize : kSna128Size);
    // The TR-DOS flag pages the DOS ROM only where the interface is on.
    Machine back(2);
    LoadSna(back, f);
    EXPECT_FALSE(back.Mem.DosActive);
    back.Mem.DosEnabled = true;
    LoadSna(back, f);
    EXPECT_EQ(Registers(back), Registers(m));
    EXPECT_EQ((std::vector<int>{back.Mem.Port7FFD, back.Mem.DosActive}),
              (std::vector<int>{port, port == 0x05}));
    EXPECT_TRUE(Ram(back) == Ram(m));
    if (!six) continue;
    // A short file where six banks belong: the last one missing keeps its bytes.
    Fill(back, 7, 0x77);
    LoadSna(back, Bytes(f.begin(), f.begin() + kSna128Size));
    Bytes expected = Ram(m, {6});
    expected.resize(2 * kBank, 0x77);
    EXPECT_TRUE(Ram(back, {6, 7}) == expected);
  }
}

TEST(SnapshotSave, FailedSaveKeepsTheOldFileAndResumes) {
  test::TempDir tmp;
  Machine m(1);
  const fs::path file = tmp.path() / "old.sna";
  WriteBytes(file, {1, 2, 3});
  SaveSnapshot(m, tmp.path() / "new.sna", SnaVariant::Sna48k);
  EXPECT_EQ(fs::file_size(tmp.path() / "new.sna"), kSna48Size);
  EXPECT_EQ(m.State.Paused.load(), 0u);

  // The file system refuses the data part way (even to root): a file size limit.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto oldSignal = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(SaveSnapshot(m, file, SnaVariant::Sna128k), SnapshotError);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldSignal);
  EXPECT_EQ(ReadBytes(file), (Bytes{1, 2, 3}));
  EXPECT_EQ(m.State.Paused.load(), 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 2);

  // A directory that does not exist; a machine paused before stays paused.
  m.State.Paused = 1;
  try {
    SaveSnapshot(m, tmp.path() / "none" / "x.sna", SnaVariant::Sna48k);
    ADD_FAILURE() << "saved";
  } catch (const SnapshotError& e) {
    EXPECT_NE(std::string(e.what()).find("x.sna"), std::string::npos);
  }
  EXPECT_EQ(m.State.Paused.load(), 1u);
}

TEST(SnapshotName, GeneratorCountsOn) {
  const std::pair<const char*, const char*> cases[] = {
      {"game.sna", "game_001.sna"},   {"x_009.sna", "x_010.sna"},
      {"game", "game_001"},           {"x_000.sna", "x_000_001.sna"},
      {"x_999.sna", "x_1000.sna"},    {"x_0001.sna", "x_0001_001.sna"},
      {"x_1000.sna", "x_1001.sna"},   {"x_12.sna", "x_12_001.sna"},
      {".sna", ".sna_001"},           {"", "_001"},
      {"d.v2/snap", "d.v2/snap_001"}, {"a.b.sna", "a.b_001.sna"},
  };
  for (const auto& [from, to] : cases) EXPECT_EQ(NextGeneratedName(from), to) << from;
}

}  // namespace
}  // namespace vantrel
