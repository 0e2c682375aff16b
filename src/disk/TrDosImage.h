#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disk/DiskError.h"
#include "disk/FloppyDisk.h"

namespace vantrel {

// A TR-DOS disk as one linear run of sectors in TRD order: 160 tracks (cylinder × 2 + side)
// of 16 sectors of 256 bytes. 640 KB: allocate it.
struct TrdImage {
  static constexpr int kTracks = 160;
  static constexpr int kSectorsPerTrack = 16;
  static constexpr size_t kSectorSize = 256;
  static constexpr size_t kSize = kTracks * kSectorsPerTrack * kSectorSize;  // 655,360
  static constexpr size_t kEntrySize = 16;
  static constexpr int kMaxFiles = 128;
  static constexpr size_t kSystemSector = 2048;  // track 0, sector 9

  // System sector fields.
  static constexpr size_t kFirstFreeSector = kSystemSector + 0xE1;
  static constexpr size_t kFirstFreeTrack = kSystemSector + 0xE2;
  static constexpr size_t kDiskType = kSystemSector + 0xE3;
  static constexpr size_t kFileCount = kSystemSector + 0xE4;
  static constexpr size_t kFreeSectors = kSystemSector + 0xE5;

  std::array<uint8_t, kSize> Bytes{};

  // Sector R (1 to 16) of a track.
  std::span<uint8_t, kSectorSize> Sector(int track, int r) {
    return std::span<uint8_t, kSectorSize>(Bytes.data() + SectorOffset(track, r), kSectorSize);
  }
  static size_t SectorOffset(int track, int r) {
    return (static_cast<size_t>(track) * kSectorsPerTrack + (r - 1)) * kSectorSize;
  }
  std::span<uint8_t, kEntrySize> Entry(int index) {
    return std::span<uint8_t, kEntrySize>(Bytes.data() + index * kEntrySize, kEntrySize);
  }

  // Clears everything and writes the blank-disk template: 80 cylinders, two sides, no
  // files, 2544 free sectors from track 1, the label "Vantrel ".
  void StartBlankDisk();
};

// Where a TR-DOS disk's tracks lie, by the system sector's disk-type byte: #16 80 cylinders
// of two sides, #17 40 of two, #18 80 of one, #19 40 of one; any other byte is taken as #16.
// Track t of the image is cylinder t / Sides, side t % Sides (always side 0 for one side).
// The drive has 80 tracks: TR-DOS steps twice for each cylinder of a 40-track disk, so its
// cylinder c lies under the head at cylinder 2c, and its ID fields still name c.
struct TrdGeometry {
  int Cylinders = 80;
  int Sides = 2;

  static TrdGeometry Of(uint8_t diskType);
  int Tracks() const { return Cylinders * Sides; }
  // Bytes of a TRD file that hold the whole disk.
  size_t ImageSize() const {
    return static_cast<size_t>(Tracks()) * TrdImage::kSectorsPerTrack * TrdImage::kSectorSize;
  }
  // The drive cylinder and side under which track t of the image lies.
  int DriveCylinder(int track) const { return track / Sides * (80 / Cylinders); }
  int DriveSide(int track) const { return track % Sides; }
  // The cylinder the track's ID fields name.
  int IdCylinder(int track) const { return track / Sides; }
};

// Questions and warnings a load may put to the user: Ask returns true for OK and false for
// Cancel; Warn shows a message and the load goes on. Unset, Ask answers OK and Warn is quiet.
struct DiskPrompts {
  std::function<bool(std::string_view text, std::string_view caption)> Ask;
  std::function<void(const DiskError& warning)> Warn;

  bool AskOk(std::string_view text, std::string_view caption) const {
    return Ask ? Ask(text, caption) : true;
  }
  void ShowWarning(const DiskError& warning) const {
    if (Warn) Warn(warning);
  }
};

// Formats the image's tracks in the standard layout (sectors interleaved 1, 9, 2, 10, ...;
// N = 1; H = 0 on both sides) where its disk-type byte places them; the other tracks of
// cylinders 0 to 79 are cleared. Cylinders 80 to 85 are left.
void BuildTracksFromTrd(const TrdImage& image, FloppyDisk& disk);

// Copies every normal data field whose ID names sector 1 to 16 back into the image, from
// where the disk-type byte of the disk's own system sector places the image's tracks.
// Sectors not found keep what the image held. Returns that geometry.
TrdGeometry ExtractTrdFromTracks(const FloppyDisk& disk, TrdImage& image);

// True when a catalogue entry starts "boot    B".
bool HasBootFile(const TrdImage& image);

// Adds the files of an SCL package. With newDisk the image is first started blank and the
// questions about too many files or too little room are asked; without it the package is
// added to the disk there is. False when the user cancelled (the image is then to be
// dropped). Raises DiskError for a package too short for its headers (before any change)
// and for a file that would need a 129th catalogue entry or sectors past the disk's last
// track (the files before it stay added).
bool AddSclPackage(TrdImage& image, std::span<const uint8_t> file, bool newDisk,
                   const DiskPrompts& prompts);

// Adds one Hobeta file. Raises DiskError, with the image unchanged, for a wrong header
// checksum, a file shorter than its header says, or no room in the catalogue or on disk.
void AddHobetaFile(TrdImage& image, std::span<const uint8_t> file, bool newDisk);

// The catalogue's files as an SCL package, in catalogue order: each file's 14-byte header
// and sectors, then the checksum. Deleted files are left out; so is everything outside
// the files (the label, free sectors).
std::vector<uint8_t> MakeSclPackage(const TrdImage& image);

// The file name as TR-DOS shows it ("name.T", trailing spaces dropped), for messages.
std::string CatalogueName(std::span<const uint8_t> entry);

}  // namespace vantrel
