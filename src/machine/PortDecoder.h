#pragma once

#include <cstdint>

#include "core/MachineState.h"
#include "core/Memory.h"
#include "core/PortBus.h"

namespace vantrel {

class StepHistory;

class AyChip;
class Beeper;
class Beta128;
class KeyMatrix;
class ScreenRenderer;
class TapePlayer;
class TapeRecorder;
struct KempstonJoystick;
struct KempstonMouse;

// The decoding settings, filled by the application from the settings store. Changes take
// effect at the next access.
struct PortDecodeSettings {
  bool KeyboardEnabled = true;
  uint16_t KeyboardMask = 0x0001;
  uint16_t KeyboardBits = 0x00FE;
  bool JoystickEnabled = true;
  uint16_t JoystickMask = 0x00A9;
  uint16_t JoystickBits = 0x001F;
  bool AttributePortEnabled = true;
  bool AttributeAllUnused = false;
  bool TrDosPortAccess = false;  // Beta 128 ports decoded outside the TR-DOS ROM too
  // Two AY chips: #FF or #FE written to the register select picks chip 0 or 1.
  bool TurboSound = false;
};

// The devices the decoder forwards to; all owned by the Machine.
struct PortDevices {
  KeyMatrix& Keys;
  TapePlayer& Tape;
  ScreenRenderer& Screen;
  vantrel::Beeper& Beeper;
  AyChip& Ay;
  AyChip& Ay2;
  KempstonJoystick& Joystick;
  KempstonMouse& Mouse;
  Beta128& Disk;
  TapeRecorder& Recorder;
};

// Turns the processor's port accesses into device actions by mask and pattern: a device
// answers when (port XOR pattern) AND mask is 0, and the answers of several devices to
// one read are ANDed, as open-collector outputs on a shared bus would.
class PortDecoder {
 public:
  // The 128K paging port answers when address bits 15 and 1 are both 0.
  static constexpr uint16_t Port7FFDBits = 0x7FFD;
  static constexpr uint16_t Port7FFDMask = 0x8002;
  static constexpr uint16_t Port1FFDBits = 0x1FFD;
  static constexpr uint16_t Port1FFDMask = 0xD027;
  static constexpr uint16_t AySelectBits = 0xFFFD;
  static constexpr uint16_t AyDataBits = 0xBFFD;
  static constexpr uint16_t AyMask = 0xE023;
  static constexpr uint16_t MouseXBits = 0xFBDF;
  static constexpr uint16_t MouseYBits = 0xFFDF;
  static constexpr uint16_t MouseButtonsBits = 0xFADF;
  static constexpr uint16_t MouseMask = 0xFDFF;

  PortDecoder(MachineState& state, Memory& memory, const PortDevices& devices)
      : state_(state), memory_(memory), dev_(devices) {}

  uint8_t PortRead(uint16_t port);
  void PortWrite(uint16_t port, uint8_t value);

  // The seam the processor calls through.
  PortBus Bus();

  PortDecodeSettings Settings;
  // The last value written to the ULA port (the snapshot saver keeps its border bits).
  uint8_t PortFE = 0;
  // The AY that the AY ports reach: 0, or 1 with TurboSound on.
  uint8_t AyChipSelected = 0;
  // A Sinclair ULA's floating bus answers every port nobody else does (set by the timing).
  bool FloatingBus = false;
  // While a step history records, what the keyboard, joystick and mouse ports give goes
  // through it, so that a replay reads the same.
  StepHistory* History = nullptr;

 private:
  uint8_t Outside(uint8_t live);
  static bool Matches(uint16_t port, uint16_t pattern, uint16_t mask) {
    return ((port ^ pattern) & mask) == 0;
  }
  bool DiskPortsDecoded() const { return memory_.DosActive || Settings.TrDosPortAccess; }
  AyChip& SelectedAy() { return Settings.TurboSound && AyChipSelected != 0 ? dev_.Ay2 : dev_.Ay; }
  void AySelectWrite(uint8_t value);

  MachineState& state_;
  Memory& memory_;
  PortDevices dev_;
};

}  // namespace vantrel
