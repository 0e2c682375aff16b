// vantrel-run's --autoload and --keys through real ROMs: what the ROM makes of the keys
// is read back from the machine the run leaves behind (an SNA file).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunnerFixture.h"
#include "TestData.h"

namespace vantrel {
namespace {

using test::Bytes;

constexpr uint16_t kELine = 23641;  // system variable: where the edit line starts

// The RAM byte at `address` (0x4000 up) of a 48K or 128K SNA file.
int SnaByte(const Bytes& sna, uint16_t address) {
  const size_t at = 27 + static_cast<size_t>(address - 0x4000);
  return address >= 0x4000 && at < sna.size() ? sna[at] : -1;
}

// The edit line up to and including its ENTER, as the SNA holds it.
Bytes EditLine(const Bytes& sna) {
  const int low = SnaByte(sna, kELine), high = SnaByte(sna, kELine + 1);
  Bytes line;
  if (low < 0 || high < 0) return line;
  for (uint16_t at = static_cast<uint16_t>(low | high << 8); line.size() < 64; ++at) {
    const int byte = SnaByte(sna, at);
    if (byte < 0) break;
    line.push_back(static_cast<uint8_t>(byte));
    if (byte == 0x0D) break;
  }
  return line;
}

// A Hobeta file holding the BASIC program "boot": 10 POKE 30000,42, started at line 10.
Bytes BootHobeta() {
  const Bytes number30000 = {'3', '0', '0', '0', '0', 0x0E, 0, 0, 0x30, 0x75, 0};
  const Bytes number42 = {'4', '2', 0x0E, 0, 0, 42, 0, 0};
  Bytes line = {0xF4};  // POKE
  line.insert(line.end(), number30000.begin(), number30000.end());
  line.push_back(',');
  line.insert(line.end(), number42.begin(), number42.end());
  line.push_back(0x0D);
  Bytes program = {0, 10, static_cast<uint8_t>(line.size()), 0};
  program.insert(program.end(), line.begin(), line.end());
  const auto size = static_cast<uint8_t>(program.size());
  Bytes file = {'b', 'o', 'o', 't', ' ', ' ', ' ', ' ', 'B', size, 0, size, 0, 0, 1};
  unsigned sum = 0;
  for (unsigned i = 0; i < 15; ++i) sum += 257 * file[i] + i;
  file.push_back(static_cast<uint8_t>(sum));
  file.push_back(static_cast<uint8_t>(sum >> 8));
  file.insert(file.end(), program.begin(), program.end());
  for (uint8_t byte : {0x80, 0xAA, 10, 0}) file.push_back(byte);  // autostart line
  file.resize(17 + 256);
  return file;
}

class AutoLoadRunTest : public test::RunnerFixture {
 protected:
  // Runs `command` (words; $D is the test's folder) and `more` (as they are), and returns
  // the machine it left.
  Bytes Run(const std::string& command, const std::vector<std::string>& more = {}) {
    const test::RunResult result = RunnerFixture::Run("--save-sna $D/after.sna " + command, more);
    EXPECT_EQ(result.Status, kRunnerOk) << result.Err;
    return test::ReadBytes(dir_.path() / "after.sna");
  }
};

#define REQUIRE_ROM(var, name)                       \
  VANTREL_REQUIRE_TESTDATA(var##Path, "roms/" name); \
  const std::string var = " " + var##Path.string() + " ";

// A disk with a boot file boots with --autoload whatever the mode: a BASIC mode goes to
// its TR-DOS mode, as it must to boot; the program it runs leaves its mark in memory.
TEST_F(AutoLoadRunTest, AutoloadedDisksRunTheirBootFile) {
  REQUIRE_ROM(rom48, "48.rom");
  REQUIRE_ROM(rom128, "128-0.rom");
  REQUIRE_ROM(trdos, "trdos503.rom");
  test::WriteBytes(dir_.path() / "boot.$B", BootHobeta());
  const std::string roms = "--rom48" + rom48 + "--rom128" + rom128 + "--romdos" + trdos;
  for (const char* mode : {"", "--mode 48", "--mode 128", "--mode trdos48", "--mode trdos128"}) {
    SCOPED_TRACE(mode);
    const Bytes sna = Run(roms + mode + " --autoload --frames 500 $D/boot.$B");
    EXPECT_EQ(SnaByte(sna, 30000), 42);
  }
}

// Every stroke arrives once, a key typed twice in a row too: the 48K ROM's LOAD "" and a
// TR-DOS command with doubled letters, read back from the edit line before ENTER.
TEST_F(AutoLoadRunTest, ScriptedKeysArriveOnceEachRepeatsIncluded) {
  REQUIRE_ROM(rom48, "48.rom");
  REQUIRE_ROM(trdos, "trdos503.rom");
  VANTREL_REQUIRE_TESTDATA(disk, "disk-trdos/UMT2_3.TRD");
  struct Case {
    std::string command;
    const char* keys;
    std::string expected;  // the edit line; \xEF is the LOAD keyword
  };
  const Case cases[] = {
      {"--mode 48 --rom48" + rom48 + "--frames 200", "J@150 SS+P SS+P", "\xEF\"\"\r"},
      {"--mode trdos48 --rom48" + rom48 + "--romdos" + trdos + "--frames 500 " + disk.string(),
       "J@400 SS+P S U C C E S S SS+P", "\xEF\"success\"\r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    const Bytes line = EditLine(Run(c.command, {"--keys", c.keys}));
    EXPECT_EQ(std::string(line.begin(), line.end()), c.expected);
  }
}

// The free ROM pair a newcomer has: OpenSE BASIC spells keywords out, and its 128K ROM
// is a stub that starts it, with no menu. The autoload types what it takes, and the
// tape's program reaches its code (the address its BASIC loader calls).
TEST_F(AutoLoadRunTest, AutoloadLoadsATapeWithTheFreeRoms) {
  REQUIRE_ROM(opense, "opense.rom");
  REQUIRE_ROM(stub, "opense-stub.rom");
  VANTREL_REQUIRE_TESTDATA(tape, "software/nirvana.tap");
  for (const char* mode : {"48", "128", "trdos128"}) {
    SCOPED_TRACE(mode);
    Run("--rom48" + opense + "--rom128" + stub + "--mode " + mode +
        " --autoload --frames 9000 --until-pc 32768 " + tape.string());
  }
}

// Typed by hand, OpenSE's LOAD "" starts the tape by itself, as Sinclair's does: its
// loader opens with the DI three bytes earlier.
TEST_F(AutoLoadRunTest, HandTypedLoadStartsTheTapeOnTheFreeRom) {
  REQUIRE_ROM(opense, "opense.rom");
  REQUIRE_ROM(stub, "opense-stub.rom");
  VANTREL_REQUIRE_TESTDATA(tape, "software/nirvana.tap");
  Run("--rom48" + opense + "--rom128" + stub + "--mode 48 --frames 9000 --until-pc 32768 " +
          tape.string() + " --keys",
      {"L@150 O A D SS+P SS+P ENTER"});
}

// SAVE "x" in 48K BASIC is recorded from the MIC output into a TAP file, and LOAD ""
// from that file brings the program back into a fresh machine, with and without instant
// loading.
TEST_F(AutoLoadRunTest, SavedProgramLoadsBackIntoAFreshMachine) {
  constexpr uint16_t kProg = 23635, kELineVar = kELine;
  const Bytes saver = Run("--mode 48 --rom48 $ROM --frames 1300 --save-tape $D/x.tap --keys",
                          {"1@150 0 P 4 2 ENTER S SS+P X SS+P ENTER ENTER@450"});
  const Bytes tap = test::ReadBytes(dir_.path() / "x.tap");
  // A 19-byte header naming a program "x", then its data block.
  ASSERT_GE(tap.size(), 21u + 4u);
  EXPECT_EQ(tap[0] | tap[1] << 8, 19);
  EXPECT_EQ(tap[2], 0x00);
  EXPECT_EQ(tap[3], 0x00);
  EXPECT_EQ(std::string(tap.begin() + 4, tap.begin() + 14), "x         ");
  const auto word = [](const Bytes& sna, uint16_t at) {
    return SnaByte(sna, at) | SnaByte(sna, at + 1) << 8;
  };
  const int prog = word(saver, kProg);
  const int end = word(saver, kELineVar);
  ASSERT_GT(end, prog);
  const Bytes program(saver.begin() + 27 + (prog - 0x4000), saver.begin() + 27 + (end - 0x4000));
  for (const char* instant : {"--instant-load", "--no-instant-load"}) {
    SCOPED_TRACE(instant);
    const Bytes loader = Run("--mode 48 --rom48 $ROM --autoload --frames 1500 " +
                             std::string(instant) + " $D/x.tap");
    ASSERT_EQ(word(loader, kProg), prog);
    ASSERT_EQ(word(loader, kELineVar), end);
    EXPECT_EQ(Bytes(loader.begin() + 27 + (prog - 0x4000), loader.begin() + 27 + (end - 0x4000)),
              program);
  }
}

}  // namespace
}  // namespace vantrel
