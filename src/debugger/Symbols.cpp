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

}  // namespace

SymbolTable SymbolTable::Parse(std::string_view text) {
  SymbolTable table;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line = line.substr(0, line.find(';'));
    line = Trimmed(line);
    if (line.empty() || !IsNameStart(line[0])) continue;
    size_t nameEnd = 1;
    while (nameEnd < line.size() && IsNameChar(line[nameEnd])) ++nameEnd;
    std::string_view name = line.substr(0, nameEnd);
    std::string_view rest = line.substr(nameEnd);
    if (!rest.empty() && rest[0] == ':') rest.remove_prefix(1);
    rest = Trimmed(rest);
    if (!rest.empty() && rest[0] == '=') {
      rest.remove_prefix(1);
    } else if (rest.size() > 3 && Lowered(rest.substr(0, 3)) == "equ" && IsSpace(rest[3])) {
      rest.remove_prefix(3);
    } else {
      continue;
    }
    // A value that is an expression rather than a number is not an address we can name.
    if (std::optional<uint16_t> value = ParseNumber(Trimmed(rest))) table.Add(name, *value);
  }
  if (table.Empty()) throw SymbolFileError("No symbol definitions found (NAME EQU value).");
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
