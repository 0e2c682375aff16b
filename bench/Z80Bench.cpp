// Processor speed on a real instruction mix: the first part of the ZEXDOC run, through
// the CP/M shim, Step and the memory engine, side by side with z80ex when it is installed.
//
// Run:
//   cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build &&
//   ./build/bench/vantrel_bench_z80

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/CpmMachine.h"

#ifdef VANTREL_HAVE_Z80EX
#include <z80ex/z80ex.h>
#endif

namespace {

using vantrel::CpmMachine;

// T-states per iteration: about 56 emulated seconds, well inside ZEXDOC's first groups.
constexpr uint64_t kBudget = 200'000'000;
constexpr double kSpectrumHz = 3'584'000.0;  // 71680 T-states x 50 frames

std::vector<uint8_t> LoadZexdoc() {
  const char* env = std::getenv("VANTREL_TESTDATA");
  const std::filesystem::path dir = (env && *env) ? env : VANTREL_DEFAULT_TESTDATA;
  std::ifstream in(dir / "z80-zex-cpm" / "zexdoc.com", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void SetCounters(benchmark::State& state, uint64_t tackts) {
  const auto total = static_cast<double>(tackts);
  state.counters["Tstates/s"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
  state.counters["xRealTime"] =
      benchmark::Counter(total / kSpectrumHz, benchmark::Counter::kIsRate);
}

struct StreamResult {
  std::string output;
  uint64_t tackts = 0;
  uint16_t pc = 0;
};

StreamResult RunVantrel(CpmMachine& machine, const std::vector<uint8_t>& image) {
  StreamResult result;
  std::string error;
  machine.LoadCom(image, &error);
  machine.Run([&](char c) { result.output += c; }, kBudget);
  result.tackts = machine.TotalTackts();
  result.pc = machine.State().Regs.PC;
  return result;
}

void BM_Vantrel(benchmark::State& state, const std::vector<uint8_t>* image) {
  if (image->empty()) {
    state.SkipWithError("test data not found: z80-zex-cpm/zexdoc.com (set VANTREL_TESTDATA)");
    return;
  }
  CpmMachine machine;
  std::string error;
  uint64_t tackts = 0;
  for (auto _ : state) {
    state.PauseTiming();
    machine.LoadCom(*image, &error);
    state.ResumeTiming();
    machine.Run([](char c) { benchmark::DoNotOptimize(c); }, kBudget);
    tackts += machine.TotalTackts();
  }
  SetCounters(state, tackts);
}

#ifdef VANTREL_HAVE_Z80EX
// The same CP/M shim around z80ex: flat 64 KB, BDOS 2 and 9 answered at 0x0005 with an
// emulated RET that takes no time, the same layout and the same budget rule.
class Z80exCpm {
 public:
  Z80exCpm() : cpu_(z80ex_create(Read, this, Write, this, In, this, Out, this, IntRead, this)) {}
  ~Z80exCpm() { z80ex_destroy(cpu_); }
  Z80exCpm(const Z80exCpm&) = delete;
  Z80exCpm& operator=(const Z80exCpm&) = delete;

  void Load(const std::vector<uint8_t>& image) {
    memory_.fill(0);
    std::copy(image.begin(), image.end(), memory_.begin() + CpmMachine::kLoadAddress);
    memory_[0x0000] = 0x76;
    memory_[0x0005] = 0xC3;
    memory_[0x0006] = CpmMachine::kTopOfTpa & 0xFF;
    memory_[0x0007] = CpmMachine::kTopOfTpa >> 8;
    memory_[CpmMachine::kTopOfTpa] = 0xC9;
    z80ex_reset(cpu_);
    z80ex_set_reg(cpu_, regSP, 0xFFFE);
    z80ex_set_reg(cpu_, regPC, CpmMachine::kLoadAddress);
    tackts_ = 0;
  }

  // Until the program jumps to 0x0000 or the total reaches maxTackts.
  void Run(const std::function<void(char)>& output, uint64_t maxTackts) {
    while (tackts_ < maxTackts) {
      // z80ex steps prefixes one at a time; PC only means something between instructions.
      if (z80ex_last_op_type(cpu_) == 0) {
        const uint16_t pc = z80ex_get_reg(cpu_, regPC);
        if (pc == 0x0000) return;
        if (pc == CpmMachine::kBdosEntry) {
          Bdos(output);
          continue;
        }
      }
      tackts_ += static_cast<uint64_t>(z80ex_step(cpu_));
    }
  }

  uint64_t Tackts() const { return tackts_; }
  uint16_t Pc() { return z80ex_get_reg(cpu_, regPC); }

 private:
  void Bdos(const std::function<void(char)>& output) {
    const uint16_t bc = z80ex_get_reg(cpu_, regBC);
    if ((bc & 0xFF) == 2) {
      output(static_cast<char>(z80ex_get_reg(cpu_, regDE) & 0xFF));
    } else if ((bc & 0xFF) == 9) {
      uint16_t address = z80ex_get_reg(cpu_, regDE);
      for (int n = 0; n < 65536 && memory_[address] != '$'; ++n) {
        output(static_cast<char>(memory_[address++]));
      }
    }
    const uint16_t sp = z80ex_get_reg(cpu_, regSP);
    z80ex_set_reg(cpu_, regPC,
                  static_cast<uint16_t>(memory_[sp] | memory_[static_cast<uint16_t>(sp + 1)] << 8));
    z80ex_set_reg(cpu_, regSP, static_cast<uint16_t>(sp + 2));
  }

  static Z80EX_BYTE Read(Z80EX_CONTEXT*, Z80EX_WORD address, int, void* self) {
    return static_cast<Z80exCpm*>(self)->memory_[address];
  }
  static void Write(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* self) {
    static_cast<Z80exCpm*>(self)->memory_[address] = value;
  }
  static Z80EX_BYTE In(Z80EX_CONTEXT*, Z80EX_WORD, void*) { return 0xFF; }
  static void Out(Z80EX_CONTEXT*, Z80EX_WORD, Z80EX_BYTE, void*) {}
  static Z80EX_BYTE IntRead(Z80EX_CONTEXT*, void*) { return 0xFF; }

  std::array<uint8_t, 65536> memory_{};
  Z80EX_CONTEXT* cpu_;
  uint64_t tackts_ = 0;
};

StreamResult RunZ80ex(Z80exCpm& cpu, const std::vector<uint8_t>& image) {
  StreamResult result;
  cpu.Load(image);
  cpu.Run([&](char c) { result.output += c; }, kBudget);
  result.tackts = cpu.Tackts();
  result.pc = cpu.Pc();
  return result;
}

void BM_Z80ex(benchmark::State& state, const std::vector<uint8_t>* image) {
  if (image->empty()) {
    state.SkipWithError("test data not found: z80-zex-cpm/zexdoc.com (set VANTREL_TESTDATA)");
    return;
  }
  Z80exCpm cpu;
  uint64_t tackts = 0;
  for (auto _ : state) {
    state.PauseTiming();
    cpu.Load(*image);
    state.ResumeTiming();
    cpu.Run([](char c) { benchmark::DoNotOptimize(c); }, kBudget);
    tackts += cpu.Tackts();
  }
  SetCounters(state, tackts);
}

// Both cores must do the same work for the ratio to mean anything: the same console
// output, the same T-state total and the same place in the program when the budget ends.
bool SameWork(const std::vector<uint8_t>& image) {
  auto machine = std::make_unique<CpmMachine>();
  auto cpu = std::make_unique<Z80exCpm>();
  const StreamResult ours = RunVantrel(*machine, image);
  const StreamResult theirs = RunZ80ex(*cpu, image);
  const bool same =
      ours.output == theirs.output && ours.tackts == theirs.tackts && ours.pc == theirs.pc;
  std::printf("same work check (%llu T-states, %zu characters of output): %s\n",
              static_cast<unsigned long long>(kBudget), ours.output.size(),
              same ? "both cores agree" : "MISMATCH");
  if (!same) {
    std::printf("  vantrel: %llu T-states, PC %04X, output \"%s\"\n",
                static_cast<unsigned long long>(ours.tackts), ours.pc, ours.output.c_str());
    std::printf("  z80ex:   %llu T-states, PC %04X, output \"%s\"\n",
                static_cast<unsigned long long>(theirs.tackts), theirs.pc, theirs.output.c_str());
  }
  return same;
}
#endif

// Passes the runs on to the console and keeps each benchmark's T-state rate: the median
// when --benchmark_repetitions asks for several runs, else the single run's.
class RateCapture : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("Tstates/s");
      if (it == run.counters.end()) continue;
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians_[name] = it->second.value;
      } else if (run.run_type == Run::RT_Iteration) {
        singles_[name] = it->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // 0 when the benchmark did not run (filtered out, or skipped for want of test data).
  double Rate(const std::string& name) const {
    if (const auto it = medians_.find(name); it != medians_.end()) return it->second;
    if (const auto it = singles_.find(name); it != singles_.end()) return it->second;
    return 0.0;
  }

 private:
  std::map<std::string, double> medians_;
  std::map<std::string, double> singles_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const std::vector<uint8_t> image = LoadZexdoc();
  benchmark::RegisterBenchmark("Vantrel/ZexdocStream", BM_Vantrel, &image)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(2.0);
  bool same = true;
#ifdef VANTREL_HAVE_Z80EX
  benchmark::RegisterBenchmark("Z80ex/ZexdocStream", BM_Z80ex, &image)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(2.0);
  if (!image.empty()) same = SameWork(image);
#endif

  RateCapture reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double ours = reporter.Rate("Vantrel/ZexdocStream");
  const double theirs = reporter.Rate("Z80ex/ZexdocStream");
  if (ours > 0 && theirs > 0) {
    std::printf("ratio vantrel/z80ex: %.2f%s\n", ours / theirs,
                same ? "" : " (not the same work: see the check above)");
  }
  return same ? 0 : 1;
}
