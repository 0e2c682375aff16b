#include "machine/RomLoaderTrap.h"

#include <span>
#include <utility>

#include "core/Z80Flags.h"
#include "machine/Machine.h"

namespace vantrel {

namespace {

using namespace z80flags;

constexpr uint16_t kLoaderStart = 0x0556;    // LD-BYTES
constexpr uint16_t kLoaderEnd = 0x0605;      // past the edge routine's last RET
constexpr uint16_t kFirstEdgeCall = 0x056C;  // LD-START: C, AF', DE and IX hold the request
constexpr uint16_t kLoaderReturn = 0x053F;   // SA/LD-RET, pushed by the loader
// The return addresses the loader's last calls leave below SP: LD-8-BITS calling LD-EDGE-2,
// which calls LD-EDGE-1.
constexpr uint16_t kEdge2Return = 0x05CD;
constexpr uint16_t kEdge1Return = 0x05E6;

// FNV-1a over 0x0556-0x0604 of the loaders this follows: Sinclair's 48K BASIC (also the
// 128K's and Pentagon's 48K page) and OpenSE BASIC, whose loader does the same work with
// its DI first and a shorter wait for the leader.
constexpr uint32_t kSinclairLoader = 0x3128CFE0;
constexpr uint32_t kOpenSeLoader = 0x1CF8CA1C;

// CP n as the processor computes it.
uint8_t CompareFlags(uint8_t a, uint8_t value) {
  const unsigned diff = a - value;
  const auto result = static_cast<uint8_t>(diff);
  return static_cast<uint8_t>((kSZ53[result] & (S | Z)) | (value & F53) | N |
                              ((a ^ value ^ result) & H) |
                              (((a ^ value) & (a ^ result) & 0x80) >> 5) | ((diff >> 8) & C));
}

}  // namespace

bool KnownRomLoader(const Memory& mem) {
  uint32_t hash = 0x811C9DC5;
  for (uint32_t at = kLoaderStart; at < kLoaderEnd; ++at) {
    hash = (hash ^ mem.PeekByte(static_cast<uint16_t>(at))) * 0x01000193;
  }
  return hash == kSinclairLoader || hash == kOpenSeLoader;
}

TapePlayer::TrapResult LoadAtRomLoader(Machine& machine) {
  Z80Registers& r = machine.State.Regs;
  if (r.PC != kFirstEdgeCall) {
    const bool inLoader = r.PC >= kLoaderStart && r.PC < kLoaderEnd;
    return inLoader ? TapePlayer::TrapResult::Waiting : TapePlayer::TrapResult::Abandoned;
  }
  if (!KnownRomLoader(machine.Mem)) return TapePlayer::TrapResult::Abandoned;

  Memory& mem = machine.Mem;
  const std::span<const uint8_t> block = machine.Tape.TrapBlock();
  uint8_t a = 0, f = 0;
  auto a2 = static_cast<uint8_t>(r.AltAF >> 8);
  auto f2 = static_cast<uint8_t>(r.AltAF);
  uint8_t b = 0xB0;
  uint8_t c = r.C();
  uint16_t de = r.DE.Get();
  uint8_t h = 0, l = 0;
  uint16_t ix = r.IX.Get();
  const auto exchange = [&] {
    std::swap(a, a2);
    std::swap(f, f2);
  };

  // Leader and sync: every edge complements C, whose bit 5 then holds the EAR level, so
  // C ends complemented when the level after the sync differs from the one it was read
  // with. The sync then changes the border colours.
  const bool levelBefore = (c & 0x20) != 0;
  if (levelBefore != (machine.Tape.TrapLevelAfter() != 0)) c = static_cast<uint8_t>(~c);
  uint8_t lastOut = static_cast<uint8_t>((c & 0x07) | 0x08);
  c ^= 0x03;
  a = c;
  f = kSZ53P[a];

  size_t next = 0;
  for (;;) {
    if (next == block.size()) {
      // No edge comes: the edge routine counts B up to 0 and returns with carry clear.
      l = 0x01;  // LD-MARKER's bit, nothing shifted in
      b = 0;
      a = 0;
      f = Z | H;
      break;
    }
    // LD-8-BITS: eight bits into L, each ending on an edge that writes the border.
    l = block[next++];
    b = 0xB0;
    lastOut = static_cast<uint8_t>((c & 0x07) | 0x08);
    h ^= l;
    a = static_cast<uint8_t>((de >> 8) | de);
    f = kSZ53P[a];
    if (a == 0) {
      // All bytes read: the parity byte has made H zero when the block is sound.
      a = h;
      f = CompareFlags(a, 0x01);
      break;
    }
    exchange();  // LD-LOOP
    if (!(f & Z)) {
      // LD-FLAG: the first byte must be the flag asked for.
      const uint8_t rotated = static_cast<uint8_t>((c << 1) | (f & C));
      f = static_cast<uint8_t>(kSZ53P[rotated] | (c >> 7));
      c = rotated;
      a ^= l;
      f = kSZ53P[a];
      if (a != 0) break;
      a = static_cast<uint8_t>(c >> 1);  // LD A,C; RRA with carry clear; LD C,A
      f = static_cast<uint8_t>((f & (S | Z | PV)) | (a & F53) | (c & C));
      c = a;
    } else if (!(f & C)) {
      // LD-VERIFY: the byte must equal memory.
      a = static_cast<uint8_t>(mem.ReadByte(ix) ^ l);
      f = kSZ53P[a];
      if (a != 0) break;
      ++ix;
      --de;
    } else {
      mem.WriteByte(ix, l);
      ++ix;
      --de;
    }
    exchange();  // LD-DEC
  }

  r.AF.High = a;
  r.AF.Low = f;
  r.AltAF = static_cast<uint16_t>((a2 << 8) | f2);
  r.BC.High = b;
  r.BC.Low = c;
  r.DE.Set(de);
  r.HL.High = h;
  r.HL.Low = l;
  r.IX.Set(ix);
  // SP is two below the caller's: the return to SA/LD-RET is on the stack.
  const uint16_t sp = r.SP;
  mem.WriteWord(static_cast<uint16_t>(sp - 2), kEdge2Return);
  mem.WriteWord(static_cast<uint16_t>(sp - 4), kEdge1Return);
  r.SP = static_cast<uint16_t>(sp + 2);
  r.PC = kLoaderReturn;
  machine.Ports.PortWrite(static_cast<uint16_t>((lastOut << 8) | 0xFE), lastOut);
  return TapePlayer::TrapResult::Loaded;
}

}  // namespace vantrel
