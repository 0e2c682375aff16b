#pragma once

#include <cstdint>

namespace vantrel {

// The default frame length. Some rules compare with this constant rather than with
// TacktsPerInt: the P/V flag of LD A,I / LD A,R and the beeper sampler.
inline constexpr uint32_t kDefaultTacktsPerInt = 71680;
// The default interrupt is requested for the frame's first 24 T-states.
inline constexpr uint32_t kDefaultIntLength = 24;

}  // namespace vantrel
