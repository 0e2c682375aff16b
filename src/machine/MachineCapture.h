#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/Memory.h"
#include "core/Z80Registers.h"
#include "disk/FloppyDisk.h"
#include "disk/VG93.h"
#include "input/KeyMatrix.h"
#include "sound/AyChip.h"
#include "sound/Beeper.h"
#include "tape/TapePlayer.h"
#include "video/ScreenRenderer.h"

namespace vantrel {

class Machine;

// Raised when a capture's layout changes; a capture of another version is not restored.
inline constexpr uint32_t kCaptureVersion = 3;

// Everything a machine is between two steps, one section per device, so that a restored
// machine runs on exactly as the captured one did (memory, registers, sound, picture).
// Settings (ROMs, volumes, port decoding, colours) are not part of it. A new device's
// state is one more section here and one line each in CaptureMachine and RestoreMachine.
struct MachineCapture {
  uint32_t Version = kCaptureVersion;

  struct Processor {
    Z80Registers Regs;
    uint32_t TacktsPerInt = 0;
    uint32_t IntLength = 0;
    uint32_t StepStartT = 0;
    bool CpuStopped = false;
  } Cpu;

  struct MemorySection {
    Memory::PagingLatches Paging;
    std::vector<uint8_t> Ram;  // the model's banks in storage order (5, 2, 0, 1, 3, ...)
  } Mem;

  struct PortLatches {
    uint8_t PortFE = 0;
    uint8_t AyChipSelected = 0;  // TurboSound's chip select
  } Ports;

  ScreenRenderer::Saved Screen;
  vantrel::Beeper::Saved Beeper;
  AyChip Ay;
  AyChip Ay2;
  // The output filter's state, so the sound after a restore joins without a click.
  StereoMixer Mixer;
  KeyMatrix::Saved Keys;

  struct KempstonSection {
    uint8_t Joystick = 0;
    uint8_t MouseX = 0, MouseY = 0, MouseButtons = 0xFF;
  } Kempston;

  // The controller and the disks in the four drives. Tracks are shared with the capture
  // taken before when unchanged since, so only written tracks cost memory.
  struct DriveSection {
    bool Present = false;  // B to D may be empty
    uint64_t Serial = 0;
    bool Modified = false;
    std::array<std::shared_ptr<const RawTrack>, FloppyDisk::kTrackCount> Tracks;
    std::array<uint64_t, FloppyDisk::kTrackCount> Stamps{};
  };
  struct DiskSection {
    Vg93Controller Controller;
    uint32_t FramesSinceCatchUp = 0;
    std::array<DriveSection, Vg93Controller::kDrives> Drives;
  } Disk;

  TapePlayer::Position Tape;

  // The bytes this capture holds on its own (shared tracks not counted).
  size_t OwnBytes() const;
};

// Fills `out` (reusing its buffers) from the machine, which must stand between two steps.
// `previous`, a capture of the same machine, lends the disk tracks unchanged since.
void CaptureMachine(const Machine& machine, MachineCapture& out,
                    const MachineCapture* previous = nullptr);

// Puts the machine back as captured. False (nothing changed) for a capture of another
// version.
bool RestoreMachine(Machine& machine, const MachineCapture& capture);

}  // namespace vantrel
