// Whole-machine speed on the busy snapshots (a loop rewriting the whole screen, an IM 2
// handler writing the border and 14 AY registers a frame), unpaced, with the picture and
// the sound as the desktop has them: one frame shown and one sound block written per
// timer tick.
//  - BusyLoop/*: through the emulation thread's own loop (RunLoop::RunWhile).
//  - BusyRunner/*: through vantrel-run's whole command (start-up, load, run).
// The snapshots are read from VANTREL_BENCHDATA (default ../shared/bench/fuse/scen) and
// the benchmarks are skipped when they are absent. The goal is at least 350 times real
// time and twice Fuse measured in the same session (../shared/bench/run_fuse_speed.sh).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/Runner.h"
#include "machine/Machine.h"
#include "machine/RunLoop.h"
#include "media/FileTypes.h"

namespace {

namespace fs = std::filesystem;

constexpr double kRealFramesPerSecond = 50.0;

struct Scenario {
  const char* File;
  uint8_t Mode;
  vantrel::MemoryModel Model;
  vantrel::TimingChoice Timing = vantrel::TimingChoice::Default;
};

constexpr Scenario kBusy48{"busy48.sna", 0, vantrel::MemoryModel::Spectrum128k};
constexpr Scenario kBusy128{"busy128.z80", vantrel::kStart128k, vantrel::MemoryModel::Spectrum128k};
constexpr Scenario kBusyPentagon{"busypent.z80", vantrel::kStart128k,
                                 vantrel::MemoryModel::Pentagon256k};
// The same snapshots in the Sinclair timings, contention and all.
constexpr Scenario kBusy48Sinclair{"busy48.sna", 0, vantrel::MemoryModel::Spectrum128k,
                                   vantrel::TimingChoice::Sinclair48};
constexpr Scenario kBusy128Sinclair{"busy128.z80", vantrel::kStart128k,
                                    vantrel::MemoryModel::Spectrum128k,
                                    vantrel::TimingChoice::Sinclair128};

fs::path Folder(const char* variable, const char* fallback) {
  const char* env = std::getenv(variable);
  return (env && *env) ? fs::path(env) : fs::path(fallback);
}
fs::path SnapshotPath(const Scenario& s) {
  return Folder("VANTREL_BENCHDATA", VANTREL_DEFAULT_BENCHDATA) / s.File;
}
fs::path RomFile() {
  return Folder("VANTREL_TESTDATA", VANTREL_DEFAULT_TESTDATA) / "roms" / "Pentagon.Rom";
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Report(benchmark::State& state, uint64_t frames) {
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["xRealTime"] = benchmark::Counter(
      static_cast<double>(frames) / kRealFramesPerSecond, benchmark::Counter::kIsRate);
}

void BM_BusyLoop(benchmark::State& state, Scenario scenario) {
  const std::vector<uint8_t> snapshot = ReadAll(SnapshotPath(scenario));
  const std::vector<uint8_t> roms = ReadAll(RomFile());
  const vantrel::FileType* type = vantrel::FindFileType(scenario.File);
  if (snapshot.empty() || roms.size() < 2 * vantrel::Memory::kRomSize || !type) {
    state.SkipWithError("busy snapshots or Pentagon.Rom not found");
    return;
  }
  const uint32_t frames = static_cast<uint32_t>(state.range(0));
  uint64_t total = 0;
  const std::atomic<bool> running{true};
  for (auto _ : state) {
    state.PauseTiming();
    auto machine = std::make_unique<vantrel::Machine>(1);
    std::copy_n(roms.begin(), vantrel::Memory::kRomSize, machine->Mem.Rom128k());
    std::copy_n(roms.begin() + vantrel::Memory::kRomSize, vantrel::Memory::kRomSize,
                machine->Mem.Rom48k());
    machine->Mem.Model = scenario.Model;
    machine->State.StartMode = scenario.Mode;
    machine->SetTimingChoice(scenario.Timing, vantrel::kDefaultTacktsPerInt);
    machine->ResetMachine();
    type->Load(*machine, snapshot);
    machine->Screen.RedrawAll();
    machine->State.NormalSpeed = false;
    vantrel::RunLoop loop(*machine);
    const uint32_t endFrame = machine->State.FrameCount.load() + frames;
    state.ResumeTiming();
    loop.RunWhile(running, endFrame);
    total += frames;
    benchmark::DoNotOptimize(machine->State.Regs.PC);
  }
  Report(state, total);
}

void BM_BusyRunner(benchmark::State& state, Scenario scenario) {
  const fs::path snapshot = SnapshotPath(scenario);
  const fs::path rom = RomFile();
  if (!fs::exists(snapshot) || !fs::exists(rom)) {
    state.SkipWithError("busy snapshots or Pentagon.Rom not found");
    return;
  }
  // An empty settings file, so the user's own settings play no part.
  const fs::path settings = fs::temp_directory_path() / "vantrel-busy-bench.ini";
  std::ofstream(settings).flush();
  vantrel::RunnerOptions options;
  options.File = snapshot;
  options.SettingsFile = settings;
  options.Rom128k = rom.string() + ":0";
  options.Rom48k = rom.string() + ":1";
  options.RomDos = rom.string() + ":2";
  options.StartMode = scenario.Mode;
  options.Model = scenario.Model;
  options.Timing = scenario.Timing;
  options.Frames = static_cast<uint32_t>(state.range(0));
  uint64_t total = 0;
  for (auto _ : state) {
    if (vantrel::RunRunner(options, stdout, stderr) != vantrel::kRunnerOk) {
      state.SkipWithError("vantrel-run failed");
      break;
    }
    total += options.Frames;
  }
  fs::remove(settings);
  Report(state, total);
}

constexpr int64_t kFrames = 5000;
#define VANTREL_BUSY(name, scenario)               \
  BENCHMARK_CAPTURE(BM_BusyLoop, name, scenario)   \
      ->Arg(kFrames)                               \
      ->Unit(benchmark::kMillisecond)              \
      ->MeasureProcessCPUTime();                   \
  BENCHMARK_CAPTURE(BM_BusyRunner, name, scenario) \
      ->Arg(kFrames)                               \
      ->Unit(benchmark::kMillisecond)              \
      ->MeasureProcessCPUTime();
VANTREL_BUSY(busy48, kBusy48)
VANTREL_BUSY(busy128, kBusy128)
VANTREL_BUSY(busypent, kBusyPentagon)
VANTREL_BUSY(busy48_sinclair48, kBusy48Sinclair)
VANTREL_BUSY(busy128_sinclair128, kBusy128Sinclair)
#undef VANTREL_BUSY

}  // namespace
