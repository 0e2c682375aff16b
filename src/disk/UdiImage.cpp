#include "disk/UdiImage.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "core/Zlib.h"
#include "disk/DiskError.h"

namespace vantrel {

namespace {

constexpr std::string_view kUdiFormat =
    "Can't open Ultra Disk Image file! Unsupported file format...";

[[noreturn]] void Refuse() {
  throw DiskError(std::string(kUdiFormat), kInvalidDiskCaption);
}

// The format's text, then what was wrong with which track.
[[noreturn]] void RefuseTrack(int cylinder, int side, const std::string& why) {
  throw DiskError(std::string(kUdiFormat) + " Cylinder " + std::to_string(cylinder) + ", side " +
                      std::to_string(side) + ": " + why + ".",
                  kInvalidDiskCaption);
}

// Track type #F0, written by some programs (not UDI 1.0): #F0, a word holding the
// compressed length minus one, the original track type, a word holding the track's byte
// count, then a zlib stream of the track's bytes and bitmap. Returns them with the
// record's length, or refuses the file.
struct TrackRecord {
  std::span<const uint8_t> Bytes;  // the data, then its bitmap
  size_t Length = 0;               // data bytes
  size_t RecordSize = 0;           // bytes the record takes in the file
};

constexpr uint8_t kCompressedTrack = 0xF0;
constexpr size_t kCompressedHeader = 6;

TrackRecord InflateTrack(std::span<const uint8_t> file, size_t at, int c, int s,
                         std::vector<uint8_t>& buffer) {
  if (at + kCompressedHeader > file.size()) RefuseTrack(c, s, "the file ends in its header");
  const size_t packed = (file[at + 1] | file[at + 2] << 8) + 1;
  if (file[at + 3] != 0) RefuseTrack(c, s, "the compressed track is not an MFM track");
  const size_t length = file[at + 4] | file[at + 5] << 8;
  if (at + kCompressedHeader + packed > file.size())
    RefuseTrack(c, s, "the file ends inside the compressed track");
  const size_t expected = length + (length + 7) / 8;
  std::string why;
  std::optional<std::vector<uint8_t>> bytes =
      ZlibInflate(file.subspan(at + kCompressedHeader, packed), expected, &why);
  if (!bytes) RefuseTrack(c, s, "the compressed track cannot be inflated (" + why + ")");
  if (bytes->size() != expected)
    RefuseTrack(c, s,
                "the compressed track holds " + std::to_string(bytes->size()) +
                    " bytes instead of " + std::to_string(expected));
  buffer = std::move(*bytes);
  return {buffer, length, kCompressedHeader + packed};
}

uint32_t Long(std::span<const uint8_t> f, size_t at) {
  return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<uint32_t>(f[at + 3]) << 24;
}

void PutLong(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

uint32_t UdiCrc32(std::span<const uint8_t> bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (uint8_t byte : bytes) {
    crc ^= 0xFFFFFFFF ^ byte;
    for (int bit = 0; bit < 8; ++bit) {
      const uint32_t mask = (crc & 1) ? 0xFFFFFFFF : 0;
      // The reference shifts a signed register: the top bit is kept, not cleared.
      crc = (crc >> 1) | (crc & 0x80000000);
      crc ^= 0xEDB88320 & mask;
    }
    crc ^= 0xFFFFFFFF;  // the reference inverts after every byte, not once at the end
  }
  return crc;
}

int LoadUdiImage(std::span<const uint8_t> file, FloppyDisk& disk) {
  if (file.size() < kUdiHeaderSize || std::memcmp(file.data(), "UDI!", 4) != 0) Refuse();
  const int lastCylinder = file[9];
  const int lastSide = file[10];
  if (Long(file, 4) != file.size() - 4 || file[8] != 0 || lastCylinder >= FloppyDisk::kCylinders ||
      lastSide >= FloppyDisk::kSides || file[11] != 0 || Long(file, 12) != 0)
    Refuse();
  size_t at = kUdiHeaderSize;
  std::vector<uint8_t> inflated;
  for (int c = 0; c <= lastCylinder; ++c) {
    for (int s = 0; s <= lastSide; ++s) {
      if (at + 3 > file.size()) Refuse();
      TrackRecord record;
      if (file[at] == kCompressedTrack) {
        record = InflateTrack(file, at, c, s, inflated);
      } else {
        if (file[at] != 0) Refuse();
        record.Length = file[at + 1] | file[at + 2] << 8;
        const size_t size = record.Length + (record.Length + 7) / 8;
        if (at + 3 + size > file.size()) Refuse();
        record.Bytes = file.subspan(at + 3, size);
        record.RecordSize = 3 + size;
      }
      const size_t bitmap = record.Bytes.size() - record.Length;
      RawTrack& track = disk.Track(c, s);
      track.Clear();
      std::copy_n(record.Bytes.begin(), std::min(record.Length, RawTrack::kLength),
                  track.Data.begin());
      std::copy_n(record.Bytes.begin() + static_cast<std::ptrdiff_t>(record.Length),
                  std::min(bitmap, RawTrack::kMarkBytes), track.Marks.begin());
      at += record.RecordSize;
    }
  }
  return lastCylinder;
}

std::vector<uint8_t> SaveUdiImage(const FloppyDisk& disk, int lastCylinder) {
  lastCylinder = std::clamp(lastCylinder, 79, FloppyDisk::kCylinders - 1);
  std::vector<uint8_t> out(kUdiHeaderSize, 0);
  out.reserve(kUdiHeaderSize + (lastCylinder + 1) * 2 * (3 + sizeof(RawTrack)) + 4);
  for (int c = 0; c <= lastCylinder; ++c) {
    for (int s = 0; s < FloppyDisk::kSides; ++s) {
      const RawTrack& track = disk.Track(c, s);
      out.insert(out.end(), {0, RawTrack::kLength & 0xFF, RawTrack::kLength >> 8});
      out.insert(out.end(), track.Data.begin(), track.Data.end());
      out.insert(out.end(), track.Marks.begin(), track.Marks.end());
    }
  }
  std::memcpy(out.data(), "UDI!", 4);
  PutLong(out.data() + 4, static_cast<uint32_t>(out.size()));  // where the checksum goes
  out[9] = static_cast<uint8_t>(lastCylinder);
  out[10] = 1;
  const uint32_t crc = UdiCrc32(out);
  out.resize(out.size() + 4);
  PutLong(out.data() + out.size() - 4, crc);
  return out;
}

}  // namespace vantrel
