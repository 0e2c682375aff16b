#include "machine/MachineCapture.h"

#include <algorithm>
#include <cstring>

#include "machine/Machine.h"

namespace vantrel {

namespace {

void CaptureDrive(const FloppyDisk* disk, MachineCapture::DriveSection& out,
                  const MachineCapture::DriveSection* previous) {
  out.Present = disk != nullptr;
  if (!disk) return;
  out.Modified = disk->Modified();
  const bool sameDisk = previous && previous->Present && previous->Serial == disk->Serial;
  const bool ownSameDisk = out.Serial == disk->Serial;  // a reused capture's own tracks
  out.Serial = disk->Serial;
  for (size_t i = 0; i < out.Tracks.size(); ++i) {
    const uint64_t stamp = disk->TrackStamps[i];
    if (sameDisk && previous->Stamps[i] == stamp && previous->Tracks[i]) {
      out.Tracks[i] = previous->Tracks[i];
    } else if (!(ownSameDisk && out.Tracks[i] && out.Stamps[i] == stamp)) {
      out.Tracks[i] = std::make_shared<const RawTrack>(disk->Tracks[i]);
    }
    out.Stamps[i] = stamp;
  }
}

void CaptureDisk(const Machine& m, MachineCapture::DiskSection& out,
                 const MachineCapture::DiskSection* previous) {
  out.Controller = m.Disk.Controller;
  out.FramesSinceCatchUp =
      m.State.FrameCount.load(std::memory_order_relaxed) - m.Disk.Controller.LastFrame();
  for (size_t d = 0; d < out.Drives.size(); ++d) {
    CaptureDrive(m.Disks[d].get(), out.Drives[d], previous ? &previous->Drives[d] : nullptr);
  }
}

void RestoreDrive(Machine& m, int drive, const MachineCapture::DriveSection& in) {
  if (!in.Present) {
    if (m.Disks[drive]) m.InsertCapturedDisk(nullptr, drive);
    return;
  }
  const bool fresh = !m.Disks[drive] || m.Disks[drive]->Serial != in.Serial;
  if (fresh) {
    // Another disk went in since: the captured one comes back whole.
    auto disk = std::make_unique<FloppyDisk>();
    disk->Serial = in.Serial;
    m.InsertCapturedDisk(std::move(disk), drive);
  }
  FloppyDisk& disk = *m.Disks[drive];
  for (size_t i = 0; i < in.Tracks.size(); ++i) {
    if (!fresh && disk.TrackStamps[i] == in.Stamps[i]) continue;  // the same contents
    if (in.Tracks[i]) disk.RestoreTrack(static_cast<int>(i), *in.Tracks[i], in.Stamps[i]);
  }
  disk.SetModified(in.Modified);
}

void RestoreDisk(Machine& m, const MachineCapture::DiskSection& in) {
  for (size_t d = 0; d < in.Drives.size(); ++d) RestoreDrive(m, static_cast<int>(d), in.Drives[d]);
  m.Disk.Controller = in.Controller;
  std::array<FloppyDisk*, Vg93Controller::kDrives> disks{};
  for (size_t d = 0; d < disks.size(); ++d) disks[d] = m.Disks[d].get();
  m.Disk.Controller.Rebind(
      disks, m.State.FrameCount.load(std::memory_order_relaxed) - in.FramesSinceCatchUp);
}

}  // namespace

size_t MachineCapture::OwnBytes() const {
  return sizeof(MachineCapture) + Mem.Ram.capacity() + Screen.Picture.capacity();
}

void CaptureMachine(const Machine& m, MachineCapture& out, const MachineCapture* previous) {
  out.Version = kCaptureVersion;
  const MachineState& s = m.State;
  out.Cpu = {s.Regs, s.TacktsPerInt, s.IntLength, s.StepStartT,
             s.CpuStopped.load(std::memory_order_relaxed)};

  out.Mem.Paging = m.Mem.SavePaging();
  const size_t ramBytes = Memory::BankCountOf(m.Mem.Model) * Memory::kBankSize;
  out.Mem.Ram.resize(ramBytes);
  std::memcpy(out.Mem.Ram.data(), m.Mem.RamBase(), ramBytes);

  out.Ports.PortFE = m.Ports.PortFE;
  out.Ports.AyChipSelected = m.Ports.AyChipSelected;
  m.Screen.Save(out.Screen);
  m.Beeper.Save(out.Beeper);
  out.Ay = m.Ay;
  out.Ay2 = m.Ay2;
  out.Mixer = m.Mixer;
  m.Keys.Save(out.Keys);
  out.Kempston = {
      m.Joystick.State.load(std::memory_order_relaxed), m.Mouse.X.load(std::memory_order_relaxed),
      m.Mouse.Y.load(std::memory_order_relaxed), m.Mouse.Buttons.load(std::memory_order_relaxed)};
  CaptureDisk(m, out.Disk, previous ? &previous->Disk : nullptr);
  m.Tape.SavePosition(out.Tape);
}

bool RestoreMachine(Machine& m, const MachineCapture& c) {
  if (c.Version != kCaptureVersion) return false;
  MachineState& s = m.State;
  // The frame length first: it resets the sound clocks the sections below bring back.
  if (s.TacktsPerInt != c.Cpu.TacktsPerInt) m.SetTacktsPerInt(c.Cpu.TacktsPerInt);
  s.Regs = c.Cpu.Regs;
  s.IntLength = c.Cpu.IntLength;
  s.StepStartT = c.Cpu.StepStartT;
  s.CpuStopped.store(c.Cpu.CpuStopped, std::memory_order_relaxed);

  m.Mem.RestorePaging(c.Mem.Paging);
  const size_t ramBytes =
      std::min(c.Mem.Ram.size(), size_t{Memory::kBankCount} * Memory::kBankSize);
  std::memcpy(m.Mem.RamBase(), c.Mem.Ram.data(), ramBytes);

  m.Ports.PortFE = c.Ports.PortFE;
  m.Ports.AyChipSelected = c.Ports.AyChipSelected;
  m.Screen.Restore(c.Screen);
  m.Beeper.Restore(c.Beeper);
  m.Ay = c.Ay;
  m.Ay2 = c.Ay2;
  m.Mixer = c.Mixer;
  m.Keys.Restore(c.Keys);
  m.Joystick.State.store(c.Kempston.Joystick, std::memory_order_relaxed);
  m.Mouse.X.store(c.Kempston.MouseX, std::memory_order_relaxed);
  m.Mouse.Y.store(c.Kempston.MouseY, std::memory_order_relaxed);
  m.Mouse.Buttons.store(c.Kempston.MouseButtons, std::memory_order_relaxed);
  RestoreDisk(m, c.Disk);
  m.Tape.RestorePosition(c.Tape);
  return true;
}

}  // namespace vantrel
