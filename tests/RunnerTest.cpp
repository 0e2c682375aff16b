#include <gtest/gtest.h>
#include <stdlib.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "RunnerFixture.h"
#include "TempDir.h"
#include "TestData.h"
#include "app/Settings.h"
#include "cli/PngImage.h"
#include "cli/Runner.h"
#include "cli/RunnerOptions.h"
#include "cli/WavWriter.h"
#include "disk/DiskImageFiles.h"
#include "disk/TrackLayout.h"
#include "media/SnapshotLoader.h"
#include "platform/QtSettingsStore.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::Listing;
using test::ReadBytes;
using test::RunResult;
using test::TempDir;

// ---------------------------------------------------------------------------------------
// The output files.

RgbImage Gradient(int width, int height) {
  RgbImage image(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = image.At(x, y);
      p[0] = static_cast<uint8_t>(x * 17), p[1] = static_cast<uint8_t>(y * 29);
      p[2] = static_cast<uint8_t>(x ^ y);
    }
  }
  return image;
}

Bytes Ramp(size_t count) {
  Bytes samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = static_cast<uint8_t>(i * 7 + 3);
  return samples;
}

// The data of a WAV file, after every header field a player reads: PCM at 44100 Hz in
// `format`. An odd length gets a pad byte that the RIFF size counts but the data size
// does not.
Bytes WavData(const fs::path& file, WavFormat format) {
  const Bytes bytes = ReadBytes(file);
  if (bytes.size() < 44) {
    ADD_FAILURE() << file << " is no WAV file";
    return {};
  }
  const auto field = [&](size_t at, size_t size) {
    uint32_t read = 0;
    for (size_t i = size; i-- > 0;) read = read << 8 | bytes[at + i];
    return read;
  };
  const uint32_t count = field(40, 4), padded = count + (count & 1);
  EXPECT_EQ(bytes.size(), 44 + padded);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.substr(0, 4) + text.substr(8, 8) + text.substr(36, 4), "RIFFWAVEfmt data");
  // RIFF size, format size, PCM, channels, rate, bytes a second, frame size, bits.
  const uint32_t frame = format.Channels * format.Bits / 8u;
  EXPECT_EQ((std::vector<uint32_t>{field(4, 4), field(16, 4), field(20, 2), field(22, 2),
                                   field(24, 4), field(28, 4), field(32, 2), field(34, 2)}),
            (std::vector<uint32_t>{36 + padded, 16, 1, format.Channels, 44100, 44100 * frame, frame,
                                   format.Bits}));
  return {bytes.begin() + 44, bytes.begin() + 44 + std::min<size_t>(count, bytes.size() - 44)};
}

// The samples of an 8-bit mono WAV file.
Bytes WavSamples(const fs::path& file) {
  return WavData(file, kWavU8Mono);
}

// The samples of a 16-bit WAV file, interleaved when stereo.
std::vector<int> WavSamples16(const fs::path& file, uint16_t channels) {
  const Bytes data = WavData(file, {channels, 16});
  std::vector<int> samples(data.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  return samples;
}

TEST(OutputFileTest, AFailedWriteLeavesNoFileAndKeepsAnOldOne) {
  using Write = std::function<bool(const fs::path&, std::string*)>;
  const std::pair<std::string, Write> writers[] = {
      {"png", [](const fs::path& f, std::string* e) { return WritePng(f, Gradient(4, 4), e); }},
      {"wav", [](const fs::path& f, std::string* e) { return WriteWav(f, Ramp(10), e); }}};
  for (const auto& [name, write] : writers) {
    SCOPED_TRACE(name);
    TempDir dir;
    std::string error;
    // Complete but unable to replace a directory: the temporary goes too.
    const fs::path occupied = dir.path() / ("occupied." + name);
    fs::create_directory(occupied);
    EXPECT_FALSE(write(occupied, &error));
    EXPECT_TRUE(fs::is_directory(occupied));
    EXPECT_EQ(Listing(dir.path()), std::vector<fs::path>{occupied.filename()});
  }
  // A picture whose pixels do not match its size, and a sound writer dropped before
  // Finish (a run that failed), leave the old file as it was.
  TempDir dir;
  std::string error;
  const fs::path png = dir.path() / "old.png", wav = dir.path() / "old.wav";
  ASSERT_TRUE(WritePng(png, Gradient(2, 2), &error) && WriteWav(wav, Ramp(5), &error)) << error;
  const Bytes oldPng = ReadBytes(png), oldWav = ReadBytes(wav);
  EXPECT_EQ(WavSamples(wav), Ramp(5));
  RgbImage broken = Gradient(3, 3);
  broken.Pixels.pop_back();
  EXPECT_FALSE(WritePng(png, broken, &error));
  EXPECT_FALSE(WritePng(png, RgbImage(), &error));
  {
    WavWriter abandoned;
    ASSERT_TRUE(abandoned.Open(wav, &error)) << error;
    abandoned.Append(Ramp(100));
    EXPECT_EQ(ReadBytes(wav), oldWav);  // the samples go elsewhere until Finish
  }
  EXPECT_EQ(ReadBytes(png), oldPng);
  EXPECT_EQ(ReadBytes(wav), oldWav);
  EXPECT_EQ(Listing(dir.path()).size(), 2u);
  WavWriter unopened;
  EXPECT_FALSE(unopened.Finish(&error));
  // What is not a picture is refused, naming the file.
  EXPECT_FALSE(ReadPng(dir.path() / "absent.png", &error).has_value());
  EXPECT_FALSE(ReadPng(wav, &error).has_value());
  EXPECT_NE(error.find("old.wav"), std::string::npos) << error;
}

// ---------------------------------------------------------------------------------------
// Whole runs through RunRunner (RunnerFixture.h).

class RunnerTest : public test::RunnerFixture {
 protected:
  static void ExpectOneErrorLine(const RunResult& result, const std::string& text) {
    EXPECT_EQ(result.Err.rfind("vantrel-run: ", 0), 0u) << result.Err;
    EXPECT_NE(result.Err.find(text), std::string::npos) << result.Err;
    EXPECT_EQ(result.Err.find('\n'), result.Err.size() - 1) << result.Err;
  }

  static QJsonObject Json(const std::string& text) {
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    EXPECT_TRUE(document.isObject()) << text;
    return document.object();
  }

  std::function<RunResult(int)> PacedRun() {
    return [this](int frames) {
      return Run("--mode 48 --rom48 $ROM --paced --frames " + std::to_string(frames));
    };
  }
};

#define REQUIRE_ROM48() \
  if (rom48_.empty()) GTEST_SKIP() << "test data not found: roms/48.rom"

TEST_F(RunnerTest, ProblemsGiveTheirStatusAndOneErrorLine) {
  REQUIRE_ROM48();
  test::WriteBytes(dir_.path() / "game.xyz", {1});
  test::WriteBytes(dir_.path() / "short.sna", Bytes(1000, 0));
  test::WriteBytes(dir_.path() / "short.tap", {1});
  const std::string settingsBefore = Expand("$D/settings.ini");
  const Bytes settings = ReadBytes(settingsBefore);
  struct Case {
    const char* command;
    int status;
    const char* error;
    const char* absent;  // a file or folder the run must not create
  };
  const Case cases[] = {
      {"--mode 48 --screenshot $D/shot.png", kRunnerFailed,
       "cannot load the 48K ROM '$D/no-48.rom'", "$D/shot.png"},
      {"$D/game.xyz", kRunnerBadUsage, "$D/game.xyz: unsupported file type", ""},
      {"--settings $D/absent.ini", kRunnerBadUsage, "cannot read the settings file '$D/absent.ini'",
       "$D/absent.ini"},
      {"--mode 48 --rom48 $ROM $D/short.sna", kRunnerBadUsage,
       "This file is not SNA format snapshot file, check it!", ""},
      {"--mode 48 --rom48 $ROM $D/short.tap", kRunnerBadUsage, "Error! TAP file size too small!",
       ""},
      {"--mode 48 --rom48 $ROM --autoload $D/short.sna", kRunnerBadUsage,
       "--autoload needs a tape or disk FILE", ""},
      {"--mode 48 --rom48 $ROM --frames 1 --save-sna $D/missing/x.sna", kRunnerFailed, "x.sna",
       "$D/missing"},
      {"--mode 48 --rom48 $ROM --frames 3 --wav $D/missing/s.wav", kRunnerFailed,
       "cannot write '$D/missing/s.wav'", "$D/missing"},
      {"--mode 48 --rom48 $ROM --frames 1 --screenshot $D/missing/s.png", kRunnerFailed,
       "cannot write '$D/missing/s.png'", "$D/missing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const RunResult result = Run(c.command);
    EXPECT_EQ(result.Status, c.status);
    ExpectOneErrorLine(result, Expand(c.error));
    if (*c.absent) {
      EXPECT_FALSE(fs::exists(Expand(c.absent)));
    }
  }
  EXPECT_EQ(ReadBytes(settingsBefore), settings);  // the runner never writes settings

  // An unreached PC is a status of its own, and the outputs are still written.
  const RunResult result =
      Run("--mode 48 --rom48 $ROM --until-pc #C000 --frames 3 --dump-regs --screenshot $D/s.png");
  EXPECT_EQ(result.Status, kRunnerPcNotReached);
  ExpectOneErrorLine(result, "PC #C000 not reached in 3 frames");
  EXPECT_EQ(Json(result.Out)["Frames"].toInt(), 3);
  EXPECT_TRUE(fs::exists(dir_.path() / "s.png"));

  // So is a breakpoint's stop; the first of the repeated ones to fire is named.
  const RunResult stopped =
      Run("--mode 48 --rom48 $ROM --break int --break exec:#11CB --dump-regs");
  EXPECT_EQ(stopped.Status, kRunnerBreakpoint);
  ExpectOneErrorLine(stopped, "Breakpoint 2: Execution #11CB after 0 frames");
  EXPECT_EQ(Json(stopped.Out)["PC"].toInt(), 0x11CB);
  EXPECT_EQ(Json(stopped.Out)["Breakpoint"].toString(), "Breakpoint 2: Execution #11CB");

  // The same stop by the name a symbol listing gives the address.
  std::ofstream(dir_.path() / "rom.sym") << "; the 48K ROM\nSTART EQU 11CBh\n";
  const RunResult named =
      Run("--mode 48 --rom48 $ROM --symbols $D/rom.sym --break exec:start --dump-regs");
  EXPECT_EQ(named.Status, kRunnerBreakpoint);
  ExpectOneErrorLine(named, "Breakpoint 1: Execution #11CB after 0 frames");
  EXPECT_EQ(Json(named.Out)["PC"].toInt(), 0x11CB);

  const RunResult help = Run("--help");
  EXPECT_EQ(help.Status, kRunnerOk);
  EXPECT_NE(help.Out.find("--screenshot-visible FILE.png"), std::string::npos);
  EXPECT_NE(help.Out.find("--symbols FILE"), std::string::npos);
  EXPECT_TRUE(help.Err.empty());
}

// A condition decides a breakpoint's stop; the trace writes one line per instruction,
// from the first step or from --trace-from, with the names of a symbol list.
TEST_F(RunnerTest, ConditionalBreakpointsAndTraces) {
  REQUIRE_ROM48();
  // The ROM starts DI / XOR A / LD DE,#FFFF / JP START (#11CB); its first byte is #F3.
  const RunResult stopped =
      Run("--mode 48 --rom48 $ROM --frames 2", {"--break", "exec:#11CB if A=0 && [0]>#F0"});
  EXPECT_EQ(stopped.Status, kRunnerBreakpoint);
  ExpectOneErrorLine(stopped, "Breakpoint 1: Execution #11CB after 0 frames");
  const RunResult never =
      Run("--mode 48 --rom48 $ROM --frames 2", {"--break", "exec:#11CB if de<>#ffff"});
  EXPECT_EQ(never.Status, kRunnerOk) << never.Err;

  std::ofstream(dir_.path() / "rom.sym") << "11CB START\n";
  const RunResult traced = Run(
      "--mode 48 --rom48 $ROM --frames 1 --symbols $D/rom.sym --trace $D/all.txt --until-pc #11CC");
  EXPECT_EQ(traced.Status, kRunnerOk) << traced.Err;
  std::ifstream all(dir_.path() / "all.txt");
  std::vector<std::string> lines;
  for (std::string line; std::getline(all, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].substr(0, 48), "         0 0000 F3          DI                  ");
  EXPECT_EQ(lines[2].substr(0, 48), "         8 0002 11 FF FF    LD DE,FFFF          ");
  EXPECT_EQ(lines[3].substr(0, 48), "        18 0005 C3 CB 11    JP START            ");
  EXPECT_EQ(lines[4].substr(0, 48), "        28 11CB 47          LD B,A              ");
  // The registers after the instruction.
  EXPECT_NE(lines[1].find(" AF=0044 "), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(" DE=FFFF "), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find(" SP="), std::string::npos);

  const RunResult from =
      Run("--mode 48 --rom48 $ROM --frames 1 --trace $D/from.txt --trace-from #11CB "
          "--until-pc #11CE");
  EXPECT_EQ(from.Status, kRunnerOk) << from.Err;
  std::ifstream part(dir_.path() / "from.txt");
  std::string first;
  std::getline(part, first);
  EXPECT_EQ(first.substr(0, 48), "        28 11CB 47          LD B,A              ");
  // A trace that cannot be written costs no run and leaves no file.
  const RunResult refused = Run("--mode 48 --rom48 $ROM --frames 1 --trace $D/absent/dir/t.txt");
  EXPECT_EQ(refused.Status, kRunnerFailed);
  EXPECT_FALSE(fs::exists(dir_.path() / "absent"));
}

// The ROM's first jump goes to START at #11CB; the frame interrupt (#0038) comes once the
// RAM is checked and the interrupt mode set. A run to its frame count stops at the frame
// end, where only the last instruction's overrun is left.
TEST_F(RunnerTest, DumpedRegistersShowWhereTheRunStopped) {
  REQUIRE_ROM48();
  VANTREL_REQUIRE_TESTDATA(trdos, "roms/trdos503.rom");
  test::WriteBytes(dir_.path() / "one.tap", {3, 0, 0, 0xAA, 0x55});
  const std::pair<std::string, const char*> cases[] = {
      {"--mode 48 --frames 2 --model 2",
       R"({"Frames": 2, "Rom0000": "48K", "Port7FFD": 48, "DosActive": false,
           "MemoryModel": "Pentagon 512k"})"},
      {"--mode 48 --frames 200 --until-pc 0x11cb", R"({"PC": 4555})"},
      // Early, before TR-DOS waits for the empty drive in the 48K ROM's BREAK test.
      {"--mode trdos48 --frames 2 --romdos " + trdos.string(),
       R"({"Rom0000": "TR-DOS", "Beta128Requests": 63})"},
      // LOAD "" typed once the ROM is up; the loader's DI starts the tape.
      {"--mode trdos48 --frames 300 --no-instant-load --autoload $D/one.tap",
       R"({"TapePlaying": true, "TapeBlock": 0, "TapeBlocks": 1, "Rom0000": "48K"})"},
      // The timing in use: named, with the frame it sets.
      {"--mode 48 --frames 2", R"({"Timing": "default", "TacktsPerInt": 71680})"},
      {"--mode 48 --frames 2 --timing 48", R"({"Timing": "Sinclair 48K", "TacktsPerInt": 69888})"},
      {"--mode 48 --frames 2 --timing auto", R"({"Timing": "Sinclair 48K"})"},
      {"--mode 48 --frames 2 --timing 128 --model 2",
       R"({"Timing": "Sinclair 128K", "TacktsPerInt": 70908})"},
      {"--mode 48 --frames 2 --timing auto --tackts-per-int 70000",
       R"({"Timing": "Sinclair 48K", "TacktsPerInt": 69888})"},
  };
  for (const auto& [command, expected] : cases) {
    SCOPED_TRACE(command);
    const RunResult result = Run("--rom48 $ROM --dump-regs " + command);
    ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
    EXPECT_TRUE(result.Err.empty()) << result.Err;
    const QJsonObject regs = Json(result.Out), want = Json(expected);
    for (const QString& key : want.keys()) EXPECT_EQ(regs[key], want[key]) << key.toStdString();
    if (command.find("until") != std::string::npos) continue;
    EXPECT_LT(regs["Tackts"].toInt(), 24);
  }
  {
    QtSettingsStore store(settings_);
    HardwareSettings hardware = LoadHardwareSettings(store);
    hardware.TrDos.Enabled = false;
    SaveHardwareSettings(store, hardware);
  }
  const RunResult result = Run("--rom48 $ROM " + cases[2].first);
  EXPECT_EQ(result.Status, kRunnerFailed);
  ExpectOneErrorLine(result, "mode trdos48 needs the TR-DOS interface");
}

// An environment variable set for one scope and put back as it was.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnvironment() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Frames a second of paced runs, and 882-sample stereo blocks the disk driver's file `played`
// (if any) grew by a second, from the difference between a short and a long run, so
// that what every run pays once drops out. A one-frame run first lets SDL load.
std::pair<double, double> MeasurePacedRuns(const std::function<RunResult(int)>& run,
                                           const fs::path& played) {
  constexpr int kShort = 25, kLong = 175;
  EXPECT_EQ(run(1).Status, kRunnerOk);
  std::chrono::duration<double> times[2];
  double blocks[2] = {};
  for (int i = 0; i < 2; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const RunResult result = run(i == 0 ? kShort : kLong);
    times[i] = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.Status, kRunnerOk) << result.Err;
    std::error_code ec;
    if (!played.empty()) {
      blocks[i] = static_cast<double>(fs::file_size(played, ec)) / (4 * kSoundBlockSize);
    }
  }
  const double seconds = (times[1] - times[0]).count();
  ::testing::Test::RecordProperty("MachineFramesPerSecond",
                                  std::to_string((kLong - kShort) / seconds));
  return {(kLong - kShort) / seconds, (blocks[1] - blocks[0]) / seconds};
}

// SDL's disk driver consumes the sound at about the real-time rate with no sound server,
// and what it consumed lands in its file. Its own sleeps overshoot on a busy machine
// (48.7 to 50.4 blocks a second were measured here, load average 3 on 2 cores), and a
// machine that misses the device's window under such load waits for the next turn of the
// buffer and drops two frames, so the rates get a few per cent of margin.
TEST_F(RunnerTest, PacedRunsFollowTheSoundDevicesClock) {
  REQUIRE_ROM48();
  const fs::path played = dir_.path() / "played.raw";
  const ScopedEnvironment driver("SDL_AUDIODRIVER", "disk");
  const ScopedEnvironment file("SDL_DISKAUDIOFILE", played.c_str());
  const auto [machine, device] = MeasurePacedRuns(PacedRun(), played);
  // The machine keeps the device's pace to 2 %; how near 50 that is depends on the disk
  // driver, which falls a little behind real time on a loaded machine.
  EXPECT_NEAR(machine, device, device * 0.02);
  EXPECT_NEAR(machine, 50.0, 5.0);
  // The device played the 175-frame run's 16-bit stereo blocks, and little more.
  const auto blocks = static_cast<double>(ReadBytes(played).size()) / (4 * kSoundBlockSize);
  EXPECT_GE(blocks, 170);
  EXPECT_LE(blocks, 190);
}

TEST_F(RunnerTest, PacedRunsWithoutASoundDeviceFollowTheTimer) {
  REQUIRE_ROM48();
  const ScopedEnvironment driver("SDL_AUDIODRIVER", "nonexistent");
  EXPECT_NEAR(MeasurePacedRuns(PacedRun(), {}).first, 50.0, 1.0);
}

// Loaded and saved again without running a single instruction, a snapshot comes out as
// the same bytes: every register, the paging and all of memory went through both ways.
// No frames also make an empty sound file.
TEST_F(RunnerTest, ASnapshotSavedUnrunIsTheFileLoaded) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/128-1.rom");
  VANTREL_REQUIRE_TESTDATA(rom128, "roms/128-0.rom");
  VANTREL_REQUIRE_TESTDATA(p48, "snapshots/p48k.sna");
  VANTREL_REQUIRE_TESTDATA(p128, "snapshots/p128.sna");
  for (const auto& [mode, input] : {std::pair{"48", p48}, std::pair{"128", p128}}) {
    const RunResult result =
        Run("--frames 0 --save-sna $D/saved.sna --wav $D/s.wav --mode " + std::string(mode),
            {"--rom48", rom48.string(), "--rom128", rom128.string(), input.string()});
    ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
    const Bytes out = ReadBytes(dir_.path() / "saved.sna"), in = ReadBytes(input);
    ASSERT_EQ(out.size(), in.size()) << input;
    const auto differ = std::mismatch(out.begin(), out.end(), in.begin());
    EXPECT_TRUE(differ.first == out.end())
        << input << ": first difference at offset " << (differ.first - out.begin());
    EXPECT_TRUE(WavData(dir_.path() / "s.wav", kWavS16Mono).empty());
  }
}

// Disks go in before the run and come out after it in the format the name asks for: a
// TRD taken round through FDI and UDI is the file it was, and a refused disk or an
// unwritable name ends the run with the reason.
TEST_F(RunnerTest, DisksInsertConvertAndRefuse) {
  REQUIRE_ROM48();
  VANTREL_REQUIRE_TESTDATA(disks, "disk-trdos");
  const std::string in = (disks / "UMT2_3.TRD").string();
  struct Case {
    std::string input;
    const char* save;
    int status;
    const char* error;  // empty: none
  };
  // A compressed track whose stream is broken.
  Bytes bad = ReadBytes(disks / "success.udi");
  bad[40] ^= 0xFF;
  test::WriteBytes(dir_.path() / "bad.udi", bad);
  const Case cases[] = {
      {in, "$D/a.fdi", kRunnerOk, ""},
      {"$D/a.fdi", "$D/a.udi", kRunnerOk, ""},
      {"$D/a.udi", "$D/a.trd", kRunnerOk, ""},
      {"$D/bad.udi", "$D/b.trd", kRunnerBadUsage,
       "cannot load '$D/bad.udi': Can't open Ultra Disk Image file! Unsupported file format... "
       "Cylinder 0, side 0: the compressed track cannot be inflated"},
      {in, "$D/missing/c.trd", kRunnerFailed,
       "cannot save the disk as '$D/missing/c.trd': Can't create Disk Image File!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input + " -> " + c.save);
    const RunResult result =
        Run("--mode 48 --rom48 $ROM --frames 0 --save-disk " + std::string(c.save) + " " + c.input);
    EXPECT_EQ(result.Status, c.status);
    if (*c.error) {
      ExpectOneErrorLine(result, Expand(c.error));
      EXPECT_FALSE(fs::exists(Expand(c.save)));
    } else {
      EXPECT_TRUE(result.Err.empty()) << result.Err;
    }
  }
  EXPECT_EQ(ReadBytes(dir_.path() / "a.trd"), ReadBytes(in));
}

// Each drive takes its own disk and saves it; a TRD that would lose part of a disk is
// written with a warning per kind of loss, and an empty drive has nothing to save.
TEST_F(RunnerTest, DrivesBToDLoadAndSaveTheirOwnDisks) {
  REQUIRE_ROM48();
  VANTREL_REQUIRE_TESTDATA(disks, "disk-trdos");
  auto lossy = CreateBlankDisk();
  std::vector<SectorField> sectors;
  const std::array<uint8_t, 256> zeros{};
  for (uint8_t r = 1; r <= 16; ++r)
    sectors.push_back({SectorId{1, 0, r, 1}, r == 3 ? kDeletedDataMark : kDataMark, zeros});
  ASSERT_TRUE(LayOutTrack(lossy->Track(1, 0), sectors));
  ASSERT_TRUE(SaveDiskImage(dir_.path() / "lossy.udi", *lossy, RememberedGeometry{}));
  const std::string trd = (disks / "UMT2_3.TRD").string();
  const std::string scl = (disks / "UMT2_3.SCL").string();
  struct Case {
    std::string command;
    int status;
    const char* err;  // what stderr holds (one line), or empty
  };
  const Case cases[] = {
      {"--disk-b " + trd + " --disk-d " + scl +
           " --save-disk-b $D/b.trd --save-disk-d $D/d.scl --save-disk $D/a.udi",
       kRunnerOk, ""},
      {"--disk-c $D/lossy.udi --save-disk-c $D/c.trd", kRunnerOk,
       "warning: '$D/c.trd' loses 1 sectors marked as deleted data (first at cylinder 1, side 0, "
       "sector 3); a .udi file keeps it"},
      {"--save-disk-b $D/none.trd", kRunnerFailed,
       "cannot save the disk as '$D/none.trd': Drive B holds no disk to save."},
      {"--disk-c $D/absent.trd", kRunnerBadUsage,
       "cannot load '$D/absent.trd': Can't open Disk Image File! Invalid file name or file "
       "location..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const RunResult result = Run("--mode 48 --rom48 $ROM --frames 0 " + c.command);
    EXPECT_EQ(result.Status, c.status);
    if (*c.err) {
      ExpectOneErrorLine(result, Expand(c.err));
    } else {
      EXPECT_TRUE(result.Err.empty()) << result.Err;
    }
  }
  EXPECT_EQ(ReadBytes(dir_.path() / "b.trd"), ReadBytes(trd));
  EXPECT_EQ(ReadBytes(dir_.path() / "d.scl"), ReadBytes(scl));
  EXPECT_FALSE(fs::exists(dir_.path() / "none.trd"));
  EXPECT_TRUE(fs::exists(dir_.path() / "c.trd"));
}

// {hertz, seconds} of the tone: the spacings of rising edges through the middle level
// that lie between 315 and 735 Hz; the key clicks before the tone are edges far apart.
template <class Samples>
std::pair<double, double> Tone(const Samples& samples) {
  if (samples.empty()) return {};
  const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
  const int middle = (*low + *high) / 2;
  double sum = 0, count = 0;
  for (size_t i = 1, last = 0; i < samples.size(); ++i) {
    if (samples[i - 1] > middle || samples[i] <= middle) continue;
    if (last && i - last > 60 && i - last < 140) sum += static_cast<double>(i - last), ++count;
    last = i;
  }
  if (count == 0) return {};
  return {44100.0 * count / sum, (sum + sum / count) / 44100.0};
}

// BEEP 1,9 is 440 Hz for a second on a 3.5 MHz Spectrum. The ROM counts T-states, and
// this machine runs 71680 of them per 20 ms (3.584 MHz), so the tone comes out 2.4 %
// higher and that much shorter.
TEST_F(RunnerTest, BeepPlaysTheRomsToneIntoTheWavFile) {
  REQUIRE_ROM48();
  // The 8-bit mix, the 16-bit mono stream, and the stereo stream with the beeper in the
  // middle: the same tone in each.
  const std::pair<std::string, uint16_t> formats[] = {
      {"--wav-format u8", 0}, {"", 1}, {"--stereo mono", 1}, {"--stereo abc", 2}};
  for (const auto& [extra, channels] : formats) {
    SCOPED_TRACE(extra);
    // CS+SS: extended mode, where SS+Z is BEEP; SS+N is the comma.
    const RunResult result = Run("--mode 48 --rom48 $ROM --frames 220 --wav $D/beep.wav " + extra,
                                 {"--keys", "CS+SS@100 SS+Z 1 SS+N 9 ENTER"});
    ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
    std::vector<int> samples;
    if (channels == 0) {
      const Bytes bytes = WavSamples(dir_.path() / "beep.wav");
      samples.assign(bytes.begin(), bytes.end());
    } else {
      const std::vector<int> all = WavSamples16(dir_.path() / "beep.wav", channels);
      for (size_t i = 0; i < all.size(); i += channels) {
        if (channels == 2) {
          ASSERT_EQ(all[i], all[i + 1]) << i;
        }
        samples.push_back(all[i]);
      }
    }
    EXPECT_EQ(samples.size(), 220u * 882);
    const auto [hertz, seconds] = Tone(samples);
    EXPECT_NEAR(hertz, 450.6, 4.5);
    EXPECT_NEAR(seconds, 0.977, 0.02);  // one frame
  }
}

// A second AY needs a board that takes one.
TEST_F(RunnerTest, TurboSoundNeedsAPentagonOrScorpionModel) {
  REQUIRE_ROM48();
  RunResult result = Run("--mode 48 --rom48 $ROM --model 0 --turbosound --frames 1");
  EXPECT_EQ(result.Status, kRunnerBadUsage);
  EXPECT_NE(result.Err.find("Pentagon or Scorpion"), std::string::npos) << result.Err;
  result = Run("--mode 48 --rom48 $ROM --model 1 --turbosound --frames 1");
  EXPECT_EQ(result.Status, kRunnerOk) << result.Err;
}

// Pictures made once with vantrel-run, checked by eye, and kept beside the tests: the
// whole machine (ROM, interrupts, keyboard, beam-timed picture, palette) must still
// produce them pixel for pixel.
TEST_F(RunnerTest, GoldenPicturesComeOutPixelForPixel) {
  REQUIRE_ROM48();
  VANTREL_REQUIRE_TESTDATA(rom128, "roms/128-0.rom");
  VANTREL_REQUIRE_TESTDATA(snapshots, "snapshots");
  const std::string mode128 = "--mode 128 --rom128 " + rom128.string() + " --rom48 " +
                              test::TestDataFile("roms/128-1.rom").string();
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"boot48.png", {"--frames", "150"}},
      // Keyword mode: P gives PRINT; SYMBOL SHIFT + K is "+".
      {"print2plus2.png", {"--frames", "250", "--keys", "P@150 2 SS+K 2 ENTER"}},
      // Snapshots taken at the BASIC prompt and in the 128K tape loader.
      {"p48k.png", {"--frames", "10", (snapshots / "p48k.sna").string()}},
      {"ld128bas.png", {"--frames", "10", (snapshots / "ld128bas.z80").string()}},
  };
  for (const auto& [golden, args] : cases) {
    SCOPED_TRACE(golden);
    const std::string mode = golden[0] == 'l' ? mode128 : "--mode 48 --rom48 $ROM";
    const RunResult result =
        Run(mode + " --screenshot $D/shot.png --screenshot-visible $D/cut.png", args);
    ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
    std::string error;
    const std::optional<RgbImage> actual = ReadPng(dir_.path() / "shot.png", &error);
    const std::optional<RgbImage> expected = ReadPng(fs::path(VANTREL_GOLDEN_DIR) / golden, &error);
    const std::optional<RgbImage> cut = ReadPng(dir_.path() / "cut.png", &error);
    ASSERT_TRUE(actual && expected && cut) << error;
    EXPECT_TRUE(*actual == *expected);
    // The visible cut of the default border preset, "Pentagon128 on TV": 40 left, 36
    // right, 46 up and 26 down of the native frame's 64, 64, 48 and 48.
    ASSERT_EQ(std::pair(cut->Width, cut->Height), std::pair(40 + 256 + 36, 46 + 192 + 26));
    for (int y = 0; y < cut->Height; ++y) {
      ASSERT_EQ(0, std::memcmp(cut->At(0, y), actual->At(24, y + 2), 3 * cut->Width)) << y;
    }
  }
}

// A 48K frame of 69888 T-states has fewer lines than the picture: its bottom rows still
// show the ROM's white border, not black.
TEST_F(RunnerTest, ShortFramesDrawEveryRowOfThePicture) {
  REQUIRE_ROM48();
  const RunResult result =
      Run("--mode 48 --rom48 $ROM --tackts-per-int 69888 --frames 100 --screenshot $D/shot.png");
  ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
  std::string error;
  const std::optional<RgbImage> shot = ReadPng(dir_.path() / "shot.png", &error);
  ASSERT_TRUE(shot) << error;
  ASSERT_EQ(std::pair(shot->Width, shot->Height), std::pair(384, 288));
  const uint8_t white[3] = {0xBB, 0xBB, 0xBB};
  for (int y = 0; y < shot->Height; ++y) {
    for (int x : {0, 63, 320, 383})
      ASSERT_EQ(0, std::memcmp(shot->At(x, y), white, 3)) << x << " " << y;
  }
}

// --rewind: a run that steps five captures back at frame 500 and runs 300 frames more is
// the machine of a plain 600-frame run, down to the saved SZX file's last byte.
// --save-snapshot writes by the extension, and a saved SZX loads back to the same file.
TEST_F(RunnerTest, RewindingRunsOnAsTheMachineRanThen) {
  VANTREL_REQUIRE_TESTDATA(rom48, "roms/128-1.rom");
  VANTREL_REQUIRE_TESTDATA(rom128, "roms/128-0.rom");
  VANTREL_REQUIRE_TESTDATA(p128, "snapshots/p128.sna");
  const std::vector<std::string> more = {"--rom48", rom48.string(), "--rom128",   rom128.string(),
                                         "--mode",  "128",          p128.string()};
  const RunResult rewound = Run("--frames 800 --rewind 500:5 --save-snapshot $D/rewound.szx", more);
  ASSERT_EQ(rewound.Status, kRunnerOk) << rewound.Err;
  const RunResult plain = Run("--frames 600 --save-snapshot $D/plain.szx", more);
  ASSERT_EQ(plain.Status, kRunnerOk) << plain.Err;
  const RunResult longer = Run("--frames 800 --save-snapshot $D/longer.szx", more);
  ASSERT_EQ(longer.Status, kRunnerOk) << longer.Err;
  const Bytes a = ReadBytes(dir_.path() / "rewound.szx");
  EXPECT_EQ(a, ReadBytes(dir_.path() / "plain.szx"));
  EXPECT_NE(a, ReadBytes(dir_.path() / "longer.szx")) << "the rewind took place";

  const RunResult again = Run("--frames 0 --save-snapshot $D/again.szx $D/rewound.szx",
                              {"--rom48", rom48.string(), "--rom128", rom128.string()});
  ASSERT_EQ(again.Status, kRunnerOk) << again.Err;
  EXPECT_EQ(ReadBytes(dir_.path() / "again.szx"), a);
  for (const char* name : {"s.z80", "s.sna"}) {
    const RunResult saved = Run("--frames 1 --save-snapshot $D/" + std::string(name), more);
    ASSERT_EQ(saved.Status, kRunnerOk) << saved.Err;
    const Bytes file = ReadBytes(dir_.path() / name);
    EXPECT_EQ(file.size() == kSna128Size, std::string(name) == "s.sna") << name;
  }
}

// --step-back N: the machine after the run is the one that stood N instructions before
// its end, as the trace of the same run shows it (each trace line holds the registers
// after its instruction, so the ones before the next).
TEST_F(RunnerTest, SteppingBackGivesTheMachineAsTheTraceShowsIt) {
  REQUIRE_ROM48();
  const RunResult traced = Run("--mode 48 --rom48 $ROM --frames 30 --trace $D/run.txt");
  ASSERT_EQ(traced.Status, kRunnerOk) << traced.Err;
  std::vector<std::string> lines;
  std::ifstream trace(dir_.path() / "run.txt");
  for (std::string line; std::getline(trace, line);) lines.push_back(line);
  const auto field = [](const std::string& line, const std::string& name) {
    const size_t at = line.find(" " + name + "=");
    return at == std::string::npos ? -1
                                   : std::stoi(line.substr(at + name.size() + 2, 4), nullptr, 16);
  };
  for (const size_t back : {size_t{1}, size_t{1000}, size_t{40000}}) {
    SCOPED_TRACE(back);
    ASSERT_GT(lines.size(), back + 1);
    const RunResult result =
        Run("--mode 48 --rom48 $ROM --frames 30 --dump-regs --step-back " + std::to_string(back));
    ASSERT_EQ(result.Status, kRunnerOk) << result.Err;
    const QJsonObject regs = Json(result.Out);
    const std::string& before = lines[lines.size() - back - 1];
    const std::string& next = lines[lines.size() - back];
    EXPECT_EQ(regs["PC"].toInt(), std::stoi(next.substr(11, 4), nullptr, 16)) << next;
    for (const char* name : {"AF", "BC", "DE", "HL", "SP"}) {
      EXPECT_EQ(regs[name].toInt(), field(before, name)) << name << " " << before;
    }
  }
  const RunResult tooFar = Run("--mode 48 --rom48 $ROM --frames 1 --step-back 100000");
  EXPECT_EQ(tooFar.Status, kRunnerFailed);
  ExpectOneErrorLine(tooFar, "cannot step back 100000 instructions: the history holds");
}

}  // namespace
}  // namespace vantrel
