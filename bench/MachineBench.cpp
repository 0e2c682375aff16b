// Whole-machine speed, unpaced, through the emulation thread's own loop (RunLoop::RunWhile)
// with the picture drawn: the paper's catch-ups and every frame end.
//  - Machine48kIdle/0: the 48K ROM booted and left running for 3000 frames.
//  - Machine48kIdle/1: the same with a tape autoloaded: LOAD "" typed, then the ROM's
//    loader reads the tape (the tape catches up after every instruction).
//  - Machine48kIdle/2: the 48K ROM running with a formatted disk in the drive and the disk
//    controller idle.
//  - Machine48kIdleExecutionBreakpoint: Machine48kIdle/0 with one execution breakpoint
//    enabled (goal: at least 100 times real time).
//  - Machine48kIdleRewind/0 and /2: Machine48kIdle/0 and /2 keeping 60 seconds of rewind
//    captures (one each 50 frames; goal: at most 3 % slower than without).
//  - Machine48kIdleHistory/0 and /2: Machine48kIdle/0 and /2 keeping the debugger's step
//    history (every step recorded, no stretches in the processor's own loop; goal: at
//    least 100 times real time).
//  - Machine48kIdleConditionalBreakpoint/3: the same with one conditional execution
//    breakpoint on an address of the ROM's idle loop, its condition (never true)
//    evaluated at every pass (goal: at least 100 times real time); /2: on any address,
//    the condition evaluated before every instruction, the worst case.
//  - BorderStripes: a loop that changes the border colour about 90 times a frame, so the
//    border is drawn with beam timing all the time (the demo-effect case).
//  - MachineSound/0 and /1: AY tones and the speaker in every frame, the stream taken each
//    frame, in Mono and in ABC.
// The goal is at least 300 times real time (15,000 frames per second).
//
//   cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build
//   ./build/bench/vantrel_bench_machine
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/AutoLoad.h"
#include "debugger/BreakpointText.h"
#include "disk/DiskImageFiles.h"
#include "machine/Machine.h"
#include "machine/Rewind.h"
#include "machine/RunLoop.h"
#include "machine/StepHistory.h"
#include "tape/TapeImage.h"

namespace {

constexpr uint32_t kFrames = 3000;
constexpr double kRealFramesPerSecond = 50.0;

std::filesystem::path TestData(const char* relative) {
  const char* env = std::getenv("VANTREL_TESTDATA");
  const std::filesystem::path dir = (env && *env) ? env : VANTREL_DEFAULT_TESTDATA;
  return dir / relative;
}

// `variant`: 0 idle, 1 a tape autoloaded, 2 a disk in the drive. `breakpoint`: 1 one
// execution breakpoint enabled at an address the ROM never runs, so every step takes the
// checking path; 2 one on every address with a condition that never holds; 3 the same
// on one address of the idle loop.
void RunIdle48k(benchmark::State& state, int variant, int breakpoint, bool rewind = false,
                bool history = false) {
  std::ifstream in(TestData("roms/48.rom"), std::ios::binary);
  const std::vector<uint8_t> rom(std::istreambuf_iterator<char>(in), {});
  if (rom.size() != vantrel::Memory::kRomSize) {
    state.SkipWithError("48.rom not found: set VANTREL_TESTDATA to the shared testdata folder");
    return;
  }
  const bool tape = variant == 1;
  const vantrel::TapeCatalogue catalogue =
      tape ? vantrel::LoadTapeImage(TestData("software/DreamWalker48.tzx").string(),
                                    vantrel::BlockInfoMode::None)
           : vantrel::TapeCatalogue();
  uint64_t frames = 0;
  const std::atomic<bool> running{true};
  // One ring for the whole run, as the desktop keeps one for the session: after the first
  // minute each capture reuses the buffers of the one it replaces.
  vantrel::RewindBuffer captures;
  if (rewind) captures.SetSeconds(60);
  vantrel::StepHistory steps;
  for (auto _ : state) {
    state.PauseTiming();
    auto machine = std::make_unique<vantrel::Machine>(1);
    std::memcpy(machine->Mem.Rom48k(), rom.data(), rom.size());
    machine->State.NormalSpeed = false;
    machine->State.StartMode = 0;
    machine->ResetMachine();
    if (variant == 2) machine->InsertDisk(vantrel::CreateBlankDisk());
    if (breakpoint == 1) machine->SetBreakpoints({{vantrel::BreakType::Execution, 0xFFFF}});
    if (breakpoint == 2 || breakpoint == 3) {
      // 3: on one address of the ROM's idle loop, the usual way to use a condition.
      vantrel::Breakpoint entry{vantrel::BreakType::Execution,
                                breakpoint == 2 ? vantrel::kBreakAny : 0x15F8u};
      std::string error;
      vantrel::SetBreakCondition(entry, "a=#100 || [hl]=#1ff || t<0", nullptr, &error);
      machine->SetBreakpoints({entry});
    }
    vantrel::RunLoop loop(*machine);
    if (rewind) machine->SetRewind(&captures);
    if (history) {
      steps.Clear();
      machine->SetHistory(&steps);
    }
    if (tape) {
      machine->Tape.InsertTape(catalogue);
      auto typer = vantrel::StartAutoLoad(*machine, 0, vantrel::AutoLoadMedia::Tape);
      loop.FrameTask = [typer, &machine]() mutable { return typer.FrameEnd(*machine); };
    }
    state.ResumeTiming();
    loop.RunWhile(running, kFrames);
    frames += kFrames;
    benchmark::DoNotOptimize(machine->State.Regs.PC);
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["xRealTime"] = benchmark::Counter(
      static_cast<double>(frames) / kRealFramesPerSecond, benchmark::Counter::kIsRate);
}
void BM_Machine48kIdle(benchmark::State& state) {
  RunIdle48k(state, static_cast<int>(state.range(0)), 0);
}
BENCHMARK(BM_Machine48kIdle)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

void BM_Machine48kIdleRewind(benchmark::State& state) {
  RunIdle48k(state, static_cast<int>(state.range(0)), false, true);
}
BENCHMARK(BM_Machine48kIdleRewind)
    ->Arg(0)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

void BM_Machine48kIdleHistory(benchmark::State& state) {
  RunIdle48k(state, static_cast<int>(state.range(0)), 0, false, true);
}
BENCHMARK(BM_Machine48kIdleHistory)
    ->Arg(0)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

void BM_Machine48kIdleExecutionBreakpoint(benchmark::State& state) {
  RunIdle48k(state, 0, 1);
}
BENCHMARK(BM_Machine48kIdleExecutionBreakpoint)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

void BM_Machine48kIdleConditionalBreakpoint(benchmark::State& state) {
  RunIdle48k(state, 0, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_Machine48kIdleConditionalBreakpoint)
    ->Arg(3)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

void BM_MachineBorderStripes(benchmark::State& state) {
  // XOR A / loop: INC A / AND 7 / OUT (#FE),A / LD B,59 / DJNZ $ / JR loop
  const uint8_t program[] = {0xAF, 0x3C, 0xE6, 0x07, 0xD3, 0xFE,
                             0x06, 0x3B, 0x10, 0xFE, 0x18, 0xF4};
  uint64_t frames = 0;
  const std::atomic<bool> running{true};
  for (auto _ : state) {
    state.PauseTiming();
    auto machine = std::make_unique<vantrel::Machine>(1);
    machine->State.NormalSpeed = false;
    for (size_t i = 0; i < sizeof program; ++i) machine->Mem.WriteByte(0x8000 + i, program[i]);
    machine->State.Regs.PC = 0x8000;
    machine->State.Regs.IFF1 = 0;
    vantrel::RunLoop loop(*machine);
    state.ResumeTiming();
    loop.RunWhile(running, kFrames);
    frames += kFrames;
    benchmark::DoNotOptimize(machine->Screen.Row(100)[0]);
  }
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["xRealTime"] = benchmark::Counter(
      static_cast<double>(frames) / kRealFramesPerSecond, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MachineBorderStripes)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// Sound in every frame: three AY tones (one on the envelope) and the border loop with the
// speaker bit, every frame's stream taken as a WAV writer would (Arg: the stereo layout,
// 0 Mono, 1 ABC).
void BM_MachineSound(benchmark::State& state) {
  // XOR A / loop: INC A / AND #17 / OUT (#FE),A / LD B,59 / DJNZ $ / JR loop
  const uint8_t program[] = {0xAF, 0x3C, 0xE6, 0x17, 0xD3, 0xFE,
                             0x06, 0x3B, 0x10, 0xFE, 0x18, 0xF4};
  const std::pair<uint8_t, uint8_t> ay[] = {{0, 100}, {2, 151},   {4, 203},   {7, 0x38}, {8, 15},
                                            {9, 14},  {10, 0x10}, {11, 0x40}, {13, 10}};
  uint64_t frames = 0, sum = 0;
  const std::atomic<bool> running{true};
  for (auto _ : state) {
    state.PauseTiming();
    auto machine = std::make_unique<vantrel::Machine>(1);
    machine->State.NormalSpeed = false;
    machine->SetStereoLayout(static_cast<vantrel::StereoLayout>(state.range(0)));
    for (size_t i = 0; i < sizeof program; ++i) machine->Mem.WriteByte(0x8000 + i, program[i]);
    for (const auto& [reg, value] : ay) {
      machine->Ports.PortWrite(0xFFFD, reg);
      machine->Ports.PortWrite(0xBFFD, value);
    }
    machine->State.Regs.PC = 0x8000;
    machine->State.Regs.IFF1 = 0;
    vantrel::RunLoop loop(*machine);
    loop.StereoBlockReady = [&sum](const vantrel::StereoMixer::Block& block) { sum += block[7]; };
    state.ResumeTiming();
    loop.RunWhile(running, kFrames);
    frames += kFrames;
  }
  benchmark::DoNotOptimize(sum);
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MachineSound)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
