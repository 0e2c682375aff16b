#include "disk/ReplaceFile.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace vantrel {

namespace {

bool Fail(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return false;
}

}  // namespace

bool ReplacingFile::Open(const std::filesystem::path& target, std::string* error) {
  Discard();
  std::error_code ec;
  if (std::filesystem::is_directory(target, ec)) return Fail(error, "it is a folder");
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = target;
    candidate += ".tmp" + std::to_string(attempt);
    // "x" fails rather than truncate a file that is already there.
    if (std::FILE* file = std::fopen(candidate.string().c_str(), "wbx")) {
      target_ = target;
      temporary_ = candidate;
      file_ = file;
      return true;
    }
    if (errno != EEXIST) return Fail(error, std::strerror(errno));
  }
  return Fail(error, "no free name for a temporary file beside it");
}

bool ReplacingFile::Commit(std::string* error) {
  if (file_ == nullptr) return Fail(error, "the file was not opened");
  std::string why;
  // A short write may leave errno alone: the stream's error flag still tells.
  errno = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_))
    why = errno ? std::strerror(errno) : "write error";
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0 && why.empty()) why = std::strerror(errno);
  std::error_code ec;
  if (why.empty()) {
    std::filesystem::rename(temporary_, target_, ec);
    if (!ec) {
      temporary_.clear();
      return true;
    }
    why = ec.message();
  }
  Discard();
  return Fail(error, why);
}

void ReplacingFile::Discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) {
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
    temporary_.clear();
  }
}

ReplaceResult WriteFileReplacing(const std::filesystem::path& target,
                                 std::span<const uint8_t> bytes, std::string* error) {
  ReplacingFile file;
  if (!file.Open(target, error)) return ReplaceResult::CannotCreate;
  errno = 0;
  // An empty span may have no data pointer, which fwrite must not be given.
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) != bytes.size()) {
    const std::string why = errno ? std::strerror(errno) : "write error";
    file.Discard();
    Fail(error, why);
    return ReplaceResult::WriteFailed;
  }
  return file.Commit(error) ? ReplaceResult::Written : ReplaceResult::WriteFailed;
}

}  // namespace vantrel
