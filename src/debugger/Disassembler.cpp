#include "debugger/Disassembler.h"

#include <string_view>

#include "core/Memory.h"
#include "debugger/NumberText.h"
#include "debugger/Symbols.h"

namespace vantrel {

namespace {

// Templates: upper case, digits and punctuation are literal; lower-case letters expand
// (b byte, w word, j relative target, i HL/IX/IY, r ""/X/Y, x (HL) or (IX+d)).
constexpr std::string_view kMain00[64] = {
    "NOP",       "LD BC,w",  "LD (BC),A", "INC BC", "INC B",  "DEC B",  "LD B,b",  "RLCA",
    "EX AF,AF'", "ADD i,BC", "LD A,(BC)", "DEC BC", "INC C",  "DEC C",  "LD C,b",  "RRCA",
    "DJNZ j",    "LD DE,w",  "LD (DE),A", "INC DE", "INC D",  "DEC D",  "LD D,b",  "RLA",
    "JR j",      "ADD i,DE", "LD A,(DE)", "DEC DE", "INC E",  "DEC E",  "LD E,b",  "RRA",
    "JR NZ,j",   "LD i,w",   "LD (w),i",  "INC i",  "INC rH", "DEC rH", "LD rH,b", "DAA",
    "JR Z,j",    "ADD i,i",  "LD i,(w)",  "DEC i",  "INC rL", "DEC rL", "LD rL,b", "CPL",
    "JR NC,j",   "LD SP,w",  "LD (w),A",  "INC SP", "INC x",  "DEC x",  "LD x,b",  "SCF",
    "JR C,j",    "ADD i,SP", "LD A,(w)",  "DEC SP", "INC A",  "DEC A",  "LD A,b",  "CCF",
};

constexpr std::string_view kRegisters[8] = {"B", "C", "D", "E", "rH", "rL", "x", "A"};
constexpr std::string_view kIndexedBitRegisters[8] = {"B", "C", "D", "E", "H", "L", "x", "A"};
constexpr std::string_view kArithmetic[8] = {"ADD A,", "ADC A,", "SUB ", "SBC ",
                                             "AND ",   "XOR ",   "OR ",  "CP "};

constexpr std::string_view kMainC0[64] = {
    "RET NZ", "POP BC",  "JP NZ,w", "JP w",      "CALL NZ,w", "PUSH BC", "ADD A,b", "RST 00",
    "RET Z",  "RET",     "JP Z,w",  "",          "CALL Z,w",  "CALL w",  "ADC A,b", "RST 08",
    "RET NC", "POP DE",  "JP NC,w", "OUT (b),A", "CALL NC,w", "PUSH DE", "SUB b",   "RST 10",
    "RET C",  "EXX",     "JP C,w",  "IN A,(b)",  "CALL C,w",  "",        "SBC A,b", "RST 18",
    "RET PO", "POP i",   "JP PO,w", "EX (SP),i", "CALL PO,w", "PUSH i",  "AND b",   "RST 20",
    "RET PE", "JP i",    "JP PE,w", "EX DE,HL",  "CALL PE,w", "",        "XOR b",   "RST 28",
    "RET P",  "POP AF",  "JP P,w",  "DI",        "CALL P,w",  "PUSH AF", "OR b",    "RST 30",
    "RET M",  "LD SP,i", "JP M,w",  "EI",        "CALL M,w",  "",        "CP b",    "RST 38",
};

constexpr std::string_view kRotations[8] = {"RLC", "RRC", "RL", "RR", "SLA", "SRA", "SLI", "SRL"};
constexpr std::string_view kBitOperations[4] = {"", "BIT", "RES", "SET"};

constexpr std::string_view kExtended40[64] = {
    "IN B,(C)", "OUT (C),B", "SBC HL,BC", "LD (w),BC", "NEG", "RETN", "IM 0", "LD I,A",
    "IN C,(C)", "OUT (C),C", "ADC HL,BC", "LD BC,(w)", "NEG", "RETI", "IM 0", "LD R,A",
    "IN D,(C)", "OUT (C),D", "SBC HL,DE", "LD (w),DE", "NEG", "RETN", "IM 1", "LD A,I",
    "IN E,(C)", "OUT (C),E", "ADC HL,DE", "LD DE,(w)", "NEG", "RETN", "IM 2", "LD A,R",
    "IN H,(C)", "OUT (C),H", "SBC HL,HL", "LD (w),HL", "NEG", "RETN", "IM 0", "RRD",
    "IN L,(C)", "OUT (C),L", "ADC HL,HL", "LD HL,(w)", "NEG", "RETN", "IM 0", "RLD",
    "IN (C)",   "OUT (C),0", "SBC HL,SP", "LD (w),SP", "NEG", "RETN", "IM 1", "NOP",
    "IN A,(C)", "OUT (C),A", "ADC HL,SP", "LD SP,(w)", "NEG", "RETN", "IM 2", "NOP",
};

constexpr std::string_view kBlock[16] = {"LDI",  "CPI",  "INI",  "OUTI", "LDD",  "CPD",
                                         "IND",  "OUTD", "LDIR", "CPIR", "INIR", "OTIR",
                                         "LDDR", "CPDR", "INDR", "OTDR"};

// Unprefixed lengths; 4 marks DD/FD and 5 marks ED, whose lengths depend on the next byte.
constexpr std::array<uint8_t, 256> kLengths = [] {
  std::array<uint8_t, 256> t{};
  t.fill(1);
  for (int op : {0x01, 0x11, 0x21, 0x31, 0x22, 0x2A, 0x32, 0x3A, 0xC2, 0xC3, 0xC4, 0xCA, 0xCC,
                 0xCD, 0xD2, 0xD4, 0xDA, 0xDC, 0xE2, 0xE4, 0xEA, 0xEC, 0xF2, 0xF4, 0xFA, 0xFC})
    t[op] = 3;
  for (int op : {0x06, 0x0E, 0x16, 0x1E, 0x26, 0x2E, 0x36, 0x3E, 0x10, 0x18, 0x20, 0x28, 0x30,
                 0x38, 0xC6, 0xCE, 0xD6, 0xDE, 0xE6, 0xEE, 0xF6, 0xFE, 0xD3, 0xDB, 0xCB})
    t[op] = 2;
  t[0xDD] = t[0xFD] = 4;
  t[0xED] = 5;
  return t;
}();

bool IsAbsoluteBranch(uint8_t op) {
  // JP cc / JP / CALL cc / CALL: 0xC2..0xFC with the low three bits 2 or 4, plus C3 and CD.
  return op == 0xC3 || op == 0xCD || (op >= 0xC0 && ((op & 7) == 2 || (op & 7) == 4));
}

// The line formatter: consumes bytes from the address cursor and builds the text.
class Formatter {
 public:
  Formatter(const ByteSource& bytes, uint16_t address, int format, const SymbolTable* symbols)
      : bytes_(bytes), cursor_(address), format_(format), symbols_(symbols) {
    line_.Text.reserve(24);
  }

  DisassembledLine Run() {
    uint8_t op = Fetch();
    Decode(op);
    line_.Next = cursor_;
    return std::move(line_);
  }

 private:
  uint8_t Read(uint16_t offset = 0) const {
    return bytes_(static_cast<uint16_t>(cursor_ + offset));
  }

  uint8_t Fetch() {
    uint8_t value = Read();
    if (line_.Length < 4) line_.Bytes[static_cast<size_t>(line_.Length)] = value;
    ++line_.Length;
    ++cursor_;
    return value;
  }

  void Decode(uint8_t op) {
    if (op < 0x40) {
      Expand(kMain00[op], false);
    } else if (op == 0x76) {
      Expand("HALT", false);
    } else if (op < 0x80) {
      LoadRegisters(op);
    } else if (op < 0xC0) {
      Expand(kArithmetic[(op >> 3) & 7], false);
      Expand(kRegisters[op & 7], false);
    } else if (op == 0xCB) {
      uint8_t cb = Fetch();
      BitPrefix(cb);
      Expand(kRegisters[cb & 7], false);
    } else if (op == 0xED) {
      uint8_t ed = Fetch();
      if (ed >= 0x40 && ed < 0x80) {
        Expand(kExtended40[ed - 0x40], false);
      } else if ((ed & 0xE4) == 0xA0) {
        Expand(kBlock[(ed & 3) + ((ed >> 1) & 0x0C)], false);
      } else {
        Expand("NOP", false);
      }
    } else if ((op == 0xDD || op == 0xFD) && index_ == 0) {
      index_ = op == 0xDD ? 1 : 2;
      uint8_t next = Read();
      if (next == 0xDD || next == 0xFD || next == 0xED) {
        // A prefix before another prefix does nothing: it is an instruction of its own.
        Expand("NOP", false);
        return;
      }
      Fetch();
      Indexed(next);
    } else {
      Expand(kMainC0[op - 0xC0], IsAbsoluteBranch(op));
    }
  }

  void LoadRegisters(uint8_t op) {
    Expand("LD ", false);
    Expand(kRegisters[(op >> 3) & 7], false);
    Expand(",", false);
    Expand(kRegisters[op & 7], false);
  }

  void BitPrefix(uint8_t op) {
    if (op < 0x40) {
      Expand(kRotations[(op >> 3) & 7], false);
      Expand(" ", false);
    } else {
      Expand(kBitOperations[op >> 6], false);
      Expand(" ", false);
      line_.Text += static_cast<char>('0' + ((op >> 3) & 7));
      Expand(",", false);
    }
  }

  void Indexed(uint8_t op) {
    switch (op) {
      case 0x66: Expand("LD H,x", false); return;
      case 0x6E: Expand("LD L,x", false); return;
      case 0x74: Expand("LD x,H", false); return;
      case 0x75: Expand("LD x,L", false); return;
      case 0xCB: {
        // DD CB d op: the displacement comes before the operation byte.
        uint8_t bitOp = Read(1);
        BitPrefix(bitOp);
        // The others also load the result into the register of bits 2-0; BIT stores nothing.
        const bool loads = (bitOp & 0xC0) != 0x40;
        Expand(loads ? kIndexedBitRegisters[bitOp & 7] : "x", false);
        if (loads && (bitOp & 7) != 6) Expand(",x", false);
        Fetch();
        return;
      }
      default: Decode(op);
    }
  }

  void Number(uint32_t value, bool word, bool target) {
    if (target && symbols_) {
      const std::string& name = symbols_->NameAt(static_cast<uint16_t>(value));
      if (!name.empty()) {
        line_.Text += name;
        return;
      }
    }
    line_.Text += word ? WordText(static_cast<uint16_t>(value), format_)
                       : ByteText(static_cast<uint8_t>(value), format_);
  }

  void Expand(std::string_view text, bool target) {
    for (char c : text) {
      switch (c) {
        case 'b': Number(Fetch(), false, false); break;
        case 'w': {
          uint8_t low = Fetch();
          Number(static_cast<uint32_t>(low | (Fetch() << 8)), true, target);
          break;
        }
        case 'j': {
          auto d = static_cast<int8_t>(Fetch());
          Number(static_cast<uint16_t>(cursor_ + d), true, true);
          break;
        }
        case 'i': Expand(index_ == 0 ? "HL" : "Ir", false); break;
        case 'r':
          if (index_ != 0) line_.Text += index_ == 1 ? 'X' : 'Y';
          break;
        case 'x':
          if (index_ == 0) {
            line_.Text += "(HL)";
          } else {
            uint8_t d = Fetch();
            Expand(d < 128 ? "(i+" : "(i-", false);
            Number(d < 128 ? d : 256u - d, false, false);
            line_.Text += ')';
          }
          break;
        default: line_.Text += c;
      }
    }
  }

  const ByteSource& bytes_;
  uint16_t cursor_;
  int format_;
  const SymbolTable* symbols_;
  int index_ = 0;  // 0 HL, 1 IX, 2 IY
  DisassembledLine line_;
};

}  // namespace

ByteSource MemoryBytes(const Memory& memory) {
  return [&memory](uint16_t address) { return memory.PeekByte(address); };
}

DisassembledLine Disassemble(const ByteSource& bytes, uint16_t address, int format,
                             const SymbolTable* symbols) {
  return Formatter(bytes, address, format, symbols).Run();
}

int InstructionLength(const ByteSource& bytes, uint16_t address) {
  uint8_t op = bytes(address);
  int length = kLengths[op];
  if (length < 4) return length;
  uint8_t next = bytes(static_cast<uint16_t>(address + 1));
  if (length == 5) return (next & 0xC7) == 0x43 ? 4 : 2;
  if (next < 0x40) {
    if (next == 0x34 || next == 0x35) return 3;
    if (next == 0x36) return 4;
    return kLengths[next] + 1;
  }
  if (next < 0x80) {
    if (((next >> 3) & 7) != 6) return (next & 7) == 6 ? 3 : 2;
    return next == 0x76 ? 2 : 3;
  }
  if (next < 0xC0) return (next & 7) == 6 ? 3 : 2;
  if (next == 0xDD || next == 0xFD || next == 0xED) return 1;
  if (next == 0xCB) return 4;
  return kLengths[next] + 1;
}

bool BranchTarget(const ByteSource& bytes, uint16_t address, uint16_t& target) {
  uint8_t op = bytes(address);
  auto at = [&](int offset) { return bytes(static_cast<uint16_t>(address + offset)); };
  if (op == 0x10 || op == 0x18 || op == 0x20 || op == 0x28 || op == 0x30 || op == 0x38) {
    target = static_cast<uint16_t>(address + 2 + static_cast<int8_t>(at(1)));
  } else if (IsAbsoluteBranch(op)) {
    target = static_cast<uint16_t>(at(1) | (at(2) << 8));
  } else if ((op & 0xC7) == 0xC7) {
    target = op & 0x38;
  } else {
    return false;
  }
  return true;
}

}  // namespace vantrel
