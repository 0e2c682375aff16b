#include "debugger/Evaluator.h"

#include <string>

#include "debugger/Symbols.h"

namespace vantrel {

namespace {

// Parentheses and brackets recurse; a pasted text of thousands of "(" must not exhaust
// the stack.
constexpr int kMaxNesting = 256;

// Symbol names as assemblers write them (main.loop, @@next, _start, done?) besides the
// register names with their "'".
bool IsNameStart(char c) {
  return (c >= 'a' && c <= 'z') || c == '_' || c == '.' || c == '@';
}

bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '\'' || c == '?' || c == '!';
}

// The binary operators from the loosest binding to the tightest, as in C.
struct BinaryOperator {
  std::string_view Text;
  int Level;
  ExprOp Op;
};
// Longer spellings first, so "<=" is not read as "<".
constexpr BinaryOperator kBinaryOperators[] = {
    {"||", 1, ExprOp::OrSkip},       {"&&", 2, ExprOp::AndSkip},    {"|", 3, ExprOp::BitOr},
    {"^", 4, ExprOp::BitXor},        {"==", 6, ExprOp::Equal},      {"!=", 6, ExprOp::NotEqual},
    {"<>", 6, ExprOp::NotEqual},     {"=", 6, ExprOp::Equal},       {"&", 5, ExprOp::BitAnd},
    {"<<", 8, ExprOp::ShiftLeft},    {">>", 8, ExprOp::ShiftRight}, {"<=", 7, ExprOp::LessEqual},
    {">=", 7, ExprOp::GreaterEqual}, {"<", 7, ExprOp::Less},        {">", 7, ExprOp::Greater},
    {"+", 9, ExprOp::Add},           {"-", 9, ExprOp::Subtract},    {"*", 10, ExprOp::Multiply},
    {"/", 10, ExprOp::Divide},
};

// Builds the program by precedence climbing; arithmetic happens when it runs.
class Parser {
 public:
  Parser(std::string text, const SymbolTable* symbols, bool constant)
      : text_(std::move(text)), symbols_(symbols), constant_(constant) {}

  ExpressionProgram Run() {
    Expression(1, 0);
    SkipSpaces();
    if (!AtEnd()) {
      const char c = Peek();
      if (c == ')') throw ExpressionError("Not found open parenthesis!");
      if (c == ']') throw ExpressionError("Not found open bracket!");
      if (c == '}') throw ExpressionError("Not found open brace!");
      throw ExpressionError("Invalid operator");
    }
    if (depthNeeded_ > ExpressionProgram::kMaxStack)
      throw ExpressionError("Expression too complex!");
    return std::move(program_);
  }

 private:
  char Peek(size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }
  bool AtEnd() const { return pos_ >= text_.size(); }
  void SkipSpaces() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t')) ++pos_;
  }

  void Emit(ExprOp op, uint32_t value = 0) {
    program_.Emit(op, value);
    if (op == ExprOp::Constant || op == ExprOp::Register) {
      depthNeeded_ = std::max(depthNeeded_, ++depth_);
    } else if (op == ExprOp::AndSkip || op == ExprOp::OrSkip ||
               (op >= ExprOp::Multiply && op <= ExprOp::BitOr) || op == ExprOp::PageByte) {
      --depth_;
    }
  }

  // The operator at the cursor, or nullptr when the expression at this level ends there.
  const BinaryOperator* PeekOperator() {
    SkipSpaces();
    const std::string_view rest = std::string_view(text_).substr(pos_);
    for (const BinaryOperator& op : kBinaryOperators) {
      if (rest.starts_with(op.Text)) return &op;
    }
    return nullptr;
  }

  // Operators of `minLevel` and above; each level's operators group from the left.
  void Expression(int minLevel, int nesting) {
    Unary(nesting);
    for (;;) {
      const BinaryOperator* op = PeekOperator();
      if (op == nullptr || op->Level < minLevel) {
        if (op == nullptr && !AtEnd() && !IsCloser(Peek())) {
          throw ExpressionError("Invalid operator");
        }
        return;
      }
      pos_ += op->Text.size();
      if (op->Op == ExprOp::AndSkip || op->Op == ExprOp::OrSkip) {
        const size_t skip = program_.Size();
        Emit(op->Op);
        Expression(op->Level + 1, nesting);
        Emit(ExprOp::Truth);
        program_.Patch(skip, static_cast<uint32_t>(program_.Size()));
      } else {
        Expression(op->Level + 1, nesting);
        Emit(op->Op);
      }
    }
  }

  static bool IsCloser(char c) { return c == ')' || c == ']' || c == '}' || c == ':'; }

  // Prefix operators, then an operand. Collected first and applied innermost first, so
  // a long run of signs does not recurse.
  void Unary(int nesting) {
    std::string prefixes;
    for (;;) {
      SkipSpaces();
      const char c = Peek();
      if (c != '-' && c != '!' && c != '~') break;
      prefixes += c;
      ++pos_;
    }
    Operand(nesting);
    for (auto it = prefixes.rbegin(); it != prefixes.rend(); ++it) {
      Emit(*it == '-' ? ExprOp::Negate : *it == '!' ? ExprOp::Not : ExprOp::Complement);
    }
  }

  // A closed group: "(" expr ")", "[" expr "]", "[" page ":" expr "]", "{" expr "}".
  void Group(int nesting, char close, const char* missing) {
    if (nesting >= kMaxNesting) throw ExpressionError("Too many nested parentheses!");
    ++pos_;
    Expression(1, nesting + 1);
    SkipSpaces();
    if (Peek() != close) throw ExpressionError(missing);
    ++pos_;
  }

  void Operand(int nesting) {
    SkipSpaces();
    const char c = Peek();
    if (c == '#') {
      ++pos_;
      Emit(ExprOp::Constant, Digits(16, "Invalid character in hexadecimal constant!"));
    } else if (c == '%') {
      ++pos_;
      Emit(ExprOp::Constant, Digits(2, "Invalid character in binary constant!"));
    } else if (c == '0' && Peek(1) == 'x') {
      pos_ += 2;
      Emit(ExprOp::Constant, Digits(16, "Invalid character in hexadecimal constant!"));
    } else if (c >= '0' && c <= '9') {
      Emit(ExprOp::Constant, Digits(10, nullptr));
    } else if (c == '(') {
      Group(nesting, ')', "Not found close parenthesis!");
    } else if (c == '{') {
      MemoryRead();
      Group(nesting, '}', "Not found close brace!");
      Emit(ExprOp::PeekWord);
    } else if (c == '[') {
      MemoryRead();
      if (nesting >= kMaxNesting) throw ExpressionError("Too many nested parentheses!");
      ++pos_;
      Expression(1, nesting + 1);
      SkipSpaces();
      ExprOp read = ExprOp::PeekByte;
      if (Peek() == ':') {  // [page:address]
        ++pos_;
        Expression(1, nesting + 1);
        SkipSpaces();
        read = ExprOp::PageByte;
      }
      if (Peek() != ']') throw ExpressionError("Not found close bracket!");
      ++pos_;
      Emit(read);
    } else if (IsNameStart(c)) {
      Name();
    } else {
      throw ExpressionError("Hint: Dec 0, Hex #0, Bin %0");
    }
  }

  void MemoryRead() const {
    if (constant_) throw ExpressionError("Memory has no value before the run!");
  }

  uint32_t Digits(uint32_t base, const char* error) {
    uint32_t value = 0;
    const size_t start = pos_;
    for (; !AtEnd(); ++pos_) {
      const char c = Peek();
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

  void Name() {
    const size_t start = pos_;
    // A "!" that begins "!=" is the operator, not part of the name.
    while (!AtEnd() && IsNameChar(Peek()) && !(Peek() == '!' && Peek(1) == '=')) ++pos_;
    const std::string_view name = std::string_view(text_).substr(start, pos_ - start);
    if (const int variable = FindRegisterVariable(name); variable >= 0) {
      if (constant_) {
        throw ExpressionError("Register " + std::string(name) + " has no value before the run!");
      }
      Emit(ExprOp::Register, static_cast<uint32_t>(variable));
      return;
    }
    if (symbols_) {
      if (std::optional<uint16_t> value = symbols_->Find(name)) {
        Emit(ExprOp::Constant, *value);
        return;
      }
    }
    throw ExpressionError("Invalid variable name!");
  }

  std::string text_;
  size_t pos_ = 0;
  const SymbolTable* symbols_;
  bool constant_;  // registers and memory refused
  ExpressionProgram program_;
  int depth_ = 0;
  int depthNeeded_ = 0;
};

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

int32_t RunProgram(const ExpressionProgram& program, const Z80Registers& regs, const Memory* mem) {
  int32_t value = 0;
  if (const char* error = program.Run(regs, mem, &value)) throw ExpressionError(error);
  return value;
}

}  // namespace

ExpressionProgram CompileExpression(std::string_view text, const SymbolTable* symbols) {
  return Parser(Lowered(text), symbols, false).Run();
}

int32_t EvaluateExpression(std::string_view text, const Z80Registers& regs,
                           const SymbolTable* symbols, const Memory* mem) {
  return RunProgram(CompileExpression(text, symbols), regs, mem);
}

int32_t EvaluateConstant(std::string_view text, const SymbolTable* symbols) {
  static const Z80Registers kUnread{};
  return RunProgram(Parser(Lowered(text), symbols, true).Run(), kUnread, nullptr);
}

}  // namespace vantrel
