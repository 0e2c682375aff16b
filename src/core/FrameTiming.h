#pragma once

#include <cstdint>

namespace vantrel {

// The default frame length. Several rules compare with this constant rather than
// with TacktsPerInt: the P/V flag of LD A,I / LD A,R, the beeper sampler and the meter.
inline constexpr uint32_t kDefaultTacktsPerInt = 71680;

}  // namespace vantrel
