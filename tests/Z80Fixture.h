#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <utility>
#include <vector>

#include "MachineFixture.h"
#include "core/MachineState.h"
#include "core/Memory.h"
#include "core/PortBus.h"
#include "core/Z80.h"

namespace vantrel::test {

struct PortAccess {
  bool write;
  uint16_t port;
  uint8_t value;
  uint32_t tackts;  // the clock the device saw
  bool operator==(const PortAccess&) const = default;
  friend void PrintTo(const PortAccess& a, std::ostream* os) {
    *os << (a.write ? "out " : "in ") << std::hex << a.port << "=" << int{a.value} << std::dec
        << " at " << a.tackts;
  }
};
using PortLog = std::vector<PortAccess>;

// Fake port bus and tape hook target: logs every access with the clock at that moment.
struct PortRecorder {
  const Z80Registers* regs = nullptr;
  PortLog log;
  std::vector<uint8_t> reads;  // answered in order, then 0xFF
  size_t nextRead = 0;
  int tapeStarts = 0;
  uint8_t iff1AtTapeStart = 0xEE;

  void Reset(std::vector<uint8_t> answers) {
    log.clear();
    reads = std::move(answers);
    nextRead = 0;
  }

  static uint8_t Read(void* context, uint16_t port) {
    auto* rec = static_cast<PortRecorder*>(context);
    const uint8_t value = rec->nextRead < rec->reads.size() ? rec->reads[rec->nextRead++] : 0xFF;
    rec->log.push_back({false, port, value, rec->regs->Tackts});
    return value;
  }
  static void Write(void* context, uint16_t port, uint8_t value) {
    auto* rec = static_cast<PortRecorder*>(context);
    rec->log.push_back({true, port, value, rec->regs->Tackts});
  }
  static void TapeStarted(void* context) {
    auto* rec = static_cast<PortRecorder*>(context);
    ++rec->tapeStarts;
    rec->iff1AtTapeStart = rec->regs->IFF1;
  }
};

// A bare processor over RAM everywhere, its ports going to the recorder.
class Z80Fixture : public testing::Test {
 protected:
  Z80Fixture() {
    MakeFlatRam(memory);
    recorder.regs = &r;
    PortBus bus;
    bus.Context = &recorder;
    bus.Read = &PortRecorder::Read;
    bus.Write = &PortRecorder::Write;
    cpu.SetPortBus(bus);
  }

  // Places code at `at` and points PC at it.
  void Load(uint16_t at, const std::vector<uint8_t>& code) {
    r.PC = at;
    Poke(at, code);
  }
  void Poke(uint16_t at, const std::vector<uint8_t>& bytes) {
    for (uint8_t byte : bytes) memory.PokeByte(at++, byte);
  }
  // One step; returns the T-states it took.
  uint32_t Step() {
    const uint32_t before = r.Tackts;
    cpu.Step();
    return r.Tackts - before;
  }

  MachineState state;
  Memory memory;
  Z80 cpu{state, memory};
  Z80Registers& r = state.Regs;
  PortRecorder recorder;
};

}  // namespace vantrel::test
