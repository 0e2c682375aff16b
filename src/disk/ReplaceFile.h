#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace vantrel {

enum class ReplaceResult { Written, CannotCreate, WriteFailed };

// Writes the bytes to a fresh file beside `target` and renames it over the target, so a
// failed save leaves the old file as it was and never half a file.
ReplaceResult WriteFileReplacing(const std::filesystem::path& target,
                                 std::span<const uint8_t> bytes);

}  // namespace vantrel
