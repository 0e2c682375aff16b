#include "media/FileTypes.h"

#include <algorithm>
#include <array>

#include "disk/DiskImageFiles.h"
#include "machine/Machine.h"
#include "media/SnapshotLoader.h"
#include "media/SzxSnapshot.h"
#include "tape/TapeImage.h"

namespace vantrel {

void LoadSzxFile(Machine& machine, std::span<const uint8_t> file) {
  LoadSzx(machine, file);
}

namespace {

// The note of what was left out reaches the user through LoadSnapshot.
// Into the drive of a stopped machine, with the default TR-DOS boot settings; the programs
// open disks through their drive (DiskDrive), which applies the user's.
template <DiskFormat kFormat>
void LoadDisk(Machine& machine, std::span<const uint8_t> file) {
  RememberedGeometry geometry;
  machine.InsertDisk(LoadDiskImageBytes(file, kFormat, DiskOpenOptions{}, geometry));
}

// A tape goes into the deck stopped at its first block: the ROM's loader starts it.
template <TapeCatalogue (*Read)(std::vector<uint8_t>, BlockInfoMode)>
void InsertTapeFile(Machine& machine, std::span<const uint8_t> file) {
  TapeCatalogue tape;
  try {
    tape = Read(std::vector<uint8_t>(file.begin(), file.end()), BlockInfoMode::Hexadecimal);
  } catch (const TapeError& refusal) {
    throw SnapshotError(refusal.what(), "Tape Reader");
  }
  machine.Tape.StopTape();
  machine.Tape.InsertTape(std::move(tape));
}

constexpr std::array<FileType, 13> kFileTypes{{
    {"SNA", FileKind::Snapshot, "SNA snapshot", "*.Sna *.sna *.SNA", true, LoadSna},
    {"Z80", FileKind::Snapshot, "Z80 snapshot", "*.Z80 *.z80", true, LoadZ80},
    {"SZX", FileKind::Snapshot, "SZX snapshot", "*.Szx *.szx *.SZX", true, LoadSzxFile},
    {"TAP", FileKind::Tape, "TAP tape", "*.Tap *.tap *.TAP", false, InsertTapeFile<ReadTap>},
    {"TZX", FileKind::Tape, "TZX tape", "*.Tzx *.tzx *.TZX", false, InsertTapeFile<ReadTzx>},
    {"CSW", FileKind::Tape, "CSW tape", "*.Csw *.csw *.CSW", false, InsertTapeFile<ReadCsw>},
    {"PZX", FileKind::Tape, "PZX tape", "*.Pzx *.pzx *.PZX", false, InsertTapeFile<ReadPzx>},
    {"WAV", FileKind::Tape, "WAV sound", "*.Wav *.wav *.WAV", false, InsertTapeFile<ReadWav>},
    {"TRD", FileKind::Disk, "TR-DOS Disk Image Files", "*.Trd *.trd *.TRD", true,
     LoadDisk<DiskFormat::Trd>},
    {"SCL", FileKind::Disk, "SCL File Packages", "*.Scl *.scl *.SCL", false,
     LoadDisk<DiskFormat::Scl>},
    {"FDI", FileKind::Disk, "FDI Disk Image Files", "*.Fdi *.fdi *.FDI", true,
     LoadDisk<DiskFormat::Fdi>},
    {"UDI", FileKind::Disk, "UDI Ultra Disk Image Files", "*.Udi *.udi *.UDI", true,
     LoadDisk<DiskFormat::Udi>},
    {"$*", FileKind::Disk, "Hobeta Files", "*.$?", false, LoadDisk<DiskFormat::Hobeta>},
}};

// The dialogs' names for each kind: the open filter's and the save filter's.
struct KindTitles {
  std::string_view Open;
  std::string_view Save;
};
constexpr std::array<KindTitles, 3> kKindTitles{{
    {"Snapshot File", "Snapshot Files"},
    {"Tape File", "Tape Files"},
    {"Disk Image", "Disk Images"},
}};

bool Matches(std::string_view pattern, std::string_view extension) {
  if (!pattern.empty() && pattern.back() == '*') {
    return extension.substr(0, pattern.size() - 1) == pattern.substr(0, pattern.size() - 1);
  }
  return extension == pattern;
}

std::string Filter(FileKind kind, std::string_view title, bool savableOnly) {
  std::string patterns;
  for (const FileType& type : kFileTypes) {
    if (type.Kind != kind || (savableOnly && !type.Savable)) continue;
    if (!patterns.empty()) patterns += ' ';
    patterns += type.Patterns;
  }
  return std::string(title) + " (" + patterns + ")";
}

}  // namespace

std::span<const FileType> FileTypes() {
  return kFileTypes;
}

std::string FileExtension(std::string_view fileName) {
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string_view::npos) return {};
  std::string ext(fileName.substr(dot));
  // A dot in a directory name is no extension.
  if (ext.find_first_of("/\\") != std::string::npos) return {};
  for (char& c : ext) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  const auto blank = [](char c) { return static_cast<unsigned char>(c) < 33; };
  while (!ext.empty() && blank(ext.back())) ext.pop_back();
  const auto first = std::find_if_not(ext.begin(), ext.end(), blank);
  ext.erase(ext.begin(), first);
  return ext;
}

const FileType* FindFileType(std::string_view fileName) {
  const std::string ext = FileExtension(fileName);
  if (ext.size() < 2 || ext[0] != '.') return nullptr;
  const std::string_view bare = std::string_view(ext).substr(1);
  for (const FileType& type : kFileTypes) {
    if (Matches(type.Extension, bare)) return &type;
  }
  return nullptr;
}

std::string OpenFileFilter(FileKind kind) {
  return Filter(kind, kKindTitles[static_cast<size_t>(kind)].Open, false) + ";;All Files (*)";
}

std::string OpenFileFilterByType(FileKind kind, std::string_view allTitle) {
  std::string filter = Filter(kind, allTitle, false);
  for (const FileType& type : kFileTypes) {
    if (type.Kind == kind) {
      filter += ";;" + std::string(type.Description) + " (" + std::string(type.Patterns) + ")";
    }
  }
  return filter + ";;All Files (*)";
}

std::string SaveFileFilter(FileKind kind) {
  return Filter(kind, kKindTitles[static_cast<size_t>(kind)].Save, true);
}

}  // namespace vantrel
