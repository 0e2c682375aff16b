// Whole-machine speed: the 48K ROM booted and left running, unpaced, for 3000 frames
// through the real processor step with its frame ends.
//
//   cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build
//   ./build/bench/vantrel_bench_machine
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/Machine.h"

namespace {

constexpr uint32_t kFrames = 3000;
constexpr double kRealFramesPerSecond = 50.0;

std::filesystem::path RomPath() {
  const char* env = std::getenv("VANTREL_TESTDATA");
  const std::filesystem::path dir = (env && *env) ? env : VANTREL_DEFAULT_TESTDATA;
  return dir / "roms" / "48.rom";
}

void BM_Machine48kIdle(benchmark::State& state) {
  std::ifstream in(RomPath(), std::ios::binary);
  const std::vector<uint8_t> rom(std::istreambuf_iterator<char>(in), {});
  if (rom.size() != vantrel::Memory::kRomSize) {
    state.SkipWithError("48.rom not found: set VANTREL_TESTDATA to the shared testdata folder");
    return;
  }
  uint64_t frames = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto machine = std::make_unique<vantrel::Machine>(1);
    std::memcpy(machine->Mem.Rom48k(), rom.data(), rom.size());
    machine->State.NormalSpeed = false;
    machine->State.StartMode = 0;
    machine->ResetMachine();
    state.ResumeTiming();
    while (machine->State.FrameCount != kFrames) machine->ProcessorStep();
    frames += kFrames;
    benchmark::DoNotOptimize(machine->State.Regs.PC);
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["xRealTime"] = benchmark::Counter(
      static_cast<double>(frames) / kRealFramesPerSecond, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Machine48kIdle)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
