#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace vantrel {

// A fresh file beside `target` (target.tmp0, .tmp1, ...) for writing an output whole
// before it is renamed over the target, so a failed write never leaves half a file.
// Opened exclusively: a name someone else holds is never reused or truncated. Returns
// nullptr with the reason in `error`.
std::FILE* CreateTemporaryBeside(const std::filesystem::path& target,
                                 std::filesystem::path* created, std::string* error);

}  // namespace vantrel
