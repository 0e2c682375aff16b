#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Memory.h"
#include "core/Z80Registers.h"

namespace vantrel {

class SymbolTable;

// The watches panel's expressions and what they gave at the last stop. A value that
// differs from the one shown before is marked changed until a refresh leaves it alone.
class WatchList {
 public:
  struct Row {
    std::string Text;
    std::optional<int32_t> Value;  // empty: Error says why
    std::string Error;
    bool Changed = false;
  };

  static constexpr size_t kMaxRows = 100;

  explicit WatchList(std::vector<std::string> texts = {});

  // Nothing is added past kMaxRows (false).
  bool Add(const std::string& text);
  // A new text is a new watch: its first value is not shown as a change.
  void Edit(size_t index, const std::string& text);
  void Remove(size_t index);
  // Evaluates every expression again.
  void Refresh(const Z80Registers& regs, const Memory* mem, const SymbolTable* symbols);

  const std::vector<Row>& Rows() const { return rows_; }
  std::vector<std::string> Texts() const;
  // "#1234 4660" (the low 16 bits in hex for values that fit, else 8 digits, then the
  // signed decimal), or the error.
  static std::string ValueText(const Row& row);

 private:
  std::vector<Row> rows_;
};

}  // namespace vantrel
