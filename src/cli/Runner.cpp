#include "cli/Runner.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "app/Application.h"
#include "app/AutoLoad.h"
#include "app/RomImages.h"
#include "app/Settings.h"
#include "cli/KeyScript.h"
#include "cli/WavWriter.h"
#include "debugger/BreakpointText.h"
#include "debugger/InstructionTrace.h"
#include "machine/Machine.h"
#include "media/FileTypes.h"
#include "media/SnapshotLoader.h"
#include "media/SnapshotSaver.h"
#include "media/SzxSnapshot.h"
#include "media/TapeSaver.h"
#include "platform/QtSettingsStore.h"
#include "platform/SdlSoundOutput.h"
#include "tape/TapeWriter.h"

namespace vantrel {

namespace fs = std::filesystem;

namespace {

// The file types that have a loader, as the help and the refusals list them.
std::string FileTypeList() {
  std::string list;
  for (const FileType& type : FileTypes()) {
    if (!type.Load) continue;
    std::string extension(type.Extension);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!list.empty()) list += ", ";
    list += std::string(type.Description) + " (." + extension + ")";
  }
  return list;
}

constexpr std::array<std::string_view, 4> kModeNames = {"48", "trdos48", "128", "trdos128"};

// Larger than any Spectrum program file, so a wrong file is refused before it is read.
constexpr std::uintmax_t kMaxInputBytes = 64u << 20;

class Reporter {
 public:
  explicit Reporter(std::FILE* err) : err_(err) {}
  int Fail(int status, const std::string& message) const {
    std::fprintf(err_, "vantrel-run: %s\n", message.c_str());
    return status;
  }

 private:
  std::FILE* err_;
};

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

// The whole file, or nullopt with the reason.
std::optional<std::vector<uint8_t>> ReadInputFile(const fs::path& path, std::string* why) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    *why = fs::exists(path, ec) ? "not a regular file" : "no such file";
    return std::nullopt;
  }
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec || size > kMaxInputBytes) {
    *why = ec ? ec.message() : "the file is too large";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = std::strerror(errno);
    return std::nullopt;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<std::uintmax_t>(in.gcount()) != size) {
    *why = "the file could not be read";
    return std::nullopt;
  }
  return bytes;
}

// QSettings reads a missing or unreadable file as an empty store, which would quietly
// run with defaults; the user named this file, so it must be there.
bool SettingsFileReadable(const fs::path& path, std::string* why) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    *why = fs::exists(path, ec) ? "not a regular file" : "no such file";
    return false;
  }
  std::ifstream in(path);
  if (!in) {
    *why = std::strerror(errno);
    return false;
  }
  return true;
}

fs::path StartDirectory() {
  std::error_code ec;
  fs::path directory = fs::current_path(ec);
  return ec ? fs::path() : directory;
}

// What the check found: every input read, before any machine exists.
struct CheckedInputs {
  const FileType* Type = nullptr;
  std::vector<uint8_t> FileBytes;
  std::unique_ptr<QtSettingsStore> Store;
  uint8_t Mode = 0;
};

// Reads and checks the FILE and the settings; a bad input costs no run.
int CheckInputs(const RunnerOptions& options, const Reporter& report, CheckedInputs* in) {
  if (options.File) {
    const std::string name = options.File->string();
    in->Type = FindFileType(name);
    if (in->Type == nullptr || !in->Type->Load) {
      return report.Fail(kRunnerBadUsage,
                         name + ": unsupported file type (" + FileTypeList() + ")");
    }
    std::string why;
    auto bytes = ReadInputFile(*options.File, &why);
    if (!bytes) return report.Fail(kRunnerBadUsage, "cannot read " + Quoted(name) + ": " + why);
    in->FileBytes = std::move(*bytes);
  }
  if (options.SettingsFile) {
    std::string why;
    if (!SettingsFileReadable(*options.SettingsFile, &why)) {
      return report.Fail(kRunnerBadUsage, "cannot read the settings file " +
                                              Quoted(options.SettingsFile->string()) + ": " + why);
    }
    in->Store = std::make_unique<QtSettingsStore>(*options.SettingsFile);
  } else {
    in->Store = std::make_unique<QtSettingsStore>();
  }
  const HardwareSettings hardware = LoadHardwareSettings(*in->Store);
  // A disk boots as on the desktop, in TR-DOS with 128K, unless the mode is given.
  const bool disk = in->Type != nullptr && in->Type->Kind == FileKind::Disk;
  in->Mode =
      options.StartMode.value_or(disk ? kStartTrDos | kStart128k : hardware.StartUp.Reset) & 3;
  if (options.AutoLoad) {
    if (in->Type == nullptr ||
        (in->Type->Kind != FileKind::Tape && in->Type->Kind != FileKind::Disk)) {
      return report.Fail(
          kRunnerBadUsage,
          "--autoload needs a tape or disk FILE (.tap, .tzx, .csw, .pzx, .wav, .trd, .scl, .fdi, "
          ".udi, .$?)");
    }
    in->Mode = AutoLoadMode(in->Mode, disk ? AutoLoadMedia::Disk : AutoLoadMedia::Tape);
  }
  if ((in->Mode & kStartTrDos) && !hardware.TrDos.Enabled) {
    return report.Fail(kRunnerFailed, "mode " + std::string(kModeNames[in->Mode]) +
                                          " needs the TR-DOS interface, which the settings "
                                          "turn off");
  }
  return kRunnerOk;
}

// Starts the machine the desktop's way, with the options in place of the stored settings,
// and loads the FILE.
int BuildMachine(const RunnerOptions& options, const Reporter& report, CheckedInputs& in,
                 HeadlessRunHost& host, std::unique_ptr<Application>* built) {
  StartUpOverrides overrides;
  overrides.Seed = options.Seed;
  overrides.TacktsPerInt = options.TacktsPerInt;
  overrides.Timing = options.Timing;
  overrides.StartMode = in.Mode;
  overrides.Model = options.Model;
  overrides.Rom48k = options.Rom48k;
  overrides.Rom128k = options.Rom128k;
  overrides.RomDos = options.RomDos;
  overrides.RomsForStartModeOnly = true;
  overrides.IgnoreOnStartRun = true;
  overrides.KeepStoredSettings = true;
  const FileResolver resolver = MakeRomFileResolver(StartDirectory(), options.ProgramDirectory,
                                                    DataDirEnvironment::FromProcess());
  auto app = std::make_unique<Application>(*in.Store, host, resolver, overrides);

  const ScreenPanelSettings screen = LoadScreenPanelSettings(*in.Store);
  ScreenRenderer& renderer = app->GetMachine().Screen;
  renderer.SetFlashFrequency(screen.FlashFrequency);
  renderer.SetScreenPage(static_cast<ScreenPage>(screen.ScreenPage));
  renderer.SetGrayPalette(screen.GrayPalette);
  renderer.SetBorderSizes(BorderPresetSizes(*in.Store, app->Hardware().BorderPreset));

  if (options.Stereo || options.TurboSound) {
    HardwareSettings hardware = app->Hardware();
    if (options.TurboSound && !TurboSoundModel(hardware.Memory)) {
      return report.Fail(kRunnerBadUsage,
                         "--turbosound: the model has one AY; choose a Pentagon or Scorpion model "
                         "(--model 1 to 5)");
    }
    if (options.Stereo) hardware.Volume.Stereo = static_cast<uint8_t>(*options.Stereo);
    hardware.Volume.TurboSound = hardware.Volume.TurboSound || options.TurboSound;
    app->ApplyHardwareSettings(hardware);
  }
  const Application::StartUpResult started = app->StartUp();
  if (started.MissingSlot) {
    static constexpr const char* kLabels[] = {"48K", "128K", "TR-DOS"};
    const HardwareSettings& hardware = app->Hardware();
    const std::string references[] = {hardware.Rom48k.FileName, hardware.Rom128k.FileName,
                                      hardware.RomDos.FileName};
    const size_t slot = static_cast<size_t>(*started.MissingSlot);
    return report.Fail(kRunnerFailed, "cannot load the " + std::string(kLabels[slot]) + " ROM " +
                                          Quoted(references[slot]) + " (mode " +
                                          std::string(kModeNames[in.Mode]) + " needs it)");
  }

  // Disks go in through their drives, with the TR-DOS page's boot settings; the drive's
  // own read of the file also takes the read-only attribute as the write protection.
  std::array<std::optional<fs::path>, Machine::kDrives> disks = options.DriveDisks;
  if (in.Type != nullptr && in.Type->Kind == FileKind::Disk) disks[0] = options.File;
  DiskOpenOptions open = DiskOpenOptionsFrom(app->Hardware().TrDos);
  open.Prompts.Warn = [&report](const DiskError& warning) {
    report.Fail(kRunnerOk, "warning: " + std::string(warning.what()));
  };
  for (int drive = 0; drive < Machine::kDrives; ++drive) {
    if (!disks[drive]) continue;
    try {
      app->Drive(drive).Open(*disks[drive], open);
    } catch (const DiskError& refusal) {
      return report.Fail(kRunnerBadUsage,
                         "cannot load " + Quoted(disks[drive]->string()) + ": " + refusal.what());
    }
  }
  if (in.Type != nullptr && in.Type->Kind != FileKind::Disk) {
    Machine& machine = app->GetMachine();
    try {
      if (in.Type->Load == LoadSzxFile) {
        const std::string note = LoadSzx(machine, in.FileBytes);
        if (!note.empty()) report.Fail(kRunnerOk, "note: " + note);
      } else {
        in.Type->Load(machine, in.FileBytes);
      }
    } catch (const SnapshotError& refusal) {
      return report.Fail(kRunnerBadUsage,
                         "cannot load " + Quoted(options.File->string()) + ": " + refusal.what());
    }
    // The loader writes memory behind the renderer's back: draw the loaded screen.
    machine.Screen.RedrawAll();
  }
  if (options.InstantLoad) app->GetMachine().Tape.SetInstantLoading(*options.InstantLoad);
  // Only what the run saves is written: the blocks are kept apart from the tape in the deck.
  if (options.SaveTape) app->GetMachine().Recorder.SetRecording(true);
  if (options.AutoLoad) {
    Machine& machine = app->GetMachine();
    const AutoLoadMedia media =
        in.Type->Kind == FileKind::Disk ? AutoLoadMedia::Disk : AutoLoadMedia::Tape;
    app->Emulation().Loop.FrameTask = [&machine,
                                       typer = StartAutoLoad(machine, in.Mode, media)]() mutable {
      return typer.FrameEnd(machine);
    };
  }
  *built = std::move(app);
  return kRunnerOk;
}

// Runs the frames through the emulation thread's loop. A paced run waits at every frame
// end: for the sound device's play position when one opens, else for the timer.
int RunMachine(const RunnerOptions& options, const Reporter& report, Application& app,
               RunLoop::FramesRun* run) {
  Machine& machine = app.GetMachine();
  RunLoop& loop = app.Emulation().Loop;
  // Opened before the run, so a file that cannot be made costs no run.
  WavWriter wav;
  std::string why;
  const auto layout = static_cast<StereoLayout>(app.Hardware().Volume.Stereo);
  if (options.Wav) {
    const bool mono = layout == StereoLayout::Mono;
    const WavFormat format = options.WavU8 ? kWavU8Mono : mono ? kWavS16Mono : kWavS16Stereo;
    if (!wav.Open(*options.Wav, &why, format)) return report.Fail(kRunnerFailed, why);
    if (options.WavU8) {
      loop.SoundBlockReady = [&wav](const std::array<uint8_t, kSoundBlockSize>& block) {
        wav.Append(block);
      };
    } else {
      loop.StereoBlockReady = [&wav, mono](const StereoMixer::Block& block) {
        if (!mono) return wav.Append16(block);
        std::array<int16_t, kSoundBlockSize> left;
        for (uint32_t i = 0; i < kSoundBlockSize; ++i) left[i] = block[2 * i];
        wav.Append16(left);
      };
    }
  }
  // Only a paced run opens the sound device; when none opens the timer paces it, silently.
  std::unique_ptr<SdlSoundOutput> device;
  if (options.Paced) {
    device = std::make_unique<SdlSoundOutput>();
    if (device->Active()) loop.Output = device.get();
  }

  machine.State.NormalSpeed.store(options.Paced, std::memory_order_relaxed);
  loop.PresentEveryFrame = true;
  if (options.Paced) loop.StartSound();
  std::optional<InstructionTrace> trace;
  if (options.Trace) {
    trace.emplace(machine, options.Symbols.get(), options.TraceFrom);
    if (!trace->Open(*options.Trace, &why)) return report.Fail(kRunnerFailed, why);
    loop.Observer = &*trace;
  }
  machine.SetBreakpoints(options.Breaks);
  KeySchedule keys(options.Keys);
  keys.ApplyFrame(0, machine.Keys);
  // A rewind needs captures: with none kept by the settings, the default is kept.
  if (options.Rewind && app.Rewind().Seconds() == 0) app.SetRewindSeconds(kRewindSeconds[2]);
  if (options.StepBack) app.SetKeepHistory(true);
  *run = loop.RunFrames(options.Frames, options.UntilPc, [&](uint64_t frames) {
    // At the frame's start, where the captures are taken: the next frame runs on from
    // the capture restored.
    if (options.Rewind && frames == options.Rewind->Frame) {
      for (uint32_t i = 0; i < options.Rewind->Steps; ++i) {
        if (!app.Rewind().StepBack(machine)) break;
      }
    }
    keys.ApplyFrame(frames, machine.Keys);
  });
  loop.StopSound();
  loop.Observer = nullptr;
  if (trace && !trace->Finish(&why)) return report.Fail(kRunnerFailed, why);
  if (options.StepBack) {
    StepHistory& history = *app.History();
    // The run's stretches are rebuilt from its captures.
    if (std::string failure = history.Complete(machine); !failure.empty()) {
      return report.Fail(kRunnerFailed, failure);
    }
    const uint64_t kept = history.Executed() - history.Oldest();
    if (*options.StepBack > kept) {
      return report.Fail(kRunnerFailed, "cannot step back " + std::to_string(*options.StepBack) +
                                            " instructions: the history holds " +
                                            std::to_string(kept));
    }
    const std::string failure = history.GoBackTo(machine, history.Executed() - *options.StepBack);
    if (!failure.empty()) return report.Fail(kRunnerFailed, failure);
  }

  loop.Output = nullptr;
  loop.SoundBlockReady = nullptr;
  loop.StereoBlockReady = nullptr;
  device.reset();
  machine.CatchUpPicture();  // a run may stop mid-frame (--until-pc)
  if (options.Wav && !wav.Finish(&why)) return report.Fail(kRunnerFailed, why);
  return kRunnerOk;
}

// The disk as the run left it; a failed save keeps any old file whole. A TRD or SCL that
// cannot hold all of the disk is written, with a warning naming what it leaves out.
int SaveDisk(const fs::path& fileName, const Reporter& report, DiskDrive& drive) {
  const std::optional<DiskFormat> format = DiskFormatOf(fileName);
  if (drive.HasDisk() && (format == DiskFormat::Trd || format == DiskFormat::Scl)) {
    std::vector<std::string> losses;
    drive.CheckSaveLosses([](std::function<void()> answer) { answer(); },
                          [&losses](std::vector<std::string> found) { losses = std::move(found); });
    for (const std::string& loss : losses)
      report.Fail(kRunnerOk, "warning: " + Quoted(fileName.string()) + " loses " + loss +
                                 "; a .udi file keeps it");
  }
  std::optional<DiskError> failure;
  drive.Save(
      fileName, drive.WriteProtected(), [](std::function<void()> write) { write(); },
      [&failure](const std::optional<DiskError>& outcome) { failure = outcome; });
  if (!failure) return kRunnerOk;
  return report.Fail(kRunnerFailed, "cannot save the disk as " + Quoted(fileName.string()) + ": " +
                                        failure->what());
}

// The pictures, the snapshot, the disk, the register dump and the run-to verdict.
int WriteOutputs(const RunnerOptions& options, const Reporter& report, Application& app,
                 uint8_t mode, const RunLoop::FramesRun& run, std::FILE* out) {
  Machine& machine = app.GetMachine();
  std::string why;
  const ScreenRenderer& renderer = machine.Screen;
  if (options.Screenshot && !WritePng(*options.Screenshot, CaptureNativePicture(renderer), &why)) {
    return report.Fail(kRunnerFailed, why);
  }
  if (options.ScreenshotVisible &&
      !WritePng(*options.ScreenshotVisible, CaptureVisiblePicture(renderer), &why)) {
    return report.Fail(kRunnerFailed, why);
  }
  if (options.SaveSna) {
    try {
      if (mode & kStart128k) {
        SaveSna128(machine, *options.SaveSna);
      } else {
        SaveSna48(machine, *options.SaveSna);
      }
    } catch (const SnapshotError& failure) {
      return report.Fail(kRunnerFailed, failure.what());
    }
  }
  if (options.SaveSnapshot) {
    const std::optional<SnaVariant> variant = SnapshotVariantOfName(options.SaveSnapshot->string());
    try {
      SaveSnapshot(
          machine, *options.SaveSnapshot,
          variant == SnaVariant::Sna128k && !(mode & kStart128k) ? SnaVariant::Sna48k : *variant);
    } catch (const SnapshotError& failure) {
      return report.Fail(kRunnerFailed, failure.what());
    }
  }
  for (int drive = 0; drive < Machine::kDrives; ++drive) {
    if (!options.SaveDriveDisks[drive]) continue;
    const int status = SaveDisk(*options.SaveDriveDisks[drive], report, app.Drive(drive));
    if (status != kRunnerOk) return status;
  }
  if (options.SaveTape) {
    // What the run saved, apart from any tape the deck held; nothing makes an empty file.
    machine.Recorder.Flush();
    TapeCatalogue recorded;
    for (const std::vector<uint8_t>& block : machine.Recorder.Blocks()) {
      AppendStandardBlock(recorded, block);
    }
    try {
      SaveTapeFile(recorded, *options.SaveTape);
    } catch (const TapeError& failure) {
      return report.Fail(kRunnerFailed, failure.what());
    }
  }
  if (options.DumpRegs) {
    const std::string json = RegistersJson(machine, run.Frames, run.BreakpointHit);
    if (std::fputs(json.c_str(), out) < 0 || std::fflush(out) != 0) {
      return report.Fail(kRunnerFailed, "cannot write the register dump");
    }
  }
  if (run.BreakpointHit) {
    return report.Fail(kRunnerBreakpoint, BreakHitText(machine.Breaks().LastHit()) + " after " +
                                              std::to_string(run.Frames) + " frames");
  }
  if (options.UntilPc && !run.PcReached) {
    char address[8];
    std::snprintf(address, sizeof address, "#%04X", *options.UntilPc);
    return report.Fail(kRunnerPcNotReached, "PC " + std::string(address) + " not reached in " +
                                                std::to_string(run.Frames) + " frames");
  }
  return kRunnerOk;
}

}  // namespace

RgbImage CaptureNativePicture(const ScreenRenderer& screen) {
  RgbImage image(kNativeWidth, kNativeHeight);
  const ScreenPaletteTable& palette = screen.Palette();
  for (int y = 0; y < kNativeHeight; ++y) {
    const uint8_t* row = screen.Row(y);
    for (int x = 0; x < kNativeWidth; ++x) {
      const PaletteEntry& colour = palette[row[x]];
      uint8_t* pixel = image.At(x, y);
      pixel[0] = colour.Red;
      pixel[1] = colour.Green;
      pixel[2] = colour.Blue;
    }
  }
  return image;
}

RgbImage CaptureVisiblePicture(const ScreenRenderer& screen) {
  const RgbImage native = CaptureNativePicture(screen);
  VisibleRect rect = screen.Visible();
  // Border sizes are checked when set; the clamp only keeps a bad rectangle in bounds.
  rect.X = std::clamp(rect.X, 0, kNativeWidth);
  rect.Y = std::clamp(rect.Y, 0, kNativeHeight);
  rect.Width = std::clamp(rect.Width, 0, kNativeWidth - rect.X);
  rect.Height = std::clamp(rect.Height, 0, kNativeHeight - rect.Y);
  RgbImage image(rect.Width, rect.Height);
  for (int y = 0; y < rect.Height; ++y) {
    const uint8_t* from = native.At(rect.X, rect.Y + y);
    std::copy(from, from + rect.Width * 3, image.At(0, y));
  }
  return image;
}

std::string RegistersJson(Machine& machine, uint64_t framesRun, bool breakpointHit) {
  Z80Registers& r = machine.State.Regs;
  Memory& mem = machine.Mem;
  const char* rom = "RAM";  // a Scorpion can map RAM bank 0 at 0x0000
  if (mem.RomWindow() == mem.Rom48k()) {
    rom = "48K";
  } else if (mem.RomWindow() == mem.Rom128k()) {
    rom = "128K";
  } else if (mem.RomWindow() == mem.RomDOS()) {
    rom = "TR-DOS";
  }

  std::string json = "{\n";
  const auto field = [&json](const char* name, const std::string& value) {
    if (json.size() > 2) json += ",\n";
    json += "  \"" + std::string(name) + "\": " + value;
  };
  const auto number = [&field](const char* name, uint64_t value) {
    field(name, std::to_string(value));
  };
  const auto flag = [&field](const char* name, bool value) {
    field(name, value ? "true" : "false");
  };
  number("AF", r.AF.Get());
  number("BC", r.BC.Get());
  number("DE", r.DE.Get());
  number("HL", r.HL.Get());
  number("AF'", r.AltAF);
  number("BC'", r.AltBC);
  number("DE'", r.AltDE);
  number("HL'", r.AltHL);
  number("IX", r.IX.Get());
  number("IY", r.IY.Get());
  number("SP", r.SP);
  number("PC", r.PC);
  number("I", r.I);
  number("R", r.ReadR());
  number("IM", r.IM);
  number("IFF1", r.IFF1 ? 1 : 0);
  number("IFF2", r.IFF2 ? 1 : 0);
  number("Tackts", r.Tackts);
  number("Frames", framesRun);
  field("Timing", "\"" + std::string(TimingName(machine.Timing())) + "\"");
  number("TacktsPerInt", machine.State.TacktsPerInt);
  field("MemoryModel", "\"" + std::string(MemoryModelName(mem.Model)) + "\"");
  number("Port7FFD", mem.Port7FFD);
  number("Port1FFD", mem.Port1FFD);
  flag("DosActive", mem.DosActive);
  field("Rom0000", "\"" + std::string(rom) + "\"");
  flag("TapePlaying", machine.Tape.Playing());
  number("TapeBlock", machine.Tape.CurrentBlock());
  number("TapeBlocks", machine.Tape.Tape().BlockCount());
  number("BankC000", static_cast<uint64_t>(mem.TopBank()));
  number("ScreenBank", mem.ScreenBank);
  number("DisplayedBank", static_cast<uint64_t>(machine.Screen.DisplayedBank()));
  // The disk controller as its debug view shows it (the status peeked, INTRQ kept).
  const Vg93Controller& fdc = machine.Disk.Controller;
  number("Vg93Command", fdc.Command());
  number("Vg93Status", fdc.PeekStatus());
  number("Vg93Track", fdc.ReadTrack());
  number("Vg93Sector", fdc.ReadSector());
  number("Vg93Data", fdc.Data());
  number("Beta128System", fdc.System());
  number("Beta128Requests", fdc.ReadRequests());
  number("HeadCylinder", static_cast<uint64_t>(fdc.HeadCylinder()));
  if (breakpointHit) field("Breakpoint", "\"" + BreakHitText(machine.Breaks().LastHit()) + "\"");
  json += "\n}\n";
  return json;
}

int RunRunner(const RunnerOptions& options, std::FILE* out, std::FILE* err) {
  const Reporter report(err);
  if (options.Help) {
    std::fputs(RunnerUsage(FileTypeList()).c_str(), out);
    return kRunnerOk;
  }
  CheckedInputs inputs;
  if (const int status = CheckInputs(options, report, &inputs); status != kRunnerOk) {
    return status;
  }
  HeadlessRunHost host;
  std::unique_ptr<Application> app;
  if (const int status = BuildMachine(options, report, inputs, host, &app); status != kRunnerOk) {
    return status;
  }
  RunLoop::FramesRun run;
  if (const int status = RunMachine(options, report, *app, &run); status != kRunnerOk) {
    return status;
  }
  return WriteOutputs(options, report, *app, inputs.Mode, run, out);
}

}  // namespace vantrel
