// vantrel-zex: runs a CP/M .COM processor exerciser (ZEXDOC, ZEXALL) on the emulator's
// processor and memory engine, printing its console output as it comes.
//
// Exit status: 0 when the program ended (jumped to 0x0000), 1 when the T-state limit
// stopped it, 2 for bad arguments or an unusable file.

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CpmMachine.h"

namespace {

constexpr double kSpectrumHz = 3'584'000.0;  // Pentagon clock: 71680 T-states x 50 frames

void PrintUsage(std::FILE* to, const char* program) {
  std::fprintf(to,
               "usage: %s [--max-tackts N] FILE.com\n"
               "Runs a CP/M .COM program (ZEXDOC, ZEXALL) on the Vantrel Z80 and prints its\n"
               "console output.\n"
               "  --max-tackts N  stop after N T-states (default: no limit)\n"
               "  --help          show this text\n"
               "Exit status: 0 the program ended, 1 the limit stopped it, 2 usage or file error.\n",
               program);
}

bool ParseCount(std::string_view text, uint64_t* value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && ptr == end && *value > 0;
}

// Reads at most limit + 1 bytes, so an oversized file is recognised without reading it all.
bool ReadProgram(const char* path, size_t limit, std::vector<uint8_t>* image, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = std::string(path) + " is a directory";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = std::string("cannot open ") + path + ": " + std::strerror(errno);
    return false;
  }
  image->resize(limit + 1);
  in.read(reinterpret_cast<char*>(image->data()), static_cast<std::streamsize>(image->size()));
  if (in.bad()) {
    *error = std::string("cannot read ") + path;
    return false;
  }
  image->resize(static_cast<size_t>(in.gcount()));
  if (image->size() > limit) {
    *error = std::string(path) + " is larger than " + std::to_string(limit) +
             " bytes, the most that fits between 0x0100 and 0xFE00";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* program = argc > 0 ? argv[0] : "vantrel-zex";
  const char* path = nullptr;
  uint64_t maxTackts = std::numeric_limits<uint64_t>::max();
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout, program);
      return 0;
    }
    if (arg == "--max-tackts") {
      if (i + 1 >= argc || !ParseCount(argv[i + 1], &maxTackts)) {
        std::fprintf(stderr, "%s: --max-tackts needs a positive whole number\n", program);
        return 2;
      }
      ++i;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "%s: unknown option %s\n", program, argv[i]);
      PrintUsage(stderr, program);
      return 2;
    } else if (path == nullptr) {
      path = argv[i];
    } else {
      std::fprintf(stderr, "%s: only one program file may be given\n", program);
      PrintUsage(stderr, program);
      return 2;
    }
  }
  if (path == nullptr) {
    PrintUsage(stderr, program);
    return 2;
  }

  std::vector<uint8_t> image;
  std::string error;
  vantrel::CpmMachine machine;
  if (!ReadProgram(path, vantrel::CpmMachine::kMaxComSize, &image, &error)) {
    std::fprintf(stderr, "%s: %s\n", program, error.c_str());
    return 2;
  }
  if (!machine.LoadCom(image, &error)) {
    std::fprintf(stderr, "%s: %s: %s\n", program, path, error.c_str());
    return 2;
  }

  char last = '\n';
  const auto start = std::chrono::steady_clock::now();
  const vantrel::CpmMachine::Result result = machine.Run(
      [&last](char c) {
        // CP/M ends lines with LF CR; the CR would only litter redirected output.
        if (c == '\r') return;
        std::fputc(c, stdout);
        if (c == '\n') std::fflush(stdout);
        last = c;
      },
      maxTackts);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (last != '\n') std::fputc('\n', stdout);
  std::fflush(stdout);

  const uint64_t tackts = machine.TotalTackts();
  const double rate = seconds > 0 ? static_cast<double>(tackts) / seconds : 0.0;
  std::fprintf(stderr, "%llu T-states in %.2f s: %.1f MT/s (%.0fx a 3.584 MHz Spectrum)\n",
               static_cast<unsigned long long>(tackts), seconds, rate / 1e6, rate / kSpectrumHz);
  if (result != vantrel::CpmMachine::Result::Finished) {
    std::fprintf(stderr, "%s: stopped at the limit of %llu T-states before the program ended\n",
                 program, static_cast<unsigned long long>(maxTackts));
    return 1;
  }
  return 0;
}
