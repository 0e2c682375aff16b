#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/Memory.h"
#include "core/Z80Registers.h"

namespace vantrel {

// A typed expression turned into a little stack program, so that a breakpoint's
// condition is parsed once and then run at every hit without parsing, allocation or
// exceptions. The debugger's evaluator builds it (debugger/Evaluator.h).
enum class ExprOp : uint8_t {
  Constant,    // pushes Value
  Register,    // pushes the register variable number Value
  Negate,      // unary -
  Not,         // !: 1 for 0, else 0
  Complement,  // ~
  Multiply,
  Divide,  // truncates toward zero; a zero divisor fails
  Add,
  Subtract,
  ShiftLeft,   // a count outside 0..31 gives 0
  ShiftRight,  // arithmetic, as C's on a signed value
  Less,
  LessEqual,
  Greater,
  GreaterEqual,
  Equal,
  NotEqual,
  BitAnd,
  BitXor,
  BitOr,
  // && and ||: the left value decides alone when it can (0 for &&, non-zero for ||), so
  // "0 && 1/0" is 0. Pops it; when it decides, pushes the result and jumps to Value.
  AndSkip,
  OrSkip,
  Truth,     // 1 for non-zero, else 0 (the right side of && and ||)
  PeekByte,  // [address]: through the processor's current map
  PeekWord,  // {address}: little-endian, the second byte at address + 1 (16-bit wrap)
  PageByte,  // [page:address]: a byte of RAM page `page`, address taken modulo 16 KB
};

struct ExprInstruction {
  ExprOp Op = ExprOp::Constant;
  uint32_t Value = 0;
};

// The register variables by name ("a", "hl", "af'", "t"...), matched exactly and in
// table order; -1 when `name` is not one.
int FindRegisterVariable(std::string_view name);

class ExpressionProgram {
 public:
  // The deepest value stack a program may need; the builder refuses deeper ones.
  static constexpr int kMaxStack = 512;

  void Emit(ExprOp op, uint32_t value = 0) { code_.push_back({op, value}); }
  size_t Size() const { return code_.size(); }
  void Patch(size_t at, uint32_t value) { code_[at].Value = value; }
  const std::vector<ExprInstruction>& Code() const { return code_; }
  // Whether the program reads registers or memory (a value fixed before a run may not).
  bool ReadsMachine() const;

  // Runs the program: nullptr with `value` set, or the failure's message ("Divide by
  // zero!"). Without `mem` a memory read fails.
  const char* Run(const Z80Registers& regs, const Memory* mem, int32_t* value) const;

 private:
  std::vector<ExprInstruction> code_;
};

}  // namespace vantrel
