// TR-DOS on the real ROMs driving the controller: booting, the catalogue, loading and
// saving have to work byte by byte through the ports for these to pass.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "TestData.h"
#include "disk/DiskImageFiles.h"
#include "disk/TrDosImage.h"
#include "machine/Machine.h"

namespace vantrel {
namespace {

using test::RunFrames;
using test::ScreenText;

// The Pentagon 128 ROM set: 128K BASIC, 48K BASIC, TR-DOS 5.04T.
bool LoadPentagonRoms(Machine& m) {
  const auto rom = test::TestDataFile("roms/Pentagon.Rom");
  if (rom.empty()) return false;
  test::LoadRomPage(rom, 0, m.Mem.Rom128k());
  test::LoadRomPage(rom, 1, m.Mem.Rom48k());
  test::LoadRomPage(rom, 2, m.Mem.RomDOS());
  m.SetTrDosEnabled(true);
  m.State.NormalSpeed = false;
  return true;
}

void InsertImage(Machine& m, const std::string& relative, DiskFormat format) {
  RememberedGeometry geometry;
  m.InsertDisk(LoadDiskImageBytes(test::ReadBytes(test::TestDataFile(relative)), format,
                                  DiskOpenOptions{}, geometry));
}

// Types space-separated strokes ("R", "SS+P", "ENTER"), each held and released over a few
// frames as the ROM's keyboard scan needs.
void Type(Machine& m, const std::string& script) {
  std::istringstream in(script);
  std::string token;
  while (in >> token) {
    std::vector<int> keys;
    std::istringstream parts(token);
    std::string part;
    while (std::getline(parts, part, '+')) {
      keys.push_back(part == "ENTER" ? kKeyEnter
                     : part == "CS"  ? kKeyCapsShift
                     : part == "SS"  ? kKeySymbolShift
                     : part == "SPACE" ? kKeySpace
                                     : KeyIndexOfChar(part[0]));
    }
    for (int k : keys) m.Keys.PressKey(k);
    RunFrames(m, 4);
    for (int k : keys) m.Keys.ReleaseKey(k);
    RunFrames(m, 4);
  }
}

TEST(TrDos, Experiment) {
  Machine m(1);
  if (!LoadPentagonRoms(m)) GTEST_SKIP();
  InsertImage(m, "disk-trdos/UMT2_3.TRD", DiskFormat::Trd);
  m.State.StartMode = kStartTrDos | kStart128k;
  m.ResetMachine();
  RunFrames(m, 300);
  std::cout << ScreenText(m) << " pc " << m.State.Regs.PC << "\n";
  Type(m, "R SS+P CS+U CS+M CS+T V 2 SS+M 3 SS+T SS+P ENTER");
  RunFrames(m, 500);
  std::cout << ScreenText(m) << " pc " << m.State.Regs.PC << "\n";
  test::WriteBytes("/tmp/vg93screen.bin", test::Bytes(m.Mem.Bank(m.Mem.ScreenBank), m.Mem.Bank(m.Mem.ScreenBank) + 6912));
}

}  // namespace
}  // namespace vantrel
