#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/PngImage.h"
#include "cli/RunnerOptions.h"

namespace vantrel {

class Machine;
class ScreenRenderer;

// vantrel-run's exit statuses.
inline constexpr int kRunnerOk = 0;
inline constexpr int kRunnerFailed = 1;        // a ROM, an output file
inline constexpr int kRunnerBadUsage = 2;      // an option, a settings or program file
inline constexpr int kRunnerPcNotReached = 3;  // --until-pc ran out of frames

// A kind of FILE the runner can load, chosen by the file name's extension. Load runs
// after the machine's reset and changes the machine only when it succeeds.
struct RunnerFileType {
  std::string_view Extension;  // lower case, with the dot: ".sna"
  std::string_view Description;
  bool (*Load)(Machine& machine, const std::vector<uint8_t>& bytes, std::string* error);
};

std::span<const RunnerFileType> RunnerFileTypes();

// Runs one vantrel-run command: checks the input files, builds a machine from the
// options and the settings, runs it and writes the outputs. Help and the register dump
// go to `out`, one line per problem to `err`. Returns the exit status.
int RunRunner(const RunnerOptions& options, std::FILE* out, std::FILE* err);

// The native 384 x 288 picture, or the part of it `VisibleRect` leaves, in RGB.
RgbImage CaptureNativePicture(const ScreenRenderer& screen);
RgbImage CaptureVisiblePicture(const ScreenRenderer& screen);

// Registers and paging as one JSON object (the --dump-regs output).
std::string RegistersJson(Machine& machine, uint64_t framesRun);

}  // namespace vantrel
