#pragma once

#include <cstdint>

namespace vantrel {

// The mixer's three sources (speaker, tape in, tape out) are weighted by powers of two,
// so their sum always fits the sample and each source stays audible on its own.
// Position 0 mutes; 1..8 give 1 << (position - 1).
constexpr uint8_t VolumeWeight(int position) {
  if (position <= 0) return 0;
  if (position > 8) position = 8;
  return static_cast<uint8_t>(1u << (position - 1));
}

// A trackbar moved onto another source's position steps down until it is free: no two
// sources may share a weight, or their levels could not be told apart in the mix. Two
// muted sources are allowed.
constexpr int DistinctVolumePosition(int position, int other1, int other2) {
  while (position > 0 && (position == other1 || position == other2)) --position;
  return position;
}

}  // namespace vantrel
