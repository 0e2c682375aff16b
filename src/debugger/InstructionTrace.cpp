#include "debugger/InstructionTrace.h"

#include <cinttypes>
#include <cstdio>

namespace vantrel {

namespace {

std::string Registers(const Z80Registers& r) {
  char text[160];
  std::snprintf(text, sizeof text,
                "AF=%04X BC=%04X DE=%04X HL=%04X IX=%04X IY=%04X SP=%04X AF'=%04X BC'=%04X "
                "DE'=%04X HL'=%04X I=%02X R=%02X IFF=%d%d IM=%d",
                r.AF.Get(), r.BC.Get(), r.DE.Get(), r.HL.Get(), r.IX.Get(), r.IY.Get(), r.SP,
                r.AltAF, r.AltBC, r.AltDE, r.AltHL, r.I, r.ReadR(), r.IFF1 ? 1 : 0, r.IFF2 ? 1 : 0,
                r.IM);
  return text;
}

}  // namespace

InstructionTrace::InstructionTrace(const Machine& machine, const SymbolTable* symbols,
                                   std::optional<uint16_t> from)
    : machine_(machine), symbols_(symbols), from_(from), started_(!from) {}

bool InstructionTrace::Open(const std::filesystem::path& target, std::string* error) {
  firstFrame_ = machine_.State.FrameCount.load(std::memory_order_relaxed);
  return file_.Open(target, error);
}

std::string InstructionTrace::Line(uint64_t tackts, uint16_t pc, const DisassembledLine& code,
                                   const Z80Registers& after) {
  char bytes[16] = {};
  int used = 0;
  for (int i = 0; i < code.Length && i < 4; ++i) {
    used += std::snprintf(bytes + used, sizeof bytes - static_cast<size_t>(used),
                          i == 0 ? "%02X" : " %02X", code.Bytes[static_cast<size_t>(i)]);
  }
  char head[64];
  std::snprintf(head, sizeof head, "%10" PRIu64 " %04X %-11s ", tackts, pc, bytes);
  std::string text = head + code.Text;
  if (text.size() < 48) text.resize(48, ' ');
  return text + " " + Registers(after);
}

std::string InstructionTrace::InterruptLine(uint64_t tackts, uint16_t pc,
                                            const Z80Registers& after) {
  DisassembledLine line;
  line.Text = "(interrupt)";
  return Line(tackts, pc, line, after);
}

void InstructionTrace::BeforeStep() {
  const Z80Registers& r = machine_.State.Regs;
  if (!started_ && r.PC == *from_) started_ = true;
  pending_ = started_;
  if (!pending_) return;
  pc_ = r.PC;
  const uint32_t frames = machine_.State.FrameCount.load(std::memory_order_relaxed) - firstFrame_;
  tackts_ = static_cast<uint64_t>(frames) * machine_.State.TacktsPerInt + r.Tackts;
  code_ = Disassemble(MemoryBytes(machine_.Mem), pc_, 0, symbols_);
}

void InstructionTrace::AfterStep(StepKind kind) {
  if (!pending_ || kind == StepKind::Idle || file_.Stream() == nullptr) return;
  pending_ = false;
  const Z80Registers& r = machine_.State.Regs;
  const std::string line = (kind == StepKind::Interrupt ? InterruptLine(tackts_, pc_, r)
                                                        : Line(tackts_, pc_, code_, r)) +
                           "\n";
  if (std::fputs(line.c_str(), file_.Stream()) < 0) writeFailed_ = true;
}

bool InstructionTrace::Finish(std::string* error) {
  if (writeFailed_) {
    file_.Discard();
    *error = "cannot write the trace";
    return false;
  }
  return file_.Commit(error);
}

}  // namespace vantrel
