#include "debugger/CpuFields.h"

#include "debugger/NumberText.h"

namespace vantrel {

namespace {

using K = CpuFieldKind;

constexpr std::array<CpuField, kCpuFieldCount> kFields = {{
    {"PC 0000", 3, K::Word, 0},
    {"SP 0000", 3, K::Word, 0},
    {"AF 0000", 3, K::Word, 0},
    {"AF'0000", 3, K::Word, 0},
    {"BC 0000", 3, K::Word, 0},
    {"BC'0000", 3, K::Word, 0},
    {"DE 0000", 3, K::Word, 0},
    {"DE'0000", 3, K::Word, 0},
    {"HL 0000", 3, K::Word, 0},
    {"HL'0000", 3, K::Word, 0},
    {"IX 0000", 3, K::Word, 0},
    {"IY 0000", 3, K::Word, 0},
    {"T=000000", 2, K::Decimal, 0},
    {"IFF1=0", 5, K::Nibble, 0},
    {"IFF2=0", 5, K::Nibble, 0},
    {"I 00", 2, K::Byte, 0},
    {"R 00", 2, K::Byte, 0},
    {"IM=0", 3, K::Nibble, 0},
    {"S=0", 2, K::FlagBit, 0x80},
    {"Z=0", 2, K::FlagBit, 0x40},
    {"5=0", 2, K::FlagBit, 0x20},
    {"H=0", 2, K::FlagBit, 0x10},
    {"3=0", 2, K::FlagBit, 0x08},
    {"P=0", 2, K::FlagBit, 0x04},
    {"N=0", 2, K::FlagBit, 0x02},
    {"C=0", 2, K::FlagBit, 0x01},
    {"TM=000000000", 3, K::RunningTime, 0},
}};

constexpr const char* kRegisterNames[] = {"PC", "SP",  "AF", "AF'", "BC", "BC'",
                                          "DE", "DE'", "HL", "HL'", "IX", "IY"};

}  // namespace

const std::array<CpuField, kCpuFieldCount>& CpuFields() {
  return kFields;
}

uint32_t CpuFieldValue(int index, const MachineState& state) {
  const Z80Registers& r = state.Regs;
  switch (index) {
    case 0: return r.PC;
    case 1: return r.SP;
    case 2: return r.AF.Get();
    case 3: return r.AltAF;
    case 4: return r.BC.Get();
    case 5: return r.AltBC;
    case 6: return r.DE.Get();
    case 7: return r.AltDE;
    case 8: return r.HL.Get();
    case 9: return r.AltHL;
    case 10: return r.IX.Get();
    case 11: return r.IY.Get();
    case 12: return r.Tackts;
    case 13: return r.IFF1 ? 1 : 0;
    case 14: return r.IFF2 ? 1 : 0;
    case 15: return r.I;
    case 16: return r.R;
    case 17: return r.IM;
    case 26: return state.TacktsMeter;
    default: return (r.AF.Low & kFields[static_cast<size_t>(index)].FlagMask) ? 1 : 0;
  }
}

std::string CpuFieldText(int index, uint32_t value, uint32_t tacktsPerInt) {
  const CpuField& field = kFields[static_cast<size_t>(index)];
  std::string text(field.Template);
  std::string shown;
  switch (field.Kind) {
    case K::FlagBit: shown = value ? "1" : "0"; break;
    case K::Word: shown = HexWord(static_cast<uint16_t>(value)); break;
    case K::Decimal: shown = Decimal(value); break;
    case K::Nibble: shown = std::string(1, "0123456789ABCDEF"[value & 15]); break;
    case K::Byte: shown = HexByte(static_cast<uint8_t>(value)); break;
    case K::RunningTime: shown = RunningTimeText(value, tacktsPerInt); break;
  }
  // The value replaces the template's digits from the start; a longer one extends it.
  text.replace(static_cast<size_t>(field.Start), std::string::npos, shown);
  return text;
}

std::string CpuFieldRegisterName(int index) {
  return index >= 0 && index < 12 ? kRegisterNames[index] : "";
}

void SetCpuFieldRegister(int index, MachineState& state, uint16_t value) {
  Z80Registers& r = state.Regs;
  switch (index) {
    case 0: r.PC = value; break;
    case 1: r.SP = value; break;
    case 2: r.AF.Set(value); break;
    case 3: r.AltAF = value; break;
    case 4: r.BC.Set(value); break;
    case 5: r.AltBC = value; break;
    case 6: r.DE.Set(value); break;
    case 7: r.AltDE = value; break;
    case 8: r.HL.Set(value); break;
    case 9: r.AltHL = value; break;
    case 10: r.IX.Set(value); break;
    case 11: r.IY.Set(value); break;
    default: break;
  }
}

std::string RunningTimeText(uint32_t tackts, uint32_t tacktsPerInt) {
  const uint64_t second = static_cast<uint64_t>(tacktsPerInt) * 50;
  if (second == 0 || tackts < second) return Decimal(tackts);
  const uint64_t seconds = tackts / second;
  const uint64_t minutes = seconds / 60;
  const uint64_t rest = seconds % 60;
  const uint64_t ms = (tackts % second) * 1000 / second;
  std::string text;
  if (minutes > 0) text += std::to_string(minutes) + "m";
  text += std::to_string(rest) + ".";
  text += static_cast<char>('0' + ms / 100);
  text += static_cast<char>('0' + ms / 10 % 10);
  if (text.size() < 8) text += static_cast<char>('0' + ms % 10);
  return text + "s";
}

}  // namespace vantrel
