#include "debugger/WatchList.h"

#include "debugger/Evaluator.h"
#include "debugger/NumberText.h"

namespace vantrel {

WatchList::WatchList(std::vector<std::string> texts) {
  for (const std::string& text : texts) Add(text);
}

bool WatchList::Add(const std::string& text) {
  if (rows_.size() >= kMaxRows) return false;
  rows_.push_back(Row{text, std::nullopt, {}, false});
  return true;
}

void WatchList::Edit(size_t index, const std::string& text) {
  if (index < rows_.size()) rows_[index] = Row{text, std::nullopt, {}, false};
}

void WatchList::Remove(size_t index) {
  if (index < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
}

void WatchList::Refresh(const Z80Registers& regs, const Memory* mem, const SymbolTable* symbols) {
  for (Row& row : rows_) {
    std::optional<int32_t> value;
    std::string error;
    try {
      value = EvaluateExpression(row.Text, regs, symbols, mem);
    } catch (const ExpressionError& failure) {
      error = failure.what();
    }
    // Only a value that was shown before can change; an error is never bold.
    row.Changed = value && row.Value && *value != *row.Value;
    row.Value = value;
    row.Error = std::move(error);
  }
}

std::vector<std::string> WatchList::Texts() const {
  std::vector<std::string> texts;
  for (const Row& row : rows_) texts.push_back(row.Text);
  return texts;
}

std::string WatchList::ValueText(const Row& row) {
  if (!row.Value) return row.Error;
  const auto bits = static_cast<uint32_t>(*row.Value);
  const std::string hex = bits <= 0xFFFF ? HexWord(static_cast<uint16_t>(bits)) : HexDword(bits);
  return "#" + hex + " " + std::to_string(*row.Value);
}

}  // namespace vantrel
