#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Settings.h"
#include "cli/RunnerOptions.h"
#include "core/MachineState.h"

namespace vantrel {
namespace {

using Args = std::vector<std::string>;

RunnerOptions ParseOk(const Args& args) {
  RunnerOptions options;
  std::string error;
  EXPECT_TRUE(ParseRunnerOptions(args, &options, &error)) << error;
  return options;
}

std::string ParseError(const Args& args) {
  RunnerOptions options;
  options.Frames = 7;  // a marker: a failed parse must not touch the options
  std::string error;
  EXPECT_FALSE(ParseRunnerOptions(args, &options, &error)) << testing::PrintToString(args);
  EXPECT_EQ(options.Frames, 7u);
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  return error;
}

TEST(RunnerOptionsTest, NothingGivenLeavesTheDefaults) {
  const RunnerOptions o = ParseOk({});
  EXPECT_FALSE(o.Help);
  EXPECT_EQ(o.Frames, 100u);
  EXPECT_EQ(o.Seed, 0u);
  EXPECT_FALSE(o.Paced);
  EXPECT_FALSE(o.DumpRegs);
  EXPECT_FALSE(o.Rom48k || o.Rom128k || o.RomDos || o.StartMode || o.Model || o.TacktsPerInt ||
               o.SettingsFile || o.UntilPc || o.Screenshot || o.ScreenshotVisible || o.SaveSna ||
               o.Wav || o.File);
  EXPECT_TRUE(o.Keys.empty());
}

TEST(RunnerOptionsTest, EveryOptionLandsInItsField) {
  const RunnerOptions o = ParseOk({"--rom48",
                                   "roms/48.rom",
                                   "--rom128=Pentagon.Rom:0",
                                   "--romdos",
                                   "C:\\roms\\trdos.rom",
                                   "--mode",
                                   "trdos128",
                                   "--model",
                                   "5",
                                   "--settings",
                                   "s.ini",
                                   "--tackts-per-int",
                                   "69888",
                                   "--seed",
                                   "18446744073709551615",
                                   "--frames=250",
                                   "--until-pc",
                                   "#12a2",
                                   "--keys",
                                   "CS+5 ENTER@40",
                                   "--screenshot",
                                   "a.png",
                                   "--screenshot-visible",
                                   "b.png",
                                   "--save-sna",
                                   "c.sna",
                                   "--wav=d.wav",
                                   "--dump-regs",
                                   "--paced",
                                   "prog.sna"});
  EXPECT_EQ(o.Rom48k, "roms/48.rom");
  EXPECT_EQ(o.Rom128k, "Pentagon.Rom:0");
  EXPECT_EQ(o.RomDos, "C:\\roms\\trdos.rom");
  EXPECT_EQ(o.StartMode, kStartTrDos | kStart128k);
  EXPECT_EQ(o.Model, MemoryModel::Scorpion1024k);
  EXPECT_EQ(o.SettingsFile, "s.ini");
  EXPECT_EQ(o.TacktsPerInt, 69888u);
  EXPECT_EQ(o.Seed, 18446744073709551615u);
  EXPECT_EQ(o.Frames, 250u);
  EXPECT_EQ(o.UntilPc, 0x12A2);
  ASSERT_EQ(o.Keys.size(), 2u);
  EXPECT_EQ(o.Keys[1].StartFrame, 40u);
  EXPECT_EQ(o.Screenshot, "a.png");
  EXPECT_EQ(o.ScreenshotVisible, "b.png");
  EXPECT_EQ(o.SaveSna, "c.sna");
  EXPECT_EQ(o.Wav, "d.wav");
  EXPECT_TRUE(o.DumpRegs);
  EXPECT_TRUE(o.Paced);
  EXPECT_EQ(o.File, "prog.sna");
}

TEST(RunnerOptionsTest, ModesMapToTheStartModeBits) {
  EXPECT_EQ(ParseOk({"--mode", "48"}).StartMode, 0);
  EXPECT_EQ(ParseOk({"--mode", "trdos48"}).StartMode, kStartTrDos);
  EXPECT_EQ(ParseOk({"--mode", "128"}).StartMode, kStart128k);
  EXPECT_EQ(ParseOk({"--mode", "trdos128"}).StartMode, kStart128k | kStartTrDos);
  for (const char* bad : {"", "48k", "128K", "TRDOS48", "3", "pentagon"}) {
    EXPECT_NE(ParseError({"--mode", bad}).find("is not a mode"), std::string::npos) << bad;
  }
}

TEST(RunnerOptionsTest, NumbersAreDecimalOrPrefixedHex) {
  EXPECT_EQ(ParseRunnerNumber("0"), 0u);
  EXPECT_EQ(ParseRunnerNumber("65535"), 65535u);
  EXPECT_EQ(ParseRunnerNumber("#FFff"), 65535u);
  EXPECT_EQ(ParseRunnerNumber("0x10"), 16u);
  EXPECT_EQ(ParseRunnerNumber("0X10"), 16u);
  EXPECT_EQ(ParseRunnerNumber("010"), 10u);  // never octal
  for (const char* bad : {"", "#", "0x", "12a", "1 ", " 1", "-1", "+1", "#-1", "0x#1", "1e3",
                          "18446744073709551616"}) {
    EXPECT_FALSE(ParseRunnerNumber(bad).has_value()) << bad;
  }
}

TEST(RunnerOptionsTest, BadNumbersAndRangesAreRefused) {
  struct Case {
    Args args;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {{"--frames", "ten"}, "--frames: 'ten' is not a number"},
      {{"--frames", "4294967296"}, "out of range"},
      {{"--frames", "-5"}, "is not a number"},
      {{"--until-pc", "65536"}, "--until-pc: '65536' is out of range (0 to 65535)"},
      {{"--until-pc", "#10000"}, "out of range"},
      {{"--until-pc", "#12G4"}, "is not a number"},
      {{"--model", "6"}, "--model: '6' is out of range (0 to 5)"},
      {{"--tackts-per-int", "1023"}, "out of range (1024 to 1048576)"},
      {{"--tackts-per-int", "1048577"}, "out of range"},
      {{"--seed", "18446744073709551616"}, "--seed: '18446744073709551616' is out of range"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(ParseError(c.args).find(c.expected), std::string::npos)
        << testing::PrintToString(c.args) << " gave: " << ParseError(c.args);
  }
  EXPECT_EQ(ParseOk({"--tackts-per-int", "1024"}).TacktsPerInt, kMinTacktsPerInt);
  EXPECT_EQ(ParseOk({"--tackts-per-int", "1048576"}).TacktsPerInt, kMaxTacktsPerInt);
  EXPECT_EQ(ParseOk({"--until-pc", "0"}).UntilPc, 0);
  EXPECT_EQ(ParseOk({"--until-pc", "0xFFFF"}).UntilPc, 0xFFFF);
}

TEST(RunnerOptionsTest, MalformedCommandLinesAreRefused) {
  struct Case {
    Args args;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--bogus=1"}, "unknown option '--bogus'"},
      {{"-f"}, "unknown option '-f'"},
      {{"--Frames", "1"}, "unknown option '--Frames'"},
      {{"--frames"}, "--frames needs a value (N)"},
      {{"--dump-regs", "--screenshot"}, "--screenshot needs a value"},
      {{"--dump-regs=yes"}, "--dump-regs takes no value"},
      {{"--rom48", ""}, "--rom48: the value is empty"},
      {{"--screenshot="}, "--screenshot: the value is empty"},
      {{"--wav", ""}, "--wav: the value is empty"},
      {{"--frames", "5", "--frames", "6"}, "--frames is given twice"},
      {{"--paced", "--unpaced"}, "--paced and --unpaced cannot both be given"},
      {{"a.sna", "b.tap"}, "only one FILE may be given ('a.sna' and 'b.tap')"},
      {{"--keys", "A B@"}, "--keys: bad key 'B@'"},
      {{"--keys", "CS+X+"}, "--keys: bad key 'CS+X+'"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(ParseError(c.args).find(c.expected), std::string::npos)
        << testing::PrintToString(c.args) << " gave: " << ParseError(c.args);
  }
}

TEST(RunnerOptionsTest, ADoubleDashEndsTheOptions) {
  const RunnerOptions o = ParseOk({"--frames", "3", "--", "--odd-name.sna"});
  EXPECT_EQ(o.Frames, 3u);
  EXPECT_EQ(o.File, "--odd-name.sna");
  // An option's value may itself start with a dash.
  EXPECT_EQ(ParseOk({"--screenshot", "-shot.png"}).Screenshot, "-shot.png");
}

TEST(RunnerOptionsTest, HelpListsEveryOptionOfTheTable) {
  EXPECT_TRUE(ParseOk({"--help"}).Help);
  const std::string usage = RunnerUsage("snapshots");
  for (const RunnerOptionSpec& option : RunnerOptionTable()) {
    std::string shown(option.Name);
    if (!option.Value.empty()) shown += " " + std::string(option.Value);
    EXPECT_NE(usage.find(shown), std::string::npos) << shown;
  }
  EXPECT_NE(usage.find("snapshots"), std::string::npos);
  size_t start = 0;
  while (start < usage.size()) {
    const size_t end = usage.find('\n', start);
    EXPECT_LE(end - start, 100u) << usage.substr(start, end - start);
    start = end + 1;
  }
}

}  // namespace
}  // namespace vantrel
