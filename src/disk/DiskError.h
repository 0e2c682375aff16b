#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace vantrel {

// A refusal by a disk image loader or saver: the message box text and its caption. The
// command that started the work catches it and shows it. `CannotOpen` marks the
// cannot-be-opened messages, which the "No Disk Image Error" setting keeps quiet.
struct DiskError : std::runtime_error {
  DiskError(const std::string& message, std::string_view caption, bool cannotOpen = false)
      : std::runtime_error(message), Caption(caption), CannotOpen(cannotOpen) {}
  std::string Caption;
  bool CannotOpen;
};

inline constexpr std::string_view kDiskErrorCaption = " Disk Image Error!";
inline constexpr std::string_view kInvalidDiskCaption = " Invalid Disk Image!";
inline constexpr std::string_view kSclErrorCaption = " SCL Package Error!";
inline constexpr std::string_view kHobetaErrorCaption = " Hobeta File Error!";
inline constexpr std::string_view kCatalogueOverflowCaption = " TR-DOS catalog overflow!";
inline constexpr std::string_view kDiskOverflowCaption = " TR-DOS disk overflow!";

}  // namespace vantrel
