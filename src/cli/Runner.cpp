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
#include "app/RomImages.h"
#include "app/Settings.h"
#include "cli/KeyScript.h"
#include "cli/WavWriter.h"
#include "core/Machine.h"
#include "media/SnapshotLoader.h"
#include "media/SnapshotSaver.h"
#include "platform/QtSettingsStore.h"
#include "platform/SdlSoundOutput.h"

namespace vantrel {

namespace fs = std::filesystem;

namespace {

template <SnapshotKind kKind>
bool LoadSnapshotFile(Machine& machine, const std::vector<uint8_t>& bytes, std::string* error) {
  try {
    LoadSnapshotBytes(machine, bytes, kKind);
  } catch (const SnapshotError& refusal) {
    *error = refusal.what();
    return false;
  }
  // The loader writes memory behind the renderer's back: draw the loaded screen.
  machine.Screen.RedrawAll();
  return true;
}

// Tapes and disks each get one row here as they arrive.
constexpr std::array<RunnerFileType, 2> kFileTypes{{
    {".sna", "SNA snapshot", LoadSnapshotFile<SnapshotKind::Sna>},
    {".z80", "Z80 snapshot", LoadSnapshotFile<SnapshotKind::Z80>},
}};

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

const RunnerFileType* FindFileType(const fs::path& file) {
  std::string extension = file.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const RunnerFileType& type : kFileTypes) {
    if (type.Extension == extension) return &type;
  }
  return nullptr;
}

std::string FileTypeList() {
  std::string list;
  for (const RunnerFileType& type : kFileTypes) {
    if (!list.empty()) list += ", ";
    list += std::string(type.Description) + " (" + std::string(type.Extension) + ")";
  }
  return list;
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

struct RomLoad {
  RomSlot Slot;
  const char* Label;
  std::string Reference;
  uint8_t* Buffer;
  bool Required;
};

// Only the ROMs the mode can reach must load; an empty slot reads as 0xFF.
bool LoadRoms(Machine& machine, const HardwareSettings& hardware, uint8_t mode,
              const fs::path& programDirectory, bool* trDosLoaded, std::string* error) {
  const FileResolver resolver =
      MakeRomFileResolver(StartDirectory(), programDirectory, DataDirEnvironment::FromProcess());
  const RomLoad roms[] = {
      {RomSlot::k48kBasic, "48K", hardware.Rom48k.FileName, machine.Mem.Rom48k(), true},
      {RomSlot::k128kBasic, "128K", hardware.Rom128k.FileName, machine.Mem.Rom128k(),
       (mode & kStart128k) != 0},
      {RomSlot::kTrDos, "TR-DOS", hardware.RomDos.FileName, machine.Mem.RomDOS(),
       (mode & kStartTrDos) != 0},
  };
  for (const RomLoad& rom : roms) {
    const bool loaded =
        LoadRomSlot(rom.Slot, rom.Reference, resolver, RomBuffer(rom.Buffer, kRomPageSize))
            .has_value();
    if (!loaded && rom.Required) {
      *error = "cannot load the " + std::string(rom.Label) + " ROM " + Quoted(rom.Reference) +
               " (mode " + std::string(kModeNames[mode]) + " needs it)";
      return false;
    }
    if (rom.Slot == RomSlot::kTrDos) *trDosLoaded = loaded;
  }
  return true;
}

struct RunOutcome {
  uint64_t Frames = 0;
  bool PcReached = false;
};

// Steps the machine and counts frame ends itself, so the run stops exactly between
// frames and the keys change at frame boundaries, where the ROM's scan expects them.
// A paced run waits at every frame end (EndFrame does, at normal speed): for the sound
// device's play position when `machine.Output` is an open device, else for the timer.
RunOutcome RunFrames(Machine& machine, const RunnerOptions& options) {
  machine.State.NormalSpeed.store(options.Paced, std::memory_order_relaxed);
  machine.PresentEveryFrame = true;
  if (options.Paced) {
    machine.Timer.StartTimer();
    machine.StartSound();
  }
  KeySchedule keys(options.Keys);
  keys.ApplyFrame(0, machine.Keys);
  RunOutcome outcome;
  while (options.Frames > 0) {
    if (machine.EndFrameIfDue()) {
      ++outcome.Frames;
      keys.ApplyFrame(outcome.Frames, machine.Keys);
      if (outcome.Frames == options.Frames) break;
    }
    if (options.UntilPc && machine.State.Regs.PC == *options.UntilPc) {
      outcome.PcReached = true;
      break;
    }
    machine.ProcessorStep();
  }
  machine.StopSound();
  machine.Timer.StopTimer();
  return outcome;
}

}  // namespace

std::span<const RunnerFileType> RunnerFileTypes() {
  return kFileTypes;
}

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

std::string RegistersJson(Machine& machine, uint64_t framesRun) {
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
  field("MemoryModel", "\"" + std::string(MemoryModelName(mem.Model)) + "\"");
  number("Port7FFD", mem.Port7FFD);
  number("Port1FFD", mem.Port1FFD);
  flag("DosActive", mem.DosActive);
  field("Rom0000", "\"" + std::string(rom) + "\"");
  number("BankC000", static_cast<uint64_t>(mem.TopBank()));
  number("ScreenBank", mem.ScreenBank);
  number("DisplayedBank", static_cast<uint64_t>(machine.Screen.DisplayedBank()));
  json += "\n}\n";
  return json;
}

int RunRunner(const RunnerOptions& options, std::FILE* out, std::FILE* err) {
  const Reporter report(err);
  if (options.Help) {
    std::fputs(RunnerUsage(FileTypeList()).c_str(), out);
    return kRunnerOk;
  }

  // Every input is checked before a machine exists, so a bad one costs no run.
  const RunnerFileType* fileType = nullptr;
  std::vector<uint8_t> fileBytes;
  if (options.File) {
    const std::string name = options.File->string();
    fileType = FindFileType(*options.File);
    if (fileType == nullptr) {
      return report.Fail(kRunnerBadUsage,
                         name + ": unsupported file type (" + FileTypeList() + ")");
    }
    std::string why;
    auto bytes = ReadInputFile(*options.File, &why);
    if (!bytes) return report.Fail(kRunnerBadUsage, "cannot read " + Quoted(name) + ": " + why);
    fileBytes = std::move(*bytes);
  }

  std::unique_ptr<QtSettingsStore> store;
  if (options.SettingsFile) {
    std::string why;
    if (!SettingsFileReadable(*options.SettingsFile, &why)) {
      return report.Fail(kRunnerBadUsage, "cannot read the settings file " +
                                              Quoted(options.SettingsFile->string()) + ": " + why);
    }
    store = std::make_unique<QtSettingsStore>(*options.SettingsFile);
  } else {
    store = std::make_unique<QtSettingsStore>();
  }

  const MainWindowSettings mainWindow = LoadMainWindowSettings(*store);
  HardwareSettings hardware = LoadHardwareSettings(*store);
  const ScreenPanelSettings screen = LoadScreenPanelSettings(*store);
  if (options.Rom48k) hardware.Rom48k.FileName = *options.Rom48k;
  if (options.Rom128k) hardware.Rom128k.FileName = *options.Rom128k;
  if (options.RomDos) hardware.RomDos.FileName = *options.RomDos;
  if (options.Model) hardware.Memory = *options.Model;
  const uint8_t mode = options.StartMode.value_or(hardware.StartUp.Reset) & 3;
  const std::string modeName(kModeNames[mode]);
  if ((mode & kStartTrDos) && !hardware.TrDos.Enabled) {
    return report.Fail(kRunnerFailed, "mode " + modeName +
                                          " needs the TR-DOS interface, which the settings "
                                          "turn off");
  }

  auto machine = std::make_unique<Machine>(options.Seed);
  machine->SetTacktsPerInt(options.TacktsPerInt.value_or(mainWindow.TacktsPerInt));

  bool trDosLoaded = false;
  std::string why;
  if (!LoadRoms(*machine, hardware, mode, options.ProgramDirectory, &trDosLoaded, &why)) {
    return report.Fail(kRunnerFailed, why);
  }
  ApplyHardwareToMachine(*machine, hardware, trDosLoaded);

  ScreenRenderer& renderer = machine->Screen;
  renderer.SetFlashFrequency(screen.FlashFrequency);
  renderer.SetScreenPage(static_cast<ScreenPage>(screen.ScreenPage));
  renderer.SetGrayPalette(screen.GrayPalette);
  renderer.SetBorderSizes(BorderPresetSizes(*store, hardware.BorderPreset));

  machine->State.StartMode.store(mode, std::memory_order_relaxed);
  machine->ResetMachine();

  if (fileType != nullptr) {
    if (!fileType->Load(*machine, fileBytes, &why)) {
      return report.Fail(kRunnerBadUsage,
                         "cannot load " + Quoted(options.File->string()) + ": " + why);
    }
  }

  // Opened before the run, so a file that cannot be made costs no run.
  WavWriter wav;
  if (options.Wav) {
    if (!wav.Open(*options.Wav, &why)) return report.Fail(kRunnerFailed, why);
    machine->SoundBlockReady = [&wav](const std::array<uint8_t, kSoundBlockSize>& block) {
      wav.Append(block);
    };
  }
  // Only a paced run opens the sound device; when none opens the timer paces it, silently.
  std::unique_ptr<SdlSoundOutput> device;
  if (options.Paced) {
    device = std::make_unique<SdlSoundOutput>();
    if (device->Active()) machine->Output = device.get();
  }

  const RunOutcome run = RunFrames(*machine, options);
  machine->Output = nullptr;
  machine->SoundBlockReady = nullptr;
  device.reset();
  machine->CatchUpPicture();  // a run may stop mid-frame (--until-pc)

  if (options.Wav && !wav.Finish(&why)) return report.Fail(kRunnerFailed, why);

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
        SaveSna128(*machine, *options.SaveSna);
      } else {
        SaveSna48(*machine, *options.SaveSna);
      }
    } catch (const SnapshotError& failure) {
      return report.Fail(kRunnerFailed, failure.what());
    }
  }
  if (options.DumpRegs) {
    const std::string json = RegistersJson(*machine, run.Frames);
    if (std::fputs(json.c_str(), out) < 0 || std::fflush(out) != 0) {
      return report.Fail(kRunnerFailed, "cannot write the register dump");
    }
  }
  if (options.UntilPc && !run.PcReached) {
    char address[8];
    std::snprintf(address, sizeof address, "#%04X", *options.UntilPc);
    return report.Fail(kRunnerPcNotReached, "PC " + std::string(address) + " not reached in " +
                                                std::to_string(run.Frames) + " frames");
  }
  return kRunnerOk;
}

}  // namespace vantrel
