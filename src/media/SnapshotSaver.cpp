#include "media/SnapshotSaver.h"

#include <span>
#include <string>

#include "disk/ReplaceFile.h"
#include "machine/Machine.h"

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
  if (variant == SnaVariant::Sna48k) {
    SaveSna48(machine, fileName);
  } else {
    SaveSna128(machine, fileName);
  }
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
