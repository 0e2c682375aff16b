#include "app/Application.h"

namespace vantrel {

Application::Application(SettingsStore& store, RunHost& host, FileResolver romResolver,
                         StartUpOverrides overrides)
    : store_(store),
      romResolver_(std::move(romResolver)),
      overrides_(std::move(overrides)),
      mainWindow_(LoadMainWindowSettings(store)),
      hardware_(LoadHardwareSettings(store)),
      emulation_(machine_, host) {
  if (overrides_.Seed) machine_.Mem.PowerOnFill(*overrides_.Seed);
  if (overrides_.TacktsPerInt) mainWindow_.TacktsPerInt = *overrides_.TacktsPerInt;
  if (overrides_.Model) hardware_.Memory = *overrides_.Model;
  if (overrides_.Timing) hardware_.SinclairTiming = *overrides_.Timing;
  if (overrides_.Rom48k) hardware_.Rom48k.FileName = *overrides_.Rom48k;
  if (overrides_.Rom128k) hardware_.Rom128k.FileName = *overrides_.Rom128k;
  if (overrides_.RomDos) hardware_.RomDos.FileName = *overrides_.RomDos;
  if (overrides_.StartMode) hardware_.StartUp.Reset = *overrides_.StartMode & 3;
  // What the main window's creation does to the machine: its timing setting, then the
  // pacing timer. The power-on RAM contents are already in place.
  machine_.SetTacktsPerInt(mainWindow_.TacktsPerInt);
  emulation_.Loop.Timer.StartTimer();
  ApplyHardwareSettings(hardware_);
}

Application::~Application() {
  ShutDown();
}

void ApplyHardwareToMachine(Machine& machine, const HardwareSettings& settings,
                            bool trDosAvailable) {
  PortDecodeSettings& ports = machine.Ports.Settings;
  ports.KeyboardEnabled = settings.Keyboard.Enabled;
  ports.KeyboardMask = settings.Keyboard.Mask;
  ports.KeyboardBits = settings.Keyboard.Bits;
  ports.JoystickEnabled = settings.KempstonJoystick.Enabled;
  ports.JoystickMask = settings.KempstonJoystick.Mask;
  ports.JoystickBits = settings.KempstonJoystick.Bits;
  ports.AttributePortEnabled = settings.AttributePort.Enabled;
  ports.AttributeAllUnused = settings.AttributePort.AllUnused;
  ports.TrDosPortAccess = settings.TrDos.PortAccess;
  machine.Mouse.Enabled.store(settings.KempstonMouse.Enabled, std::memory_order_relaxed);
  // A new model takes effect at the next paging port write, as on the real switch.
  machine.Mem.Model = settings.Memory;
  // Without a TR-DOS ROM the interface cannot page in, whatever the setting says.
  machine.SetTrDosEnabled(settings.TrDos.Enabled && trDosAvailable);
  machine.Beeper.SetVolumes(settings.Volume.Speaker, settings.Volume.TapeIn,
                            settings.Volume.TapeOut, settings.Volume.SynchDelay);
  // The chips' state belongs to the thread that runs the machine.
  const auto layout = static_cast<StereoLayout>(settings.Volume.Stereo);
  const bool turbo = settings.Volume.TurboSound && TurboSoundModel(settings.Memory);
  machine.Apply([&machine, layout, turbo] {
    machine.SetStereoLayout(layout);
    machine.SetTurboSound(turbo);
  });
}

void Application::ApplyHardwareSettings(const HardwareSettings& settings) {
  hardware_ = settings;
  ApplyHardwareToMachine(machine_, settings, trDosAvailable_);
  // A Sinclair timing sets the frame length; the default timing takes "Tackts per Int".
  machine_.Apply([this, choice = settings.SinclairTiming] {
    machine_.SetTimingChoice(choice, mainWindow_.TacktsPerInt);
  });
  emulation_.Loop.FastTapeLoading.store(settings.StartUp.FastTapeLoading,
                                        std::memory_order_relaxed);
  emulation_.Loop.FastDiskAccess.store(settings.StartUp.FastDiskAccess, std::memory_order_relaxed);
  machine_.Tape.SetInstantLoading(settings.StartUp.InstantTapeLoading);
  SetRewindSeconds(kRewindSeconds[settings.StartUp.Rewind % kRewindSeconds.size()]);
}

void Application::SetRewindSeconds(int seconds) {
  if (seconds == rewind_.Seconds()) return;
  // Between two frames: the ring is the emulation thread's while it runs.
  machine_.Apply([this, seconds] {
    rewind_.SetSeconds(seconds);
    machine_.SetRewind(seconds > 0 ? &rewind_ : nullptr);
  });
}

void Application::SetKeepHistory(bool keep) {
  if (keep == keepHistory_) return;
  keepHistory_ = keep;
  if (keep && !history_) history_ = std::make_unique<StepHistory>();
  // Between two frames: the history is the emulation thread's while it runs. Turned off,
  // it is forgotten: what ran meanwhile would be missing from it.
  machine_.Apply([this, keep] {
    history_->Clear();
    machine_.SetHistory(keep ? history_.get() : nullptr);
  });
}

std::optional<RomSlot> Application::LoadStartModeRoms() {
  const uint8_t mode = hardware_.StartUp.Reset & 3;
  const std::array<std::string, kRomSlotCount> references = {
      hardware_.Rom48k.FileName, hardware_.Rom128k.FileName, hardware_.RomDos.FileName};
  const std::array<uint8_t*, kRomSlotCount> buffers = {
      machine_.Mem.Rom48k(), machine_.Mem.Rom128k(), machine_.Mem.RomDOS()};
  const std::array<bool, kRomSlotCount> required = {true, (mode & kStart128k) != 0,
                                                    (mode & kStartTrDos) != 0};
  // Every slot is tried; an empty one reads as 0xFF.
  for (int i = 0; i < kRomSlotCount; ++i) {
    const RomSlot slot = static_cast<RomSlot>(i);
    const bool loaded =
        LoadRomSlot(slot, references[i], romResolver_, RomBuffer(buffers[i], kRomPageSize))
            .has_value();
    if (!loaded && required[i]) return slot;
    if (slot == RomSlot::kTrDos) trDosAvailable_ = loaded;
  }
  ApplyHardwareSettings(hardware_);
  return std::nullopt;
}

RomCheckResult Application::LoadRoms() {
  const std::array<std::string, kRomSlotCount> references = {
      hardware_.Rom48k.FileName, hardware_.Rom128k.FileName, hardware_.RomDos.FileName};
  RomCheckResult result = CheckRoms(references, romResolver_, machine_.Mem);
  trDosAvailable_ = result.TrDosAvailable;
  ApplyHardwareSettings(hardware_);
  return result;
}

Application::StartUpResult Application::StartUp() {
  StartUpResult result;
  if (overrides_.RomsForStartModeOnly) {
    result.MissingSlot = LoadStartModeRoms();
    if (result.MissingSlot) {
      result.outcome = StartUpOutcome::kRomsMissing;
      return result;
    }
  } else {
    result.roms = LoadRoms();
    if (result.roms.outcome == RomCheckOutcome::kMissing) {
      result.outcome = StartUpOutcome::kRomsMissing;
      return result;
    }
  }
  machine_.State.StartMode.store(hardware_.StartUp.Reset, std::memory_order_relaxed);
  machine_.ResetMachine();
  if (hardware_.StartUp.Mode == 1 && !overrides_.IgnoreOnStartRun) {
    emulation_.Run();
    result.outcome = StartUpOutcome::kRunning;
  } else {
    result.outcome = StartUpOutcome::kStopped;
  }
  return result;
}

void Application::ShutDown() {
  if (shutDown_) return;
  shutDown_ = true;
  emulation_.StopEmulation();
  emulation_.Loop.Timer.StopTimer();
  if (overrides_.KeepStoredSettings) return;
  SaveMainWindowSettings(store_, mainWindow_);
  SaveHardwareSettings(store_, hardware_);
}

}  // namespace vantrel
