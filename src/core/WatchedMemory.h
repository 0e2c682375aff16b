#pragma once

#include <cstdint>

#include "core/Compiler.h"
#include "core/Memory.h"

namespace vantrel {

// Memory as the processor sees it while the debugger watches data accesses: every read
// and write of a data byte (not an opcode or operand fetch) is reported before it
// happens. Only the watching processor instance uses it; the plain one reads Memory
// directly and pays nothing.
class WatchedMemory {
 public:
  using AccessHook = void (*)(void* context, uint16_t address);
  static constexpr bool kContended = false;

  explicit WatchedMemory(Memory& memory) : mem_(memory) {}
  void SetHooks(AccessHook read, AccessHook write, void* context) {
    onRead_ = read;
    onWrite_ = write;
    context_ = context;
  }

  VANTREL_ALWAYS_INLINE uint8_t ReadByte(uint16_t address) const {
    onRead_(context_, address);
    return mem_.ReadByte(address);
  }
  VANTREL_ALWAYS_INLINE void WriteByte(uint16_t address, uint8_t value) {
    onWrite_(context_, address);
    mem_.WriteByte(address, value);
  }
  VANTREL_ALWAYS_INLINE uint16_t ReadWord(uint16_t address) const {
    return static_cast<uint16_t>(ReadByte(address) |
                                 (ReadByte(static_cast<uint16_t>(address + 1)) << 8));
  }
  VANTREL_ALWAYS_INLINE void WriteWord(uint16_t address, uint16_t value) {
    WriteByte(address, static_cast<uint8_t>(value));
    WriteByte(static_cast<uint16_t>(address + 1), static_cast<uint8_t>(value >> 8));
  }
  VANTREL_ALWAYS_INLINE uint8_t FetchByte(uint16_t address) const { return mem_.ReadByte(address); }
  VANTREL_ALWAYS_INLINE uint16_t FetchWord(uint16_t address) const {
    return mem_.ReadWord(address);
  }
  uint8_t PeekByte(uint16_t address) const { return mem_.PeekByte(address); }
  void UpdateDosRom(uint16_t pc) { mem_.UpdateDosRom(pc); }

 private:
  static void Ignore(void*, uint16_t) {}

  Memory& mem_;
  AccessHook onRead_ = Ignore;
  AccessHook onWrite_ = Ignore;
  void* context_ = nullptr;
};

}  // namespace vantrel
