#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace vantrel {

class Memory;
class SymbolTable;

// Where the disassembler reads bytes: memory as the processor sees it, or a test buffer.
using ByteSource = std::function<uint8_t(uint16_t)>;
ByteSource MemoryBytes(const Memory& memory);

struct DisassembledLine {
  std::string Text;                // the mnemonic and operands
  std::array<uint8_t, 4> Bytes{};  // the bytes consumed, in order
  int Length = 0;                  // 1 to 4
  uint16_t Next = 0;               // the address after the instruction (wraps)
};

// One instruction at `address`; `format` is a NumberFormat. With a symbol table, jump and
// call targets that have a name are shown by it. Never fails: bytes without a meaning
// show as NOP.
DisassembledLine Disassemble(const ByteSource& bytes, uint16_t address, int format,
                             const SymbolTable* symbols = nullptr);

// The byte count of the instruction at `address`, 1 to 4, as Disassemble consumes it;
// cheap enough to lay out a screenful of lines and to step backwards.
int InstructionLength(const ByteSource& bytes, uint16_t address);

// Where the branch at `address` goes: relative and absolute jumps, calls and RST.
// Returns false for any other instruction (JP (HL) included: its target is not in the code).
bool BranchTarget(const ByteSource& bytes, uint16_t address, uint16_t& target);

}  // namespace vantrel
