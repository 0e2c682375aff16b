#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "core/Memory.h"
#include "core/Z80Registers.h"
#include "machine/ExpressionProgram.h"

namespace vantrel {

class SymbolTable;

// Raised with the user-facing message; the evaluation changes nothing.
class ExpressionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Evaluates an address, value or condition typed by the user: decimal, #hex, 0xhex and
// %binary numbers, register names (and symbol names when a table is given), memory reads
// ([addr] a byte, {addr} a word, both through the processor's map, [page:addr] a byte of
// a RAM page) and C's operators with C's precedence: unary - ! ~, then * /, + -, << >>,
// < <= > >=, = == <> !=, &, ^, |, &&, ||. A comparison gives 1 or 0. Spaces may stand
// between tokens. Values are signed 32-bit and wrap; an address is the low 16 bits. Meant
// for a stopped machine: registers and memory are read without synchronisation; without
// `mem` a memory read is an error.
int32_t EvaluateExpression(std::string_view text, const Z80Registers& regs,
                           const SymbolTable* symbols = nullptr, const Memory* mem = nullptr);

// The text as a program to run later (a breakpoint's condition); symbols become their
// values now. Throws ExpressionError when the text does not parse.
ExpressionProgram CompileExpression(std::string_view text, const SymbolTable* symbols = nullptr);

// The same for a value fixed before the machine runs (a command-line breakpoint): a
// register name or memory read is refused, since it has no value yet.
int32_t EvaluateConstant(std::string_view text, const SymbolTable* symbols = nullptr);

}  // namespace vantrel
