#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// The number views a debugger panel offers.
enum NumberFormat : int { kNumberHex = 0, kNumberDecimal = 1 };

std::string HexByte(uint8_t value);
std::string HexWord(uint16_t value);
std::string HexDword(uint32_t value);
// "#" and the hexadecimal digits without leading zeros (#0, #1A2B).
std::string ShortHex(uint32_t value);
std::string DecByte(uint8_t value);   // 3 digits, zero-padded
std::string DecWord(uint16_t value);  // 5 digits, zero-padded
std::string Decimal(uint32_t value);  // unpadded
std::string BinByte(uint8_t value);   // 8 digits, most significant first
std::string BinWord(uint16_t value);  // 16 digits
std::string CharText(uint8_t value);  // the byte itself, "." for control codes

std::string ByteText(uint8_t value, int format);
std::string WordText(uint16_t value, int format);

}  // namespace vantrel
