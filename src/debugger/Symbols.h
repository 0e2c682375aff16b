#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vantrel {

class SymbolFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Names for addresses, read from an assembler's symbol listing. Lookup by name ignores
// case, because the expression evaluator lowers its text before reading it.
class SymbolTable {
 public:
  // Reads "NAME: EQU $8000", "NAME EQU 8000h" and "NAME = $8000" lines, and the two-column
  // lists of some cross-assemblers, "8000 NAME" or "NAME $8000": the column that is an
  // address ($, #, 0x, an h suffix, or four hex digits) gives the value, the other the
  // name. Other lines (listing noise, a value that is an expression, both or neither
  // column an address) are passed over and counted in SkippedLines; comments and blank
  // lines are not counted. Throws SymbolFileError when the text defines no symbol.
  static SymbolTable Parse(std::string_view text);
  // Reads a file with Parse; throws SymbolFileError naming the file on any failure.
  static SymbolTable Load(const std::string& fileName);

  bool Empty() const { return byName_.empty(); }
  // The lines that looked like neither kind of definition.
  size_t SkippedLines() const { return skipped_; }
  size_t Size() const { return byName_.size(); }
  // The value of a name, any case.
  std::optional<uint16_t> Find(std::string_view name) const;
  // The name shown for an address (the first one defined there), or empty.
  const std::string& NameAt(uint16_t address) const;

  void Add(std::string_view name, uint16_t value);

 private:
  std::unordered_map<std::string, uint16_t> byName_;  // lower-cased names
  std::map<uint16_t, std::string> byAddress_;
  size_t skipped_ = 0;
};

}  // namespace vantrel
