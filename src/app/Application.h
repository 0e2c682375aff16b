#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "app/DiskDrive.h"
#include "app/RomImages.h"
#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "machine/EmulThread.h"
#include "machine/Machine.h"
#include "machine/Rewind.h"
#include "machine/StepHistory.h"

namespace vantrel {

// Hands the hardware settings to a machine (port decoding, mouse, memory model, TR-DOS);
// they take effect at the next access. The interface stays off without a TR-DOS ROM.
void ApplyHardwareToMachine(Machine& machine, const HardwareSettings& settings,
                            bool trDosAvailable);

// What a caller of the start-up (the headless runner) puts in place of the stored
// settings. Nothing set: the desktop's start-up.
struct StartUpOverrides {
  std::optional<uint64_t> Seed;  // the power-on RAM contents
  std::optional<uint32_t> TacktsPerInt;
  std::optional<TimingChoice> Timing;
  std::optional<uint8_t> StartMode;
  std::optional<MemoryModel> Model;
  std::optional<std::string> Rom48k, Rom128k, RomDos;
  // Only the ROMs the start mode can reach must load, rather than both BASIC ROMs; a
  // failure names the first of them that did not.
  bool RomsForStartModeOnly = false;
  bool IgnoreOnStartRun = false;    // stay stopped whatever "On Start run" says
  bool KeepStoredSettings = false;  // never write the settings back
};

// The program around one machine, without windows: it keeps the start-up and shutdown
// order in one place (settings, ROMs, start mode, reset, "On Start run"), so the
// desktop and the headless runner start the machine the same way.
class Application {
 public:
  enum class StartUpOutcome {
    kStopped,     // ready, stopped in the debugger
    kRunning,     // ready and running ("On Start run" is "Emulator")
    kRomsMissing  // a BASIC ROM is missing: the machine must not start
  };
  struct StartUpResult {
    StartUpOutcome outcome = StartUpOutcome::kRomsMissing;
    RomCheckResult roms;  // says what to tell the user, if anything
    // With RomsForStartModeOnly, the slot that failed when the outcome is kRomsMissing.
    std::optional<RomSlot> MissingSlot;
  };

  Application(SettingsStore& store, RunHost& host, FileResolver romResolver,
              StartUpOverrides overrides = {});
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The start-up routine, after the windows exist and have read their settings.
  StartUpResult StartUp();
  // Reloads the ROMs (start-up, or the Options dialog confirmed with new references).
  RomCheckResult LoadRoms();
  // The start-up's ROM loading with RomsForStartModeOnly: the slot that failed, if any.
  std::optional<RomSlot> LoadStartModeRoms();
  // Hands the hardware settings to the machine; they take effect at the next access.
  void ApplyHardwareSettings(const HardwareSettings& settings);
  // Stops the machine and the timer and writes the settings back, once.
  void ShutDown();

  Machine& GetMachine() { return machine_; }
  TEmulThread& Emulation() { return emulation_; }
  MainWindowSettings& MainWindow() { return mainWindow_; }
  HardwareSettings& Hardware() { return hardware_; }
  // Drives A to D (0 to 3): disks are opened, created and saved through them.
  DiskDrive& Drive(int drive = 0) { return drives_[drive]; }
  // The rewind captures; stepped back only while the machine stands (or through Apply).
  RewindBuffer& Rewind() { return rewind_; }
  void SetRewindSeconds(int seconds);
  // The step history, kept while asked for (the desktop's "Keep History", the runner's
  // --step-back); nullptr while not. Gone back in only while the machine stands.
  StepHistory* History() { return keepHistory_ ? history_.get() : nullptr; }
  void SetKeepHistory(bool keep);
  // Whether the TR-DOS ROM loaded: without it the disk interface stays off.
  bool TrDosAvailable() const { return trDosAvailable_; }

 private:
  SettingsStore& store_;
  FileResolver romResolver_;
  StartUpOverrides overrides_;
  MainWindowSettings mainWindow_;
  HardwareSettings hardware_;
  bool trDosAvailable_ = true;
  bool shutDown_ = false;
  Machine machine_;
  RewindBuffer rewind_;
  std::unique_ptr<StepHistory> history_;
  bool keepHistory_ = false;
  TEmulThread emulation_;
  std::array<DiskDrive, Machine::kDrives> drives_{DiskDrive{machine_, 0}, DiskDrive{machine_, 1},
                                                  DiskDrive{machine_, 2}, DiskDrive{machine_, 3}};
};

}  // namespace vantrel
