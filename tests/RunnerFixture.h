#pragma once

// Whole vantrel-run runs through RunRunner, with a settings file of their own, so the
// user's settings are never read. In arguments, $D is the test's folder and $ROM the 48K
// ROM.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TempDir.h"
#include "TestData.h"
#include "app/Settings.h"
#include "cli/Runner.h"
#include "cli/RunnerOptions.h"
#include "platform/QtSettingsStore.h"

namespace vantrel::test {

struct RunResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

inline std::string Drain(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    text.append(buffer, got);
  std::fclose(file);
  return text;
}

class RunnerFixture : public ::testing::Test {
 protected:
  // Settings that name ROMs nobody has and start in 128K mode: each test says what it
  // needs on the command line, as a user's script would.
  void SetUp() override {
    settings_ = dir_.path() / "settings.ini";
    QtSettingsStore store(settings_);
    HardwareSettings hardware;
    hardware.Rom48k.FileName = (dir_.path() / "no-48.rom").string();
    hardware.Rom128k.FileName = (dir_.path() / "no-128.rom").string();
    hardware.RomDos.FileName = (dir_.path() / "no-trdos.rom").string();
    hardware.StartUp.Reset = 2;
    SaveHardwareSettings(store, hardware);
    rom48_ = TestDataFile("roms/48.rom");
  }

  std::string Expand(std::string text) const {
    for (const auto& [mark, value] :
         {std::pair{"$D", dir_.path().string()}, std::pair{"$ROM", rom48_.string()}}) {
      for (size_t at; (at = text.find(mark)) != std::string::npos;)
        text.replace(at, std::strlen(mark), value);
    }
    return text;
  }

  // Words of `command`, marks expanded; `more` is added as it is.
  RunResult Run(const std::string& command, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args;
    std::istringstream words(Expand(command));
    for (std::string word; words >> word;) args.push_back(word);
    args.insert(args.end(), more.begin(), more.end());
    if (std::find(args.begin(), args.end(), "--settings") == args.end()) {
      args.insert(args.begin(), {"--settings", settings_.string()});
    }
    RunnerOptions options;
    std::string error;
    RunResult result;
    if (!ParseRunnerOptions(args, &options, &error)) {
      ADD_FAILURE() << error;
      return result;
    }
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    result.Status = RunRunner(options, out, err);
    result.Out = Drain(out);
    result.Err = Drain(err);
    return result;
  }

  TempDir dir_;
  std::filesystem::path settings_;
  std::filesystem::path rom48_;
};

}  // namespace vantrel::test
