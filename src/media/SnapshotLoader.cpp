#include "media/SnapshotLoader.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "machine/Machine.h"
#include "media/FileTypes.h"
#include "media/SzxSnapshot.h"

namespace vantrel {

namespace {

constexpr size_t kBank = Memory::kBankSize;
constexpr size_t kSnaHeader = 27;
constexpr size_t kZ80Header = 30;

[[noreturn]] void Refuse(std::string_view message) {
  throw SnapshotError(std::string(message), kSnapshotLoadCaption);
}

uint16_t Word(std::span<const uint8_t> file, size_t at) {
  return static_cast<uint16_t>(file[at] | (file[at + 1] << 8));
}

// Sets the paging as the snapshot's machine had it. The lock bit of the latch left from
// before must not block the write. A snapshot never leaves the TR-DOS ROM paged in unless
// it says so (only the 128K SNA can), so the ROM the port selects is the one at 0x0000:
// otherwise a program stopped below 0x4000 would resume inside TR-DOS.
void SetPaging(Machine& m, uint8_t port7ffd) {
  m.ForcePaging(port7ffd);
}

void SetBorder(Machine& m, uint8_t colour) {
  m.Screen.ReplaceBorder(colour);
  // The saver takes the border from the last #FE write; the loaded border stands for one,
  // or a snapshot saved straight after loading would lose its border.
  m.Ports.PortFE = static_cast<uint8_t>((m.Ports.PortFE & ~7) | (colour & 7));
}

// A 48K program sees banks 5, 2 and 0 and the 48K ROM. Where bit 5 of the port is a bank
// bit (Pentagon 1024K) the lock cannot be had, and bank 0 is paged without it.
void SetPaging48(Machine& m) {
  SetPaging(m, 0x30);
  if (m.Mem.TopBank() != 0) SetPaging(m, 0x10);
}

// Banks 5, 2 and 0 lie in one run, so the 48K image is one copy or one expansion.
std::span<uint8_t> LowerRam(Machine& m) {
  return {m.Mem.Bank(5), 3 * kBank};
}

void LoadSna48(Machine& m, std::span<const uint8_t> file) {
  SetPaging48(m);
  std::memcpy(LowerRam(m).data(), file.data() + kSnaHeader, 3 * kBank);
  Z80Registers& r = m.State.Regs;
  r.PC = m.Mem.PeekWord(r.SP);
  r.SP = static_cast<uint16_t>(r.SP + 2);
}

void LoadSna128(Machine& m, std::span<const uint8_t> file) {
  const uint8_t port7ffd = file[kSnaHeader + 3 * kBank + 2];
  SetPaging(m, port7ffd);
  size_t at = kSnaHeader;
  for (uint8_t* bank : {m.Mem.Bank(5), m.Mem.Bank(2), m.Mem.Bank(m.Mem.TopBank())}) {
    std::memcpy(bank, file.data() + at, kBank);
    at += kBank;
  }
  m.State.Regs.PC = Word(file, at);
  const bool trDos = file[at + 3] != 0;
  at += 4;
  // SetPaging left the ROM bit 4 selects; the flag can only bring TR-DOS back.
  if (trDos && m.Mem.DosEnabled) m.Mem.EnterDos();
  for (int bank = 0; bank < 8; ++bank) {
    if (bank == 2 || bank == 5 || bank == (port7ffd & 7)) continue;
    // A file of 131103 bytes when the paged bank is 2 or 5 lacks the last bank.
    if (file.size() - at < kBank) break;
    std::memcpy(m.Mem.Bank(bank), file.data() + at, kBank);
    at += kBank;
  }
}

enum class Z80Layout : uint8_t { Version1, Pages48k, Pages128k };

// Checks everything the header needs before the machine is touched.
Z80Layout Z80LayoutOf(std::span<const uint8_t> file) {
  if (file.size() < kZ80Header) Refuse(kZ80FormatError);
  if (Word(file, 6) != 0) {
    if (!(file[12] & 0x20) && file.size() < kZ80Header + 3 * kBank) Refuse(kZ80FormatError);
    return Z80Layout::Version1;
  }
  if (file.size() < 36 || file.size() < 32 + size_t{Word(file, 30)}) Refuse(kZ80FormatError);
  const bool version2 = file[30] == 23;
  const auto mode = static_cast<int8_t>(file[34]);
  if (mode == 2) Refuse(kZ80SamRamError);
  if (version2) return mode < 2 ? Z80Layout::Pages48k : Z80Layout::Pages128k;
  return mode < 4 ? Z80Layout::Pages48k : Z80Layout::Pages128k;
}

void ReadZ80Registers(Machine& m, std::span<const uint8_t> file) {
  Z80Registers& r = m.State.Regs;
  r.A() = file[0];
  r.F() = file[1];
  r.BC.Set(Word(file, 2));
  r.HL.Set(Word(file, 4));
  r.PC = Word(file, 6);
  r.SP = Word(file, 8);
  r.I = file[10];
  const uint8_t flags = file[12];
  r.WriteR(static_cast<uint8_t>((file[11] & 0x7F) | ((flags & 1) << 7)));
  r.DE.Set(Word(file, 13));
  r.AltBC = Word(file, 15);
  r.AltDE = Word(file, 17);
  r.AltHL = Word(file, 19);
  r.AltAF = static_cast<uint16_t>((file[21] << 8) | file[22]);
  r.IY.Set(Word(file, 23));
  r.IX.Set(Word(file, 25));
  // Any non-zero byte means enabled; the processor only ever holds 0 or 1.
  r.IFF1 = file[27] != 0;
  r.IFF2 = file[28] != 0;
  r.IM = file[29] & 3;
}

// Where a page block of a version 2/3 file goes, or nullptr for a page not loaded.
uint8_t* Z80PageDestination(Machine& m, Z80Layout layout, uint8_t page) {
  if (layout == Z80Layout::Pages128k)
    return page >= 3 && page <= 10 ? m.Mem.Bank(page - 3) : nullptr;
  switch (page) {
    case 4: return m.Mem.Bank(2);
    case 5: return m.Mem.Bank(0);
    case 8: return m.Mem.Bank(5);
    default: return nullptr;
  }
}

void LoadZ80Pages(Machine& m, std::span<const uint8_t> file, Z80Layout layout) {
  // A block stored without compression has this length word (version 3).
  constexpr uint16_t kPlainBlock = 0xFFFF;
  size_t at = 32 + size_t{Word(file, 30)};
  const int blocks = layout == Z80Layout::Pages128k ? 8 : 3;
  for (int i = 0; i < blocks && at != file.size(); ++i) {
    if (file.size() - at < 3) Refuse(kZ80FormatError);
    const uint16_t length = Word(file, at);
    uint8_t* destination = Z80PageDestination(m, layout, file[at + 2]);
    at += 3;
    const std::span<const uint8_t> rest = file.subspan(at);
    if (length == kPlainBlock) {
      if (rest.size() < kBank) Refuse(kZ80FormatError);
      if (destination) std::memcpy(destination, rest.data(), kBank);
      at += kBank;
    } else if (destination) {
      at += UnpackZ80Block(rest, {destination, kBank});
    } else {
      // A page this machine has no place for is passed over by its length, so that the
      // next block header is read where it is.
      if (rest.size() < length) Refuse(kZ80FormatError);
      at += length;
    }
  }
}

}  // namespace

std::string LoadSnapshot(Machine& machine, const std::filesystem::path& fileName) {
  const std::string name = fileName.string();
  const FileType* type = FindFileType(name);
  std::vector<uint8_t> file;
  {
    std::error_code ec;
    std::ifstream in;
    if (std::filesystem::is_regular_file(fileName, ec)) in.open(fileName, std::ios::binary);
    if (!in.is_open() || !in)
      throw SnapshotError(std::string(kSnapshotReadFailed), kSnapshotReadCaption);
    file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) throw SnapshotError(std::string(kSnapshotReadFailed), kSnapshotReadCaption);
  }
  if (!type || type->Kind != FileKind::Snapshot || !type->Load) {
    Refuse("File " + name + " has unsupported format!");
  }
  if (type->Load == LoadSzxFile) {
    try {
      return LoadSzx(machine, file);
    } catch (const SnapshotError& refusal) {
      throw SnapshotError("File " + name + ": " + refusal.what(), refusal.Caption);
    }
  }
  type->Load(machine, file);
  return {};
}

void LoadSnapshotBytes(Machine& machine, std::span<const uint8_t> file, SnapshotKind kind) {
  if (kind == SnapshotKind::Sna) {
    LoadSna(machine, file);
  } else {
    LoadZ80(machine, file);
  }
}

void LoadSna(Machine& m, std::span<const uint8_t> file) {
  const size_t size = file.size();
  if (size != kSna48Size && size != kSna128Size && size != kSna128LongSize) {
    Refuse(kSnaFormatError);
  }
  Z80Registers& r = m.State.Regs;
  r.I = file[0];
  r.AltHL = Word(file, 1);
  r.AltDE = Word(file, 3);
  r.AltBC = Word(file, 5);
  r.AltAF = Word(file, 7);
  r.HL.Set(Word(file, 9));
  r.DE.Set(Word(file, 11));
  r.BC.Set(Word(file, 13));
  r.IY.Set(Word(file, 15));
  r.IX.Set(Word(file, 17));
  r.IFF1 = r.IFF2 = (file[19] >> 2) & 1;
  r.WriteR(file[20]);
  r.AF.Set(Word(file, 21));
  r.SP = Word(file, 23);
  r.IM = file[25];
  SetBorder(m, file[26]);
  r.Tackts = 0;
  if (size == kSna48Size) {
    LoadSna48(m, file);
  } else {
    LoadSna128(m, file);
  }
}

void LoadZ80(Machine& m, std::span<const uint8_t> file) {
  const Z80Layout layout = Z80LayoutOf(file);
  ReadZ80Registers(m, file);
  if (layout == Z80Layout::Version1) {
    if (file[12] & 0x20) {
      UnpackZ80Block(file.subspan(kZ80Header), LowerRam(m));
    } else {
      std::memcpy(LowerRam(m).data(), file.data() + kZ80Header, 3 * kBank);
    }
    SetPaging48(m);
  } else {
    m.State.Regs.PC = Word(file, 32);
    if (layout == Z80Layout::Pages128k) {
      SetPaging(m, file[35]);
      LoadZ80Pages(m, file, layout);
      // The sound chip's registers follow the paging byte in version 2 and 3 headers.
      if (Word(file, 30) >= 23) {
        for (int reg = 0; reg < 16; ++reg) m.Ay.WriteRegister(reg, file[39 + reg]);
        m.Ay.Select(file[38]);
      }
    } else {
      LoadZ80Pages(m, file, layout);
      SetPaging48(m);
    }
  }
  SetBorder(m, (file[12] >> 1) & 7);
}

size_t UnpackZ80Block(std::span<const uint8_t> input, std::span<uint8_t> destination) {
  size_t in = 0;
  const auto next = [&] {
    if (in == input.size()) Refuse(kZ80FormatError);
    return input[in++];
  };
  const size_t size = destination.size();
  size_t p = 0;
  // Only the output count ends the block: the 00 ED ED 00 end marker of version 1 files
  // is never reached.
  while (p < size) {
    const uint8_t b = next();
    // An ED in the last place cannot start a run.
    if (b != 0xED || p == size - 1) {
      destination[p++] = b;
      continue;
    }
    const uint8_t c = next();
    if (c == 0xED) {
      const uint8_t count = next();
      const uint8_t value = next();
      const size_t fits = std::min<size_t>(count, size - p);
      std::fill_n(destination.begin() + static_cast<std::ptrdiff_t>(p), fits, value);
      p += fits;
      if (fits < count) Refuse(kZ80FormatError);  // the run overflows the block
    } else {
      // p < size - 1 here, so both bytes fit.
      destination[p++] = 0xED;
      destination[p++] = c;
    }
  }
  return in;
}

}  // namespace vantrel
