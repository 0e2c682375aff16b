#include "disk/TrDosImage.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "disk/DiskError.h"
#include "disk/TrackLayout.h"

namespace vantrel {

namespace {

constexpr int kTrdCylinders = 80;
constexpr uint8_t kInterleave[TrdImage::kSectorsPerTrack] = {1, 9,  2, 10, 3, 11, 4, 12,
                                                             5, 13, 6, 14, 7, 15, 8, 16};
constexpr uint8_t kBlankTemplate[27] = {0x01, 0x16, 0x00, 0xF0, 0x09, 0x10, 0,   0,   0,
                                        0,    0,    0,    0,    0,    0,    0,   0,   0,
                                        0,    'V',  'a',  'n',  't',  'r',  'e', 'l', ' '};
constexpr uint8_t kBootMarker[9] = {'b', 'o', 'o', 't', ' ', ' ', ' ', ' ', 'B'};

constexpr std::string_view kSclFormat =
    "SCL file has wrong format! File corrupted or it is not SCL file...";
constexpr std::string_view kSclChecksum =
    "SCL file has wrong checksum! File corrupted or it is not SCL file...";
constexpr std::string_view kSclTooManyFiles =
    "Too many files in this SCL package! No more than 128 files allowed!\n"
    "Do you want load 128 files and continue?";
constexpr std::string_view kSclNoRoom =
    "Not enough room on disk for files from this SCL package!\n"
    "Do you want load full disk and continue?";
constexpr std::string_view kHobetaHeader =
    "Hobeta file has wrong header! File corrupted or it is not Hobeta file...";

constexpr size_t kSclHeader = 9;
constexpr size_t kSclEntry = 14;
constexpr size_t kHobetaHeaderSize = 17;

uint16_t FreeSectors(const TrdImage& image) {
  return static_cast<uint16_t>(image.Bytes[TrdImage::kFreeSectors] |
                               image.Bytes[TrdImage::kFreeSectors + 1] << 8);
}

// Where the next file goes: after the last used catalogue entry, at the first free sector
// the system sector names. Neither is trusted to be in range.
struct Placement {
  int Slot;
  int Sector;  // linear: track × 16 + sector
};

Placement NextPlacement(const TrdImage& image) {
  int slot = 0;
  for (int i = TrdImage::kMaxFiles - 1; i >= 0; --i) {
    if (image.Bytes[i * TrdImage::kEntrySize] != 0) {
      slot = i + 1;
      break;
    }
  }
  return {slot, image.Bytes[TrdImage::kFirstFreeTrack] * TrdImage::kSectorsPerTrack +
                    image.Bytes[TrdImage::kFirstFreeSector]};
}

// A file that would need a 129th entry or sectors past the disk's last track is refused
// whole: those sectors would lie nowhere on the disk.
void CheckRoom(const TrdImage& image, const Placement& at, int length,
               std::span<const uint8_t> entry) {
  if (at.Slot >= TrdImage::kMaxFiles)
    throw DiskError("No room in the catalogue for the file " + CatalogueName(entry) +
                        ": a TR-DOS disk holds 128 files.",
                    kCatalogueOverflowCaption);
  const int tracks = TrdGeometry::Of(image.Bytes[TrdImage::kDiskType]).Tracks();
  if (at.Sector + length > tracks * TrdImage::kSectorsPerTrack)
    throw DiskError("No room on the disk for the file " + CatalogueName(entry) +
                        ": it would need sectors past track " + std::to_string(tracks - 1) + ".",
                    kDiskOverflowCaption);
}

// Copies the file's sectors to the placement and books them in the system sector.
void StoreFile(TrdImage& image, Placement& at, std::span<const uint8_t> entry,
               std::span<const uint8_t> data) {
  const int length = static_cast<int>(data.size() / TrdImage::kSectorSize);
  auto slot = image.Entry(at.Slot);
  std::copy(entry.begin(), entry.end(), slot.begin());
  slot[14] = static_cast<uint8_t>(at.Sector % TrdImage::kSectorsPerTrack);
  slot[15] = static_cast<uint8_t>(at.Sector / TrdImage::kSectorsPerTrack);
  std::copy(data.begin(), data.end(),
            image.Bytes.begin() + static_cast<std::ptrdiff_t>(at.Sector * TrdImage::kSectorSize));
  at.Sector += length;
  ++at.Slot;
  auto& b = image.Bytes;
  b[TrdImage::kFirstFreeSector] = static_cast<uint8_t>(at.Sector % TrdImage::kSectorsPerTrack);
  b[TrdImage::kFirstFreeTrack] = static_cast<uint8_t>(at.Sector / TrdImage::kSectorsPerTrack);
  b[TrdImage::kFileCount] = static_cast<uint8_t>(b[TrdImage::kFileCount] + 1);
  const auto free = static_cast<uint16_t>(FreeSectors(image) - length);
  b[TrdImage::kFreeSectors] = static_cast<uint8_t>(free);
  b[TrdImage::kFreeSectors + 1] = static_cast<uint8_t>(free >> 8);
}

void ExtractTrack(const RawTrack& track, int t, TrdImage& image) {
  ScanTrack(track, [&](const DataField& f) -> size_t {
    if (f.Mark != kDataMark) return 0;
    if (f.HasId && f.Id.R >= 1 && f.Id.R <= 16 &&
        f.DataPos + TrdImage::kSectorSize <= RawTrack::kLength) {
      const auto from = track.Data.begin() + static_cast<std::ptrdiff_t>(f.DataPos);
      std::copy_n(from, TrdImage::kSectorSize, image.Sector(t, f.Id.R).begin());
    }
    return TrdImage::kSectorSize;
  });
}

}  // namespace

void TrdImage::StartBlankDisk() {
  Bytes.fill(0);
  std::copy(std::begin(kBlankTemplate), std::end(kBlankTemplate), Bytes.begin() + kFirstFreeTrack);
}

std::string CatalogueName(std::span<const uint8_t> entry) {
  std::string name;
  for (size_t i = 0; i < 8; ++i) name += (entry[i] >= 0x20 && entry[i] < 0x7F) ? entry[i] : '?';
  name.erase(name.find_last_not_of(' ') + 1);
  name += '.';
  name += (entry[8] >= 0x20 && entry[8] < 0x7F) ? static_cast<char>(entry[8]) : '?';
  return name;
}

TrdGeometry TrdGeometry::Of(uint8_t diskType) {
  switch (diskType) {
    case 0x17: return {40, 2};
    case 0x18: return {80, 1};
    case 0x19: return {40, 1};
    default: return {80, 2};
  }
}

void BuildTracksFromTrd(const TrdImage& image, FloppyDisk& disk) {
  // Tracks between a 40-track disk's cylinders and the second side of a one-sided disk
  // hold nothing.
  for (int c = 0; c < kTrdCylinders; ++c) {
    for (int s = 0; s < FloppyDisk::kSides; ++s) disk.Track(c, s).Clear();
  }
  const TrdGeometry geometry = TrdGeometry::Of(image.Bytes[TrdImage::kDiskType]);
  for (int t = 0; t < geometry.Tracks(); ++t) {
    TrackWriter writer(disk.Track(geometry.DriveCylinder(t), geometry.DriveSide(t)));
    const auto c = static_cast<uint8_t>(geometry.IdCylinder(t));
    for (uint8_t r : kInterleave) {
      const size_t at = TrdImage::SectorOffset(t, r);
      writer.AddSector({c, 0, r, 1}, kDataMark,
                       std::span(image.Bytes).subspan(at, TrdImage::kSectorSize));
    }
    writer.Finish();
  }
}

TrdGeometry ExtractTrdFromTracks(const FloppyDisk& disk, TrdImage& image) {
  // Track 0 lies at cylinder 0, side 0 whatever the geometry; its system sector tells
  // where the others are.
  ExtractTrack(disk.Track(0, 0), 0, image);
  const TrdGeometry geometry = TrdGeometry::Of(image.Bytes[TrdImage::kDiskType]);
  for (int t = 1; t < geometry.Tracks(); ++t)
    ExtractTrack(disk.Track(geometry.DriveCylinder(t), geometry.DriveSide(t)), t, image);
  return geometry;
}

bool HasBootFile(const TrdImage& image) {
  for (int i = 0; i < TrdImage::kMaxFiles; ++i) {
    if (std::equal(std::begin(kBootMarker), std::end(kBootMarker),
                   image.Bytes.begin() + i * TrdImage::kEntrySize))
      return true;
  }
  return false;
}

bool AddSclPackage(TrdImage& image, std::span<const uint8_t> file, bool newDisk,
                   const DiskPrompts& prompts) {
  // The headers and every file's sectors must be there before the 4-byte checksum.
  if (file.size() < kSclHeader + 4) throw DiskError(std::string(kSclFormat), kSclErrorCaption);
  const size_t count = file[8];
  const size_t body = file.size() - 4;
  size_t dataStart = kSclHeader + count * kSclEntry;
  if (dataStart > body) throw DiskError(std::string(kSclFormat), kSclErrorCaption);
  size_t dataSize = 0;
  for (size_t i = 0; i < count; ++i)
    dataSize += file[kSclHeader + i * kSclEntry + 13] * TrdImage::kSectorSize;
  if (dataStart + dataSize > body) throw DiskError(std::string(kSclFormat), kSclErrorCaption);

  uint32_t sum = 0;
  for (size_t i = 0; i < body; ++i) sum += file[i];
  const uint32_t stored =
      static_cast<uint32_t>(file[body] | file[body + 1] << 8 | file[body + 2] << 16) |
      static_cast<uint32_t>(file[body + 3]) << 24;
  if (sum != stored) prompts.ShowWarning(DiskError(std::string(kSclChecksum), kSclErrorCaption));
  if (std::memcmp(file.data(), "SINCLAIR", 8) != 0)
    prompts.ShowWarning(DiskError(std::string(kSclFormat), kSclErrorCaption));

  if (newDisk) image.StartBlankDisk();
  Placement at = NextPlacement(image);
  for (size_t i = 0; i < count; ++i) {
    if (image.Bytes[TrdImage::kFileCount] >= TrdImage::kMaxFiles) {
      if (!prompts.AskOk(kSclTooManyFiles, kCatalogueOverflowCaption)) return false;
      break;
    }
    const auto entry = file.subspan(kSclHeader + i * kSclEntry, kSclEntry);
    const int length = entry[13];
    if (FreeSectors(image) < length) {
      if (newDisk && !prompts.AskOk(kSclNoRoom, kDiskOverflowCaption)) return false;
      break;
    }
    CheckRoom(image, at, length, entry);
    StoreFile(image, at, entry,
              file.subspan(dataStart, static_cast<size_t>(length) * TrdImage::kSectorSize));
    dataStart += static_cast<size_t>(length) * TrdImage::kSectorSize;
  }
  return true;
}

void AddHobetaFile(TrdImage& image, std::span<const uint8_t> file, bool newDisk) {
  const auto refuse = [] { throw DiskError(std::string(kHobetaHeader), kHobetaErrorCaption); };
  if (file.size() < kHobetaHeaderSize) refuse();
  unsigned sum = 0;
  for (unsigned i = 0; i < 15; ++i) sum += 257 * file[i] + i;
  if ((sum & 0xFFFF) != static_cast<unsigned>(file[15] | file[16] << 8)) refuse();
  const int length = file[14];
  const size_t dataSize = static_cast<size_t>(length) * TrdImage::kSectorSize;
  if (file.size() < kHobetaHeaderSize + dataSize) refuse();

  // Header bytes 0 to 12 are the entry's name, type and parameters; byte 14 its length.
  uint8_t entry[14];
  std::copy_n(file.begin(), 13, entry);
  entry[13] = file[14];
  if (newDisk) image.StartBlankDisk();
  Placement at = NextPlacement(image);
  CheckRoom(image, at, length, entry);
  StoreFile(image, at, entry, file.subspan(kHobetaHeaderSize, dataSize));
}

std::vector<uint8_t> MakeSclPackage(const TrdImage& image) {
  std::vector<uint8_t> out{'S', 'I', 'N', 'C', 'L', 'A', 'I', 'R', 0};
  std::vector<uint8_t> data;
  int count = 0;
  for (int i = 0; i < TrdImage::kMaxFiles; ++i) {
    const uint8_t* entry = image.Bytes.data() + i * TrdImage::kEntrySize;
    if (entry[0] == 0) break;     // the catalogue's end
    if (entry[0] == 1) continue;  // a deleted file: TR-DOS lists it no more
    const size_t from = (static_cast<size_t>(entry[15]) * TrdImage::kSectorsPerTrack + entry[14]) *
                        TrdImage::kSectorSize;
    const size_t size = static_cast<size_t>(entry[13]) * TrdImage::kSectorSize;
    // A file the catalogue places past the disk's end is cut at it.
    const size_t end = std::min(from + size, TrdImage::kSize);
    out.insert(out.end(), entry, entry + kSclEntry);
    data.insert(data.end(), image.Bytes.begin() + static_cast<std::ptrdiff_t>(std::min(from, end)),
                image.Bytes.begin() + static_cast<std::ptrdiff_t>(end));
    data.resize(data.size() + size - (end - std::min(from, end)), 0);
    ++count;
  }
  out[8] = static_cast<uint8_t>(count);
  out.insert(out.end(), data.begin(), data.end());
  uint32_t sum = 0;
  for (uint8_t byte : out) sum += byte;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(sum >> (8 * i)));
  return out;
}

}  // namespace vantrel
