#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// zlib streams, as tape (CSW Z-RLE), disk (compressed UDI tracks) and snapshot (SZX pages)
// files carry them. Only whole buffers: every file type here holds small streams.

// The inflated bytes of one zlib stream, refusing output beyond max_size so a crafted file
// cannot make the program allocate without bound. On failure returns nothing and, when
// `error` is given, says why ("corrupt data", "larger than expected", ...).
std::optional<std::vector<uint8_t>> ZlibInflate(std::span<const uint8_t> input, size_t max_size,
                                                std::string* error = nullptr);

// One zlib stream holding `input` at the default level.
std::vector<uint8_t> ZlibDeflate(std::span<const uint8_t> input);
