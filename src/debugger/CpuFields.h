#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/MachineState.h"

namespace vantrel {

// How a CPU panel field shows its value.
enum class CpuFieldKind : uint8_t {
  FlagBit,      // one bit of F as "0" or "1"
  Word,         // four hexadecimal digits
  Decimal,      // a 32-bit count in decimal
  Nibble,       // one hexadecimal digit
  Byte,         // two hexadecimal digits
  RunningTime,  // the T-state meter as emulated time
};

struct CpuField {
  const char* Template;  // the text before any value is written into it
  int Start;             // where the value begins in the text
  CpuFieldKind Kind;
  uint8_t FlagMask;  // FlagBit fields: the bit of F
};

inline constexpr int kCpuFieldCount = 27;
// PC, SP, AF, AF', BC, BC', DE, DE', HL, HL', IX, IY, T, IFF1, IFF2, I, R, IM, the eight
// flags S Z 5 H 3 P N C, and TM.
const std::array<CpuField, kCpuFieldCount>& CpuFields();
// The field's source value in the machine state.
uint32_t CpuFieldValue(int index, const MachineState& state);
// The field's whole text with `value` written in.
std::string CpuFieldText(int index, uint32_t value, uint32_t tacktsPerInt);
// The register a register field edits (fields 0..11), for the editor's caption: "PC",
// "AF'", ...; empty for the others.
std::string CpuFieldRegisterName(int index);
// Stores a register field's new 16-bit value.
void SetCpuFieldRegister(int index, MachineState& state, uint16_t value);

// An emulated running time: below one second (50 frames of `tacktsPerInt`) the T-state
// count; else minutes with "m", seconds with "." and milliseconds, "s" ("1m0.250s").
std::string RunningTimeText(uint32_t tackts, uint32_t tacktsPerInt);

}  // namespace vantrel
