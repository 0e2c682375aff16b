#pragma once

#include <filesystem>
#include <string_view>

#include "tape/TapeImage.h"

namespace vantrel {

// What a tape is saved as: ".tap" when every block is a standard one, else ".tzx".
std::string_view TapeSaveExtension(const TapeCatalogue& tape);

// Writes the tape to `fileName` in that format, through a temporary file renamed over it,
// so a failed save keeps the old file. A failure raises TapeError with the reason.
void SaveTapeFile(const TapeCatalogue& tape, const std::filesystem::path& fileName);

}  // namespace vantrel
