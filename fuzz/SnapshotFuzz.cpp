// libFuzzer target over the SNA, Z80 and SZX loaders. The first byte of an input chooses
// the loader (bit 7 set: SZX, whose accepted files are also saved and loaded again; else
// bit 0: 0 for SNA, 1 for Z80), whether the Beta 128 interface is fitted (bit 1),
// the memory model (bits 2-4) and the start mode the machine was reset into (bits 5-6);
// the rest is the file. The loaders run under whichever model, interface and paging the
// user has, and those change where the banks go. A refusal is a correct answer; anything
// the sanitizers catch is a fault.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "machine/Machine.h"
#include "media/SnapshotLoader.h"
#include "media/SzxSnapshot.h"

namespace {

using vantrel::Memory;
using vantrel::MemoryModel;

constexpr uint64_t kSeed = 1;
constexpr size_t kRamSize = Memory::kBankCount * Memory::kBankSize;

// Building a machine costs far more than a load, so one machine serves every input.
// Before each input it is put back into the state it had after power-on and reset, as far
// as a loader can see or change it, so that an input found to crash in a long run crashes
// again when run alone.
class FuzzMachine {
 public:
  FuzzMachine() : machine_(std::make_unique<vantrel::Machine>(kSeed)) {
    machine_->ResetMachine();
    std::memcpy(ram_.get(), machine_->Mem.RamBase(), kRamSize);
    regs_ = machine_->State.Regs;
    portFe_ = machine_->Ports.PortFE;
    border_ = machine_->Screen.BorderColour;
    borderHistory_ = machine_->Screen.BorderChangeHistory;
  }

  vantrel::Machine& Fresh(MemoryModel model, bool trDos, uint8_t startMode) {
    vantrel::Machine& m = *machine_;
    std::memcpy(m.Mem.RamBase(), ram_.get(), kRamSize);
    m.State.Regs = regs_;
    m.Ports.PortFE = portFe_;
    m.Screen.BorderColour = border_;
    m.Screen.BorderChangeHistory = borderHistory_;
    m.Mem.Model = model;
    m.SetTrDosEnabled(trDos);
    m.State.StartMode.store(startMode, std::memory_order_relaxed);
    // Page bits the last model left would survive a #7FFD write under the 128K model.
    m.Mem.ExtraPageBits = 0;
    m.Mem.Port1FFD = 0;
    m.ResetMachine();  // the paging, and with it the ROM at 0x0000 and the screen bank
    return m;
  }

 private:
  std::unique_ptr<vantrel::Machine> machine_;
  std::unique_ptr<uint8_t[]> ram_ = std::make_unique<uint8_t[]>(kRamSize);
  vantrel::Z80Registers regs_;
  uint8_t portFe_ = 0;
  uint8_t border_ = 0;
  uint8_t borderHistory_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzMachine machine;
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  const vantrel::SnapshotKind kind =
      (choice & 1) ? vantrel::SnapshotKind::Z80 : vantrel::SnapshotKind::Sna;
  const bool trDos = (choice & 2) != 0;
  const auto model = static_cast<MemoryModel>(((choice >> 2) & 7) % vantrel::kMemoryModelCount);
  const auto startMode = static_cast<uint8_t>((choice >> 5) & 3);
  try {
    vantrel::Machine& m = machine.Fresh(model, trDos, startMode);
    if (choice & 0x80) {
      vantrel::LoadSzx(m, {data + 1, size - 1});
      const std::vector<uint8_t> saved = vantrel::MakeSzx(m);
      vantrel::LoadSzx(m, saved);
    } else {
      vantrel::LoadSnapshotBytes(m, {data + 1, size - 1}, kind);
    }
  } catch (const vantrel::SnapshotError&) {
    // A refusal is the right answer to most inputs.
  }
  return 0;
}
