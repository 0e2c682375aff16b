#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "disk/FloppyDisk.h"

namespace vantrel {

// The four values of an ID field: cylinder, head, sector number and size code.
struct SectorId {
  uint8_t C = 0, H = 0, R = 0, N = 0;
};

inline constexpr uint8_t kIdMark = 0xFE;
inline constexpr uint8_t kDataMark = 0xFB;
inline constexpr uint8_t kDeletedDataMark = 0xF8;

// The gaps of a sector slot that may shrink: 0x4E before the ID field's zero run, that run,
// and 0x4E after the data field. The stretch from the ID field to the data field never
// changes: Write Sector lays its data field down at that distance behind the ID.
struct SlotGaps {
  size_t Lead = 10;
  size_t Zeros = 12;
  size_t Trail = 50;

  constexpr size_t Total() const { return Lead + Zeros + Trail; }
};

// Bytes a sector slot takes beyond its data and gaps: sync runs, ID field, the gap between
// ID and data field, the data mark and CRCs.
inline constexpr size_t kSlotFixed = 50;
// The same with the gaps TR-DOS formats.
inline constexpr size_t kSlotOverhead = kSlotFixed + SlotGaps{}.Total();  // 122

// Formats a track slot by slot, by default in the layout TR-DOS writes: gap 4E, zero run,
// sync marks, ID field, gap, zero run, sync marks, data field, gap. The first slot has one
// more zero and one fewer sync mark (its run starts where the index gap ends).
class TrackWriter {
 public:
  // Clears the track's marks; the data is overwritten slot by slot and by Finish.
  explicit TrackWriter(RawTrack& track);

  // False, with nothing written, when the slot would run past the end of the track.
  bool AddSector(SectorId id, uint8_t dataMark, std::span<const uint8_t> data,
                 const SlotGaps& gaps = {});
  // Zeroes the rest of the track.
  void Finish();

 private:
  void Put(uint8_t value, size_t count);
  void PutSync(size_t count);
  void PutField(std::span<const uint8_t> bytes);

  RawTrack& track_;
  size_t pos_ = 0;
};

// One sector of a track to lay out: its ID, data mark and data (128 << N bytes or not).
struct SectorField {
  SectorId Id;
  uint8_t Mark = kDataMark;
  std::span<const uint8_t> Data;
};

// Formats a whole track from its sectors in order: with TR-DOS's gaps when they fit, else
// with the gaps shrunk alike in every slot until they do (a track of ten 512-byte or 18
// 256-byte sectors needs that). False, with the track unchanged, when the sectors do not
// fit even without gaps.
bool LayOutTrack(RawTrack& track, std::span<const SectorField> sectors);

// A data field met while scanning a track: its mark, where its data starts, and the ID
// field nearest before it (HasId false when the track had none before it).
struct DataField {
  SectorId Id;
  bool HasId = false;
  uint8_t Mark = 0;
  size_t DataPos = 0;
};

// Walks the track from the index as the controller would find fields: at a sync mark the
// run of 0xA1 is skipped and the byte reached is an address mark. For each data field
// (0xFB or 0xF8) `visit` is called and returns how many data bytes it consumed; the scan
// goes on after them.
void ScanTrack(const RawTrack& track, const std::function<size_t(const DataField&)>& visit);

}  // namespace vantrel
