#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace vantrel {

inline constexpr int32_t kMaxBorderSide = 64;       // left and right, pixels
inline constexpr int32_t kMaxBorderTopBottom = 48;  // upper and lower, pixels

// How much of the border is visible around the 256 x 192 paper.
struct BorderSizes {
  int32_t Left = 64;
  int32_t Right = 64;
  int32_t Upper = 48;
  int32_t Lower = 48;
  bool operator==(const BorderSizes&) const = default;

  bool Valid() const {
    return Left >= 0 && Left <= kMaxBorderSide && Right >= 0 && Right <= kMaxBorderSide &&
           Upper >= 0 && Upper <= kMaxBorderTopBottom && Lower >= 0 && Lower <= kMaxBorderTopBottom;
  }
};

struct NamedBorderPreset {
  std::string_view Name;
  BorderSizes Sizes;
};

// The two fixed entries that head the preset list.
inline constexpr std::array<NamedBorderPreset, 2> kBuiltInBorderPresets = {{
    {"Maximum", {64, 64, 48, 48}},
    {"Pentagon128 on TV", {40, 36, 46, 26}},
}};

}  // namespace vantrel
