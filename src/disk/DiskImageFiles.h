#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

#include "disk/FloppyDisk.h"
#include "disk/TrDosImage.h"

namespace vantrel {

enum class DiskFormat : uint8_t { Trd, Scl, Hobeta, Fdi, Udi };

// By the upper-cased extension: .TRD, .SCL, .FDI, .UDI, and Hobeta for any ".$x".
std::optional<DiskFormat> DiskFormatOf(const std::filesystem::path& fileName);

// The TR-DOS settings that govern a load: the boot file is added to a TRD with BootTrd,
// to an SCL or Hobeta file opened as a new disk with BootScl, when the disk has none.
struct DiskOpenOptions {
  bool BootTrd = false;
  bool BootScl = true;
  std::filesystem::path BootFileName;
  DiskPrompts Prompts;
};

// The geometry of the last FDI and UDI loaded, reused when saving those formats.
struct RememberedGeometry {
  int FdiCylinders = 0;
  int UdiLastCylinder = 0;
};

// Every load builds a whole new disk, so a refused file changes nothing and no sector of
// the disk before survives into the new one: cylinders a format does not cover are empty.
// The caller swaps the new disk in (and keeps the controller away while it does).
// A refusal raises DiskError; nullptr means nothing to do (another extension, or the user
// cancelled a question).
std::unique_ptr<FloppyDisk> OpenDiskImage(const std::filesystem::path& fileName,
                                          const DiskOpenOptions& options,
                                          RememberedGeometry& geometry);

// The same from a file already in memory (also the entry point for fuzzing). The
// write-protect flag of TRD and UDI, the file's read-only attribute, is OpenDiskImage's.
std::unique_ptr<FloppyDisk> LoadDiskImageBytes(std::span<const uint8_t> file, DiskFormat format,
                                               const DiskOpenOptions& options,
                                               RememberedGeometry& geometry);

// A formatted TR-DOS disk with no files: 80 cylinders, two sides.
std::unique_ptr<FloppyDisk> CreateBlankDisk();

// Writes the disk as TRD, SCL (the catalogue's files), FDI or UDI by the extension,
// replacing the file only once the new one is whole. False for another extension (nothing written);
// raises DiskError when the file cannot be created or written (the old file stays). A TRD holds the
// tracks its disk-type byte names; one of a write-protected disk is made read-only. Clears the
// disk's modified flag.
bool SaveDiskImage(const std::filesystem::path& fileName, FloppyDisk& disk,
                   const RememberedGeometry& geometry);

}  // namespace vantrel
