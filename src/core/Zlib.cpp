#include "core/Zlib.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

std::optional<std::vector<uint8_t>> ZlibInflate(std::span<const uint8_t> input, size_t max_size,
                                                std::string* error) {
  auto fail = [error](const char* why) -> std::optional<std::vector<uint8_t>> {
    if (error) *error = why;
    return std::nullopt;
  };
  if (input.size() > std::numeric_limits<uInt>::max()) return fail("stream too large");
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return fail("zlib could not start");
  std::vector<uint8_t> output;
  stream.next_in = const_cast<Bytef*>(input.data());
  stream.avail_in = static_cast<uInt>(input.size());
  uint8_t chunk[16384];
  int result = Z_OK;
  while (result != Z_STREAM_END) {
    stream.next_out = chunk;
    stream.avail_out = sizeof chunk;
    result = inflate(&stream, Z_NO_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END) {
      inflateEnd(&stream);
      return fail(result == Z_BUF_ERROR ? "stream ends early" : "corrupt data");
    }
    const size_t produced = sizeof chunk - stream.avail_out;
    if (output.size() + produced > max_size) {
      inflateEnd(&stream);
      return fail("larger than expected");
    }
    output.insert(output.end(), chunk, chunk + produced);
    // No progress with input left means the stream is truncated.
    if (result == Z_OK && produced == 0 && stream.avail_in == 0) {
      inflateEnd(&stream);
      return fail("stream ends early");
    }
  }
  inflateEnd(&stream);
  return output;
}

std::vector<uint8_t> ZlibDeflate(std::span<const uint8_t> input) {
  uLongf size = compressBound(static_cast<uLong>(input.size()));
  std::vector<uint8_t> output(size);
  compress2(output.data(), &size, input.data(), static_cast<uLong>(input.size()),
            Z_DEFAULT_COMPRESSION);
  output.resize(size);
  return output;
}
