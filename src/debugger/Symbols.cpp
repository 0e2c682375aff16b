#include "debugger/Symbols.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace vantrel {

namespace {

// A listing is text; anything this large is not one.
constexpr std::streamoff kMaxSymbolFileSize = 64 << 20;

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

bool IsNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.' || c == '@';
}

bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '?' || c == '!';
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

int DigitValue(char c) {
  c = Lower(c);
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 99;
}

// $8000, #8000, 0x8000, 8000h, %1010, 1010b, 32768; at most 16 bits.
std::optional<uint16_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 1 && (text[0] == '$' || text[0] == '#')) {
    base = 16, text.remove_prefix(1);
  } else if (text.size() > 1 && text[0] == '%') {
    base = 2, text.remove_prefix(1);
  } else if (text.size() > 2 && text[0] == '0' && Lower(text[1]) == 'x') {
    base = 16, text.remove_prefix(2);
  } else if (text.size() > 1 && Lower(text.back()) == 'h') {
    base = 16, text.remove_suffix(1);
  } else if (text.size() > 1 && Lower(text.back()) == 'b' &&
             text.find_first_not_of("01b") == std::string_view::npos) {
    base = 2, text.remove_suffix(1);
  }
  if (text.empty()) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    int digit = DigitValue(c);
    if (digit >= base) return std::nullopt;
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
    if (value > 0xFFFF) return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

// A column of a two-column listing that is an address: $8000, #8000, 0x8000, 8000h, or
// four hexadecimal digits as they stand (the assemblers that write these lists print
// addresses so). A plain decimal number is not one.
std::optional<uint16_t> ParseAddressColumn(std::string_view text) {
  const bool marked = text.starts_with('$') || text.starts_with('#') ||
                      (text.size() > 2 && text[0] == '0' && Lower(text[1]) == 'x') ||
                      (text.size() > 1 && Lower(text.back()) == 'h');
  if (marked) return ParseNumber(text);
  if (text.size() != 4) return std::nullopt;
  for (char c : text) {
    if (DigitValue(c) >= 16) return std::nullopt;
  }
  return ParseNumber(std::string(text) + "h");
}

bool IsName(std::string_view text) {
  if (text.empty() || !IsNameStart(text[0])) return false;
  for (char c : text) {
    if (!IsNameChar(c)) return false;
  }
  return true;
}

// "NNNN LABEL" or "LABEL NNNN": exactly one column an address, the other a name.
bool ParseTwoColumns(std::string_view line, SymbolTable& table) {
  const size_t split = line.find_first_of(" \t");
  if (split == std::string_view::npos) return false;
  std::string_view first = line.substr(0, split);
  std::string_view second = Trimmed(line.substr(split));
  if (second.find_first_of(" \t") != std::string_view::npos) return false;
  if (first.ends_with(':')) first.remove_suffix(1);
  if (second.ends_with(':')) second.remove_suffix(1);
  const std::optional<uint16_t> a = ParseAddressColumn(first);
  const std::optional<uint16_t> b = ParseAddressColumn(second);
  if (a.has_value() == b.has_value()) return false;
  const std::string_view name = a ? second : first;
  if (!IsName(name)) return false;
  table.Add(name, a ? *a : *b);
  return true;
}

// "NAME: EQU value", "NAME EQU value", "NAME = value".
bool ParseDefinition(std::string_view line, SymbolTable& table) {
  if (!IsNameStart(line[0])) return false;
  size_t nameEnd = 1;
  while (nameEnd < line.size() && IsNameChar(line[nameEnd])) ++nameEnd;
  const std::string_view name = line.substr(0, nameEnd);
  std::string_view rest = line.substr(nameEnd);
  if (!rest.empty() && rest[0] == ':') rest.remove_prefix(1);
  rest = Trimmed(rest);
  if (!rest.empty() && rest[0] == '=') {
    rest.remove_prefix(1);
  } else if (rest.size() > 3 && Lowered(rest.substr(0, 3)) == "equ" && IsSpace(rest[3])) {
    rest.remove_prefix(3);
  } else {
    return false;
  }
  // A value that is an expression rather than a number is not an address we can name.
  const std::optional<uint16_t> value = ParseNumber(Trimmed(rest));
  if (value) table.Add(name, *value);
  return value.has_value();
}

}  // namespace

SymbolTable SymbolTable::Parse(std::string_view text) {
  SymbolTable table;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line = line.substr(0, line.find(';'));
    line = Trimmed(line);
    if (line.empty()) continue;
    // Listing noise, a value that is an expression, both or neither column a number.
    if (!ParseDefinition(line, table) && !ParseTwoColumns(line, table)) ++table.skipped_;
  }
  if (table.Empty())
    throw SymbolFileError(
        "No symbol definitions found (NAME EQU value, or an address and a name).");
  return table;
}

SymbolTable SymbolTable::Load(const std::string& fileName) {
  // A folder opens as a stream on some systems and then reads as nonsense.
  std::error_code ec;
  if (std::filesystem::is_directory(fileName, ec)) {
    throw SymbolFileError("Cannot open symbol file " + fileName + ": it is a folder.");
  }
  std::ifstream file(fileName, std::ios::binary);
  if (!file) throw SymbolFileError("Cannot open symbol file " + fileName + ".");
  file.seekg(0, std::ios::end);
  std::streamoff size = file.tellg();
  if (size < 0 || size > kMaxSymbolFileSize) {
    throw SymbolFileError("The file " + fileName + " is too large to be a symbol file.");
  }
  file.seekg(0);
  std::string text(static_cast<size_t>(size), '\0');
  if (!file.read(text.data(), size))
    throw SymbolFileError("Cannot read symbol file " + fileName + ".");
  try {
    return Parse(text);
  } catch (const SymbolFileError& error) {
    throw SymbolFileError(fileName + ": " + error.what());
  }
}

std::optional<uint16_t> SymbolTable::Find(std::string_view name) const {
  auto it = byName_.find(Lowered(name));
  if (it == byName_.end()) return std::nullopt;
  return it->second;
}

const std::string& SymbolTable::NameAt(uint16_t address) const {
  static const std::string kNone;
  auto it = byAddress_.find(address);
  return it == byAddress_.end() ? kNone : it->second;
}

void SymbolTable::Add(std::string_view name, uint16_t value) {
  byName_.insert_or_assign(Lowered(name), value);
  byAddress_.emplace(value, std::string(name));
}

}  // namespace vantrel
