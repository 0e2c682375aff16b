#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/KeyScript.h"
#include "core/Memory.h"
#include "core/UlaTiming.h"
#include "machine/Breakpoints.h"
#include "sound/StereoMixer.h"

namespace vantrel {

class SymbolTable;

// What one vantrel-run command line asks for. Unset optionals take the settings' values.
struct RunnerOptions {
  bool Help = false;

  // Machine set-up.
  std::optional<std::string> Rom48k;
  std::optional<std::string> Rom128k;
  std::optional<std::string> RomDos;
  std::optional<uint8_t> StartMode;  // StartModeBits
  std::optional<MemoryModel> Model;
  std::optional<uint32_t> TacktsPerInt;
  std::optional<StereoLayout> Stereo;  // where the AY's channels are heard
  bool TurboSound = false;             // a second AY (Pentagon and Scorpion models)
  std::optional<TimingChoice> Timing;
  std::optional<std::filesystem::path> SettingsFile;  // else the user's own settings
  uint64_t Seed = 0;                                  // fixed, so runs repeat exactly

  // The run.
  uint32_t Frames = 100;
  std::optional<uint16_t> UntilPc;
  std::vector<KeyStroke> Keys;
  std::vector<Breakpoint> Breaks;   // the run stops at the first hit
  bool Paced = false;               // by the sound device if one opens, else by the 20 ms timer
  bool AutoLoad = false;            // reset and type what starts the tape's loader
  std::optional<bool> InstantLoad;  // else the settings' "Instant Tape Loading"

  // Outputs.
  std::optional<std::filesystem::path> Screenshot;
  std::optional<std::filesystem::path> ScreenshotVisible;
  bool DumpRegs = false;
  std::optional<std::filesystem::path> SaveSna;       // 48K or 128K by the start mode
  std::optional<std::filesystem::path> SaveSnapshot;  // SZX, Z80 or SNA by the extension
  // At the end of frame Frame of the run, step back Steps rewind captures and run on.
  struct RewindAt {
    uint32_t Frame = 0;
    uint32_t Steps = 0;
  };
  std::optional<RewindAt> Rewind;
  // After the run, go back this many executed steps (the history is kept for it).
  std::optional<uint32_t> StepBack;
  std::optional<std::filesystem::path> Wav;  // every frame's mixed sound
  bool WavU8 = false;  // the 8-bit mono mix instead of the 16-bit stream the device plays
  std::optional<std::filesystem::path> Trace;     // one line per executed instruction
  std::optional<uint16_t> TraceFrom;              // the trace starts when PC gets here
  std::optional<std::filesystem::path> SaveTape;  // the blocks recorded from MIC

  // Names the --break arguments and conditions may use, shown in the trace (--symbols).
  std::shared_ptr<const SymbolTable> Symbols;

  // The program to load, if any; a disk goes into drive A.
  std::optional<std::filesystem::path> File;
  // Disks for drives B to D (index 1 to 3; index 0 is FILE's).
  std::array<std::optional<std::filesystem::path>, 4> DriveDisks;
  // Where each drive's disk is saved after the run (index 0: --save-disk).
  std::array<std::optional<std::filesystem::path>, 4> SaveDriveDisks;

  // Not an option: where the executable lives, a place ROM files are looked for.
  std::filesystem::path ProgramDirectory;
};

// One command-line option: a row of the table the parser and --help are driven by.
// Options sharing a Group set the same thing, so at most one of them may be given.
struct RunnerOptionSpec {
  std::string_view Name;   // "--frames"
  std::string_view Value;  // what the value is called in the help ("N"); empty for a flag
  std::string_view Help;
  std::string_view Group;  // empty: the option is its own group; kRepeatable: no limit
  // Stores the value; false with a message that does not repeat the option's name.
  bool (*Apply)(RunnerOptions& options, std::string_view value, std::string* error);
  bool AfterOthers = false;  // applied once every other option is, whose values it reads
};

inline constexpr std::string_view kRepeatable = "(repeatable)";

std::span<const RunnerOptionSpec> RunnerOptionTable();

// Parses the arguments after the program name. All or nothing: on an error `options`
// is left as it was and `error` says what was wrong in one line.
bool ParseRunnerOptions(std::span<const std::string> args, RunnerOptions* options,
                        std::string* error);

// A decimal number, or hexadecimal after "#" or "0x".
std::optional<uint64_t> ParseRunnerNumber(std::string_view text);

// The --help text; `fileTypes` describes what FILE may be.
std::string RunnerUsage(std::string_view fileTypes);

}  // namespace vantrel
