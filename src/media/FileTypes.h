#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vantrel {

class Machine;

// What a file is to the program, by its name.
enum class FileKind : uint8_t { Snapshot, Tape, Disk };

// One kind of file the program knows. A new format is one new row in the table.
struct FileType {
  // The extension without the dot, upper case. A trailing '*' matches any rest, so "$*"
  // is every Hobeta name ("$B", "$C", ...).
  std::string_view Extension;
  FileKind Kind;
  std::string_view Description;  // "SNA snapshot"
  // The dialogs' filter patterns: Linux names are case-sensitive and files come with
  // every spelling of the extension.
  std::string_view Patterns;
  bool Savable;  // offered by the save dialog of its kind
  // Loads a whole file into a stopped machine, raising SnapshotError (disks: DiskError)
  // on a refusal; null while the format is recognised but has no loader yet.
  void (*Load)(Machine& machine, std::span<const uint8_t> file);
};

std::span<const FileType> FileTypes();

// The SZX row's loader (LoadSnapshot also reports what an SZX file left out).
void LoadSzxFile(Machine& machine, std::span<const uint8_t> file);

// The extension from the last "." of the file name on, upper-cased (ASCII letters) and
// stripped of control characters and spaces at both ends: ".SNA", ".Z80", or "" when the
// name has none.
std::string FileExtension(std::string_view fileName);

// The row a file name belongs to, or null.
const FileType* FindFileType(std::string_view fileName);

// The open and save dialogs' filters for a kind, e.g.
// "Snapshot File (*.Sna *.sna *.SNA *.Z80 *.z80);;All Files (*)".
std::string OpenFileFilter(FileKind kind);
std::string SaveFileFilter(FileKind kind);
// The open filter with every type of the kind also on its own line after the
// `allTitle` line: "All Supported Files (...);;TR-DOS Disk Image Files (...);;...".
std::string OpenFileFilterByType(FileKind kind, std::string_view allTitle);

}  // namespace vantrel
