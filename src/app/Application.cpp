#include "app/Application.h"

namespace vantrel {

Application::Application(SettingsStore& store, RunHost& host, FileResolver romResolver)
    : store_(store),
      romResolver_(std::move(romResolver)),
      mainWindow_(LoadMainWindowSettings(store)),
      hardware_(LoadHardwareSettings(store)),
      emulation_(machine_, host) {
  // What the main window's creation does to the machine: its timing setting, then the
  // pacing timer. The power-on RAM contents are already in place.
  machine_.SetTacktsPerInt(mainWindow_.TacktsPerInt);
  machine_.Timer.StartTimer();
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
  machine.Sound.SetVolumes(settings.Volume.Speaker, settings.Volume.TapeIn, settings.Volume.TapeOut,
                           settings.Volume.SynchDelay);
}

void Application::ApplyHardwareSettings(const HardwareSettings& settings) {
  hardware_ = settings;
  ApplyHardwareToMachine(machine_, settings, trDosAvailable_);
}

RomCheckResult Application::LoadRoms() {
  const std::array<std::string, kRomSlotCount> references = {
      hardware_.Rom48k.FileName, hardware_.Rom128k.FileName, hardware_.RomDos.FileName};
  RomCheckResult result = CheckRoms(references, romResolver_, machine_.Mem);
  trDosAvailable_ = result.trDosAvailable;
  ApplyHardwareSettings(hardware_);
  return result;
}

Application::StartUpResult Application::StartUp() {
  StartUpResult result;
  result.roms = LoadRoms();
  if (result.roms.outcome == RomCheckOutcome::kMissing) {
    result.outcome = StartUpOutcome::kRomsMissing;
    return result;
  }
  machine_.State.StartMode.store(hardware_.StartUp.Reset, std::memory_order_relaxed);
  machine_.ResetMachine();
  if (hardware_.StartUp.Mode == 1) {
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
  machine_.Timer.StopTimer();
  SaveMainWindowSettings(store_, mainWindow_);
  SaveHardwareSettings(store_, hardware_);
}

}  // namespace vantrel
