#include "disk/FdiImage.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "disk/DiskError.h"
#include "disk/TrackLayout.h"

namespace vantrel {

namespace {

constexpr std::string_view kFdiFormat = "Can't open Disk Image File! Unsupported file format...";
constexpr size_t kTrackHeader = 7;
constexpr size_t kSectorHeader = 7;
constexpr int kMaxSizeCode = 5;
constexpr uint8_t kDeletedFlag = 0x80;

[[noreturn]] void Refuse() {
  throw DiskError(std::string(kFdiFormat), kInvalidDiskCaption);
}

uint16_t Word(std::span<const uint8_t> f, size_t at) {
  return static_cast<uint16_t>(f[at] | f[at + 1] << 8);
}

uint32_t Long(std::span<const uint8_t> f, size_t at) {
  return Word(f, at) | static_cast<uint32_t>(Word(f, at + 2)) << 16;
}

void PutWord(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void AppendLong(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// What the controller makes of a size code on the disk: the table up to 5, then only
// the low two bits count.
int SavedSizeCode(uint8_t n) {
  return n <= kMaxSizeCode ? n : (n & 3);
}

}  // namespace

int LoadFdiImage(std::span<const uint8_t> file, FloppyDisk& disk) {
  if (file.size() < kFdiHeaderSize || std::memcmp(file.data(), "FDI", 3) != 0) Refuse();
  const int cylinders = Word(file, 4);
  const int heads = Word(file, 6);
  if (cylinders > FloppyDisk::kCylinders || heads > FloppyDisk::kSides) Refuse();
  disk.SetWriteProtected(file[3] != 0);
  const size_t dataArea = Word(file, 10);
  size_t at = kFdiHeaderSize + Word(file, 12);
  std::vector<SectorField> sectors;
  for (int c = 0; c < cylinders; ++c) {
    for (int h = 0; h < heads; ++h) {
      if (at + kTrackHeader > file.size()) Refuse();
      const size_t trackData = dataArea + Long(file, at);
      const size_t count = file[at + 6];
      if (at + kTrackHeader + count * kSectorHeader > file.size()) Refuse();
      sectors.clear();
      for (size_t i = 0; i < count; ++i) {
        const size_t s = at + kTrackHeader + i * kSectorHeader;
        const SectorId id{file[s], file[s + 1], file[s + 2], file[s + 3]};
        if (id.N > kMaxSizeCode) Refuse();
        const size_t size = size_t{128} << id.N;
        const size_t start = trackData + Word(file, s + 5);
        if (start + size > file.size()) Refuse();
        const uint8_t mark = (file[s + 4] & kDeletedFlag) ? kDeletedDataMark : kDataMark;
        sectors.push_back({id, mark, file.subspan(start, size)});
      }
      if (!LayOutTrack(disk.Track(c, h), sectors)) Refuse();
      at += kTrackHeader + count * kSectorHeader;
    }
  }
  return cylinders;
}

std::vector<uint8_t> SaveFdiImage(const FloppyDisk& disk, int cylinders) {
  cylinders = std::clamp(cylinders, 80, FloppyDisk::kCylinders);
  std::vector<uint8_t> out(kFdiHeaderSize, 0);
  std::vector<uint8_t> data;
  for (int c = 0; c < cylinders; ++c) {
    for (int h = 0; h < FloppyDisk::kSides; ++h) {
      const RawTrack& track = disk.Track(c, h);
      const size_t trackOffset = data.size();
      std::vector<uint8_t> sectors;
      int count = 0;
      ScanTrack(track, [&](const DataField& f) -> size_t {
        if (!f.HasId || count == 255) return 0;
        const int code = SavedSizeCode(f.Id.N);
        const size_t size = size_t{128} << code;
        const size_t offset = data.size() - trackOffset;
        const uint8_t flags =
            static_cast<uint8_t>((f.Mark == kDeletedDataMark ? kDeletedFlag : 0) | (1 << code));
        sectors.insert(sectors.end(),
                       {f.Id.C, f.Id.H, f.Id.R, static_cast<uint8_t>(code), flags,
                        static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8)});
        const size_t available = std::min(size, RawTrack::kLength - f.DataPos);
        const auto from = track.Data.begin() + static_cast<std::ptrdiff_t>(f.DataPos);
        data.insert(data.end(), from, from + static_cast<std::ptrdiff_t>(available));
        data.resize(data.size() + (size - available), 0);
        ++count;
        return size;
      });
      AppendLong(out, static_cast<uint32_t>(trackOffset));
      out.insert(out.end(), {0, 0, static_cast<uint8_t>(count)});
      out.insert(out.end(), sectors.begin(), sectors.end());
    }
  }
  // A track's data fields consume at least 129 bytes each, so at most 48 fit a track and
  // the headers of 86 × 2 tracks stay below 64 KB, where the 16-bit offsets reach.
  const size_t description = out.size();
  out.push_back(0);
  const size_t dataArea = out.size();
  out.insert(out.end(), data.begin(), data.end());
  std::memcpy(out.data(), "FDI", 3);
  out[3] = disk.WriteProtected() ? 1 : 0;
  PutWord(out, 4, static_cast<uint32_t>(cylinders));
  PutWord(out, 6, FloppyDisk::kSides);
  PutWord(out, 8, static_cast<uint32_t>(description));
  PutWord(out, 10, static_cast<uint32_t>(dataArea));
  PutWord(out, 12, 0);
  return out;
}

}  // namespace vantrel
