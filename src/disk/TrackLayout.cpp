#include "disk/TrackLayout.h"

#include <algorithm>
#include <array>

#include "disk/Crc16.h"

namespace vantrel {

TrackWriter::TrackWriter(RawTrack& track) : track_(track) {
  track.ClearMarks();
}

void TrackWriter::Put(uint8_t value, size_t count) {
  std::fill_n(track_.Data.begin() + static_cast<std::ptrdiff_t>(pos_), count, value);
  pos_ += count;
}

void TrackWriter::PutSync(size_t count) {
  for (size_t i = 0; i < count; ++i) track_.SetMark(pos_ + i);
  Put(0xA1, count);
}

void TrackWriter::PutField(std::span<const uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), track_.Data.begin() + static_cast<std::ptrdiff_t>(pos_));
  pos_ += bytes.size();
}

bool TrackWriter::AddSector(SectorId id, uint8_t dataMark, std::span<const uint8_t> data,
                            const SlotGaps& gaps) {
  if (pos_ + kSlotFixed + gaps.Total() + data.size() > RawTrack::kLength) return false;
  const bool first = pos_ == 0;
  Put(0x4E, gaps.Lead);
  Put(0x00, first ? gaps.Zeros + 1 : gaps.Zeros);
  PutSync(first ? 2 : 3);
  std::array<uint8_t, 7> idField = {kIdMark, id.C, id.H, id.R, id.N, 0, 0};
  AppendCrc16(idField, 5);
  PutField(idField);
  Put(0x4E, 22);
  Put(0x00, 12);
  PutSync(3);
  // The data CRC covers the mark too; it is computed where the field lies in the track.
  const size_t markPos = pos_;
  Put(dataMark, 1);
  PutField(data);
  Put(0, 2);
  AppendCrc16(std::span(track_.Data).subspan(markPos, data.size() + 3), data.size() + 1);
  Put(0x4E, gaps.Trail);
  return true;
}

void TrackWriter::Finish() {
  Put(0x00, RawTrack::kLength - pos_);
}

bool LayOutTrack(RawTrack& track, std::span<const SectorField> sectors) {
  size_t fixed = 0;
  for (const SectorField& s : sectors) fixed += kSlotFixed + s.Data.size();
  if (fixed > RawTrack::kLength) return false;
  SlotGaps gaps;
  if (!sectors.empty() && fixed + sectors.size() * gaps.Total() > RawTrack::kLength) {
    // Each slot gets an even share of the bytes left: first the zero run the data
    // separator locks on, then the gap after the data (where Write Sector's closing byte
    // lands), then the gap before the ID.
    const size_t share = (RawTrack::kLength - fixed) / sectors.size();
    gaps.Zeros = std::min(gaps.Zeros, share);
    gaps.Trail = std::min(gaps.Trail, share - gaps.Zeros);
    gaps.Lead = share - gaps.Zeros - gaps.Trail;
  }
  TrackWriter writer(track);
  for (const SectorField& s : sectors) writer.AddSector(s.Id, s.Mark, s.Data, gaps);
  writer.Finish();
  return true;
}

void ScanTrack(const RawTrack& track, const std::function<size_t(const DataField&)>& visit) {
  const auto& d = track.Data;
  DataField field;
  size_t p = 0;
  while (p < RawTrack::kLength) {
    if (!track.IsMark(p)) {
      // Most of a track is unmarked: a zero bitmap byte skips its eight bytes at once.
      p = ((p & 7) == 0 && track.Marks[p >> 3] == 0) ? p + 8 : p + 1;
      continue;
    }
    while (p < RawTrack::kLength && d[p] == 0xA1) ++p;
    if (p >= RawTrack::kLength) break;
    const uint8_t mark = d[p];
    if (mark == kIdMark) {
      if (p + 4 >= RawTrack::kLength) break;
      field.Id = {d[p + 1], d[p + 2], d[p + 3], d[p + 4]};
      field.HasId = true;
      p += 5;
    } else if (mark == kDataMark || mark == kDeletedDataMark) {
      field.Mark = mark;
      field.DataPos = p + 1;
      p += 1 + visit(field);
    } else {
      ++p;
    }
  }
}

}  // namespace vantrel
