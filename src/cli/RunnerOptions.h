#pragma once

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
  std::optional<TimingChoice> Timing;
  std::optional<std::filesystem::path> SettingsFile;  // else the user's own settings
  uint64_t Seed = 0;                                  // fixed, so runs repeat exactly

  // The run.
  uint32_t Frames = 100;
  std::optional<uint16_t> UntilPc;
  std::vector<KeyStroke> Keys;
  std::vector<Breakpoint> Breaks;  // the run stops at the first hit
  bool Paced = false;              // by the sound device if one opens, else by the 20 ms timer
  bool AutoLoad = false;           // reset and type what starts the tape's loader

  // Outputs.
  std::optional<std::filesystem::path> Screenshot;
  std::optional<std::filesystem::path> ScreenshotVisible;
  bool DumpRegs = false;
  std::optional<std::filesystem::path> SaveSna;   // 48K or 128K by the start mode
  std::optional<std::filesystem::path> SaveDisk;  // TRD, FDI or UDI by the extension
  std::optional<std::filesystem::path> Wav;       // every frame's mixed sound

  // Names the --break arguments may use (--symbols).
  std::shared_ptr<const SymbolTable> Symbols;

  // The program to load, if any.
  std::optional<std::filesystem::path> File;

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
