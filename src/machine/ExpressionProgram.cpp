#include "machine/ExpressionProgram.h"

#include <array>

namespace vantrel {

namespace {

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
constexpr int kVariableCount = static_cast<int>(std::size(kVariables));

uint32_t Divide(uint32_t dividend, uint32_t divisor) {
  const auto a = static_cast<int32_t>(dividend);
  const auto d = static_cast<int32_t>(divisor);
  if (d == -1) return 0u - dividend;  // INT32_MIN / -1 wraps to itself
  return static_cast<uint32_t>(a / d);
}

uint32_t ShiftRight(uint32_t value, uint32_t count) {
  const bool negative = (value & 0x80000000u) != 0;
  if (count >= 32) return negative ? 0xFFFFFFFFu : 0;
  const uint32_t shifted = value >> count;
  return negative && count > 0 ? shifted | ~(0xFFFFFFFFu >> count) : shifted;
}

}  // namespace

int FindRegisterVariable(std::string_view name) {
  for (int i = 0; i < kVariableCount; ++i) {
    if (kVariables[i].Name == name) return i;
  }
  return -1;
}

bool ExpressionProgram::ReadsMachine() const {
  for (const ExprInstruction& step : code_) {
    if (step.Op == ExprOp::Register || step.Op == ExprOp::PeekByte || step.Op == ExprOp::PeekWord ||
        step.Op == ExprOp::PageByte) {
      return true;
    }
  }
  return false;
}

const char* ExpressionProgram::Run(const Z80Registers& regs, const Memory* mem,
                                   int32_t* value) const {
  // The builder keeps programs within kMaxStack; the checks below guard a bad program
  // rather than a bad text.
  std::array<uint32_t, kMaxStack> stack;
  int top = 0;  // values on the stack
  const size_t size = code_.size();
  for (size_t pc = 0; pc < size; ++pc) {
    const ExprInstruction& step = code_[pc];
    const ExprOp op = step.Op;
    if (op == ExprOp::Constant || op == ExprOp::Register) {
      if (top == kMaxStack) return "Expression too complex!";
      stack[static_cast<size_t>(top++)] = op == ExprOp::Constant ? step.Value
                                          : step.Value < static_cast<uint32_t>(kVariableCount)
                                              ? kVariables[step.Value].Read(regs)
                                              : 0;
      continue;
    }
    if (top < 1) return "Malformed expression!";
    uint32_t& x = stack[static_cast<size_t>(top - 1)];
    switch (op) {
      case ExprOp::Negate: x = 0u - x; continue;
      case ExprOp::Not: x = x == 0 ? 1 : 0; continue;
      case ExprOp::Complement: x = ~x; continue;
      case ExprOp::Truth: x = x != 0 ? 1 : 0; continue;
      case ExprOp::PeekByte:
      case ExprOp::PeekWord: {
        if (mem == nullptr) return "Memory cannot be read here!";
        const auto address = static_cast<uint16_t>(x);
        x = mem->PeekByte(address);
        if (op == ExprOp::PeekWord) x |= mem->PeekByte(static_cast<uint16_t>(address + 1)) << 8;
        continue;
      }
      case ExprOp::AndSkip:
      case ExprOp::OrSkip: {
        const bool decides = op == ExprOp::AndSkip ? x == 0 : x != 0;
        if (!decides) {
          --top;
          continue;
        }
        if (step.Value > size) return "Malformed expression!";
        x = op == ExprOp::AndSkip ? 0 : 1;
        pc = step.Value - 1;  // the loop's ++ lands on the target
        continue;
      }
      default: break;
    }
    // Binary operators: y is the right operand, x the left one and the result.
    if (top < 2) return "Malformed expression!";
    const uint32_t y = x;
    --top;
    uint32_t& l = stack[static_cast<size_t>(top - 1)];
    const auto sl = static_cast<int32_t>(l);
    const auto sy = static_cast<int32_t>(y);
    switch (op) {
      case ExprOp::Multiply: l *= y; break;
      case ExprOp::Divide:
        if (y == 0) return "Divide by zero!";
        l = Divide(l, y);
        break;
      case ExprOp::Add: l += y; break;
      case ExprOp::Subtract: l -= y; break;
      case ExprOp::ShiftLeft: l = y < 32 ? l << y : 0; break;
      case ExprOp::ShiftRight: l = ShiftRight(l, y); break;
      case ExprOp::Less: l = sl < sy; break;
      case ExprOp::LessEqual: l = sl <= sy; break;
      case ExprOp::Greater: l = sl > sy; break;
      case ExprOp::GreaterEqual: l = sl >= sy; break;
      case ExprOp::Equal: l = l == y; break;
      case ExprOp::NotEqual: l = l != y; break;
      case ExprOp::BitAnd: l &= y; break;
      case ExprOp::BitXor: l ^= y; break;
      case ExprOp::BitOr: l |= y; break;
      case ExprOp::PageByte: {
        if (mem == nullptr) return "Memory cannot be read here!";
        if (l >= static_cast<uint32_t>(Memory::kBankCount)) return "No such RAM page!";
        l = mem->Bank(static_cast<int>(l))[y & (Memory::kBankSize - 1)];
        break;
      }
      default: return "Malformed expression!";
    }
  }
  if (top != 1) return "Malformed expression!";
  *value = static_cast<int32_t>(stack[0]);
  return nullptr;
}

}  // namespace vantrel
