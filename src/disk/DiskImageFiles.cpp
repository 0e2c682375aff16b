#include "disk/DiskImageFiles.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "disk/DiskError.h"
#include "disk/FdiImage.h"
#include "disk/ReplaceFile.h"
#include "disk/UdiImage.h"

namespace vantrel {

namespace fs = std::filesystem;

namespace {

// No disk format comes near this; a larger file is not one.
constexpr uintmax_t kMaxFileSize = 32 << 20;

struct FormatTexts {
  std::string_view CannotOpen;
  std::string_view CannotOpenCaption;
  std::string_view CannotRead;
  std::string_view TooLarge;
  std::string_view TooLargeCaption;
  std::string_view CannotCreate;
  std::string_view CannotWrite;
};

constexpr std::string_view kTrdOpen =
    "Can't open Disk Image File! Invalid file name or file location...";
constexpr std::string_view kTrdRead = "Can't read Disk Image File! Unresolved hardware error...";
constexpr std::string_view kUdiFormat =
    "Can't open Ultra Disk Image file! Unsupported file format...";

const FormatTexts& TextsOf(DiskFormat format) {
  static constexpr FormatTexts kTrd{
      kTrdOpen,
      kDiskErrorCaption,
      kTrdRead,
      "Disk Image File have wrong size! File corrupted or has unsupported format...",
      kDiskErrorCaption,
      "Can't create Disk Image File! Invalid file name or file location...",
      "Can't write Disk Image File! Unresolved hardware error..."};
  static constexpr FormatTexts kScl{
      "Can't open SCL Package File! Invalid file name or file location...",
      kDiskErrorCaption,
      "Can't open SCL Package File! Invalid file name or file location...",
      "SCL file has wrong format! File corrupted or it is not SCL file...",
      kSclErrorCaption,
      "Can't create SCL Package File! Invalid file name or file location...",
      "Can't write SCL Package File! Unresolved hardware error..."};
  static constexpr FormatTexts kHobeta{
      "Can't open Hobeta File! Invalid file name or file location...",
      kHobetaErrorCaption,
      "Can't open Hobeta File! Invalid file name or file location...",
      "Hobeta file has wrong header! File corrupted or it is not Hobeta file...",
      kHobetaErrorCaption,
      {},
      {}};
  static constexpr FormatTexts kFdi{
      kTrdOpen,
      kDiskErrorCaption,
      kTrdRead,
      "Can't open Disk Image File! Unsupported file format...",
      kInvalidDiskCaption,
      "Can't create Disk Image file! Invalid file name or file location...",
      "Can't write Disk Image file! Unresolved hardware error..."};
  static constexpr FormatTexts kUdi{
      "Can't open Ultra Disk Image file! Invalid file name or file location...",
      kDiskErrorCaption,
      "Can't read Ultra Disk Image file! Unresolved hardware error...",
      kUdiFormat,
      kInvalidDiskCaption,
      "Can't create Ultra Disk Image file! Invalid file name or file location...",
      "Can't write Ultra Disk Image file! Unresolved hardware error..."};
  switch (format) {
    case DiskFormat::Trd: return kTrd;
    case DiskFormat::Scl: return kScl;
    case DiskFormat::Hobeta: return kHobeta;
    case DiskFormat::Fdi: return kFdi;
    case DiskFormat::Udi: break;
  }
  return kUdi;
}

std::vector<uint8_t> ReadDiskFile(const fs::path& fileName, DiskFormat format) {
  const FormatTexts& texts = TextsOf(format);
  std::error_code error;
  const bool regular = fs::is_regular_file(fileName, error);
  std::FILE* file = regular ? std::fopen(fileName.string().c_str(), "rb") : nullptr;
  if (file == nullptr)
    throw DiskError(std::string(texts.CannotOpen), texts.CannotOpenCaption, true);
  const uintmax_t size = fs::file_size(fileName, error);
  const uintmax_t limit = format == DiskFormat::Trd ? TrdImage::kSize : kMaxFileSize;
  if (!error && size > limit) {
    std::fclose(file);
    throw DiskError(std::string(texts.TooLarge), texts.TooLargeCaption);
  }
  std::vector<uint8_t> bytes(error ? 0 : size);
  const bool read = !error && std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
  std::fclose(file);
  if (!read) throw DiskError(std::string(texts.CannotRead), kDiskErrorCaption);
  return bytes;
}

bool IsReadOnly(const fs::path& fileName) {
  std::error_code error;
  const fs::perms perms = fs::status(fileName, error).permissions();
  return !error && (perms & fs::perms::owner_write) == fs::perms::none;
}

// The boot file is added by its own format; its failures are shown and the disk opens
// without it.
void InsertBootFile(TrdImage& image, const DiskOpenOptions& options) {
  if (options.BootFileName.empty() || HasBootFile(image)) return;
  const std::optional<DiskFormat> format = DiskFormatOf(options.BootFileName);
  if (format != DiskFormat::Scl && format != DiskFormat::Hobeta) return;
  try {
    const std::vector<uint8_t> bytes = ReadDiskFile(options.BootFileName, *format);
    if (format == DiskFormat::Scl)
      AddSclPackage(image, bytes, false, options.Prompts);
    else
      AddHobetaFile(image, bytes, false);
  } catch (const DiskError& error) {
    options.Prompts.ShowWarning(error);
  }
}

std::unique_ptr<FloppyDisk> FromTrDos(const TrdImage& image) {
  auto disk = std::make_unique<FloppyDisk>();
  BuildTracksFromTrd(image, *disk);
  return disk;
}

void Write(const fs::path& fileName, DiskFormat format, std::span<const uint8_t> bytes) {
  const FormatTexts& texts = TextsOf(format);
  switch (WriteFileReplacing(fileName, bytes)) {
    case ReplaceResult::Written: return;
    case ReplaceResult::CannotCreate:
      throw DiskError(std::string(texts.CannotCreate), kDiskErrorCaption);
    case ReplaceResult::WriteFailed: break;
  }
  throw DiskError(std::string(texts.CannotWrite), kDiskErrorCaption);
}

}  // namespace

std::optional<DiskFormat> DiskFormatOf(const fs::path& fileName) {
  std::string ext = fileName.extension().string();
  for (char& c : ext) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  if (ext == ".TRD") return DiskFormat::Trd;
  if (ext == ".SCL") return DiskFormat::Scl;
  if (ext == ".FDI") return DiskFormat::Fdi;
  if (ext == ".UDI") return DiskFormat::Udi;
  if (ext.size() >= 2 && ext[1] == '$') return DiskFormat::Hobeta;
  return std::nullopt;
}

std::unique_ptr<FloppyDisk> LoadDiskImageBytes(std::span<const uint8_t> file, DiskFormat format,
                                               const DiskOpenOptions& options,
                                               RememberedGeometry& geometry) {
  if (format == DiskFormat::Fdi || format == DiskFormat::Udi) {
    auto disk = std::make_unique<FloppyDisk>();
    if (format == DiskFormat::Fdi)
      geometry.FdiCylinders = LoadFdiImage(file, *disk);
    else
      geometry.UdiLastCylinder = LoadUdiImage(file, *disk);
    return disk;
  }
  auto image = std::make_unique<TrdImage>();
  switch (format) {
    case DiskFormat::Trd:
      if (file.size() > TrdImage::kSize) {
        const FormatTexts& texts = TextsOf(format);
        throw DiskError(std::string(texts.TooLarge), texts.TooLargeCaption);
      }
      std::copy(file.begin(), file.end(), image->Bytes.begin());
      if (options.BootTrd) InsertBootFile(*image, options);
      break;
    case DiskFormat::Scl:
      if (!AddSclPackage(*image, file, true, options.Prompts)) return nullptr;
      if (options.BootScl && image->Bytes[TrdImage::kFileCount] < TrdImage::kMaxFiles)
        InsertBootFile(*image, options);
      break;
    default:
      AddHobetaFile(*image, file, true);
      if (options.BootScl) InsertBootFile(*image, options);
      break;
  }
  return FromTrDos(*image);
}

std::unique_ptr<FloppyDisk> OpenDiskImage(const fs::path& fileName, const DiskOpenOptions& options,
                                          RememberedGeometry& geometry) {
  const std::optional<DiskFormat> format = DiskFormatOf(fileName);
  if (!format) return nullptr;
  const std::vector<uint8_t> bytes = ReadDiskFile(fileName, *format);
  auto disk = LoadDiskImageBytes(bytes, *format, options, geometry);
  if (disk && (format == DiskFormat::Trd || format == DiskFormat::Udi))
    disk->SetWriteProtected(IsReadOnly(fileName));
  return disk;
}

std::unique_ptr<FloppyDisk> CreateBlankDisk() {
  auto image = std::make_unique<TrdImage>();
  image->StartBlankDisk();
  return FromTrDos(*image);
}

bool SaveDiskImage(const fs::path& fileName, FloppyDisk& disk, const RememberedGeometry& geometry) {
  const std::optional<DiskFormat> format = DiskFormatOf(fileName);
  if (!format) return false;
  switch (*format) {
    case DiskFormat::Trd: {
      // Sectors the tracks lack are saved as zeros, never as another disk's. A one-sided
      // or 40-track disk is saved at its own size, so every program reads its geometry.
      auto image = std::make_unique<TrdImage>();
      const TrdGeometry geometry = ExtractTrdFromTracks(disk, *image);
      Write(fileName, *format, std::span(image->Bytes).first(geometry.ImageSize()));
      if (disk.WriteProtected()) {
        std::error_code ignored;
        fs::permissions(fileName,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove, ignored);
      }
      break;
    }
    case DiskFormat::Scl: {
      auto image = std::make_unique<TrdImage>();
      ExtractTrdFromTracks(disk, *image);
      Write(fileName, *format, MakeSclPackage(*image));
      break;
    }
    case DiskFormat::Fdi:
      Write(fileName, *format, SaveFdiImage(disk, geometry.FdiCylinders));
      break;
    case DiskFormat::Udi:
      Write(fileName, *format, SaveUdiImage(disk, geometry.UdiLastCylinder));
      break;
    default: return false;  // Hobeta files are read only
  }
  disk.SetModified(false);
  return true;
}

}  // namespace vantrel
