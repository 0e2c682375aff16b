#include "cli/RunnerOptions.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <map>

#include "app/Settings.h"
#include "core/MachineState.h"
#include "debugger/BreakpointText.h"
#include "debugger/Evaluator.h"
#include "debugger/Symbols.h"
#include "disk/DiskImageFiles.h"
#include "machine/StepHistory.h"
#include "media/SnapshotSaver.h"

namespace vantrel {

namespace {

// std::errc::invalid_argument for text that is no number, result_out_of_range for one
// past 64 bits.
std::errc ScanNumber(std::string_view text, uint64_t* value) {
  int base = 10;
  if (text.starts_with('#')) {
    text.remove_prefix(1);
    base = 16;
  } else if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, *value, base);
  if (text.empty() || stop != end) return std::errc::invalid_argument;
  return ec;
}

std::string Quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

// A number within [min, max], or false with a message.
template <class T>
bool ParseInRange(std::string_view text, uint64_t min, uint64_t max, T* value, std::string* error) {
  uint64_t number = 0;
  const std::errc status = ScanNumber(text, &number);
  if (status == std::errc::invalid_argument) {
    *error = Quoted(text) + " is not a number";
    return false;
  }
  if (status != std::errc() || number < min || number > max) {
    *error = Quoted(text) + " is out of range (" + std::to_string(min) + " to " +
             std::to_string(max) + ")";
    return false;
  }
  *value = static_cast<T>(number);
  return true;
}

bool NotEmpty(std::string_view value, std::string* error) {
  if (!value.empty()) return true;
  *error = "the value is empty";
  return false;
}

bool ApplyHelp(RunnerOptions& o, std::string_view, std::string*) {
  o.Help = true;
  return true;
}

bool ApplyRom48k(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  o.Rom48k = std::string(v);
  return true;
}

bool ApplyRom128k(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  o.Rom128k = std::string(v);
  return true;
}

bool ApplyRomDos(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  o.RomDos = std::string(v);
  return true;
}

bool ApplyMode(RunnerOptions& o, std::string_view v, std::string* e) {
  // The order of the settings' start-up choices, which equals the StartMode bits.
  static constexpr std::array<std::string_view, 4> kModes = {"48", "trdos48", "128", "trdos128"};
  const auto found = std::find(kModes.begin(), kModes.end(), v);
  if (found == kModes.end()) {
    *e = Quoted(v) + " is not a mode (48, trdos48, 128, trdos128)";
    return false;
  }
  o.StartMode = static_cast<uint8_t>(found - kModes.begin());
  return true;
}

bool ApplyModel(RunnerOptions& o, std::string_view v, std::string* e) {
  uint8_t model = 0;
  if (!ParseInRange(v, 0, kMemoryModelCount - 1, &model, e)) return false;
  o.Model = static_cast<MemoryModel>(model);
  return true;
}

bool ApplySettings(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  o.SettingsFile = std::filesystem::path(v);
  return true;
}

bool ApplyTacktsPerInt(RunnerOptions& o, std::string_view v, std::string* e) {
  uint32_t tackts = 0;
  if (!ParseInRange(v, kMinTacktsPerInt, kMaxTacktsPerInt, &tackts, e)) return false;
  o.TacktsPerInt = tackts;
  return true;
}

bool ApplyTiming(RunnerOptions& o, std::string_view v, std::string* e) {
  static constexpr std::array<std::string_view, kTimingChoiceCount> kTimings = {"default", "48",
                                                                                "128", "auto"};
  const auto found = std::find(kTimings.begin(), kTimings.end(), v);
  if (found == kTimings.end()) {
    *e = "expected default, 48, 128 or auto, not " + Quoted(v);
    return false;
  }
  o.Timing = static_cast<TimingChoice>(found - kTimings.begin());
  return true;
}

bool ApplySeed(RunnerOptions& o, std::string_view v, std::string* e) {
  return ParseInRange(v, 0, std::numeric_limits<uint64_t>::max(), &o.Seed, e);
}

bool ApplyFrames(RunnerOptions& o, std::string_view v, std::string* e) {
  // 0 runs nothing: a snapshot is loaded and the outputs are made from it as it is.
  return ParseInRange(v, 0, std::numeric_limits<uint32_t>::max(), &o.Frames, e);
}

bool ApplyUntilPc(RunnerOptions& o, std::string_view v, std::string* e) {
  uint16_t pc = 0;
  if (!ParseInRange(v, 0, 0xFFFF, &pc, e)) return false;
  o.UntilPc = pc;
  return true;
}

bool ApplySymbols(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  try {
    o.Symbols = std::make_shared<const SymbolTable>(SymbolTable::Load(std::string(v)));
  } catch (const SymbolFileError& failure) {
    *e = failure.what();
    return false;
  }
  return true;
}

bool ApplyBreak(RunnerOptions& o, std::string_view v, std::string* e) {
  const std::optional<Breakpoint> entry = ParseBreakOption(v, e, o.Symbols.get());
  if (!entry) return false;
  if (o.Breaks.size() == Breakpoints::kMaxEntries) {
    *e = "at most " + std::to_string(Breakpoints::kMaxEntries) + " breakpoints";
    return false;
  }
  o.Breaks.push_back(*entry);
  return true;
}

bool ApplyKeys(RunnerOptions& o, std::string_view v, std::string* e) {
  return ParseKeyScript(v, &o.Keys, e);
}

bool ApplyScreenshot(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  o.Screenshot = std::filesystem::path(v);
  return true;
}

bool ApplyScreenshotVisible(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  o.ScreenshotVisible = std::filesystem::path(v);
  return true;
}

bool ApplySaveSna(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  o.SaveSna = std::filesystem::path(v);
  return true;
}

bool ApplySaveSnapshot(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  if (!SnapshotVariantOfName(v)) {
    *e = Quoted(v) + " is not a .szx, .z80 or .sna file name";
    return false;
  }
  o.SaveSnapshot = std::filesystem::path(v);
  return true;
}

bool ApplyRewind(RunnerOptions& o, std::string_view v, std::string* e) {
  const size_t colon = v.find(':');
  const std::optional<uint64_t> frame =
      colon == std::string_view::npos ? std::nullopt : ParseRunnerNumber(v.substr(0, colon));
  const std::optional<uint64_t> steps =
      colon == std::string_view::npos ? std::nullopt : ParseRunnerNumber(v.substr(colon + 1));
  if (!frame || !steps || *frame == 0 || *frame > 0xFFFFFFFFu || *steps == 0 || *steps > 120) {
    *e = Quoted(v) + " is not FRAME:N (a frame of the run from 1, and 1 to 120 captures)";
    return false;
  }
  o.Rewind = RunnerOptions::RewindAt{static_cast<uint32_t>(*frame), static_cast<uint32_t>(*steps)};
  return true;
}

bool ApplyStepBack(RunnerOptions& o, std::string_view v, std::string* e) {
  const std::optional<uint64_t> steps = ParseRunnerNumber(v);
  if (!steps || *steps == 0 || *steps > StepHistory::kEntries) {
    *e = Quoted(v) + " is not a number of steps from 1 to " + std::to_string(StepHistory::kEntries);
    return false;
  }
  o.StepBack = static_cast<uint32_t>(*steps);
  return true;
}

template <int Drive>
bool ApplySaveDisk(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  const std::optional<DiskFormat> format = DiskFormatOf(std::filesystem::path(v));
  if (!format || format == DiskFormat::Hobeta) {
    *e = Quoted(v) + " is not a .trd, .scl, .fdi or .udi file name";
    return false;
  }
  o.SaveDriveDisks[Drive] = std::filesystem::path(v);
  return true;
}

// A disk for drive B, C or D; FILE is drive A's.
template <int Drive>
bool ApplyDriveDisk(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  if (!DiskFormatOf(std::filesystem::path(v))) {
    *e = Quoted(v) + " is not a disk image (.trd, .scl, .fdi, .udi, .$?)";
    return false;
  }
  o.DriveDisks[Drive] = std::filesystem::path(v);
  return true;
}

bool ApplyWav(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  o.Wav = std::filesystem::path(v);
  return true;
}

bool ApplyWavFormat(RunnerOptions& o, std::string_view v, std::string* e) {
  if (v != "u8" && v != "s16") {
    *e = Quoted(v) + " is not u8 or s16";
    return false;
  }
  o.WavU8 = v == "u8";
  return true;
}

bool ApplyStereo(RunnerOptions& o, std::string_view v, std::string* e) {
  const std::optional<StereoLayout> layout = ParseStereoLayout(v);
  if (!layout) {
    *e = Quoted(v) + " is not mono, abc or acb";
    return false;
  }
  o.Stereo = layout;
  return true;
}

bool ApplyTurboSound(RunnerOptions& o, std::string_view, std::string*) {
  o.TurboSound = true;
  return true;
}

bool ApplyTrace(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!NotEmpty(v, e)) return false;
  o.Trace = std::filesystem::path(v);
  return true;
}

bool ApplyTraceFrom(RunnerOptions& o, std::string_view v, std::string* e) {
  if (!o.Trace) {
    *e = "needs --trace";
    return false;
  }
  try {
    o.TraceFrom = static_cast<uint16_t>(EvaluateConstant(v, o.Symbols.get()));
  } catch (const ExpressionError& failure) {
    *e = Quoted(v) + ": " + failure.what();
    return false;
  }
  return true;
}

bool ApplyDumpRegs(RunnerOptions& o, std::string_view, std::string*) {
  o.DumpRegs = true;
  return true;
}

bool ApplyPaced(RunnerOptions& o, std::string_view, std::string*) {
  o.Paced = true;
  return true;
}

bool ApplyUnpaced(RunnerOptions& o, std::string_view, std::string*) {
  o.Paced = false;
  return true;
}

bool ApplyAutoLoad(RunnerOptions& o, std::string_view, std::string*) {
  o.AutoLoad = true;
  return true;
}

bool ApplyInstantLoad(RunnerOptions& o, std::string_view, std::string*) {
  o.InstantLoad = true;
  return true;
}

bool ApplyNoInstantLoad(RunnerOptions& o, std::string_view, std::string*) {
  o.InstantLoad = false;
  return true;
}

bool ApplySaveTape(RunnerOptions& o, std::string_view value, std::string* error) {
  if (value.empty()) {
    *error = "needs a file name";
    return false;
  }
  o.SaveTape = std::filesystem::path(value);
  return true;
}

constexpr RunnerOptionSpec kOptions[] = {
    {"--help", "", "show this text and exit", "", ApplyHelp},
    {"--rom48", "REF", "48K BASIC ROM, \"path\" or \"path:page\" (16 KB pages)", "", ApplyRom48k},
    {"--rom128", "REF", "128K editor ROM", "", ApplyRom128k},
    {"--romdos", "REF", "TR-DOS ROM", "", ApplyRomDos},
    {"--mode", "MODE", "start in 48, trdos48, 128 or trdos128", "", ApplyMode},
    {"--model", "N",
     "memory model: 0 Spectrum 128K, 1 Pentagon 256K, 2 Pentagon 512K, 3 Pentagon 1024K, "
     "4 Scorpion 256K, 5 Scorpion 1024K",
     "", ApplyModel},
    {"--settings", "FILE", "read settings from this INI file instead of the user's", "",
     ApplySettings},
    {"--tackts-per-int", "N", "T-states per frame (1024 to 1048576)", "", ApplyTacktsPerInt},
    {"--timing", "KIND",
     "default (no contention; the default), 48 or 128 (a Sinclair machine's frame, contention "
     "and floating bus), auto (by --mode: 48K modes as a 48K, 128K modes on model 0 as a "
     "128K)",
     "", ApplyTiming},
    {"--seed", "N", "power-on RAM contents (default 0)", "", ApplySeed},
    {"--frames", "N", "run N frames (default 100; 0 runs nothing)", "", ApplyFrames},
    {"--until-pc", "ADDR", "stop when PC reaches ADDR (decimal, #hex or 0xhex)", "", ApplyUntilPc},
    {"--symbols", "FILE",
     "names for --break, --trace-from and the trace: an assembler's symbol listing (NAME EQU "
     "value, NAME = value, or two columns: an address and a name in either order)",
     "", ApplySymbols},
    {"--break", "KIND:ARG",
     "stop at the first hit of a breakpoint (exit status 4): exec:ADDR, write:ADDR, read:ADDR, "
     "out:PORT, in:PORT, time:TACKTS or int; ARG is an expression of numbers (#hex, 0xhex) "
     "and --symbols names, no registers, or * for any; \"KIND:ARG if CONDITION\" stops only "
     "where CONDITION (registers, [ADDR] a byte, {ADDR} a word, = <> < > && || ...) is not 0; "
     "repeatable",
     kRepeatable, ApplyBreak, true},
    {"--trace", "FILE",
     "write one line per executed instruction: T-states since the start, address, bytes, "
     "disassembly and the registers after it",
     "", ApplyTrace},
    {"--trace-from", "ADDR", "start the trace when PC first reaches ADDR (needs --trace)", "",
     ApplyTraceFrom, true},
    {"--keys", "KEYS",
     "type keys: tokens such as A, ENTER, CS+5, SS+P@50 (@N: start at frame N), each held "
     "3 frames then released 6, so the ROM takes a key typed twice in a row twice",
     "", ApplyKeys},
    {"--screenshot", "FILE.png", "save the whole 384x288 picture after the run", "",
     ApplyScreenshot},
    {"--screenshot-visible", "FILE.png", "save the part the border settings leave visible", "",
     ApplyScreenshotVisible},
    {"--save-sna", "FILE.sna",
     "save the machine as an SNA snapshot after the run (128K variant in the 128 modes)", "",
     ApplySaveSna},
    {"--save-snapshot", "FILE",
     "save the machine after the run as SZX, Z80 or SNA by the extension (.szx, .z80, .sna; "
     "SNA as with --save-sna)",
     "", ApplySaveSnapshot},
    {"--rewind", "FRAME:N",
     "at the end of frame FRAME step back N rewind captures (one a second of machine time) and "
     "run on from there; the run's frame count goes on",
     "", ApplyRewind},
    {"--step-back", "N",
     "after the run go back N executed instructions (an accepted interrupt counts as one), "
     "as the debugger's Step Back does, before the outputs are written; the run keeps the "
     "history it needs",
     "", ApplyStepBack},
    {"--disk-b", "FILE", "put this disk image into drive B (FILE goes into drive A)", "",
     ApplyDriveDisk<1>},
    {"--disk-c", "FILE", "put this disk image into drive C", "", ApplyDriveDisk<2>},
    {"--disk-d", "FILE", "put this disk image into drive D", "", ApplyDriveDisk<3>},
    {"--save-disk", "FILE",
     "save the disk in drive A after the run as TRD, SCL, FDI or UDI (by the extension); a TRD "
     "or SCL that cannot hold all of the disk is written with a warning naming what is lost",
     "", ApplySaveDisk<0>},
    {"--save-disk-b", "FILE", "the same for drive B", "", ApplySaveDisk<1>},
    {"--save-disk-c", "FILE", "the same for drive C", "", ApplySaveDisk<2>},
    {"--save-disk-d", "FILE", "the same for drive D", "", ApplySaveDisk<3>},
    {"--wav", "FILE.wav",
     "save the run's sound as a WAV file: what the sound device plays, 16-bit at 44100 Hz, "
     "stereo for --stereo abc or acb, mono for mono",
     "", ApplyWav},
    {"--wav-format", "FORMAT", "s16 (default) or u8: the 8-bit mono mix instead", "",
     ApplyWavFormat},
    {"--stereo", "LAYOUT",
     "where the AY's channels are heard: mono, abc (A left, B middle, C right) or acb "
     "(A left, C middle, B right); default: the settings' choice",
     "", ApplyStereo},
    {"--turbosound", "",
     "a second AY chip, chosen by writing #FF or #FE to port #FFFD (Pentagon and Scorpion "
     "models only)",
     "", ApplyTurboSound},
    {"--dump-regs", "", "print registers, paging and the tape's state as JSON after the run", "",
     ApplyDumpRegs},
    {"--autoload", "",
     "start FILE: a tape by the Tape Loader chosen in the 128K menu, or LOAD \"\" typed in "
     "BASIC, as a keyword or letter by letter as the ROM takes it (TR-DOS modes reset into "
     "their BASIC); a disk by a reset into TR-DOS (48 and 128 into trdos48 and trdos128), "
     "which runs its boot file",
     "", ApplyAutoLoad},
    {"--instant-load", "",
     "the ROM's tape loader takes standard blocks straight from the tape (the settings' "
     "\"Instant Tape Loading\" otherwise decides; on by default)",
     "instant", ApplyInstantLoad},
    {"--no-instant-load", "", "every block plays through the EAR bit, in its own time", "instant",
     ApplyNoInstantLoad},
    {"--save-tape", "FILE.tap",
     "record the blocks saved during the run (the MIC output of the ROM's SAVE or of any "
     "program writing standard blocks) and write them as a TAP file",
     "", ApplySaveTape},
    {"--unpaced", "", "run as fast as possible (default)", "pacing", ApplyUnpaced},
    {"--paced", "",
     "run at 50 frames per second, timed by the sound device if one opens, else by a 20 ms "
     "timer",
     "pacing", ApplyPaced},
};

const RunnerOptionSpec* FindOption(std::string_view name) {
  for (const RunnerOptionSpec& option : kOptions) {
    if (option.Name == name) return &option;
  }
  return nullptr;
}

}  // namespace

std::span<const RunnerOptionSpec> RunnerOptionTable() {
  return kOptions;
}

std::optional<uint64_t> ParseRunnerNumber(std::string_view text) {
  uint64_t value = 0;
  if (ScanNumber(text, &value) != std::errc()) return std::nullopt;
  return value;
}

bool ParseRunnerOptions(std::span<const std::string> args, RunnerOptions* options,
                        std::string* error) {
  RunnerOptions parsed = *options;
  std::map<std::string_view, std::string_view> groupsSeen;  // group -> option given
  // The options applied after the others, with their values.
  std::vector<std::pair<const RunnerOptionSpec*, std::string_view>> later;
  const auto apply = [&parsed, error](const RunnerOptionSpec& option, std::string_view value) {
    std::string why;
    if (option.Apply(parsed, value, &why)) return true;
    *error = std::string(option.Name) + ": " + why;
    return false;
  };
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
      if (parsed.File) {
        *error = "only one FILE may be given (" + Quoted(parsed.File->string()) + " and " +
                 Quoted(arg) + ")";
        return false;
      }
      if (arg.empty()) {
        *error = "FILE is empty";
        return false;
      }
      parsed.File = std::filesystem::path(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }

    // "--name=value" as well as "--name value".
    const size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const RunnerOptionSpec* option = FindOption(name);
    if (option == nullptr) {
      *error = "unknown option " + Quoted(name) + " (see --help)";
      return false;
    }
    const std::string_view group = option->Group.empty() ? option->Name : option->Group;
    if (const auto [seen, first] = groupsSeen.emplace(group, option->Name);
        !first && group != kRepeatable) {
      *error = seen->second == option->Name
                   ? std::string(option->Name) + " is given twice"
                   : std::string(seen->second) + " and " + std::string(option->Name) +
                         " cannot both be given";
      return false;
    }

    std::string_view value;
    if (option->Value.empty()) {
      if (equals != std::string_view::npos) {
        *error = std::string(name) + " takes no value";
        return false;
      }
    } else if (equals != std::string_view::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      *error = std::string(name) + " needs a value (" + std::string(option->Value) + ")";
      return false;
    }

    if (option->AfterOthers) {
      later.emplace_back(option, value);
    } else if (!apply(*option, value)) {
      return false;
    }
  }
  for (const auto& [option, value] : later) {
    if (!apply(*option, value)) return false;
  }
  // A Sinclair timing has its own frame length.
  if (parsed.TacktsPerInt && parsed.Timing &&
      (*parsed.Timing == TimingChoice::Sinclair48 || *parsed.Timing == TimingChoice::Sinclair128)) {
    *error =
        "--tackts-per-int and --timing 48 or 128 contradict each other: a Sinclair "
        "timing sets its own frame length";
    return false;
  }
  *options = std::move(parsed);
  return true;
}

std::string RunnerUsage(std::string_view fileTypes) {
  std::string text =
      "usage: vantrel-run [options] [FILE]\n"
      "Runs the Vantrel Spectrum emulator without a window, for scripts and tests.\n"
      "Unset values come from the emulator's settings, which are never written.\n\n"
      "options:\n";
  size_t width = 0;
  for (const RunnerOptionSpec& option : kOptions) {
    width = std::max(width, option.Name.size() + 1 + option.Value.size());
  }
  constexpr size_t kLineWidth = 79;
  for (const RunnerOptionSpec& option : kOptions) {
    std::string line = "  " + std::string(option.Name);
    if (!option.Value.empty()) line += " " + std::string(option.Value);
    const size_t indent = width + 4;
    line.resize(indent, ' ');
    // Word-wrapped help, continuation lines under the first.
    std::string_view help = option.Help;
    bool lineHasWords = false;
    while (!help.empty()) {
      const size_t space = help.find(' ');
      const std::string_view word = help.substr(0, space);
      help = space == std::string_view::npos ? std::string_view() : help.substr(space + 1);
      if (lineHasWords && line.size() + 1 + word.size() > kLineWidth) {
        text += line + "\n";
        line.assign(indent, ' ');
        lineHasWords = false;
      }
      if (lineHasWords) line += ' ';
      line += word;
      lineHasWords = true;
    }
    text += line + "\n";
  }
  text += "\nFILE: a program to load: " + std::string(fileTypes) + "\n";
  text += "A disk goes into drive A and starts the machine in trdos128 unless --mode is given.\n";
  text +=
      "\nexit status: 0 done, 1 run-time failure (ROM, output), 2 bad option or input file,\n"
      "3 --until-pc address not reached, 4 a --break breakpoint stopped the run (the outputs\n"
      "are still written in both cases)\n";
  return text;
}

}  // namespace vantrel
