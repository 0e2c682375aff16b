#include "cli/CpmMachine.h"

#include <cstring>

namespace vantrel {

namespace {

// The processor's clock is a per-frame counter; a frame's worth is folded into the
// 64-bit total whenever it is reached, as the frame loop would, so it never wraps.
constexpr uint32_t kFoldTackts = kDefaultTacktsPerInt;

constexpr uint8_t kOpHalt = 0x76;
constexpr uint8_t kOpJp = 0xC3;
constexpr uint8_t kOpRet = 0xC9;

// A '$'-terminated string longer than the address space means the terminator is missing.
constexpr size_t kMaxStringLength = 65536;

}  // namespace

void MakeFlatRam(Memory& memory) {
  memory.Model = MemoryModel::Scorpion256k;
  // A previous 48K lock would make a plain #7FFD write a no-op; TR-DOS would replace
  // the RAM at 0x0000 when code runs at 0x3Dxx.
  memory.DosEnabled = false;
  memory.UnlockAndWritePort7FFD(0x01);
  memory.WritePort1FFD(0x01);
  for (uint32_t base = 0; base < 0x10000; base += Memory::kBankSize) {
    std::memset(memory.HostPointer(static_cast<uint16_t>(base)), 0, Memory::kBankSize);
  }
}

bool CpmMachine::LoadCom(const std::vector<uint8_t>& image, std::string* error) {
  if (image.empty()) {
    if (error) *error = "the program is empty";
    return false;
  }
  if (image.size() > kMaxComSize) {
    if (error) {
      *error = "the program is " + std::to_string(image.size()) + " bytes; at most " +
               std::to_string(kMaxComSize) + " fit between 0x0100 and 0xFE00";
    }
    return false;
  }

  MakeFlatRam(memory_);
  for (size_t i = 0; i < image.size(); ++i) {
    memory_.WriteByte(static_cast<uint16_t>(kLoadAddress + i), image[i]);
  }
  // Warm boot: Run stops before executing it; a HALT keeps a stray Step there.
  memory_.WriteByte(0x0000, kOpHalt);
  // The BDOS entry jumps to the top of the program area; Run answers the call on
  // arrival at 0x0005, so the RET there only serves a caller that steps by itself.
  memory_.WriteByte(kBdosEntry, kOpJp);
  memory_.WriteWord(kBdosEntry + 1, kTopOfTpa);
  memory_.WriteByte(kTopOfTpa, kOpRet);

  state_.Regs = Z80Registers{};
  state_.CpuStopped = false;
  folded_ = 0;
  Z80Registers& r = state_.Regs;
  // As under CP/M, a program may also end with RET: 0x0000 is on the stack.
  r.SP = 0xFFFE;
  memory_.WriteWord(r.SP, 0x0000);
  r.PC = kLoadAddress;
  return true;
}

CpmMachine::Result CpmMachine::Run(const std::function<void(char)>& output, uint64_t maxTackts) {
  Z80Registers& r = state_.Regs;
  const std::atomic<bool> running{true};
  for (;;) {
    const uint64_t done = TotalTackts();
    if (done >= maxTackts) return Result::Limit;
    // Run to the end of the frame or to the budget, whichever comes first.
    const uint64_t budgetEnd = r.Tackts + (maxTackts - done);
    const uint32_t stop = budgetEnd < kFoldTackts ? static_cast<uint32_t>(budgetEnd) : kFoldTackts;
    while (r.Tackts < stop) {
      if (r.PC <= kBdosEntry) [[unlikely]] {
        if (r.PC == 0x0000) return Result::Finished;
        if (r.PC == kBdosEntry) {
          Bdos(output);
          continue;
        }
      }
      // Instructions run back to back until PC reaches the system entries again.
      cpu_.StepUntil(stop, running, kBdosEntry);
    }
    if (r.Tackts >= kFoldTackts) {
      r.Tackts -= kFoldTackts;
      folded_ += kFoldTackts;
    }
  }
}

void CpmMachine::Bdos(const std::function<void(char)>& output) {
  Z80Registers& r = state_.Regs;
  switch (r.C()) {
    case 0:  // system reset: the program is over
      r.PC = 0x0000;
      return;
    case 2: output(static_cast<char>(r.E())); break;
    case 9: {
      uint16_t address = r.DE.Get();
      for (size_t n = 0; n < kMaxStringLength; ++n) {
        const uint8_t ch = memory_.ReadByte(address++);
        if (ch == '$') break;
        output(static_cast<char>(ch));
      }
      break;
    }
    default: break;
  }
  // Return to the caller, as the RET at the end of the BDOS would.
  r.PC = memory_.ReadWord(r.SP);
  r.SP = static_cast<uint16_t>(r.SP + 2);
}

}  // namespace vantrel
