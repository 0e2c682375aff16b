#pragma once

// Writers of the recorded tape formats for the tests' own use: a TAP turned into the
// pulses the ROM's saver makes, and those pulses as a CSW or PZX file.

#include <cstdint>
#include <string>
#include <vector>

#include "core/Zlib.h"

namespace vantrel::test {

using TapeBytes = std::vector<uint8_t>;

inline void Put16(TapeBytes& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(TapeBytes& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
inline void PutText(TapeBytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}

// The TAP's blocks: each its bytes, flag first.
inline std::vector<TapeBytes> TapBlocks(const TapeBytes& tap) {
  std::vector<TapeBytes> blocks;
  for (size_t pos = 0; pos + 2 <= tap.size();) {
    const size_t length = tap[pos] | (tap[pos + 1] << 8);
    blocks.emplace_back(tap.begin() + pos + 2, tap.begin() + pos + 2 + length);
    pos += 2 + length;
  }
  return blocks;
}

// The ROM saver's pulses in T-states: pilot, two syncs, two pulses a bit, and a pause.
inline std::vector<uint32_t> TapPulses(const TapeBytes& tap, uint32_t pauseTackts) {
  std::vector<uint32_t> pulses;
  for (const TapeBytes& block : TapBlocks(tap)) {
    pulses.insert(pulses.end(), !block.empty() && block[0] == 0 ? 8064 : 3224, 2168);
    pulses.push_back(667);
    pulses.push_back(735);
    for (const uint8_t byte : block) {
      for (int bit = 7; bit >= 0; --bit)
        pulses.insert(pulses.end(), 2, (byte >> bit) & 1 ? 1710 : 855);
    }
    pulses.push_back(pauseTackts);
  }
  return pulses;
}

// A CSW file of the pulses (T-states at 3.5 MHz) at `rate`, starting low: version 1 with
// RLE or version 2 with RLE or Z-RLE.
inline TapeBytes CswFile(const std::vector<uint32_t>& pulses, uint32_t rate, int version,
                         bool zrle) {
  TapeBytes rle;
  uint64_t tackts = 0, samplesBefore = 0;
  for (const uint32_t pulse : pulses) {
    tackts += pulse;
    const uint64_t samples = (tackts * rate + 1750000) / 3500000;
    const uint64_t length = samples - samplesBefore;
    samplesBefore = samples;
    if (length > 0 && length < 256) {
      rle.push_back(static_cast<uint8_t>(length));
    } else {
      rle.push_back(0);
      Put32(rle, static_cast<uint32_t>(length));
    }
  }
  TapeBytes file;
  PutText(file, "Compressed Square Wave\x1A");
  if (version == 1) {
    file.insert(file.end(), {1, 1});
    Put16(file, rate);
    file.insert(file.end(), {1, 0, 0, 0, 0});
  } else {
    file.insert(file.end(), {2, 0});
    Put32(file, rate);
    Put32(file, static_cast<uint32_t>(pulses.size()));
    file.insert(file.end(), {static_cast<uint8_t>(zrle ? 2 : 1), 0, 3});
    PutText(file, "vantrel tests");
    file.insert(file.end(), {0, 0, 0});  // the application name's 16 bytes
    file.insert(file.end(), {7, 8, 9});  // the header extension
  }
  const TapeBytes data = zrle ? ZlibDeflate(rle) : rle;
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

// A PZX file of the TAP: per block a pulse sequence of pilot and syncs, the bytes as a
// data block and a pause of `pauseTackts`.
inline TapeBytes PzxFile(const TapeBytes& tap, uint32_t pauseTackts) {
  TapeBytes file;
  const auto block = [&](const char* tag, const TapeBytes& body) {
    PutText(file, tag);
    Put32(file, static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
  };
  TapeBytes header = {1, 0};
  PutText(header, std::string("Test tape\0Author\0Vantrel", 24));
  block("PZXT", header);
  for (const TapeBytes& data : TapBlocks(tap)) {
    TapeBytes pulses;
    Put16(pulses, 0x8000 | (!data.empty() && data[0] == 0 ? 8064 : 3224));
    Put16(pulses, 2168);
    Put16(pulses, 667);
    Put16(pulses, 735);
    block("PULS", pulses);
    TapeBytes bits;
    Put32(bits, static_cast<uint32_t>(data.size() * 8));
    Put16(bits, 0);
    bits.insert(bits.end(), {2, 2});
    for (const uint32_t length : {855, 855, 1710, 1710}) Put16(bits, length);
    bits.insert(bits.end(), data.begin(), data.end());
    block("DATA", bits);
    TapeBytes pause;
    Put32(pause, pauseTackts);
    block("PAUS", pause);
  }
  return file;
}

}  // namespace vantrel::test
