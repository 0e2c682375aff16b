#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "app/Settings.h"
#include "cli/KeyScript.h"
#include "cli/RunnerOptions.h"
#include "core/MachineState.h"
#include "input/KeyMatrix.h"

namespace vantrel {
namespace {

using Args = std::vector<std::string>;

Args Words(const std::string& text) {
  Args args;
  std::istringstream in(text);
  for (std::string word; in >> word;) args.push_back(word);
  return args;
}

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

TEST(RunnerOptionsTest, EveryOptionLandsInItsField) {
  // The fields a whole run shows are left to the runner tests; here the "=" form, "--",
  // and the values no run shows.
  const RunnerOptions o = ParseOk(
      Words("--rom128=Pentagon.Rom:0 --romdos C:\\roms\\trdos.rom --model 5 --tackts-per-int 69888 "
            "--seed 18446744073709551615 --frames=250 --wav=d.wav --wav-format u8 --stereo ACB "
            "--turbosound -- --prog.sna"));
  EXPECT_EQ(o.Rom128k, "Pentagon.Rom:0");
  EXPECT_EQ(o.RomDos, "C:\\roms\\trdos.rom");
  EXPECT_EQ(o.Model, MemoryModel::Scorpion1024k);
  EXPECT_EQ(o.TacktsPerInt, 69888u);
  EXPECT_EQ(o.Seed, 18446744073709551615u);
  EXPECT_EQ(o.Frames, 250u);
  EXPECT_EQ(o.Wav, "d.wav");
  EXPECT_TRUE(o.WavU8);
  EXPECT_EQ(o.Stereo, StereoLayout::Acb);
  EXPECT_TRUE(o.TurboSound);
  EXPECT_FALSE(ParseOk(Words("--wav-format s16")).WavU8);
  EXPECT_EQ(ParseOk({}).Stereo, std::nullopt);
  const RunnerOptions drives =
      ParseOk(Words("--disk-b b.trd --disk-d d.$b --save-disk a.scl --save-disk-c c.udi a.trd"));
  EXPECT_EQ(drives.DriveDisks[1], "b.trd");
  EXPECT_FALSE(drives.DriveDisks[2]);
  EXPECT_EQ(drives.DriveDisks[3], "d.$b");
  EXPECT_EQ(drives.SaveDriveDisks[0], "a.scl");
  EXPECT_EQ(drives.SaveDriveDisks[2], "c.udi");
  EXPECT_EQ(o.File, "--prog.sna");          // after "--"
  EXPECT_FALSE(o.InstantLoad.has_value());  // the settings decide
  EXPECT_EQ(ParseOk(Words("--instant-load")).InstantLoad, true);
  EXPECT_EQ(ParseOk(Words("--no-instant-load --save-tape=out.tap")).InstantLoad, false);
  EXPECT_EQ(ParseOk(Words("--save-tape out.tap")).SaveTape, "out.tap");
  // An option's value may itself start with a dash.
  EXPECT_EQ(ParseOk({"--screenshot", "-shot.png"}).Screenshot, "-shot.png");
}

TEST(RunnerOptionsTest, ModesAndNumbersWithinTheirRanges) {
  struct Case {
    const char* args;
    int startMode, untilPc;  // -1: not given
    uint32_t tackts;         // 0: not given
  };
  const Case cases[] = {
      {"--mode 48", 0, -1, 0},
      {"--mode trdos48", kStartTrDos, -1, 0},
      {"--mode 128 --until-pc 0", kStart128k, 0, 0},
      {"--mode trdos128 --until-pc 65535", kStart128k | kStartTrDos, 0xFFFF, 0},
      {"--until-pc #FFff --tackts-per-int 1024", -1, 0xFFFF, kMinTacktsPerInt},
      {"--until-pc 0X10 --tackts-per-int 1048576", -1, 16, kMaxTacktsPerInt},
      {"--until-pc 010", -1, 10, 0},  // never octal
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const RunnerOptions o = ParseOk(Words(c.args));
    EXPECT_EQ(o.StartMode ? int{*o.StartMode} : -1, c.startMode);
    EXPECT_EQ(o.UntilPc ? int{*o.UntilPc} : -1, c.untilPc);
    EXPECT_EQ(o.TacktsPerInt.value_or(0), c.tackts);
  }
  for (const char* bad : {"", "#", "0x", "12a", "1 ", " 1", "-1", "+1", "#-1", "0x#1", "1e3",
                          "18446744073709551616"}) {
    EXPECT_FALSE(ParseRunnerNumber(bad).has_value()) << bad;
  }
}

TEST(RunnerOptionsTest, BadCommandLinesAreRefusedWithOneLine) {
  const std::pair<Args, const char*> cases[] = {
      {Words("--mode 48k"), "--mode: '48k' is not a mode"},
      {Words("--mode TRDOS48"), "is not a mode"},
      {Words("--frames ten"), "--frames: 'ten' is not a number"},
      {Words("--frames 4294967296"), "out of range"},
      {Words("--until-pc 65536"), "--until-pc: '65536' is out of range (0 to 65535)"},
      {Words("--model 6"), "--model: '6' is out of range (0 to 5)"},
      {Words("--break jump:1"), "--break: unknown breakpoint kind"},
      {Words("--tackts-per-int 1023"), "out of range (1024 to 1048576)"},
      {Words("--tackts-per-int 1048577"), "out of range"},
      {Words("--bogus=1"), "unknown option '--bogus'"},
      {Words("--Frames 1"), "unknown option '--Frames'"},
      {Words("--frames"), "--frames needs a value (N)"},
      {Words("--dump-regs=yes"), "--dump-regs takes no value"},
      {{"--rom48", ""}, "--rom48: the value is empty"},
      {Words("--frames 5 --frames 6"), "--frames is given twice"},
      {Words("--paced --unpaced"), "--paced and --unpaced cannot both be given"},
      {Words("--instant-load --no-instant-load"), "cannot both be given"},
      {Words("a.sna b.tap"), "only one FILE may be given ('a.sna' and 'b.tap')"},
      {Words("--keys CS+X+"), "--keys: bad key 'CS+X+'"},
      {Words("--stereo bac"), "--stereo: 'bac' is not mono, abc or acb"},
      {Words("--wav-format s8"), "--wav-format: 's8' is not u8 or s16"},
      {Words("--turbosound=1"), "--turbosound takes no value"},
      {Words("--disk-b b.tap"), "--disk-b: 'b.tap' is not a disk image"},
      {Words("--save-disk-d d.$b"), "--save-disk-d: 'd.$b' is not a .trd, .scl, .fdi or .udi"},
      {Words("--timing 48k"), "--timing: expected default, 48, 128 or auto"},
      {Words("--step-back 0"), "--step-back: '0' is not a number of steps from 1 to 100000"},
      {Words("--step-back 100001"), "is not a number of steps"},
      {Words("--timing 48 --tackts-per-int 69888"), "contradict"},
      {Words("--tackts-per-int 70000 --timing=128"), "contradict"},
  };
  for (const auto& [args, expected] : cases) {
    const std::string error = ParseError(args);
    EXPECT_NE(error.find(expected), std::string::npos)
        << testing::PrintToString(args) << " gave: " << error;
  }
}

// A Sinclair timing sets its own frame: only the default and "auto" take a frame length.
TEST(RunnerOptionsTest, TimingChoices) {
  struct Case {
    const char* args;
    TimingChoice timing;
  };
  for (const Case& c : {Case{"--timing default --tackts-per-int 2000", TimingChoice::Default},
                        Case{"--timing 48", TimingChoice::Sinclair48},
                        Case{"--timing 128", TimingChoice::Sinclair128},
                        Case{"--timing auto --tackts-per-int 2000", TimingChoice::ByStartMode}}) {
    EXPECT_EQ(ParseOk(Words(c.args)).Timing, c.timing) << c.args;
  }
  EXPECT_FALSE(ParseOk(Words("--mode 48")).Timing.has_value());
}

// --break reads the names of --symbols wherever that option stands; what has no value
// before the run (a register) and a symbol file that cannot be used are refused.
TEST(RunnerOptionsTest, BreakpointsBySymbolName) {
  const test::TempDir dir;
  const std::string symbols = (dir.path() / "game.sym").string();
  std::ofstream(symbols) << "START EQU 11CBh\nmain.loop: EQU $8003\n";
  const std::string empty = (dir.path() / "empty.sym").string();
  std::ofstream(empty) << "; nothing\n";

  const RunnerOptions after = ParseOk({"--break", "exec:main.loop+1", "--symbols", symbols});
  ASSERT_EQ(after.Breaks.size(), 1u);
  EXPECT_EQ(after.Breaks[0].Argument, 0x8004u);
  const RunnerOptions before =
      ParseOk({"--symbols=" + symbols, "--break", "write:start", "--break=exec:0x5C3A"});
  ASSERT_EQ(before.Breaks.size(), 2u);
  EXPECT_EQ(before.Breaks[0].Type, BreakType::WriteMemory);
  EXPECT_EQ(before.Breaks[0].Argument, 0x11CBu);
  EXPECT_EQ(before.Breaks[1].Argument, 0x5C3Au);

  const std::pair<Args, std::string> cases[] = {
      {{"--break", "exec:sp"}, "--break: \"sp\": Register sp has no value before the run!"},
      {{"--symbols", symbols, "--break", "exec:START+pc"}, "Register pc has no value"},
      {{"--break", "exec:START"}, "--break: \"START\": Invalid variable name!"},
      {{"--break", "exec:start", "--symbols", (dir.path() / "absent.sym").string()},
       "--symbols: Cannot open symbol file " + (dir.path() / "absent.sym").string()},
      {{"--symbols", empty}, "--symbols: " + empty + ": No symbol definitions found"},
      {{"--symbols", dir.path().string()},
       "--symbols: Cannot open symbol file " + dir.path().string() + ": it is a folder."},
      {{"--symbols", symbols, "--symbols", symbols}, "--symbols is given twice"},
      {{"--symbols", ""}, "--symbols: the value is empty"},
  };
  for (const auto& [args, expected] : cases) {
    const std::string error = ParseError(args);
    EXPECT_NE(error.find(expected), std::string::npos)
        << testing::PrintToString(args) << " gave: " << error;
  }
}

// Conditions after " if ", checked as they are parsed; --trace-from needs --trace and may
// name a symbol.
TEST(RunnerOptionsTest, ConditionsAndTraceOptions) {
  const test::TempDir dir;
  const std::string symbols = (dir.path() / "game.sym").string();
  std::ofstream(symbols) << "8003 loop\nlimit $0010\n";
  const RunnerOptions parsed =
      ParseOk({"--break", "exec:#8000 if A=#10 && [HL]>3", "--break", "exec:loop IF b < limit",
               "--trace", "t.txt", "--trace-from", "loop+1", "--symbols", symbols});
  ASSERT_EQ(parsed.Breaks.size(), 2u);
  EXPECT_EQ(parsed.Breaks[0].Argument, 0x8000u);
  EXPECT_EQ(parsed.Breaks[0].ConditionText, "A=#10 && [HL]>3");
  ASSERT_TRUE(parsed.Breaks[0].Condition);
  EXPECT_EQ(parsed.Breaks[1].Argument, 0x8003u);
  EXPECT_EQ(parsed.Breaks[1].ConditionText, "b < limit");
  EXPECT_EQ(parsed.Trace, std::filesystem::path("t.txt"));
  EXPECT_EQ(parsed.TraceFrom, 0x8004);
  const RunnerOptions plain = ParseOk({"--break", "int", "--trace=x.txt"});
  EXPECT_FALSE(plain.Breaks[0].Condition);
  EXPECT_FALSE(plain.TraceFrom);

  const std::pair<Args, std::string> cases[] = {
      {{"--break", "exec:#8000 if A=="}, "--break: condition \"A==\": Hint: Dec 0, Hex #0, Bin %0"},
      {{"--break", "exec:#8000 if [HL"}, "--break: condition \"[HL\": Not found close bracket!"},
      {{"--break", "exec:#8000 if"}, "--break: \"if\" needs a condition"},
      {{"--break", "exec:#8000 if  "}, "--break: \"if\" needs a condition"},
      {{"--break", "exec:#8000 if loop"}, "Invalid variable name!"},
      {{"--trace-from", "#8000"}, "--trace-from: needs --trace"},
      {{"--trace", "t", "--trace-from", "hl"}, "Register hl has no value before the run!"},
      {{"--trace", ""}, "--trace: the value is empty"},
  };
  for (const auto& [args, expected] : cases) {
    const std::string error = ParseError(args);
    EXPECT_NE(error.find(expected), std::string::npos)
        << testing::PrintToString(args) << " gave: " << error;
  }
}

// ---------------------------------------------------------------------------------------
// The --keys script.

std::vector<KeyStroke> ParseKeys(std::string_view script) {
  std::vector<KeyStroke> strokes;
  std::string error;
  EXPECT_TRUE(ParseKeyScript(script, &strokes, &error)) << script << ": " << error;
  return strokes;
}

int Key(char c) {
  return KeyIndexOfChar(c);
}

TEST(KeyScriptTest, NamesCombinationsAndStartFrames) {
  const std::vector<KeyStroke> strokes = ParseKeys("  a\tENTER cs+5 Ss+p@50 SPACE 0@0  ");
  ASSERT_EQ(strokes.size(), 6u);
  const std::vector<std::vector<int>> keys = {
      {Key('A')},  {kKeyEnter}, {kKeyCapsShift, Key('5')}, {kKeySymbolShift, Key('P')},
      {kKeySpace}, {Key('0')}};
  for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(strokes[i].Keys, keys[i]) << i;
  EXPECT_FALSE(strokes[0].StartFrame.has_value());
  EXPECT_EQ(strokes[3].StartFrame, 50u);
  EXPECT_EQ(strokes[3].Text, "Ss+p@50");
  EXPECT_EQ(strokes[5].StartFrame, 0u);
  EXPECT_TRUE(ParseKeys("").empty());
  EXPECT_EQ(ParseKeys("A@4294967295")[0].StartFrame, 4294967295u);
}

TEST(KeyScriptTest, BadTokensAreNamedAndLeaveTheResultAlone) {
  for (const char* token : {"@5", "A@", "A@x", "A@-1", "A@+1", "A@4294967296", "A@1@2", "CS+", "+A",
                            "A++B", "AB", "SHIFT", "ENTERX", "!", "Z@#10"}) {
    std::vector<KeyStroke> strokes = {KeyStroke{{1}, std::nullopt, "kept"}};
    std::string error;
    EXPECT_FALSE(ParseKeyScript(std::string("Q ") + token + " W", &strokes, &error)) << token;
    EXPECT_NE(error.find(std::string("'") + token + "'"), std::string::npos) << error;
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0].Text, "kept");
  }
}

// Keys are down three frames, then up six before the next stroke; a start frame moves
// the strokes after it, even back in time, and the list stays in frame order.
TEST(KeyScriptTest, ScheduleHoldsEachStrokeThenLeavesAGap) {
  const int a = Key('A'), b = Key('B'), c = Key('C'), five = Key('5'), cs = kKeyCapsShift;
  const std::pair<const char*, std::vector<KeyEvent>> cases[] = {
      {"A@10 B C@2",
       {{2, c, true}, {5, c, false}, {10, a, true}, {13, a, false}, {19, b, true}, {22, b, false}}},
      {"CS+5@4", {{4, cs, true}, {4, five, true}, {7, cs, false}, {7, five, false}}},
  };
  for (const auto& [script, expected] : cases) {
    EXPECT_EQ(KeySchedule(ParseKeys(script)).Events(), expected) << script;
  }
}

// A real keyboard matrix, frame by frame. When a release and a press fall on one frame,
// releasing first keeps the press count right and the key down.
TEST(KeyScriptTest, AppliedFramesPressAndReleaseTheMatrix) {
  const std::pair<const char*, std::vector<bool>> cases[] = {
      {"A A@3", {1, 1, 1, 1, 1, 1, 0, 0}},
  };
  for (const auto& [script, expected] : cases) {
    KeySchedule schedule(ParseKeys(script));
    KeyMatrix keys;
    std::vector<bool> pressed;
    for (uint64_t frame = 0; frame < expected.size(); ++frame) {
      schedule.ApplyFrame(frame, keys);
      pressed.push_back(keys.KeyIsPressed(Key('A')));
    }
    EXPECT_EQ(pressed, expected) << script;
  }
  // Skipped frames are caught up.
  KeyMatrix keys;
  KeySchedule schedule(ParseKeys("A B"));
  schedule.ApplyFrame(9, keys);  // A pressed and released, B pressed
  EXPECT_FALSE(keys.KeyIsPressed(Key('A')));
  EXPECT_TRUE(keys.KeyIsPressed(Key('B')));
  schedule.ApplyFrame(100, keys);
  EXPECT_EQ(keys.PressedCount(), 0);
}

}  // namespace
}  // namespace vantrel
