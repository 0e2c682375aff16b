#include "media/TapeSaver.h"

#include <string>

#include "disk/ReplaceFile.h"
#include "tape/TapeWriter.h"

namespace vantrel {

std::string_view TapeSaveExtension(const TapeCatalogue& tape) {
  return FitsTap(tape) ? ".tap" : ".tzx";
}

void SaveTapeFile(const TapeCatalogue& tape, const std::filesystem::path& fileName) {
  std::string why;
  const std::vector<uint8_t> bytes =
      tape.Kind == TapeKind::None ? std::vector<uint8_t>() : TapeFileBytes(tape);
  if (WriteFileReplacing(fileName, bytes, &why) != ReplaceResult::Written) {
    throw TapeError("Error! Can't save the tape as " + fileName.string() + ": " + why);
  }
}

}  // namespace vantrel
