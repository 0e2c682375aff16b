#include "disk/TrdCheck.h"

#include <array>
#include <memory>
#include <string_view>

#include "disk/Crc16.h"
#include "disk/TrDosImage.h"
#include "disk/TrackLayout.h"

namespace vantrel {

namespace {

enum Loss : int { kSize, kNumber, kMissing, kTwice, kOutside, kDeleted, kCrc, kLossKinds };

constexpr std::array<std::string_view, kLossKinds> kWhat = {
    "sectors not 256 bytes long",
    "sectors numbered outside 1 to 16",
    "tracks lacking some of sectors 1 to 16",
    "tracks holding a sector number twice",
    "tracks outside the cylinders and sides a TRD holds",
    "sectors marked as deleted data",
    "sectors with a CRC error",
};

struct Tally {
  std::array<int, kLossKinds> Count{};
  std::array<std::string, kLossKinds> First;

  void Add(Loss loss, int cylinder, int side, int sector = -1) {
    if (Count[loss]++ > 0) return;
    First[loss] = "cylinder " + std::to_string(cylinder) + ", side " + std::to_string(side);
    if (sector >= 0) First[loss] += ", sector " + std::to_string(sector);
  }
};

// The track is one turn: a field that runs past its end goes on from its start, as the
// controller reads it.
uint8_t At(const RawTrack& track, size_t pos) {
  return track.Data[pos % RawTrack::kLength];
}

bool CrcMatches(const RawTrack& track, size_t from, size_t count) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = At(track, from + i);
  const uint16_t crc = Crc16(bytes);
  return At(track, from + count) == (crc >> 8) && At(track, from + count + 1) == (crc & 0xFF);
}

// The sectors of one track: those with data fields, each with its ID's values.
struct FoundSector {
  SectorId Id;
  bool Deleted = false;
  bool CrcError = false;
};

std::vector<FoundSector> SectorsOf(const RawTrack& track) {
  std::vector<FoundSector> found;
  bool haveId = false;
  FoundSector pending;
  size_t p = 0;
  while (p < RawTrack::kLength) {
    if (!track.IsMark(p)) {
      ++p;
      continue;
    }
    while (p < RawTrack::kLength && track.Data[p] == 0xA1) ++p;
    if (p >= RawTrack::kLength) break;
    const uint8_t mark = track.Data[p];
    if (mark == kIdMark) {
      pending = {};
      pending.Id = {At(track, p + 1), At(track, p + 2), At(track, p + 3), At(track, p + 4)};
      pending.CrcError = !CrcMatches(track, p, 5);
      haveId = true;
      p += 7;
    } else if ((mark == kDataMark || mark == kDeletedDataMark) && haveId) {
      const size_t size = size_t{128} << (pending.Id.N & 3);
      pending.Deleted = mark == kDeletedDataMark;
      if (!CrcMatches(track, p, 1 + size)) pending.CrcError = true;
      found.push_back(pending);
      haveId = false;
      p += 1 + size + 2;
    } else {
      ++p;
    }
  }
  return found;
}

}  // namespace

std::vector<std::string> TrdSaveLosses(const FloppyDisk& disk) {
  auto image = std::make_unique<TrdImage>();
  const TrdGeometry geometry = ExtractTrdFromTracks(disk, *image);
  std::array<std::array<bool, FloppyDisk::kSides>, FloppyDisk::kCylinders> kept{};
  for (int t = 0; t < geometry.Tracks(); ++t)
    kept[geometry.DriveCylinder(t)][geometry.DriveSide(t)] = true;

  Tally tally;
  for (int c = 0; c < FloppyDisk::kCylinders; ++c) {
    for (int s = 0; s < FloppyDisk::kSides; ++s) {
      const std::vector<FoundSector> sectors = SectorsOf(disk.Track(c, s));
      if (!kept[c][s]) {
        if (!sectors.empty()) tally.Add(kOutside, c, s);
        continue;
      }
      std::array<int, 17> times{};
      for (const FoundSector& sector : sectors) {
        const int r = sector.Id.R;
        if (sector.Id.N != 1) tally.Add(kSize, c, s, r);
        if (r < 1 || r > 16) tally.Add(kNumber, c, s, r);
        if (sector.Deleted) tally.Add(kDeleted, c, s, r);
        if (sector.CrcError) tally.Add(kCrc, c, s, r);
        if (sector.Id.N == 1 && r >= 1 && r <= 16) ++times[r];
      }
      bool missing = false, twice = false;
      for (int r = 1; r <= 16; ++r) {
        missing = missing || times[r] == 0;
        twice = twice || times[r] > 1;
      }
      if (missing) tally.Add(kMissing, c, s);
      if (twice) tally.Add(kTwice, c, s);
    }
  }
  std::vector<std::string> losses;
  for (int kind = 0; kind < kLossKinds; ++kind) {
    if (tally.Count[kind] == 0) continue;
    losses.push_back(std::to_string(tally.Count[kind]) + " " + std::string(kWhat[kind]) +
                     " (first at " + tally.First[kind] + ")");
  }
  return losses;
}

}  // namespace vantrel
