#pragma once

#include <cstdint>
#include <vector>

#include "core/FrameTiming.h"
#include "core/MachineState.h"
#include "core/Memory.h"

namespace vantrel {

// How the machine is timed: the uncontended default frame, or a Sinclair ULA's frame with
// its memory and I/O contention and floating bus.
enum class MachineTiming : uint8_t { Default = 0, Sinclair48 = 1, Sinclair128 = 2 };

// The "Sinclair Timing" setting: the three timings, or one chosen by the start mode.
enum class TimingChoice : uint8_t { Default = 0, Sinclair48 = 1, Sinclair128 = 2, ByStartMode = 3 };
inline constexpr int kTimingChoiceCount = 4;

// The figures of a ULA. The 48K's are the "early" machines'; the 128K's lines are longer
// and its frame one line shorter.
struct UlaFigures {
  uint32_t LineTackts;
  uint32_t Lines;
  uint32_t IntLength;
  // The first T-state the ULA holds the processor off the contended memory (the first
  // delay of 6 of the 6,5,4,3,2,1,0,0 pattern); its video fetch starts 3 T-states later.
  uint32_t ContentionStart;
  uint32_t FrameTackts() const { return LineTackts * Lines; }
  uint32_t FloatingBusStart() const { return ContentionStart + 3; }
};

inline constexpr UlaFigures kUla48{224, 312, 32, 14335};
inline constexpr UlaFigures kUla128{228, 311, 36, 14361};

inline const UlaFigures* FiguresOf(MachineTiming timing) {
  switch (timing) {
    case MachineTiming::Sinclair48: return &kUla48;
    case MachineTiming::Sinclair128: return &kUla128;
    default: return nullptr;
  }
}

// The name the status line and the runner give a timing.
inline const char* TimingName(MachineTiming timing) {
  switch (timing) {
    case MachineTiming::Sinclair48: return "Sinclair 48K";
    case MachineTiming::Sinclair128: return "Sinclair 128K";
    default: return "default";
  }
}

// The timing a choice gives: by start mode, the 48K modes time as a Sinclair 48K, the 128K
// modes on the Spectrum 128K memory model as a Sinclair 128K; the clones keep the default.
inline MachineTiming ResolveTiming(TimingChoice choice, uint8_t startMode, MemoryModel model) {
  switch (choice) {
    case TimingChoice::Sinclair48: return MachineTiming::Sinclair48;
    case TimingChoice::Sinclair128: return MachineTiming::Sinclair128;
    case TimingChoice::ByStartMode:
      if (!(startMode & kStart128k)) return MachineTiming::Sinclair48;
      return model == MemoryModel::Spectrum128k ? MachineTiming::Sinclair128
                                                : MachineTiming::Default;
    default: return MachineTiming::Default;
  }
}

// The delay the ULA adds to a contended access starting at each T-state of the frame,
// with room after the frame's end for the last instruction's overshoot.
inline std::vector<uint8_t> BuildContentionTable(const UlaFigures& ula) {
  static constexpr uint8_t kPattern[8] = {6, 5, 4, 3, 2, 1, 0, 0};
  std::vector<uint8_t> table(ula.FrameTackts() + 256, 0);
  for (uint32_t line = 0; line < 192; ++line) {
    const uint32_t start = ula.ContentionStart + line * ula.LineTackts;
    for (uint32_t t = 0; t < 128; ++t) table[start + t] = kPattern[t & 7];
  }
  return table;
}

}  // namespace vantrel
