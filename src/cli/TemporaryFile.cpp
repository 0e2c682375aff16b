#include "cli/TemporaryFile.h"

#include <cerrno>
#include <cstring>

namespace vantrel {

std::FILE* CreateTemporaryBeside(const std::filesystem::path& target,
                                 std::filesystem::path* created, std::string* error) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = target;
    candidate += ".tmp" + std::to_string(attempt);
    // "x" makes fopen fail rather than truncate a file that is already there.
    if (std::FILE* file = std::fopen(candidate.string().c_str(), "wbx")) {
      *created = candidate;
      return file;
    }
    if (errno != EEXIST) {
      *error = "cannot create '" + candidate.string() + "': " + std::strerror(errno);
      return nullptr;
    }
  }
  *error = "cannot create a temporary file beside '" + target.string() + "'";
  return nullptr;
}

}  // namespace vantrel
