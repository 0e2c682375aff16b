#include "machine/PortDecoder.h"

#include "disk/Beta128.h"
#include "input/Kempston.h"
#include "input/KeyMatrix.h"
#include "machine/StepHistory.h"
#include "sound/AyChip.h"
#include "sound/Beeper.h"
#include "tape/TapePlayer.h"
#include "tape/TapeRecorder.h"
#include "video/ScreenRenderer.h"

namespace vantrel {

namespace {

// The Beta 128 registers decode on the low byte only.
struct DiskPort {
  uint8_t Bits;
  uint8_t Mask;
  Beta128::Register Reg;
};
constexpr DiskPort kSystemPort = {0x83, 0x83, Beta128::kSystem};
constexpr DiskPort kControllerPorts[] = {
    {0x03, 0xE3, Beta128::kCommandStatus},
    {0x23, 0xE3, Beta128::kTrack},
    {0x43, 0xE3, Beta128::kSector},
    {0x63, 0xE3, Beta128::kData},
};

bool LowMatches(uint16_t port, const DiskPort& p) {
  return ((port ^ p.Bits) & p.Mask & 0xFF) == 0;
}

}  // namespace

uint8_t PortDecoder::Outside(uint8_t live) {
  return History ? History->Input(live) : live;
}

uint8_t PortDecoder::PortRead(uint16_t port) {
  uint8_t result = 0xFF;
  bool unanswered = Settings.AttributePortEnabled || FloatingBus;
  if (Settings.KeyboardEnabled && Matches(port, Settings.KeyboardBits, Settings.KeyboardMask)) {
    result &= Outside(dev_.Keys.ReadKeyboardPort(port)) | dev_.Tape.EarLevel();
    unanswered = false;
  }
  if (DiskPortsDecoded()) {
    if (LowMatches(port, kSystemPort)) {
      result &= dev_.Disk.ReadRegister(kSystemPort.Reg);
      unanswered = false;
    }
    for (const DiskPort& p : kControllerPorts) {
      if (LowMatches(port, p)) {
        result &= dev_.Disk.ReadRegister(p.Reg);
        unanswered = false;
      }
    }
  } else {
    if (Matches(port, AySelectBits, AyMask)) {
      result &= SelectedAy().Read();
      unanswered = false;
    }
    if (Settings.JoystickEnabled && Matches(port, Settings.JoystickBits, Settings.JoystickMask)) {
      result &= Outside(dev_.Joystick.State.load(std::memory_order_relaxed));
      unanswered = false;
    }
    if (dev_.Mouse.Enabled.load(std::memory_order_relaxed)) {
      if (Matches(port, MouseXBits, MouseMask)) {
        result &= Outside(dev_.Mouse.X.load(std::memory_order_relaxed));
        unanswered = false;
      }
      if (Matches(port, MouseYBits, MouseMask)) {
        result &= Outside(dev_.Mouse.Y.load(std::memory_order_relaxed));
        unanswered = false;
      }
      if (Matches(port, MouseButtonsBits, MouseMask)) {
        result &= Outside(dev_.Mouse.Buttons.load(std::memory_order_relaxed));
        unanswered = false;
      }
    }
  }
  // Nobody drove the bus: the ULA's video fetch is what the processor sees.
  if (unanswered) {
    if (FloatingBus) {
      result = dev_.Screen.FloatingBus(state_.Regs.Tackts);
    } else if ((port & 0xFF) == 0xFF || Settings.AttributeAllUnused) {
      result = dev_.Screen.AttributeUnderBeam(state_.Regs.Tackts);
    }
  }
  return result;
}

void PortDecoder::PortWrite(uint16_t port, uint8_t value) {
  if (Settings.KeyboardEnabled && Matches(port, Settings.KeyboardBits, Settings.KeyboardMask)) {
    PortFE = value;
    dev_.Beeper.UlaPortWrite(value);
    dev_.Recorder.UlaPortWrite(value);
    dev_.Screen.SetBorderColour(value, state_.Regs.Tackts);
  }
  if (Matches(port, Port7FFDBits, Port7FFDMask)) {
    memory_.WritePort7FFD(value);
    dev_.Screen.MachinePageSelected(memory_.ScreenBank == 7);
  }
  // Only the Scorpion models react; the memory engine checks the model.
  if (Matches(port, Port1FFDBits, Port1FFDMask)) memory_.WritePort1FFD(value);
  if (!DiskPortsDecoded()) {
    if (Matches(port, AyDataBits, AyMask)) SelectedAy().WriteData(value, state_.Regs.Tackts);
    if (Matches(port, AySelectBits, AyMask)) AySelectWrite(value);
    return;
  }
  for (const DiskPort& p : kControllerPorts) {
    if (LowMatches(port, p)) dev_.Disk.WriteRegister(p.Reg, value);
  }
  if (LowMatches(port, kSystemPort)) dev_.Disk.WriteRegister(kSystemPort.Reg, value);
}

void PortDecoder::AySelectWrite(uint8_t value) {
  // With two chips, #FF and #FE choose the chip (as a register number they would address
  // no register of either); everything else selects a register of the chosen one.
  if (Settings.TurboSound && value >= 0xFE) {
    AyChipSelected = value == 0xFF ? 0 : 1;
    return;
  }
  SelectedAy().Select(value);
}

PortBus PortDecoder::Bus() {
  PortBus bus;
  bus.Context = this;
  bus.Read = [](void* context, uint16_t port) {
    return static_cast<PortDecoder*>(context)->PortRead(port);
  };
  bus.Write = [](void* context, uint16_t port, uint8_t value) {
    static_cast<PortDecoder*>(context)->PortWrite(port, value);
  };
  return bus;
}

}  // namespace vantrel
