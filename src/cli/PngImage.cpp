#include "cli/PngImage.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "disk/ReplaceFile.h"

namespace vantrel {

namespace fs = std::filesystem;

namespace {

// Larger pictures are refused on reading rather than risking a huge allocation.
constexpr uint64_t kMaxReadPixels = uint64_t{1} << 26;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool WritePng(const fs::path& path, const RgbImage& image, std::string* error) {
  const auto fail = [&](std::string_view why) {
    *error = "cannot write '" + path.string() + "': " + std::string(why);
    return false;
  };
  if (image.Width <= 0 || image.Height <= 0 ||
      image.Pixels.size() != static_cast<size_t>(image.Width) * image.Height * 3) {
    return fail("the picture has no pixels or the wrong number of them");
  }

  ReplacingFile file;
  std::string why;
  if (!file.Open(path, &why)) return fail(why);

  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.Width);
  png.height = static_cast<png_uint_32>(image.Height);
  png.format = PNG_FORMAT_RGB;
  const bool written = png_image_write_to_stdio(&png, file.Stream(), 0, image.Pixels.data(),
                                                image.Width * 3, nullptr) != 0;
  if (!written) why = png.message;
  png_image_free(&png);
  if (written && file.Commit(&why)) return true;
  file.Discard();
  return fail(why);
}

std::optional<RgbImage> ReadPng(const fs::path& path, std::string* error) {
  const auto fail = [&](std::string_view why) -> std::optional<RgbImage> {
    *error = "cannot read '" + path.string() + "': " + std::string(why);
    return std::nullopt;
  };
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.string().c_str(), "rb"));
  if (!file) return fail(std::strerror(errno));

  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_stdio(&png, file.get())) {
    const std::string why = png.message;
    png_image_free(&png);
    return fail(why);
  }
  if (uint64_t{png.width} * png.height > kMaxReadPixels) {
    png_image_free(&png);
    return fail("the picture is too large");
  }
  png.format = PNG_FORMAT_RGB;
  RgbImage image(static_cast<int>(png.width), static_cast<int>(png.height));
  if (!png_image_finish_read(&png, nullptr, image.Pixels.data(), image.Width * 3, nullptr)) {
    const std::string why = png.message;
    png_image_free(&png);
    return fail(why);
  }
  return image;
}

}  // namespace vantrel
