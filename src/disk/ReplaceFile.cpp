#include "disk/ReplaceFile.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

namespace vantrel {

namespace {

// target.tmp0, .tmp1, ...: "x" never truncates a name someone else holds.
std::FILE* CreateBeside(const std::filesystem::path& target, std::filesystem::path& created) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = target;
    candidate += ".tmp" + std::to_string(attempt);
    if (std::FILE* file = std::fopen(candidate.string().c_str(), "wbx")) {
      created = candidate;
      return file;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

}  // namespace

ReplaceResult WriteFileReplacing(const std::filesystem::path& target,
                                 std::span<const uint8_t> bytes) {
  std::error_code error;
  if (std::filesystem::is_directory(target, error)) return ReplaceResult::CannotCreate;
  std::filesystem::path temporary;
  std::FILE* file = CreateBeside(target, temporary);
  if (file == nullptr) return ReplaceResult::CannotCreate;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (written && closed) {
    std::filesystem::rename(temporary, target, error);
    if (!error) return ReplaceResult::Written;
  }
  std::filesystem::remove(temporary, error);
  return ReplaceResult::WriteFailed;
}

}  // namespace vantrel
