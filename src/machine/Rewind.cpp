#include "machine/Rewind.h"

#include "machine/Machine.h"
#include "video/ScreenRenderer.h"

namespace vantrel {

void RewindBuffer::SetSeconds(int seconds) {
  ring_.clear();
  ring_.resize(static_cast<size_t>(seconds > 0 ? seconds : 0));
  ownTracks_.assign(ring_.size(), 0);
  newest_ = count_ = stepped_ = 0;
  frames_ = 0;
  Recount();
}

void RewindBuffer::FrameStarted(const Machine& machine) {
  if (ring_.empty()) return;
  if (stepped_ != 0) {
    // A step back was the last thing done: the machine goes on from there.
    RunOn();
    return;
  }
  if (++frames_ < kFramesPerCapture) return;
  frames_ = 0;
  const MachineCapture* previous = count_ ? &ring_[newest_] : nullptr;
  const size_t slot = count_ ? (newest_ + 1) % ring_.size() : newest_;
  CaptureMachine(machine, ring_[slot], previous);
  newest_ = slot;
  if (count_ < ring_.size()) {
    ++count_;
  } else if (count_ > 1) {
    // The oldest was overwritten: the one after it now owns all its tracks.
    ownTracks_[Slot(count_ - 1)] = OwnTracks(count_ - 1);
  }
  ownTracks_[slot] = OwnTracks(0);
  Recount();
}

bool RewindBuffer::StepBack(Machine& machine) {
  if (stepped_ >= count_) return false;
  RestoreMachine(machine, ring_[Slot(stepped_)]);
  machine.NoteExternalChange();
  ++stepped_;
  return true;
}

void RewindBuffer::RunOn() {
  if (stepped_ == 0) return;
  // The capture shown stays as the newest: it is the machine's present.
  newest_ = Slot(stepped_ - 1);
  count_ -= stepped_ - 1;
  stepped_ = 0;
  frames_ = 0;
  Recount();
}

size_t RewindBuffer::OwnTracks(size_t back) const {
  // A capture shares the tracks unchanged since the one before it, so a track costs memory
  // only where its pointer differs from the older neighbour's.
  const MachineCapture& c = ring_[Slot(back)];
  const MachineCapture* older = back + 1 < count_ ? &ring_[Slot(back + 1)] : nullptr;
  size_t tracks = 0;
  for (size_t d = 0; d < c.Disk.Drives.size(); ++d) {
    const auto& own = c.Disk.Drives[d].Tracks;
    for (size_t t = 0; t < own.size(); ++t) {
      if (own[t] && !(older && older->Disk.Drives[d].Tracks[t] == own[t])) ++tracks;
    }
  }
  return tracks;
}

void RewindBuffer::Recount() {
  // The track counts are kept per capture as they come in: comparing every capture's
  // tracks again at each capture took more time than the captures themselves.
  size_t bytes = ring_.size() * sizeof(MachineCapture);
  size_t tracks = 0;
  for (size_t back = 0; back < count_; ++back) {
    const MachineCapture& c = ring_[Slot(back)];
    bytes += c.Mem.Ram.capacity() + c.Screen.Picture.capacity();
    tracks += ownTracks_[Slot(back)];
  }
  bytes_.store(bytes + tracks * sizeof(RawTrack), std::memory_order_relaxed);
}

size_t RewindBuffer::EstimateBytes(int seconds, MemoryModel model) {
  const size_t perSecond = sizeof(MachineCapture) +
                           size_t(Memory::BankCountOf(model)) * Memory::kBankSize +
                           size_t{kNativeWidth} * kNativeHeight;
  // One copy of the disk, plus a few written tracks a second.
  const size_t disk = FloppyDisk::kTrackCount * sizeof(RawTrack);
  return seconds <= 0 ? 0 : seconds * (perSecond + 4 * sizeof(RawTrack)) + disk;
}

}  // namespace vantrel
