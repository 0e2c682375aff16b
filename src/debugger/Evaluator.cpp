#include "debugger/Evaluator.h"

#include <string>

#include "debugger/Symbols.h"

namespace vantrel {

namespace {

// Parentheses recurse; a pasted text of thousands of "(" must not exhaust the stack.
constexpr int kMaxNesting = 256;

struct Variable {
  std::string_view Name;
  uint32_t (*Read)(const Z80Registers&);
};

// Matched in this order, so "i" is the interrupt register rather than a prefix of "ix".
constexpr Variable kVariables[] = {
    {"a", [](const Z80Registers& r) -> uint32_t { return r.AF.High; }},
    {"f", [](const Z80Registers& r) -> uint32_t { return r.AF.Low; }},
    {"b", [](const Z80Registers& r) -> uint32_t { return r.BC.High; }},
    {"c", [](const Z80Registers& r) -> uint32_t { return r.BC.Low; }},
    {"d", [](const Z80Registers& r) -> uint32_t { return r.DE.High; }},
    {"e", [](const Z80Registers& r) -> uint32_t { return r.DE.Low; }},
    {"h", [](const Z80Registers& r) -> uint32_t { return r.HL.High; }},
    {"l", [](const Z80Registers& r) -> uint32_t { return r.HL.Low; }},
    {"xl", [](const Z80Registers& r) -> uint32_t { return r.IX.Low; }},
    {"ixl", [](const Z80Registers& r) -> uint32_t { return r.IX.Low; }},
    {"xh", [](const Z80Registers& r) -> uint32_t { return r.IX.High; }},
    {"ixh", [](const Z80Registers& r) -> uint32_t { return r.IX.High; }},
    {"yl", [](const Z80Registers& r) -> uint32_t { return r.IY.Low; }},
    {"iyl", [](const Z80Registers& r) -> uint32_t { return r.IY.Low; }},
    {"yh", [](const Z80Registers& r) -> uint32_t { return r.IY.High; }},
    {"iyh", [](const Z80Registers& r) -> uint32_t { return r.IY.High; }},
    {"i", [](const Z80Registers& r) -> uint32_t { return r.I; }},
    {"r", [](const Z80Registers& r) -> uint32_t { return r.R; }},
    {"a'", [](const Z80Registers& r) -> uint32_t { return r.AltAF >> 8; }},
    {"f'", [](const Z80Registers& r) -> uint32_t { return r.AltAF & 0xFF; }},
    {"b'", [](const Z80Registers& r) -> uint32_t { return r.AltBC >> 8; }},
    {"c'", [](const Z80Registers& r) -> uint32_t { return r.AltBC & 0xFF; }},
    {"d'", [](const Z80Registers& r) -> uint32_t { return r.AltDE >> 8; }},
    {"e'", [](const Z80Registers& r) -> uint32_t { return r.AltDE & 0xFF; }},
    {"h'", [](const Z80Registers& r) -> uint32_t { return r.AltHL >> 8; }},
    {"l'", [](const Z80Registers& r) -> uint32_t { return r.AltHL & 0xFF; }},
    {"bc", [](const Z80Registers& r) -> uint32_t { return r.BC.Get(); }},
    {"de", [](const Z80Registers& r) -> uint32_t { return r.DE.Get(); }},
    {"hl", [](const Z80Registers& r) -> uint32_t { return r.HL.Get(); }},
    {"ix", [](const Z80Registers& r) -> uint32_t { return r.IX.Get(); }},
    {"iy", [](const Z80Registers& r) -> uint32_t { return r.IY.Get(); }},
    {"af", [](const Z80Registers& r) -> uint32_t { return r.AF.Get(); }},
    {"pc", [](const Z80Registers& r) -> uint32_t { return r.PC; }},
    {"sp", [](const Z80Registers& r) -> uint32_t { return r.SP; }},
    {"af'", [](const Z80Registers& r) -> uint32_t { return r.AltAF; }},
    {"bc'", [](const Z80Registers& r) -> uint32_t { return r.AltBC; }},
    {"de'", [](const Z80Registers& r) -> uint32_t { return r.AltDE; }},
    {"hl'", [](const Z80Registers& r) -> uint32_t { return r.AltHL; }},
    {"t", [](const Z80Registers& r) -> uint32_t { return r.Tackts; }},
};

// Symbol names as assemblers write them (main.loop, @@next, _start, done?) besides the
// register names with their "'".
bool IsNameStart(char c) {
  return (c >= 'a' && c <= 'z') || c == '_' || c == '.' || c == '@';
}

bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '\'' || c == '?' || c == '!';
}

// Arithmetic is done unsigned so that it wraps at 32 bits without undefined behaviour.
class Parser {
 public:
  Parser(std::string text, const Z80Registers& regs, const SymbolTable* symbols, bool constant)
      : text_(std::move(text)), regs_(regs), symbols_(symbols), constant_(constant) {}

  uint32_t Run() { return Expression(false, 0); }

 private:
  char Peek(size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }
  bool AtEnd() const { return pos_ >= text_.size(); }

  // "+" and "-" take everything after them as one sub-expression, which amounts to a sum
  // of terms; summed in a loop, so a long chain does not recurse.
  uint32_t Expression(bool inParens, int depth) {
    uint32_t sum = 0;
    uint32_t value = Operand(depth);
    for (;;) {
      if (AtEnd()) {
        if (inParens) throw ExpressionError("Not found close parenthesis!");
        return sum + value;
      }
      char c = Peek();
      if (c == '*') {
        ++pos_;
        value *= Operand(depth);
      } else if (c == '/') {
        ++pos_;
        value = Divide(value, Operand(depth));
      } else if (c == '+' || c == '-') {
        // The minus stays for the next operand to read as its sign.
        if (c == '+') ++pos_;
        sum += value;
        value = Operand(depth);
      } else if (c == ')') {
        if (!inParens) throw ExpressionError("Not found open parenthesis!");
        return sum + value;
      } else {
        throw ExpressionError("Invalid operator");
      }
    }
  }

  static uint32_t Divide(uint32_t dividend, uint32_t divisor) {
    if (divisor == 0) throw ExpressionError("Divide by zero!");
    auto a = static_cast<int32_t>(dividend);
    auto d = static_cast<int32_t>(divisor);
    if (d == -1) return 0u - dividend;  // INT32_MIN / -1 wraps to itself
    return static_cast<uint32_t>(a / d);
  }

  uint32_t Operand(int depth) {
    bool negate = false;
    while (Peek() == '-') {
      negate = !negate;
      ++pos_;
    }
    uint32_t value = 0;
    char c = Peek();
    if (c == '#') {
      ++pos_;
      value = Digits(16, "Invalid character in hexadecimal constant!");
    } else if (c == '%') {
      ++pos_;
      value = Digits(2, "Invalid character in binary constant!");
    } else if (c == '0' && Peek(1) == 'x') {
      pos_ += 2;
      value = Digits(16, "Invalid character in hexadecimal constant!");
    } else if (c >= '0' && c <= '9') {
      value = Digits(10, nullptr);
    } else if (c == '(') {
      if (depth >= kMaxNesting) throw ExpressionError("Too many nested parentheses!");
      ++pos_;
      value = Expression(true, depth + 1);
      if (Peek() != ')') throw ExpressionError("Not found close parenthesis!");
      ++pos_;
    } else if (IsNameStart(c)) {
      value = Name();
    } else {
      throw ExpressionError("Hint: Dec 0, Hex #0, Bin %0");
    }
    return negate ? 0u - value : value;
  }

  uint32_t Digits(uint32_t base, const char* error) {
    uint32_t value = 0;
    size_t start = pos_;
    for (; !AtEnd(); ++pos_) {
      char c = Peek();
      uint32_t digit;
      if (c >= '0' && c <= '9') {
        digit = static_cast<uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        digit = static_cast<uint32_t>(c - 'a' + 10);
      } else {
        break;
      }
      if (digit >= base) break;
      value = value * base + digit;
    }
    if (pos_ == start && error) throw ExpressionError(error);
    return value;
  }

  uint32_t Name() {
    size_t start = pos_;
    while (!AtEnd() && IsNameChar(Peek())) ++pos_;
    std::string_view name = std::string_view(text_).substr(start, pos_ - start);
    for (const Variable& variable : kVariables) {
      if (variable.Name != name) continue;
      if (constant_) {
        throw ExpressionError("Register " + std::string(name) + " has no value before the run!");
      }
      return variable.Read(regs_);
    }
    if (symbols_) {
      if (std::optional<uint16_t> value = symbols_->Find(name)) return *value;
    }
    throw ExpressionError("Invalid variable name!");
  }

  std::string text_;
  size_t pos_ = 0;
  const Z80Registers& regs_;
  const SymbolTable* symbols_;
  bool constant_;  // registers refused
};

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

}  // namespace

int32_t EvaluateExpression(std::string_view text, const Z80Registers& regs,
                           const SymbolTable* symbols) {
  return static_cast<int32_t>(Parser(Lowered(text), regs, symbols, false).Run());
}

int32_t EvaluateConstant(std::string_view text, const SymbolTable* symbols) {
  static const Z80Registers kUnread{};
  return static_cast<int32_t>(Parser(Lowered(text), kUnread, symbols, true).Run());
}

}  // namespace vantrel
