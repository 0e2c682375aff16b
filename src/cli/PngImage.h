#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

// An 8-bit RGB picture, rows top to bottom, three bytes a pixel.
struct RgbImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint8_t> Pixels;

  RgbImage() = default;
  RgbImage(int width, int height)
      : Width(width), Height(height), Pixels(static_cast<size_t>(width) * height * 3) {}
  uint8_t* At(int x, int y) { return Pixels.data() + (static_cast<size_t>(y) * Width + x) * 3; }
  const uint8_t* At(int x, int y) const {
    return Pixels.data() + (static_cast<size_t>(y) * Width + x) * 3;
  }
  bool operator==(const RgbImage&) const = default;
};

// Writes the picture as a PNG. The data goes to a new file beside `path` that replaces
// `path` only once it is complete, so a failure never leaves a half-written picture and
// never harms a file already there. False with a message on failure.
bool WritePng(const std::filesystem::path& path, const RgbImage& image, std::string* error);

// Reads any PNG, converted to 8-bit RGB (alpha dropped onto black).
std::optional<RgbImage> ReadPng(const std::filesystem::path& path, std::string* error);

}  // namespace vantrel
