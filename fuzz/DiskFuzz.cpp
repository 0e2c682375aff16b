// libFuzzer target over the five disk image loaders. The first byte of an input chooses
// the format (bits 0-2 modulo 5: TRD, SCL, Hobeta, FDI, UDI), by bit 7 whether the user
// answers Cancel to the SCL questions, and by bit 6 whether a UDI's length field is set to
// the input's length (a mutation or a seed cut to the size limit would rarely match it, and
// the tracks behind it would go unexplored); the rest is the file (UDI seeds include
// zlib-compressed tracks). A disk loaded from FDI or UDI is saved as FDI and that file
// loaded again, so the saver meets tracks of any shape (the TR-DOS formats only make the
// standard one). Every disk loaded is checked for what a TRD would lose and saved as SCL;
// that package loaded and saved again must give the same bytes whenever the load took all
// of it. A refusal is a correct answer; anything the sanitizers catch is a fault.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "disk/DiskImageFiles.h"
#include "disk/FdiImage.h"
#include "disk/TrDosImage.h"
#include "disk/TrdCheck.h"

namespace {

std::vector<uint8_t> SclOf(const vantrel::FloppyDisk& disk) {
  auto image = std::make_unique<vantrel::TrdImage>();
  vantrel::ExtractTrdFromTracks(disk, *image);
  return vantrel::MakeSclPackage(*image);
}

// Save what was loaded as SCL, load it, save again: the same package, unless the load
// asked a question (no room) and so took only part of it.
void SclRoundTrip(const vantrel::FloppyDisk& disk) {
  const std::vector<uint8_t> first = SclOf(disk);
  vantrel::DiskOpenOptions options;
  options.BootScl = false;
  bool asked = false;
  options.Prompts.Ask = [&asked](std::string_view, std::string_view) {
    asked = true;
    return true;
  };
  vantrel::RememberedGeometry geometry;
  const auto again =
      vantrel::LoadDiskImageBytes(first, vantrel::DiskFormat::Scl, options, geometry);
  if (asked || !again) return;
  if (SclOf(*again) != first) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  const auto format = static_cast<vantrel::DiskFormat>((choice & 7) % 5);
  vantrel::DiskOpenOptions options;
  const bool answer = (choice & 0x80) == 0;
  options.Prompts.Ask = [answer](std::string_view, std::string_view) { return answer; };
  std::vector<uint8_t> file(data + 1, data + size);
  if (format == vantrel::DiskFormat::Udi && (choice & 0x40) && file.size() >= 8) {
    const size_t length = file.size() - 4;
    for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<uint8_t>(length >> (8 * i));
  }
  vantrel::RememberedGeometry geometry;
  try {
    const auto disk = vantrel::LoadDiskImageBytes(file, format, options, geometry);
    if (!disk) return 0;
    vantrel::TrdSaveLosses(*disk);
    SclRoundTrip(*disk);
    if (format != vantrel::DiskFormat::Fdi && format != vantrel::DiskFormat::Udi) return 0;
    const std::vector<uint8_t> fdi = vantrel::SaveFdiImage(*disk, geometry.FdiCylinders);
    vantrel::LoadDiskImageBytes(fdi, vantrel::DiskFormat::Fdi, options, geometry);
  } catch (const vantrel::DiskError&) {
    // A refusal is the right answer to most inputs.
  }
  return 0;
}
