// SZX loading and saving, Z80 version 3 saving, and the machines each format can name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "TestData.h"
#include "machine/Machine.h"
#include "machine/MachineCapture.h"
#include "media/SnapshotLoader.h"
#include "media/SnapshotSaver.h"
#include "media/SzxSnapshot.h"

namespace vantrel {
namespace {

using test::Bytes;

uint64_t MachineHash(const Machine& m) {
  uint64_t hash = 14695981039346656037ull;
  const auto add = [&hash](const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
  };
  add(m.Mem.RamBase(), Memory::kBankCount * Memory::kBankSize);
  const Z80Registers& r = m.State.Regs;
  for (uint16_t w :
       {r.AF.Get(), r.BC.Get(), r.DE.Get(), r.HL.Get(), r.SP, r.PC, r.IX.Get(), r.AltAF}) {
    add(reinterpret_cast<const uint8_t*>(&w), 2);
  }
  const uint8_t latches[] = {m.Mem.Port7FFD,
                             m.Mem.Port1FFD,
                             m.Ay.Register(0),
                             m.Ay.Selected(),
                             m.Disk.Controller.ReadTrack(),
                             static_cast<uint8_t>(m.Mem.DosActive),
                             static_cast<uint8_t>(m.Mem.Model),
                             m.Screen.BorderColour};
  add(latches, sizeof latches);
  return hash;
}

// The 128K program of the capture tests, condensed: AY writes, beeper, paging.
void Busy128k(Machine& m) {
  m.ForcePaging(0x00);
  const uint8_t code[] = {0xF3, 0x31, 0xF0, 0xBF, 0x3E, 0x81, 0xED, 0x47, 0xED, 0x5E,
                          0x21, 0x00, 0x40, 0xFB, 0x01, 0xFD, 0xFF, 0x7B, 0xE6, 0x0F,
                          0xED, 0x79, 0x06, 0xBF, 0x7A, 0xED, 0x79, 0x1C, 0xC6, 0x03,
                          0x57, 0xD3, 0xFE, 0xE6, 0x0F, 0x01, 0xFD, 0x7F, 0xED, 0x79,
                          0x77, 0x23, 0x7C, 0xE6, 0x3F, 0xF6, 0x40, 0x67, 0x18, 0xDB};
  for (size_t i = 0; i < sizeof code; ++i)
    m.Mem.PokeByte(static_cast<uint16_t>(0x8000 + i), code[i]);
  for (int a = 0x8100; a <= 0x8200; ++a) m.Mem.PokeByte(static_cast<uint16_t>(a), 0x82);
  m.Mem.PokeByte(0x8282, 0xFB);
  m.Mem.PokeWord(0x8283, 0x4DED);
  m.State.Regs.PC = 0x8000;
  m.State.NormalSpeed = false;
}

void Frames(Machine& m, int frames) {
  for (int i = 0; i < frames; ++i) {
    m.ProcessorStep();
    while (!m.EndFrameIfDue()) m.ProcessorStep();
  }
}

// Each of the shared files, by what it holds: the chunks this machine has load, the rest
// are left out with a note naming them, and machines it lacks or broken files are refused
// with the machine changed in nothing.
TEST(Szx, SharedFilesLoadOrAreRefusedAsTheyShould) {
  struct Case {
    const char* file;
    const char* refusal;  // a part of the message, or nullptr when it loads
    const char* note;     // a part of the note, or "" for none
  };
  const Case cases[] = {
      {"empty.szx", nullptr, ""},         {"random.szx", nullptr, "ZXPR"},
      {"Z80R.szx", nullptr, ""},          {"AY.szx", nullptr, ""},
      {"B128.szx", nullptr, ""},          {"KEYB.szx", nullptr, ""},
      {"JOY.szx", nullptr, ""},           {"RAMP.szx", nullptr, ""},
      {"AMXM.szx", nullptr, "AMXM"},      {"ATRP.szx", nullptr, "ATRP"},
      {"CFRP.szx", nullptr, "CFRP"},      {"COVX.szx", nullptr, "COVX"},
      {"DIDE.szx", nullptr, "DIDE"},      {"DIRP.szx", nullptr, "DIRP"},
      {"DMMC.szx", nullptr, "DMMC"},      {"DMRP.szx", nullptr, "DMRP"},
      {"DOCK.szx", nullptr, "DOCK"},      {"DRUM.szx", nullptr, "DRUM"},
      {"IF1.szx", nullptr, "IF1"},        {"IF2R.szx", nullptr, "IF2R"},
      {"MFCE.szx", nullptr, "MFCE"},      {"OPUS.szx", nullptr, "OPUS"},
      {"PLSD.szx", nullptr, "PLSD"},      {"PLTT.szx", nullptr, "PLTT"},
      {"SIDE.szx", nullptr, "SIDE"},      {"SNEF.szx", nullptr, "SNEF"},
      {"SNER.szx", nullptr, "SNER"},      {"SNET.szx", nullptr, "SNET"},
      {"USPE.szx", nullptr, "USPE"},      {"ZMMC.szx", nullptr, "ZMMC"},
      {"ZXAT.szx", nullptr, "ZXAT"},      {"ZXCF.szx", nullptr, "ZXCF"},
      {"ZXPR.szx", nullptr, "ZXPR"},      {"SCLD.szx", "Timex TC2048", ""},
      {"SPCR.szx", "ZX Spectrum +3", ""}, {"invalid.szx", "runs past the end", ""},
  };
  VANTREL_REQUIRE_TESTDATA(dir, "snapshot-szx-libspectrum/empty.szx");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    VANTREL_REQUIRE_TESTDATA(file, std::string("snapshot-szx-libspectrum/") + c.file);
    Machine m(5);
    m.SetTrDosEnabled(true);
    const uint64_t before = MachineHash(m);
    std::string note;
    const auto refusal = test::ErrorOf<SnapshotError>([&] { note = LoadSnapshot(m, file); });
    if (c.refusal) {
      ASSERT_TRUE(refusal.has_value());
      EXPECT_NE(refusal->find(c.refusal), std::string::npos) << *refusal;
      EXPECT_NE(refusal->find(file.string()), std::string::npos) << "names the file";
      EXPECT_EQ(MachineHash(m), before) << "a refused file changes nothing";
    } else {
      ASSERT_FALSE(refusal.has_value()) << *refusal;
      if (*c.note) {
        EXPECT_NE(note.find(c.note), std::string::npos) << note;
      } else {
        EXPECT_EQ(note, "");
      }
    }
  }
}

// The values of the single-chunk files reach the machine.
TEST(Szx, ChunkValuesReachTheMachine) {
  VANTREL_REQUIRE_TESTDATA(z80r, "snapshot-szx-libspectrum/Z80R.szx");
  VANTREL_REQUIRE_TESTDATA(ay, "snapshot-szx-libspectrum/AY.szx");
  VANTREL_REQUIRE_TESTDATA(beta, "snapshot-szx-libspectrum/B128.szx");
  Machine m(5);
  m.SetTrDosEnabled(true);
  LoadSzx(m, test::ReadBytes(z80r));
  const Z80Registers& r = m.State.Regs;
  EXPECT_EQ(r.AF.Get(), 0xC41F);
  EXPECT_EQ(r.AltHL, 0xDCCB);
  EXPECT_EQ(r.IY.Get(), 0x1C13);
  EXPECT_EQ(r.SP, 0xF86D);
  EXPECT_EQ(r.PC, 0xC81E);
  EXPECT_EQ(r.ReadR(), 0x84);
  EXPECT_EQ(r.IFF1, 1);
  EXPECT_EQ(r.IFF2, 0);
  EXPECT_EQ(r.IM, 2);
  EXPECT_EQ(r.Tackts, 40u);
  EXPECT_EQ(m.Mem.Port7FFD & 0x30, 0x30) << "a 48K machine runs with paging locked";
  LoadSzx(m, test::ReadBytes(ay));
  EXPECT_EQ(m.Ay.Register(0), 0x73);
  EXPECT_EQ(m.Ay.Register(15), 0x41);
  EXPECT_EQ(m.Ay.Selected(), 8);
  LoadSzx(m, test::ReadBytes(beta));
  EXPECT_EQ(m.Disk.Controller.ReadTrack(), 5);
  EXPECT_EQ(m.Disk.Controller.ReadSector(), 3);
  EXPECT_EQ(m.Disk.Controller.Data(), 0xAA);
  EXPECT_TRUE(m.Mem.DosActive) << "the Beta 128 was paged in";
}

// Damaged files: every cut of a real file and broken RAM pages are either whole files of
// fewer chunks or refused, and a refusal leaves the machine as it was.
TEST(Szx, DamagedFilesChangeNothing) {
  VANTREL_REQUIRE_TESTDATA(random, "snapshot-szx-libspectrum/random.szx");
  const Bytes whole = test::ReadBytes(random);
  std::vector<Bytes> damaged;
  for (size_t cut : {0, 7, 8, 12, 20, 60, 200, 16400, 30000, 49401}) {
    damaged.emplace_back(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
  }
  Bytes badPage = whole;
  badPage[badPage.size() - 100] ^= 0xFF;  // inside the last compressed page... or not
  damaged.push_back(badPage);
  Bytes version = whole;
  version[5] = 6;  // 1.6
  damaged.push_back(version);
  Bytes hugeChunk = whole;
  hugeChunk[12] = 0xFF;
  hugeChunk[15] = 0x7F;
  damaged.push_back(hugeChunk);
  int refused = 0;
  for (const Bytes& file : damaged) {
    Machine m(9);
    const uint64_t before = MachineHash(m);
    if (test::ErrorOf<SnapshotError>([&] { LoadSzx(m, file); })) {
      ++refused;
      EXPECT_EQ(MachineHash(m), before) << "file of " << file.size() << " bytes";
    }
  }
  EXPECT_GE(refused, 10);
}

// The machine IDs and hardware numbers each model is written with, and the models the
// formats cannot name, refused with the model's name.
TEST(Szx, ModelsAreNamedOrRefusedByEachFormat) {
  struct Case {
    MemoryModel model;
    uint8_t port7ffd;
    uint32_t frame;
    int szxId;      // -1: refused
    int z80Number;  // -1: refused
  };
  const Case cases[] = {
      {MemoryModel::Spectrum128k, 0x30, 69888, 1, 0},
      {MemoryModel::Spectrum128k, 0x00, 70908, 2, 4},
      {MemoryModel::Spectrum128k, 0x00, kDefaultTacktsPerInt, 7, 9},
      {MemoryModel::Pentagon256k, 0x00, kDefaultTacktsPerInt, -1, -1},
      {MemoryModel::Pentagon512k, 0x00, kDefaultTacktsPerInt, 13, -1},
      {MemoryModel::Pentagon1024k, 0x30, kDefaultTacktsPerInt, 14, -1},
      {MemoryModel::Scorpion256k, 0x00, kDefaultTacktsPerInt, 10, -1},
      {MemoryModel::Scorpion1024k, 0x00, kDefaultTacktsPerInt, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(MemoryModelName(c.model));
    Machine m(2);
    m.Mem.Model = c.model;
    m.SetTacktsPerInt(c.frame);
    m.ForcePaging(c.port7ffd);
    std::optional<Bytes> szx, z80;
    const auto szxError = test::ErrorOf<SnapshotError>([&] { szx = MakeSzx(m); });
    const auto z80Error = test::ErrorOf<SnapshotError>([&] { z80 = MakeZ80(m); });
    if (c.szxId < 0) {
      ASSERT_TRUE(szxError);
      EXPECT_NE(szxError->find(MemoryModelName(c.model)), std::string::npos) << *szxError;
    } else {
      ASSERT_TRUE(szx) << *szxError;
      EXPECT_EQ((*szx)[6], c.szxId);
    }
    if (c.z80Number < 0) {
      ASSERT_TRUE(z80Error);
      EXPECT_NE(z80Error->find(MemoryModelName(c.model)), std::string::npos) << *z80Error;
    } else {
      ASSERT_TRUE(z80) << *z80Error;
      EXPECT_EQ((*z80)[34], c.z80Number);
    }
  }
}

// Saved and loaded again, a machine is the machine it was, in both formats (the Z80 file
// has no frame position); an SZX file saved from a loaded SZX is the same file.
TEST(Szx, SavedMachinesComeBackWithTheirAyMusic) {
  for (const bool szx : {true, false}) {
    SCOPED_TRACE(szx ? "SZX" : "Z80");
    for (const MemoryModel model : {MemoryModel::Spectrum128k, MemoryModel::Pentagon1024k}) {
      if (!szx && model != MemoryModel::Spectrum128k) continue;
      SCOPED_TRACE(MemoryModelName(model));
      Machine a(4), b(8);
      a.Mem.Model = model;
      Busy128k(a);
      Frames(a, 30);
      const Bytes file = szx ? MakeSzx(a) : MakeZ80(a);
      if (szx) {
        LoadSzx(b, file);
        EXPECT_EQ(MakeSzx(b), file) << "SZX -> load -> SZX";
      } else {
        LoadZ80(b, file);
      }
      for (int reg = 0; reg < 16; ++reg) EXPECT_EQ(b.Ay.Register(reg), a.Ay.Register(reg)) << reg;
      EXPECT_EQ(b.Ay.Selected(), a.Ay.Selected());
      for (int bank = 0; bank < Memory::BankCountOf(model); ++bank)
        EXPECT_EQ(std::memcmp(a.Mem.Bank(bank), b.Mem.Bank(bank), Memory::kBankSize), 0) << bank;
      EXPECT_EQ(b.State.Regs.PC, a.State.Regs.PC);
      EXPECT_EQ(b.Mem.Port7FFD, a.Mem.Port7FFD);
      // The music plays on: the loaded machine's next frames are not silent.
      Frames(b, 5);
      const auto& block = b.LastSoundBlock();
      EXPECT_NE(*std::min_element(block.begin(), block.end()),
                *std::max_element(block.begin(), block.end()));
    }
  }
}

// Z80 block packing: what UnpackZ80Block expands is what was packed, for runs, lone and
// paired ED bytes and an ED at the block's end.
TEST(Szx, Z80PagesPackAndUnpackToTheSameBytes) {
  Machine a(6), b(1);
  uint8_t* bank = a.Mem.Bank(0);
  std::memset(bank, 0, Memory::kBankSize);
  const uint8_t pattern[] = {0xED, 0x01, 0xED, 0xED, 0x02, 0xED, 0xED, 0xED, 0xED, 0xED, 0xED,
                             0x00, 0xED, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x05, 0x05, 0x05};
  std::memcpy(bank + 100, pattern, sizeof pattern);
  bank[Memory::kBankSize - 1] = 0xED;
  std::memset(bank + 2000, 0x77, 600);  // past one run's 255
  for (int i = 3000; i < 9000; ++i) bank[i] = static_cast<uint8_t>(i * 7);
  Busy128k(a);
  a.ForcePaging(0x00);
  const Bytes file = MakeZ80(a);
  EXPECT_LT(file.size(), 8 * Memory::kBankSize);
  LoadZ80(b, file);
  EXPECT_EQ(std::memcmp(a.Mem.Bank(0), b.Mem.Bank(0), Memory::kBankSize), 0);
}

}  // namespace
}  // namespace vantrel
