// vantrel-run: the emulator without a window, for scripts and tests. See --help.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/Runner.h"
#include "cli/RunnerOptions.h"

namespace {

namespace fs = std::filesystem;

// ROM files are also looked for beside the executable, wherever it was started from.
fs::path ExecutableDirectory(const char* argv0) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return self.parent_path();
  if (argv0 == nullptr || fs::path(argv0).parent_path().empty()) return {};
  const fs::path absolute = fs::absolute(argv0, ec);
  return ec ? fs::path() : absolute.parent_path();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    vantrel::RunnerOptions options;
    std::string error;
    if (!vantrel::ParseRunnerOptions(args, &options, &error)) {
      std::fprintf(stderr, "vantrel-run: %s\n", error.c_str());
      return vantrel::kRunnerBadUsage;
    }
    options.ProgramDirectory = ExecutableDirectory(argc > 0 ? argv[0] : nullptr);
    return vantrel::RunRunner(options, stdout, stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantrel-run: %s\n", e.what());
    return vantrel::kRunnerFailed;
  }
}
