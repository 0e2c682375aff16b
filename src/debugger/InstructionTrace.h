#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "debugger/Disassembler.h"
#include "disk/ReplaceFile.h"
#include "machine/Machine.h"
#include "machine/RunLoop.h"

namespace vantrel {

class SymbolTable;

// One line of an instruction trace: the T-state count since the trace began, the
// address, the bytes, the disassembly (targets by their symbol names) and the registers
// after the instruction. An accepted interrupt is a line of its own. Made to be compared
// between two runs with diff.
class InstructionTrace final : public StepObserver {
 public:
  // Writes nothing until PC stands at `from` before a step (from the first step without).
  InstructionTrace(const Machine& machine, const SymbolTable* symbols,
                   std::optional<uint16_t> from);

  // The lines go to a temporary file beside `target`, renamed over it by Finish.
  bool Open(const std::filesystem::path& target, std::string* error);
  // Around every step of the machine.
  void BeforeStep() override;
  void AfterStep(StepKind kind) override;
  // Closes and renames; false with the reason when anything failed (the target is then
  // left as it was).
  bool Finish(std::string* error);

  // The text of a line (without its newline), for the file and the tests.
  static std::string Line(uint64_t tackts, uint16_t pc, const DisassembledLine& code,
                          const Z80Registers& after);
  static std::string InterruptLine(uint64_t tackts, uint16_t pc, const Z80Registers& after);

 private:
  const Machine& machine_;
  const SymbolTable* symbols_;
  std::optional<uint16_t> from_;
  bool started_ = false;
  bool writeFailed_ = false;
  ReplacingFile file_;
  // The instruction about to run, read before it can change its own bytes.
  bool pending_ = false;
  uint16_t pc_ = 0;
  uint64_t tackts_ = 0;
  DisassembledLine code_;
  uint32_t firstFrame_ = 0;
};

}  // namespace vantrel
