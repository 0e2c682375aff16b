#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

namespace vantrel {

// A save that never leaves half a file: the bytes go to a fresh file beside the target
// (target.tmp0, .tmp1, ...), which is flushed, closed and renamed over the target once
// whole. Until then, and on any failure, the old target stays as it was. The temporary
// name is opened exclusively, so a file someone else holds is never reused or truncated.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile() { Discard(); }

  // False, with the reason in `error`, when no temporary file can be created.
  bool Open(const std::filesystem::path& target, std::string* error);
  // Where to write; null while nothing is open.
  std::FILE* Stream() const { return file_; }
  // Flushes, closes and renames over the target. False, with the reason, when any step
  // fails; the temporary file is then gone and the target untouched.
  bool Commit(std::string* error);
  // Drops the temporary file, leaving the target as it was.
  void Discard();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
};

enum class ReplaceResult { Written, CannotCreate, WriteFailed };

// Writes all of `bytes` through a ReplacingFile; `error`, when given, gets the reason.
ReplaceResult WriteFileReplacing(const std::filesystem::path& target,
                                 std::span<const uint8_t> bytes, std::string* error = nullptr);

}  // namespace vantrel
