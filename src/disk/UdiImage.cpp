#include "disk/UdiImage.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "disk/DiskError.h"

namespace vantrel {

namespace {

constexpr std::string_view kUdiFormat =
    "Can't open Ultra Disk Image file! Unsupported file format...";

[[noreturn]] void Refuse() {
  throw DiskError(std::string(kUdiFormat), kInvalidDiskCaption);
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
  for (int c = 0; c <= lastCylinder; ++c) {
    for (int s = 0; s <= lastSide; ++s) {
      if (at + 3 > file.size() || file[at] != 0) Refuse();
      const size_t length = file[at + 1] | file[at + 2] << 8;
      const size_t bitmap = (length + 7) / 8;
      at += 3;
      if (at + length + bitmap > file.size()) Refuse();
      RawTrack& track = disk.Track(c, s);
      track.Clear();
      std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at),
                  std::min(length, RawTrack::kLength), track.Data.begin());
      std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at + length),
                  std::min(bitmap, RawTrack::kMarkBytes), track.Marks.begin());
      at += length + bitmap;
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
