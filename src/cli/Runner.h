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
inline constexpr int kRunnerBreakpoint = 4;    // a --break breakpoint stopped the run

// Runs one vantrel-run command in four steps: checks the input files, builds a machine
// through the desktop's start-up with the options as overrides, runs it in the emulation
// thread's loop and writes the outputs. Help and the register dump
// go to `out`, one line per problem to `err`. Returns the exit status.
int RunRunner(const RunnerOptions& options, std::FILE* out, std::FILE* err);

// The native 384 x 288 picture, or the part of it `VisibleRect` leaves, in RGB.
RgbImage CaptureNativePicture(const ScreenRenderer& screen);
RgbImage CaptureVisiblePicture(const ScreenRenderer& screen);

// Registers and paging as one JSON object (the --dump-regs output), with the breakpoint
// that stopped the run when one did.
std::string RegistersJson(Machine& machine, uint64_t framesRun, bool breakpointHit = false);

}  // namespace vantrel
