// libFuzzer target over the five disk image loaders. The first byte of an input chooses
// the format (its value modulo 5: TRD, SCL, Hobeta, FDI, UDI) and, by bit 7, whether the
// user answers Cancel to the SCL questions; the rest is the file. A disk loaded from FDI
// or UDI is saved as FDI and that file loaded again, so the saver meets tracks of any
// shape (the TR-DOS formats only make the standard one). A refusal is a correct answer; anything
// the sanitizers catch is a fault.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "disk/DiskImageFiles.h"
#include "disk/FdiImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  const auto format = static_cast<vantrel::DiskFormat>(choice % 5);
  vantrel::DiskOpenOptions options;
  const bool answer = (choice & 0x80) == 0;
  options.Prompts.Ask = [answer](std::string_view, std::string_view) { return answer; };
  vantrel::RememberedGeometry geometry;
  try {
    const auto disk = vantrel::LoadDiskImageBytes({data + 1, size - 1}, format, options, geometry);
    if (!disk || (format != vantrel::DiskFormat::Fdi && format != vantrel::DiskFormat::Udi))
      return 0;
    const std::vector<uint8_t> fdi = vantrel::SaveFdiImage(*disk, geometry.FdiCylinders);
    vantrel::LoadDiskImageBytes(fdi, vantrel::DiskFormat::Fdi, options, geometry);
  } catch (const vantrel::DiskError&) {
    // A refusal is the right answer to most inputs.
  }
  return 0;
}
