#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vantrel {

// One side of one cylinder as the head meets it: one revolution of MFM bytes at 250 kbit/s
// (32 us a byte, 200 ms a turn) from the index hole on, then a bitmap with a bit per byte
// that is set for a sync mark (a byte written with a missing clock pulse). The shape is
// the one UDI files store, so a track is copied to and from them whole.
struct RawTrack {
  static constexpr size_t kLength = 6250;
  static constexpr size_t kMarkBytes = 782;  // 6256 bits

  std::array<uint8_t, kLength> Data{};
  std::array<uint8_t, kMarkBytes> Marks{};

  bool IsMark(size_t pos) const { return (Marks[pos >> 3] >> (pos & 7)) & 1; }
  void SetMark(size_t pos) {
    Marks[pos >> 3] = static_cast<uint8_t>(Marks[pos >> 3] | 1 << (pos & 7));
  }
  void ClearMarks() { Marks.fill(0); }
  void Clear() {
    Data.fill(0);
    Marks.fill(0);
  }
};
static_assert(sizeof(RawTrack) == 7032, "a RawTrack is stored and written as 7032 bytes");

// The one disk in the drive: 86 cylinders of two sides, cylinder-major. All zero is an
// empty drive (no marks, so the controller finds no sector). 1.2 MB: allocate it.
class FloppyDisk {
 public:
  static constexpr int kCylinders = 86;
  static constexpr int kSides = 2;
  static constexpr int kTrackCount = kCylinders * kSides;

  RawTrack& Track(int cylinder, int side) { return Tracks[cylinder * kSides + side]; }
  const RawTrack& Track(int cylinder, int side) const { return Tracks[cylinder * kSides + side]; }

  bool WriteProtected() const { return writeProtect_.load(std::memory_order_relaxed); }
  void SetWriteProtected(bool on) { writeProtect_.store(on, std::memory_order_relaxed); }

  // Changed since opened or saved: the controller sets it on every write.
  bool Modified() const { return modified_.load(std::memory_order_relaxed); }
  void SetModified(bool on = true) { modified_.store(on, std::memory_order_relaxed); }

  std::array<RawTrack, kTrackCount> Tracks{};

  // Every write to a track gives it a stamp never used before on this disk, so two equal
  // stamps mean equal contents: a machine capture shares the tracks whose stamp it holds.
  void TrackWritten(const RawTrack* track) {
    TrackStamps[static_cast<size_t>(track - Tracks.data())] = ++lastStamp_;
  }
  // Sets a track's contents as they were under `stamp` (a restored capture).
  void RestoreTrack(int index, const RawTrack& track, uint64_t stamp) {
    Tracks[static_cast<size_t>(index)] = track;
    TrackStamps[static_cast<size_t>(index)] = stamp;
    if (stamp > lastStamp_) lastStamp_ = stamp;
  }
  std::array<uint64_t, kTrackCount> TrackStamps{};
  // Which disk this is to its machine (set when inserted).
  uint64_t Serial = 0;

 private:
  uint64_t lastStamp_ = 0;
  // Set by the save dialog on the window thread, read by the controller.
  std::atomic<bool> writeProtect_{false};
  std::atomic<bool> modified_{false};
};

}  // namespace vantrel
