#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "core/Z80Registers.h"

namespace vantrel {

class SymbolTable;

// Raised with the user-facing message; the evaluation changes nothing.
class ExpressionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Evaluates an address or value typed by the user: decimal, #hex, 0xhex and %binary
// numbers, register names (and symbol names when a table is given), parentheses and
// + - * /. Values are signed 32-bit and wrap; an address is the low 16 bits. Meant for a
// stopped machine: registers are read without synchronisation.
int32_t EvaluateExpression(std::string_view text, const Z80Registers& regs,
                           const SymbolTable* symbols = nullptr);

// The same for a value fixed before the machine runs (a command-line breakpoint): a
// register name is refused, since it has no value yet.
int32_t EvaluateConstant(std::string_view text, const SymbolTable* symbols = nullptr);

}  // namespace vantrel
