#include <gtest/gtest.h>
#include <stdlib.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "TempDir.h"
#include "TestData.h"
#include "app/Settings.h"
#include "cli/PngImage.h"
#include "cli/Runner.h"
#include "cli/RunnerOptions.h"
#include "platform/QtSettingsStore.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

using test::TempDir;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> Listing(const fs::path& dir) {
  std::vector<fs::path> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  return names;
}

// ---------------------------------------------------------------------------------------
// PNG files.

RgbImage Gradient(int width, int height) {
  RgbImage image(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = image.At(x, y);
      p[0] = static_cast<uint8_t>(x * 17);
      p[1] = static_cast<uint8_t>(y * 29);
      p[2] = static_cast<uint8_t>(x ^ y);
    }
  }
  return image;
}

TEST(PngImageTest, WrittenPicturesReadBackUnchanged) {
  TempDir dir;
  const fs::path file = dir.path() / "picture.png";
  std::string error;
  for (const RgbImage& image : {Gradient(1, 1), Gradient(13, 7), Gradient(384, 288)}) {
    ASSERT_TRUE(WritePng(file, image, &error)) << error;  // the second and third replace it
    const std::optional<RgbImage> back = ReadPng(file, &error);
    ASSERT_TRUE(back.has_value()) << error;
    EXPECT_EQ(*back, image);
  }
  EXPECT_EQ(Listing(dir.path()), std::vector<fs::path>{"picture.png"});  // no temporaries left
}

TEST(PngImageTest, AFailedWriteLeavesNoFileAndKeepsAnOldOne) {
  TempDir dir;
  std::string error;
  // The directory does not exist.
  const fs::path nowhere = dir.path() / "missing" / "picture.png";
  EXPECT_FALSE(WritePng(nowhere, Gradient(4, 4), &error));
  EXPECT_NE(error.find(nowhere.string()), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(nowhere));

  // The name is taken by a directory: the picture is complete but cannot replace it.
  const fs::path occupied = dir.path() / "occupied.png";
  fs::create_directory(occupied);
  EXPECT_FALSE(WritePng(occupied, Gradient(4, 4), &error));
  EXPECT_TRUE(fs::is_directory(occupied));
  EXPECT_EQ(Listing(dir.path()), std::vector<fs::path>{"occupied.png"});

  // A picture whose pixels do not match its size never touches the old file.
  const fs::path old = dir.path() / "old.png";
  ASSERT_TRUE(WritePng(old, Gradient(2, 2), &error)) << error;
  const std::string before = ReadAll(old);
  RgbImage broken = Gradient(3, 3);
  broken.Pixels.pop_back();
  EXPECT_FALSE(WritePng(old, broken, &error));
  EXPECT_FALSE(WritePng(old, RgbImage(), &error));
  EXPECT_EQ(ReadAll(old), before);
}

TEST(PngImageTest, ReadingSomethingElseFails) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(ReadPng(dir.path() / "absent.png", &error).has_value());
  const fs::path text = dir.path() / "text.png";
  std::ofstream(text) << "not a picture";
  EXPECT_FALSE(ReadPng(text, &error).has_value());
  EXPECT_NE(error.find("text.png"), std::string::npos) << error;
}

// ---------------------------------------------------------------------------------------
// Whole runs through RunRunner, with the 48K ROM from the test data and a settings file of
// their own, so the user's settings are never read.

struct RunResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

std::string Drain(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  std::fclose(file);
  return text;
}

class RunnerTest : public ::testing::Test {
 protected:
  // Settings that name a 48K ROM nobody has and start in 128K mode: each test says what
  // it needs on the command line, as a user's script would.
  void SetUp() override {
    settings_ = dir_.path() / "settings.ini";
    QtSettingsStore store(settings_);
    HardwareSettings hardware;
    hardware.Rom48k.FileName = (dir_.path() / "no-48.rom").string();
    hardware.Rom128k.FileName = (dir_.path() / "no-128.rom").string();
    hardware.RomDos.FileName = (dir_.path() / "no-trdos.rom").string();
    hardware.StartUp.Reset = 2;
    SaveHardwareSettings(store, hardware);
  }

  RunResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--settings", settings_.string()});
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

  static void ExpectOneErrorLine(const RunResult& result, const std::string& text) {
    EXPECT_EQ(result.Err.rfind("vantrel-run: ", 0), 0u) << result.Err;
    EXPECT_NE(result.Err.find(text), std::string::npos) << result.Err;
    EXPECT_EQ(result.Err.find('\n'), result.Err.size() - 1) << result.Err;
  }

  static QJsonObject Json(const std::string& text) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << text;
    EXPECT_TRUE(document.isObject()) << text;
    return document.object();
  }

  TempDir dir_;
  fs::path settings_;
};

TEST_F(RunnerTest, HelpNamesTheOptions) {
  const RunResult result = Run({"--help"});
  EXPECT_EQ(result.Status, kRunnerOk);
  EXPECT_NE(result.Out.find("--screenshot-visible FILE.png"), std::string::npos);
  EXPECT_TRUE(result.Err.empty());
}

TEST_F(RunnerTest, AMissingRomTheModeNeedsStopsTheRun) {
  const fs::path shot = dir_.path() / "shot.png";
  RunResult result = Run({"--mode", "48", "--screenshot", shot.string()});
  EXPECT_EQ(result.Status, kRunnerFailed);
  ExpectOneErrorLine(result, "cannot load the 48K ROM '" + (dir_.path() / "no-48.rom").string());
  EXPECT_FALSE(fs::exists(shot));

  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  result = Run({"--mode", "128", "--rom48", rom48.string()});
  EXPECT_EQ(result.Status, kRunnerFailed);
  ExpectOneErrorLine(result, "cannot load the 128K ROM");
  result = Run({"--mode", "trdos48", "--rom48", rom48.string()});
  EXPECT_EQ(result.Status, kRunnerFailed);
  ExpectOneErrorLine(result, "cannot load the TR-DOS ROM");
}

TEST_F(RunnerTest, ATrDosModeNeedsTheInterfaceSwitchedOn) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  VANTREL_REQUIRE_TESTDATA(trdos, "roms/trdos503.rom");
  const std::vector<std::string> args = {"--mode",   "trdos48",      "--rom48",    rom48.string(),
                                         "--romdos", trdos.string(), "--dump-regs"};
  RunResult result = Run(args);
  ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
  EXPECT_EQ(Json(result.Out)["Rom0000"].toString(), "TR-DOS");

  {
    QtSettingsStore store(settings_);
    HardwareSettings hardware = LoadHardwareSettings(store);
    hardware.TrDos.Enabled = false;
    SaveHardwareSettings(store, hardware);
  }
  result = Run(args);
  EXPECT_EQ(result.Status, kRunnerFailed);
  ExpectOneErrorLine(result, "mode trdos48 needs the TR-DOS interface");
}

TEST_F(RunnerTest, The48kModeRunsWithoutTheOtherRoms) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  const RunResult result =
      Run({"--mode", "48", "--rom48", rom48.string(), "--frames", "2", "--dump-regs"});
  ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
  EXPECT_TRUE(result.Err.empty()) << result.Err;
  const QJsonObject regs = Json(result.Out);
  EXPECT_EQ(regs["Frames"].toInt(), 2);
  // Stopped at the frame end: only the last instruction's overrun is left.
  EXPECT_LT(regs["Tackts"].toInt(), 24);
  EXPECT_EQ(regs["Rom0000"].toString(), "48K");
  EXPECT_EQ(regs["Port7FFD"].toInt(), 0x30);  // 48K BASIC, paging locked
  EXPECT_FALSE(regs["DosActive"].toBool());
}

TEST_F(RunnerTest, UntilPcStopsWhereThePcArrives) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  // The ROM's first jump goes to START at #11CB; the frame interrupt (#0038) comes once
  // the RAM is checked and the interrupt mode set.
  for (const auto& [address, value] : {std::pair{"0x11cb", 0x11CB}, std::pair{"#0038", 0x0038}}) {
    const RunResult result = Run({"--mode", "48", "--rom48", rom48.string(), "--until-pc", address,
                                  "--frames", "200", "--dump-regs"});
    ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
    const QJsonObject regs = Json(result.Out);
    EXPECT_EQ(regs["PC"].toInt(), value);
    EXPECT_LT(regs["Frames"].toInt(), 200);
  }
}

TEST_F(RunnerTest, UntilPcNotReachedStillWritesTheOutputs) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  const fs::path shot = dir_.path() / "shot.png";
  const RunResult result = Run({"--mode", "48", "--rom48", rom48.string(), "--until-pc", "#C000",
                                "--frames", "3", "--dump-regs", "--screenshot", shot.string()});
  EXPECT_EQ(result.Status, kRunnerPcNotReached);
  ExpectOneErrorLine(result, "PC #C000 not reached in 3 frames");
  EXPECT_EQ(Json(result.Out)["Frames"].toInt(), 3);
  EXPECT_TRUE(fs::exists(shot));
}

TEST_F(RunnerTest, RegisterDumpIsJsonWithEveryField) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  const RunResult result = Run(
      {"--mode", "48", "--rom48", rom48.string(), "--frames", "1", "--dump-regs", "--model", "2"});
  ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
  const QJsonObject regs = Json(result.Out);
  for (const char* key :
       {"AF",       "BC",          "DE",           "HL",       "AF'",       "BC'",
        "DE'",      "HL'",         "IX",           "IY",       "SP",        "PC",
        "I",        "R",           "IM",           "IFF1",     "IFF2",      "Tackts",
        "Frames",   "MemoryModel", "Port7FFD",     "Port1FFD", "DosActive", "Rom0000",
        "BankC000", "ScreenBank",  "DisplayedBank"}) {
    EXPECT_TRUE(regs.contains(key)) << key;
  }
  EXPECT_EQ(regs["MemoryModel"].toString(), "Pentagon 512k");
}

TEST_F(RunnerTest, PacedRunsTakeAFramesWorthOfTimeEach) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  const auto start = std::chrono::steady_clock::now();
  const RunResult result =
      Run({"--mode", "48", "--rom48", rom48.string(), "--frames", "10", "--paced"});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
  // 10 frames at 50 a second: 200 ms, less a tick for the start.
  EXPECT_GE(elapsed, std::chrono::milliseconds(170));
}

// An environment variable set for one scope and put back as it was.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnvironment() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

struct PacedRates {
  double Machine = 0;  // frames per second
  double Device = 0;   // 882-byte blocks the sound device consumed per second
};

// Rates of paced runs, from the difference between a short and a long run, so that what
// every run pays once (settings, ROM, opening the device) drops out. A one-frame run
// first lets SDL load its drivers. `played` is the disk driver's file, if one is used.
PacedRates MeasurePacedRuns(const std::function<RunResult(int)>& run, const fs::path& played) {
  constexpr int kShort = 25;
  constexpr int kLong = 175;
  EXPECT_EQ(run(1).Status, kRunnerOk);
  std::chrono::duration<double> times[2];
  double blocks[2] = {};
  for (int i = 0; i < 2; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const RunResult result = run(i == 0 ? kShort : kLong);
    times[i] = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.Status, kRunnerOk) << result.Err;
    std::error_code ec;
    if (!played.empty()) blocks[i] = static_cast<double>(fs::file_size(played, ec)) / 882;
  }
  const double seconds = (times[1] - times[0]).count();
  const PacedRates rates{(kLong - kShort) / seconds, (blocks[1] - blocks[0]) / seconds};
  // In the XML report, for a look at how close a loaded machine comes.
  ::testing::Test::RecordProperty("MachineFramesPerSecond", std::to_string(rates.Machine));
  ::testing::Test::RecordProperty("DeviceBlocksPerSecond", std::to_string(rates.Device));
  return rates;
}

// SDL's disk driver consumes the sound at about the real-time rate with no sound server,
// and what it consumed lands in its file. Its own sleeps overshoot on a busy machine
// (48.7 to 50.4 blocks a second were measured here, load average 3 on 2 cores), and a
// machine that misses the device's window under such load waits for the next turn of the
// buffer and drops two frames, so the rates get a few per cent of margin.
TEST_F(RunnerTest, PacedRunsFollowTheSoundDevicesClock) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  const fs::path played = dir_.path() / "played.raw";
  const ScopedEnvironment driver("SDL_AUDIODRIVER", "disk");
  const ScopedEnvironment file("SDL_DISKAUDIOFILE", played.c_str());
  const PacedRates rates = MeasurePacedRuns(
      [&](int frames) {
        return Run({"--mode", "48", "--rom48", rom48.string(), "--frames", std::to_string(frames),
                    "--paced"});
      },
      played);
  // The machine keeps the device's pace to 2 %; how near 50 that is depends on the disk
  // driver, which falls a little behind real time on a loaded machine.
  EXPECT_NEAR(rates.Machine, rates.Device, rates.Device * 0.02);
  EXPECT_NEAR(rates.Machine, 50.0, 5.0);
  // A paused device plays SDL's silence, 128; a started one plays the machine's blocks,
  // where a quiet speaker is 0. The file holds the 175-frame run.
  const std::string bytes = ReadAll(played);
  const auto playedBlocks =
      static_cast<size_t>(std::count_if(bytes.begin(), bytes.end(),
                                        [](char c) { return static_cast<uint8_t>(c) != 128; })) /
      882;
  EXPECT_GE(playedBlocks, 170u);
}

TEST_F(RunnerTest, PacedRunsWithoutASoundDeviceFollowTheTimer) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  const ScopedEnvironment driver("SDL_AUDIODRIVER", "nonexistent");
  const PacedRates rates = MeasurePacedRuns(
      [&](int frames) {
        return Run({"--mode", "48", "--rom48", rom48.string(), "--frames", std::to_string(frames),
                    "--paced"});
      },
      {});
  EXPECT_NEAR(rates.Machine, 50.0, 1.0);
}

TEST_F(RunnerTest, ScreenshotsHoldTheNativeFrameAndItsVisibleCut) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  const fs::path native = dir_.path() / "native.png";
  const fs::path visible = dir_.path() / "visible.png";
  const RunResult result =
      Run({"--mode", "48", "--rom48", rom48.string(), "--frames", "5", "--screenshot",
           native.string(), "--screenshot-visible", visible.string()});
  ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
  std::string error;
  const std::optional<RgbImage> whole = ReadPng(native, &error);
  const std::optional<RgbImage> cut = ReadPng(visible, &error);
  ASSERT_TRUE(whole && cut) << error;
  EXPECT_EQ(whole->Width, 384);
  EXPECT_EQ(whole->Height, 288);
  // The default border preset, "Pentagon128 on TV": 40 left, 36 right, 46 up, 26 down.
  ASSERT_EQ(cut->Width, 40 + 256 + 36);
  ASSERT_EQ(cut->Height, 46 + 192 + 26);
  for (int y = 0; y < cut->Height; ++y) {
    for (int x = 0; x < cut->Width; ++x) {
      ASSERT_EQ(0, std::memcmp(cut->At(x, y), whole->At(x + 64 - 40, y + 48 - 46), 3))
          << x << "," << y;
    }
  }
}

TEST_F(RunnerTest, TypedKeysReachTheMachine) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  // PRINT 1, typed once the editor is ready (about frame 90): the picture differs from an
  // untouched run of the same length, and repeats exactly.
  const auto shot = [&](const std::string& name, const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"--mode",
                                     "48",
                                     "--rom48",
                                     rom48.string(),
                                     "--frames",
                                     "120",
                                     "--screenshot-visible",
                                     (dir_.path() / name).string()};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(Run(args).Status, kRunnerOk);
    return ReadAll(dir_.path() / name);
  };
  const std::string idle = shot("idle.png", {});
  const std::string typed = shot("typed.png", {"--keys", "P@100 1 ENTER"});
  EXPECT_NE(idle, typed);
  EXPECT_EQ(shot("again.png", {"--keys", "P@100 1 ENTER"}), typed);
}

TEST_F(RunnerTest, InputFilesAreCheckedBeforeTheRun) {
  const fs::path program = dir_.path() / "game.xyz";
  std::ofstream(program) << "data";
  RunResult result = Run({program.string()});
  EXPECT_EQ(result.Status, kRunnerBadUsage);
  ExpectOneErrorLine(result, program.string() + ": unsupported file type");

  for (const fs::path& bad : {dir_.path() / "absent.ini", dir_.path()}) {
    RunnerOptions options;
    options.SettingsFile = bad;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    result.Status = RunRunner(options, out, err);
    result.Out = Drain(out);
    result.Err = Drain(err);
    EXPECT_EQ(result.Status, kRunnerBadUsage);
    ExpectOneErrorLine(result, "cannot read the settings file '" + bad.string() + "'");
  }
  EXPECT_FALSE(fs::exists(dir_.path() / "absent.ini"));
}

// Loaded and saved again without running a single instruction, a snapshot comes out as
// the same bytes: every register, the paging and all of memory went through both ways.
TEST_F(RunnerTest, ASnapshotSavedUnrunIsTheFileLoaded) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/128-1.rom");
  VANTREL_REQUIRE_TESTDATA(rom128, "roms/128-0.rom");
  VANTREL_REQUIRE_TESTDATA(p48, "snapshots/p48k.sna");
  VANTREL_REQUIRE_TESTDATA(p128, "snapshots/p128.sna");
  const fs::path saved = dir_.path() / "saved.sna";
  for (const auto& [mode, input] : {std::pair{"48", p48}, std::pair{"128", p128}}) {
    const RunResult result =
        Run({"--mode", mode, "--rom48", rom48.string(), "--rom128", rom128.string(), "--frames",
             "0", "--save-sna", saved.string(), input.string()});
    ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
    const std::string out = ReadAll(saved);
    const std::string in = ReadAll(input);
    ASSERT_EQ(out.size(), in.size()) << input;
    const auto differ = std::mismatch(out.begin(), out.end(), in.begin());
    EXPECT_TRUE(differ.first == out.end())
        << input << ": first difference at offset " << (differ.first - out.begin());
  }
}

TEST_F(RunnerTest, BrokenSnapshotsAreRefusedWithTheLoadersMessage) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  const fs::path sna = dir_.path() / "short.sna";
  std::ofstream(sna, std::ios::binary) << std::string(1000, '\0');
  RunResult result = Run({"--mode", "48", "--rom48", rom48.string(), sna.string()});
  EXPECT_EQ(result.Status, kRunnerBadUsage);
  ExpectOneErrorLine(result, "This file is not SNA format snapshot file, check it!");

  const fs::path z80 = dir_.path() / "short.z80";
  std::ofstream(z80, std::ios::binary) << std::string(20, '\1');
  result = Run({"--mode", "48", "--rom48", rom48.string(), z80.string()});
  EXPECT_EQ(result.Status, kRunnerBadUsage);
  ExpectOneErrorLine(result, "Invalid Z80 snapshot file!");

  // A save that cannot be written is a run-time failure.
  result = Run({"--mode", "48", "--rom48", rom48.string(), "--frames", "1", "--save-sna",
                (dir_.path() / "missing" / "x.sna").string()});
  EXPECT_EQ(result.Status, kRunnerFailed);
  EXPECT_FALSE(fs::exists(dir_.path() / "missing"));
}

// The 44-byte header's data size, and the samples after it.
std::vector<uint8_t> WavSamples(const fs::path& file) {
  const std::string bytes = ReadAll(file);
  if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(36, 4, "data") != 0) {
    ADD_FAILURE() << file << " is no WAV file";
    return {};
  }
  uint32_t size = 0;
  for (int i = 3; i >= 0; --i) size = size << 8 | static_cast<uint8_t>(bytes[40 + i]);
  EXPECT_EQ(size, bytes.size() - 44) << file;
  return {bytes.begin() + 44, bytes.end()};
}

TEST_F(RunnerTest, TheWavFileHoldsEveryFramesSamples) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  const fs::path wav = dir_.path() / "sound.wav";
  RunResult result =
      Run({"--mode", "48", "--rom48", rom48.string(), "--frames", "3", "--wav", wav.string()});
  ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
  EXPECT_EQ(WavSamples(wav).size(), 3u * 882);

  // No frames, no samples, but still a file.
  result = Run({"--mode", "48", "--rom48", rom48.string(), "--frames", "0", "--wav", wav.string()});
  ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
  EXPECT_TRUE(WavSamples(wav).empty());

  const fs::path nowhere = dir_.path() / "missing" / "sound.wav";
  result =
      Run({"--mode", "48", "--rom48", rom48.string(), "--frames", "3", "--wav", nowhere.string()});
  EXPECT_EQ(result.Status, kRunnerFailed);
  ExpectOneErrorLine(result, "cannot write '" + nowhere.string() + "'");
  EXPECT_FALSE(fs::exists(dir_.path() / "missing"));
}

struct Tone {
  double Hertz = 0;
  double Seconds = 0;
};

// The longest stretch of evenly spaced rising edges through the middle level: the key
// clicks before a tone are single edges at other spacings and fall outside it.
Tone LongestTone(const std::vector<uint8_t>& samples) {
  if (samples.empty()) return {};
  const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
  const int middle = (*low + *high) / 2;
  std::vector<size_t> rising;
  for (size_t i = 1; i < samples.size(); ++i) {
    if (samples[i - 1] <= middle && samples[i] > middle) rising.push_back(i);
  }
  size_t bestFirst = 0;
  size_t bestLast = 0;
  for (size_t first = 0; first + 1 < rising.size();) {
    size_t last = first + 1;
    const size_t spacing = rising[last] - rising[first];
    while (last + 1 < rising.size()) {
      const size_t next = rising[last + 1] - rising[last];
      if (next + 2 < spacing || next > spacing + 2) break;
      ++last;
    }
    if (last - first > bestLast - bestFirst) {
      bestFirst = first;
      bestLast = last;
    }
    first = last;
  }
  if (bestLast == bestFirst) return {};
  const double period =
      static_cast<double>(rising[bestLast] - rising[bestFirst]) / (bestLast - bestFirst);
  const double cycles = static_cast<double>(bestLast - bestFirst + 1);
  return {44100.0 / period, cycles * period / 44100.0};
}

// BEEP 1,9 is 440 Hz for a second on a 3.5 MHz Spectrum. The ROM counts T-states, and
// this machine runs 71680 of them per 20 ms (3.584 MHz), so the tone comes out 2.4 %
// higher and that much shorter.
TEST_F(RunnerTest, BeepPlaysTheRomsToneIntoTheWavFile) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  const fs::path wav = dir_.path() / "beep.wav";
  // CS+SS: extended mode, where SS+Z is BEEP; SS+N is the comma.
  const RunResult result = Run({"--mode", "48", "--rom48", rom48.string(), "--frames", "220",
                                "--keys", "CS+SS@100 SS+Z 1 SS+N 9 ENTER", "--wav", wav.string()});
  ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
  const Tone tone = LongestTone(WavSamples(wav));
  EXPECT_NEAR(tone.Hertz, 450.6, 4.5);
  EXPECT_NEAR(tone.Seconds, 0.977, 0.02);  // one frame
}

TEST_F(RunnerTest, AFailedScreenshotIsARunTimeError) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/48.rom");
  const fs::path shot = dir_.path() / "missing" / "shot.png";
  const std::string before = ReadAll(settings_);
  const RunResult result = Run(
      {"--mode", "48", "--rom48", rom48.string(), "--frames", "1", "--screenshot", shot.string()});
  EXPECT_EQ(result.Status, kRunnerFailed);
  ExpectOneErrorLine(result, "cannot write '" + shot.string() + "'");
  EXPECT_FALSE(fs::exists(shot));
  EXPECT_EQ(ReadAll(settings_), before);  // the runner never writes settings
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

// Pictures made once with vantrel-run, checked by eye, and kept beside the tests: the
// whole machine (ROM, interrupts, keyboard, beam-timed picture, palette) must still
// produce them pixel for pixel.
class GoldenPictureTest : public RunnerTest {
 protected:
  // The 48K machine unless `args` names a mode of its own (with its ROMs).
  void ExpectGolden(const std::string& golden, std::vector<std::string> args) {
    VANTREL_REQUIRE_TESTDATA(rom, "roms/48.rom");
    const fs::path shot = dir_.path() / "shot.png";
    if (std::find(args.begin(), args.end(), "--mode") == args.end()) {
      args.insert(args.end(), {"--mode", "48", "--rom48", rom.string()});
    }
    args.insert(args.end(), {"--screenshot", shot.string()});
    const RunResult result = Run(args);
    ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
    std::string error;
    const std::optional<RgbImage> actual = ReadPng(shot, &error);
    const std::optional<RgbImage> expected = ReadPng(fs::path(VANTREL_GOLDEN_DIR) / golden, &error);
    ASSERT_TRUE(actual && expected) << error;
    ASSERT_EQ(actual->Width, expected->Width);
    ASSERT_EQ(actual->Height, expected->Height);
    int differing = 0;
    std::string first;
    for (int y = 0; y < actual->Height; ++y) {
      for (int x = 0; x < actual->Width; ++x) {
        if (std::memcmp(actual->At(x, y), expected->At(x, y), 3) == 0) continue;
        if (differing++ == 0) first = std::to_string(x).append(",").append(std::to_string(y));
      }
    }
    EXPECT_EQ(differing, 0) << golden << ": first difference at " << first;
  }
};

TEST_F(GoldenPictureTest, BootScreenShowsTheCopyrightLine) {
  ExpectGolden("boot48.png", {"--frames", "150"});
}

// Snapshots taken at the BASIC prompt and in the 128K tape loader show their screens.
TEST_F(GoldenPictureTest, SnapshotsShowTheScreenTheyWereSavedWith) {
  VANTREL_REQUIRE_TESTDATA(p48, "snapshots/p48k.sna");
  ExpectGolden("p48k.png", {"--frames", "10", p48.string()});
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/128-1.rom");
  VANTREL_REQUIRE_TESTDATA(rom128, "roms/128-0.rom");
  VANTREL_REQUIRE_TESTDATA(ld128, "snapshots/ld128bas.z80");
  ExpectGolden("ld128bas.png", {"--mode", "128", "--rom48", rom48.string(), "--rom128",
                                rom128.string(), "--frames", "10", ld128.string()});
}

TEST_F(GoldenPictureTest, TypedPrintLineShowsItsResult) {
  // Keyword mode: P gives PRINT; SYMBOL SHIFT + K is "+".
  ExpectGolden("print2plus2.png", {"--frames", "250", "--keys", "P@150 2 SS+K 2 ENTER"});
}

}  // namespace
}  // namespace vantrel
