#include "debugger/NumberText.h"

namespace vantrel {

namespace {

std::string Hex(uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4)
    text[static_cast<size_t>(i)] = kDigits[value & 15];
  return text;
}

std::string Padded(uint32_t value, size_t digits) {
  std::string text = std::to_string(value);
  if (text.size() < digits) text.insert(0, digits - text.size(), '0');
  return text;
}

std::string Binary(uint32_t value, int digits) {
  std::string text(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 1) {
    if (value & 1) text[static_cast<size_t>(i)] = '1';
  }
  return text;
}

}  // namespace

std::string HexByte(uint8_t value) {
  return Hex(value, 2);
}
std::string HexWord(uint16_t value) {
  return Hex(value, 4);
}
std::string HexDword(uint32_t value) {
  return Hex(value, 8);
}

std::string ShortHex(uint32_t value) {
  std::string digits = HexDword(value);
  size_t first = digits.find_first_not_of('0');
  return "#" + (first == std::string::npos ? std::string("0") : digits.substr(first));
}

std::string DecByte(uint8_t value) {
  return Padded(value, 3);
}
std::string DecWord(uint16_t value) {
  return Padded(value, 5);
}
std::string Decimal(uint32_t value) {
  return std::to_string(value);
}
std::string BinByte(uint8_t value) {
  return Binary(value, 8);
}
std::string BinWord(uint16_t value) {
  return Binary(value, 16);
}

std::string CharText(uint8_t value) {
  return std::string(1, value < 0x20 ? '.' : static_cast<char>(value));
}

std::string ByteText(uint8_t value, int format) {
  return format == kNumberDecimal ? DecByte(value) : HexByte(value);
}

std::string WordText(uint16_t value, int format) {
  return format == kNumberDecimal ? DecWord(value) : HexWord(value);
}

}  // namespace vantrel
