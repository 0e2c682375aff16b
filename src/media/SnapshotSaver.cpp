#include "media/SnapshotSaver.h"

#include <algorithm>
#include <span>
#include <string>

#include "disk/ReplaceFile.h"
#include "machine/Machine.h"
#include "media/FileTypes.h"
#include "media/SzxSnapshot.h"

namespace vantrel {

namespace {

constexpr size_t kBank = Memory::kBankSize;
constexpr size_t kSnaHeader = 27;

void PutWord(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

// The 27-byte header and the 48K of RAM as paged now (banks 5, 2 and the one at 0xC000).
std::vector<uint8_t> SnaHeaderAndRam(const Machine& m, uint16_t sp, size_t reserve) {
  const Z80Registers& r = m.State.Regs;
  std::vector<uint8_t> out;
  out.reserve(reserve);
  out.push_back(r.I);
  for (uint16_t word : {r.AltHL, r.AltDE, r.AltBC, r.AltAF, r.HL.Get(), r.DE.Get(), r.BC.Get(),
                        r.IY.Get(), r.IX.Get()}) {
    PutWord(out, word);
  }
  out.push_back(static_cast<uint8_t>((r.IFF2 & 1) * 4));
  out.push_back(r.ReadR());
  PutWord(out, r.AF.Get());
  PutWord(out, sp);
  out.push_back(r.IM);
  // The border of the last port write (a loaded snapshot's border counts as one).
  out.push_back(m.Ports.PortFE & 7);
  for (uint32_t address = 0x4000; address <= 0xFFFF; ++address) {
    out.push_back(m.Mem.PeekByte(static_cast<uint16_t>(address)));
  }
  return out;
}

}  // namespace

void WriteReplacing(const std::filesystem::path& fileName, std::span<const uint8_t> bytes) {
  std::string why;
  if (WriteFileReplacing(fileName, bytes, &why) != ReplaceResult::Written) {
    throw SnapshotError("Cannot create file \"" + fileName.string() + "\". " + why,
                        kSnapshotSaveCaption);
  }
}

std::vector<uint8_t> MakeSna48(const Machine& m) {
  const Z80Registers& r = m.State.Regs;
  const auto sp = static_cast<uint16_t>(r.SP - 2);
  std::vector<uint8_t> out = SnaHeaderAndRam(m, sp, kSna48Size);
  // PC as if pushed: the image gets it, the machine's memory keeps its bytes. A byte that
  // would land in ROM is not in the image, as a push there would not have stored it.
  for (uint16_t k = 0; k < 2; ++k) {
    const auto address = static_cast<uint16_t>(sp + k);
    if (address >= 0x4000)
      out[kSnaHeader + address - 0x4000] = static_cast<uint8_t>(r.PC >> (8 * k));
  }
  return out;
}

std::vector<uint8_t> MakeSna128(const Machine& m) {
  const Z80Registers& r = m.State.Regs;
  const uint8_t port7ffd = m.Mem.Port7FFD;
  std::vector<uint8_t> out = SnaHeaderAndRam(m, r.SP, kSna128LongSize);
  PutWord(out, r.PC);
  out.push_back(port7ffd);
  out.push_back(m.Mem.DosActive ? 1 : 0);
  for (int bank = 0; bank < 8; ++bank) {
    if (bank == 2 || bank == 5 || bank == (port7ffd & 7)) continue;
    const uint8_t* data = m.Mem.Bank(bank);
    out.insert(out.end(), data, data + kBank);
  }
  return out;
}

void SaveSna48(const Machine& machine, const std::filesystem::path& fileName) {
  WriteReplacing(fileName, MakeSna48(machine));
}

void SaveSna128(const Machine& machine, const std::filesystem::path& fileName) {
  WriteReplacing(fileName, MakeSna128(machine));
}

void SaveSnapshot(Machine& machine, const std::filesystem::path& fileName, SnaVariant variant) {
  uint32_t running = 0;
  const bool pausedHere = machine.State.Paused.compare_exchange_strong(running, 1);
  struct Resume {
    Machine& m;
    bool pausedHere;
    ~Resume() {
      if (pausedHere) m.State.Paused.store(0);
    }
  } resume{machine, pausedHere};
  WriteReplacing(fileName, MakeSnapshotImage(machine, variant));
}

SnapshotMachine SnapshotMachineOf(const Machine& m) {
  const Memory& mem = m.Mem;
  if (mem.Model != MemoryModel::Pentagon1024k && (mem.Port7FFD & 0x30) == 0x30 &&
      mem.TopBank() == 0) {
    return SnapshotMachine::Spectrum48k;
  }
  switch (mem.Model) {
    case MemoryModel::Spectrum128k:
      return m.State.TacktsPerInt == kDefaultTacktsPerInt ? SnapshotMachine::Pentagon128
                                                          : SnapshotMachine::Spectrum128k;
    case MemoryModel::Pentagon256k: return SnapshotMachine::Pentagon256;
    case MemoryModel::Pentagon512k: return SnapshotMachine::Pentagon512;
    case MemoryModel::Pentagon1024k: return SnapshotMachine::Pentagon1024;
    case MemoryModel::Scorpion256k: return SnapshotMachine::Scorpion256;
    case MemoryModel::Scorpion1024k: return SnapshotMachine::Scorpion1024;
  }
  return SnapshotMachine::Spectrum128k;
}

namespace {

// Z80 block compression: runs of five or more, and any run of EDs of two or more, become
// ED ED count byte; the byte after a lone ED is never the start of a run.
void PackZ80Block(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  size_t i = 0;
  while (i < size) {
    const uint8_t b = data[i];
    size_t run = 1;
    while (i + run < size && run < 255 && data[i + run] == b) ++run;
    if (run >= 5 || (b == 0xED && run >= 2)) {
      out.insert(out.end(), {0xED, 0xED, static_cast<uint8_t>(run), b});
      i += run;
      continue;
    }
    out.push_back(b);
    ++i;
    if (b == 0xED && i < size) out.push_back(data[i++]);
  }
}

}  // namespace

std::vector<uint8_t> MakeZ80(const Machine& m) {
  const SnapshotMachine kind = SnapshotMachineOf(m);
  uint8_t hardware = 0;
  switch (kind) {
    case SnapshotMachine::Spectrum48k: hardware = 0; break;
    case SnapshotMachine::Spectrum128k: hardware = 4; break;
    case SnapshotMachine::Pentagon128: hardware = 9; break;
    default:
      throw SnapshotError(std::string("The Z80 format has no hardware number for the ") +
                              MemoryModelName(m.Mem.Model) + ".",
                          kSnapshotSaveCaption);
  }
  const Z80Registers& r = m.State.Regs;
  constexpr uint16_t kExtraLength = 54;  // version 3
  std::vector<uint8_t> out(32 + kExtraLength, 0);
  const auto put = [&out](size_t at, uint16_t word) {
    out[at] = static_cast<uint8_t>(word);
    out[at + 1] = static_cast<uint8_t>(word >> 8);
  };
  out[0] = r.AF.High;
  out[1] = r.AF.Low;
  put(2, r.BC.Get());
  put(4, r.HL.Get());
  put(6, 0);  // version 2 and later
  put(8, r.SP);
  out[10] = r.I;
  out[11] = r.R & 0x7F;
  out[12] = static_cast<uint8_t>(((r.R7 >> 7) & 1) | ((m.Ports.PortFE & 7) << 1));
  put(13, r.DE.Get());
  put(15, r.AltBC);
  put(17, r.AltDE);
  put(19, r.AltHL);
  out[21] = static_cast<uint8_t>(r.AltAF >> 8);
  out[22] = static_cast<uint8_t>(r.AltAF);
  put(23, r.IY.Get());
  put(25, r.IX.Get());
  out[27] = r.IFF1 & 1;
  out[28] = r.IFF2 & 1;
  out[29] = r.IM & 3;
  put(30, kExtraLength);
  put(32, r.PC);
  out[34] = hardware;
  const bool is48k = kind == SnapshotMachine::Spectrum48k;
  out[35] = is48k ? 0 : m.Mem.Port7FFD;
  out[38] = m.Ay.Selected();
  for (int reg = 0; reg < 16; ++reg) out[39 + reg] = m.Ay.Register(reg);
  // The T-state counter: quarters of the frame counted down.
  const uint32_t quarter = m.State.TacktsPerInt / 4;
  const uint32_t t = std::min(r.Tackts, m.State.TacktsPerInt - 1);
  const uint32_t k = std::min<uint32_t>(t / quarter, 3);
  put(55, static_cast<uint16_t>((k + 1) * quarter - t - 1));
  out[57] = static_cast<uint8_t>((k + 3) % 4);
  out[61] = out[62] = 0xFF;  // 0x0000-0x3FFF is ROM
  const auto page = [&](uint8_t number, const uint8_t* data) {
    std::vector<uint8_t> packed;
    PackZ80Block(data, kBank, packed);
    const size_t at = out.size();
    out.resize(at + 3);
    if (packed.size() >= kBank) {
      put(at, 0xFFFF);
      out.insert(out.end(), data, data + kBank);
    } else {
      put(at, static_cast<uint16_t>(packed.size()));
      out.insert(out.end(), packed.begin(), packed.end());
    }
    out[at + 2] = number;
  };
  if (is48k) {
    page(4, m.Mem.Bank(2));
    page(5, m.Mem.Bank(m.Mem.TopBank()));
    page(8, m.Mem.Bank(5));
  } else {
    for (int bank = 0; bank < 8; ++bank) page(static_cast<uint8_t>(bank + 3), m.Mem.Bank(bank));
  }
  return out;
}

std::vector<uint8_t> MakeSnapshotImage(const Machine& machine, SnaVariant variant) {
  switch (variant) {
    case SnaVariant::Sna48k: return MakeSna48(machine);
    case SnaVariant::Sna128k: break;
    case SnaVariant::Z80: return MakeZ80(machine);
    case SnaVariant::Szx: return MakeSzx(machine);
  }
  return MakeSna128(machine);
}

std::optional<SnaVariant> SnapshotVariantOfName(std::string_view fileName) {
  const std::string extension = FileExtension(fileName);
  if (extension == ".SZX") return SnaVariant::Szx;
  if (extension == ".Z80") return SnaVariant::Z80;
  if (extension == ".SNA") return SnaVariant::Sna128k;
  return std::nullopt;
}

std::string NextGeneratedName(std::string_view name) {
  const size_t separator = name.find_last_of("/\\");
  const size_t start = separator == std::string_view::npos ? 0 : separator + 1;
  // The extension dot; one that opens the file name starts no extension.
  size_t end = name.find_last_of('.');
  if (end == std::string_view::npos || end <= start) end = name.size();

  size_t first = end;
  while (first > start && name[first - 1] >= '0' && name[first - 1] <= '9') --first;
  const size_t digits = end - first;
  // Three digits, or more once the count has passed 999 (never with a leading zero, so a
  // name like x_0001 is not taken for a counter the generator wrote).
  const bool counter = first > start && name[first - 1] == '_' &&
                       (digits == 3 || (digits > 3 && digits <= 9 && name[first] != '0'));
  const unsigned long value = counter ? std::stoul(std::string(name.substr(first, digits))) : 0;

  std::string result(name.substr(0, end));
  if (value > 0) {
    std::string number = std::to_string(value + 1);
    if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
    result.replace(first, digits, number);
  } else {
    result += "_001";
  }
  result += name.substr(end);
  return result;
}

}  // namespace vantrel
