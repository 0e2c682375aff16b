#include "debugger/BreakpointText.h"

#include <array>

#include "debugger/Evaluator.h"
#include "debugger/NumberText.h"

namespace vantrel {

namespace {

constexpr std::array<const char*, kBreakTypeCount> kTypeNames = {
    "Execution", "Write Memory", "Read Memory", "Write Port",
    "Read Port", "Time Pass",    "Interrupt",   "NMI"};

bool IsAddressType(BreakType type) {
  return type == BreakType::Execution || type == BreakType::WriteMemory ||
         type == BreakType::ReadMemory;
}
bool IsPortType(BreakType type) {
  return type == BreakType::WritePort || type == BreakType::ReadPort;
}

std::string PortText(uint32_t port) {
  return "#" +
         (port < 256 ? HexByte(static_cast<uint8_t>(port)) : HexWord(static_cast<uint16_t>(port)));
}

struct OptionKind {
  std::string_view Name;
  BreakType Type;
};
constexpr OptionKind kOptionKinds[] = {
    {"exec", BreakType::Execution},  {"write", BreakType::WriteMemory},
    {"read", BreakType::ReadMemory}, {"out", BreakType::WritePort},
    {"in", BreakType::ReadPort},     {"time", BreakType::TimePass},
    {"int", BreakType::Interrupt},
};

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Where " if " begins (any case, the spaces being blanks), or npos.
size_t FindConditionKeyword(std::string_view text) {
  for (size_t i = 0; i + 3 <= text.size(); ++i) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (blank(text[i]) && (text[i + 1] | 0x20) == 'i' && (text[i + 2] | 0x20) == 'f' &&
        (i + 3 == text.size() || blank(text[i + 3]))) {
      return i;
    }
  }
  return std::string_view::npos;
}

std::optional<Breakpoint> WithCondition(Breakpoint entry, std::string_view condition,
                                        const SymbolTable* symbols, std::string* error) {
  std::string why;
  if (!SetBreakCondition(entry, condition, symbols, &why)) {
    *error = "condition \"" + std::string(Trimmed(condition)) + "\": " + why;
    return std::nullopt;
  }
  return entry;
}

}  // namespace

const char* BreakTypeName(BreakType type) {
  const auto index = static_cast<size_t>(type);
  return index < kTypeNames.size() ? kTypeNames[index] : "?";
}

std::string BreakArgumentText(const Breakpoint& entry) {
  if (IsAddressType(entry.Type)) {
    if (entry.Argument == kBreakAny) return "any addr";
    return "#" + HexWord(static_cast<uint16_t>(entry.Argument));
  }
  if (IsPortType(entry.Type)) {
    if (entry.Argument == kBreakAny) return "any port";
    return PortText(entry.Argument);
  }
  if (entry.Type == BreakType::TimePass) return Decimal(entry.Argument);
  return "";
}

std::string BreakHitText(const BreakHit& hit) {
  std::string text = "Breakpoint " + std::to_string(hit.Index + 1) + ": " + BreakTypeName(hit.Type);
  if (IsAddressType(hit.Type)) {
    text += " #" + HexWord(static_cast<uint16_t>(hit.Value));
  } else if (IsPortType(hit.Type)) {
    text += " #" + HexWord(static_cast<uint16_t>(hit.Value));
  } else if (hit.Type == BreakType::TimePass) {
    text += " " + Decimal(hit.Value);
  }
  if (hit.ConditionFailure != nullptr) {
    text += ": the condition failed: " + std::string(hit.ConditionFailure);
  }
  return text;
}

bool SetBreakCondition(Breakpoint& entry, std::string_view text, const SymbolTable* symbols,
                       std::string* error) {
  const std::string_view trimmed = Trimmed(text);
  if (trimmed.empty()) {
    entry.Condition.reset();
    entry.ConditionText.clear();
    return true;
  }
  try {
    entry.Condition =
        std::make_shared<const ExpressionProgram>(CompileExpression(trimmed, symbols));
  } catch (const ExpressionError& failure) {
    *error = failure.what();
    return false;
  }
  entry.ConditionText = std::string(trimmed);
  return true;
}

std::optional<Breakpoint> ParseBreakOption(std::string_view text, std::string* error,
                                           const SymbolTable* symbols) {
  // "KIND:ARG if CONDITION"
  std::string_view condition;
  if (const size_t at = FindConditionKeyword(text); at != std::string_view::npos) {
    condition = text.substr(at + 3);
    text = Trimmed(text.substr(0, at));
    if (Trimmed(condition).empty()) {
      *error = "\"if\" needs a condition";
      return std::nullopt;
    }
  }
  const size_t colon = text.find(':');
  const std::string_view name = text.substr(0, colon);
  const std::string_view argument =
      colon == std::string_view::npos ? std::string_view("*") : text.substr(colon + 1);
  Breakpoint entry;
  bool known = false;
  for (const OptionKind& kind : kOptionKinds) {
    if (kind.Name == name) {
      entry.Type = kind.Type;
      known = true;
    }
  }
  if (!known) {
    *error = "unknown breakpoint kind \"" + std::string(name) +
             "\" (exec, write, read, out, in, time or int)";
    return std::nullopt;
  }
  if (entry.Type == BreakType::Interrupt || argument == "*") {
    if (entry.Type == BreakType::TimePass) {
      *error = "time needs a number of T-states";
      return std::nullopt;
    }
    return WithCondition(entry, condition, symbols, error);
  }
  try {
    const int32_t value = EvaluateConstant(argument, symbols);
    if (entry.Type == BreakType::TimePass) {
      if (value <= 0) {
        *error = "time needs a number of T-states above 0";
        return std::nullopt;
      }
      entry.Argument = static_cast<uint32_t>(value);
    } else {
      entry.Argument = static_cast<uint16_t>(value);
    }
  } catch (const ExpressionError& failure) {
    *error = "\"" + std::string(argument) + "\": " + failure.what();
    return std::nullopt;
  }
  return WithCondition(entry, condition, symbols, error);
}

}  // namespace vantrel
