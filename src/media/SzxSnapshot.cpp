#include "media/SzxSnapshot.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>

#include "core/Zlib.h"
#include "machine/Machine.h"
#include "media/SnapshotLoader.h"
#include "media/SnapshotSaver.h"

namespace vantrel {

namespace {

constexpr size_t kBank = Memory::kBankSize;
constexpr uint8_t kMajor = 1, kMinor = 5;

// The format's machine IDs this emulator runs.
enum SzxMachine : uint8_t {
  k48k = 1,
  k128k = 2,
  kPlus2 = 3,
  kPentagon128 = 7,
  kScorpion = 10,
  kPentagon512 = 13,
  kPentagon1024 = 14,
};

constexpr std::array<std::string_view, 17> kMachineNames = {
    "ZX Spectrum 16K",       "ZX Spectrum 48K", "ZX Spectrum 128K", "ZX Spectrum +2",
    "ZX Spectrum +2A",       "ZX Spectrum +3",  "ZX Spectrum +3e",  "Pentagon 128",
    "Timex TC2048",          "Timex TC2068",    "Scorpion ZS 256",  "ZX Spectrum SE",
    "Timex Sinclair TS2068", "Pentagon 512",    "Pentagon 1024",    "ZX Spectrum 48K (NTSC)",
    "ZX Spectrum 128Ke"};

// Register chunk flags, RAM page flags and Beta 128 flags.
constexpr uint8_t kZ80EiLast = 0x01;
constexpr uint16_t kRamCompressed = 0x0001;
constexpr uint32_t kBetaConnected = 0x01, kBetaCustomRom = 0x02, kBetaPaged = 0x04;

[[noreturn]] void Refuse(const std::string& message) {
  throw SnapshotError(message, kSnapshotLoadCaption);
}

uint16_t Word(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Dword(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Everything the file says, checked, before the machine is touched.
struct SzxContents {
  uint8_t MachineId = 0;
  std::optional<std::array<uint8_t, 37>> Z80r;
  std::optional<std::array<uint8_t, 8>> Spcr;
  std::optional<std::array<uint8_t, 18>> Ay;
  std::optional<std::array<uint8_t, 10>> Beta;
  std::map<int, std::vector<uint8_t>> Pages;
  std::vector<std::string> Skipped;
};

// The model a machine ID runs on, and its RAM banks.
struct Layout {
  bool Is48k = false;
  MemoryModel Model = MemoryModel::Spectrum128k;
};

Layout LayoutOf(uint8_t id) {
  switch (id) {
    case k48k: return {true, MemoryModel::Spectrum128k};
    case k128k:
    case kPlus2:
    case kPentagon128: return {false, MemoryModel::Spectrum128k};
    case kScorpion: return {false, MemoryModel::Scorpion256k};
    case kPentagon512: return {false, MemoryModel::Pentagon512k};
    case kPentagon1024: return {false, MemoryModel::Pentagon1024k};
    default: break;
  }
  const std::string name = SzxMachineName(id);
  Refuse(
      "The snapshot is of a" +
      std::string(name.empty() ? "n unknown machine (ID " + std::to_string(id) + ")" : " " + name) +
      ", which this emulator does not have.");
}

template <size_t N>
std::array<uint8_t, N> Fixed(std::span<const uint8_t> data, size_t least, std::string_view id) {
  if (data.size() < least) Refuse("The " + std::string(id) + " chunk is too short.");
  std::array<uint8_t, N> out{};
  std::memcpy(out.data(), data.data(), std::min(N, data.size()));
  return out;
}

SzxContents Parse(std::span<const uint8_t> file) {
  if (file.size() < 8 || std::memcmp(file.data(), "ZXST", 4) != 0)
    Refuse("This is not an SZX (zx-state) snapshot.");
  const uint8_t major = file[4], minor = file[5];
  if (major != kMajor || minor > kMinor) {
    Refuse("SZX version " + std::to_string(major) + "." + std::to_string(minor) +
           " is not supported (1.0 to 1.5 are).");
  }
  SzxContents c;
  c.MachineId = file[6];
  const Layout layout = LayoutOf(c.MachineId);
  const int banks = layout.Is48k ? 8 : Memory::BankCountOf(layout.Model);
  size_t at = 8;
  while (at < file.size()) {
    if (file.size() - at < 8) Refuse("The file ends inside a chunk header.");
    const std::string id(reinterpret_cast<const char*>(file.data() + at), 4);
    const uint32_t size = Dword(file.data() + at + 4);
    at += 8;
    if (size > file.size() - at) Refuse("The " + id + " chunk runs past the end of the file.");
    const std::span<const uint8_t> data = file.subspan(at, size);
    at += size;
    const std::string name(id.c_str());  // "AY\0\0" reads as "AY"
    if (name == "Z80R") {
      c.Z80r = Fixed<37>(data, 33, name);
    } else if (name == "SPCR") {
      c.Spcr = Fixed<8>(data, 8, name);
    } else if (name == "AY") {
      c.Ay = Fixed<18>(data, 18, name);
    } else if (name == "B128") {
      c.Beta = Fixed<10>(data, 10, name);
      if (Dword(c.Beta->data()) & kBetaCustomRom) c.Skipped.push_back("B128 custom ROM");
    } else if (name == "RAMP") {
      if (data.size() < 3) Refuse("The RAMP chunk is too short.");
      const uint16_t flags = Word(data.data());
      const int page = data[2];
      if (page >= banks || (layout.Is48k && page != 0 && page != 2 && page != 5)) {
        Refuse("RAM page " + std::to_string(page) + " does not exist on the " +
               SzxMachineName(c.MachineId) + ".");
      }
      const std::span<const uint8_t> body = data.subspan(3);
      std::vector<uint8_t> bytes;
      if (flags & kRamCompressed) {
        std::string why;
        auto inflated = ZlibInflate(body, kBank, &why);
        if (!inflated) Refuse("RAM page " + std::to_string(page) + " cannot be expanded: " + why);
        bytes = std::move(*inflated);
      } else {
        bytes.assign(body.begin(), body.end());
      }
      if (bytes.size() != kBank) Refuse("RAM page " + std::to_string(page) + " is not 16K long.");
      c.Pages[page] = std::move(bytes);
    } else if (name == "CRTR" || name == "KEYB" || name == "JOY") {
      // The creator, the keyboard's issue and joystick emulation: nothing to set here.
    } else {
      c.Skipped.push_back(name);
    }
  }
  return c;
}

void Apply(Machine& m, const SzxContents& c) {
  const Layout layout = LayoutOf(c.MachineId);
  if (!layout.Is48k) m.Mem.Model = layout.Model;
  Z80Registers& r = m.State.Regs;
  if (c.Z80r) {
    const uint8_t* z = c.Z80r->data();
    r.AF.Set(Word(z + 0));
    r.BC.Set(Word(z + 2));
    r.DE.Set(Word(z + 4));
    r.HL.Set(Word(z + 6));
    r.AltAF = Word(z + 8);
    r.AltBC = Word(z + 10);
    r.AltDE = Word(z + 12);
    r.AltHL = Word(z + 14);
    r.IX.Set(Word(z + 16));
    r.IY.Set(Word(z + 18));
    r.SP = Word(z + 20);
    r.PC = Word(z + 22);
    r.I = z[24];
    r.WriteR(z[25]);
    r.IFF1 = z[26] != 0;
    r.IFF2 = z[27] != 0;
    r.IM = z[28] & 3;
    // A count past this machine's frame starts the next frame at once.
    r.Tackts = std::min(Dword(z + 29), m.State.TacktsPerInt);
    r.AcceptInt = (z[34] & kZ80EiLast) ? 0 : 1;
  }
  uint8_t port7ffd = layout.Is48k ? 0x30 : 0x00;
  uint8_t border = 7;
  if (c.Spcr) {
    border = (*c.Spcr)[0] & 7;
    if (!layout.Is48k) port7ffd = (*c.Spcr)[1];
    m.Ports.PortFE = (*c.Spcr)[3];
    if (layout.Model == MemoryModel::Scorpion256k && !layout.Is48k)
      m.Mem.WritePort1FFD((*c.Spcr)[2]);
  }
  m.ForcePaging(port7ffd);
  if (layout.Is48k && m.Mem.TopBank() != 0) m.ForcePaging(0x10);  // Pentagon 1024K
  m.Screen.ReplaceBorder(border);
  m.Ports.PortFE = static_cast<uint8_t>((m.Ports.PortFE & ~7) | border);
  for (const auto& [page, bytes] : c.Pages) std::memcpy(m.Mem.Bank(page), bytes.data(), kBank);
  if (c.Ay) {
    for (int reg = 0; reg < 16; ++reg) m.Ay.WriteRegister(reg, (*c.Ay)[2 + reg]);
    m.Ay.Select((*c.Ay)[1]);
  }
  if (c.Beta) {
    const uint8_t* b = c.Beta->data();
    const uint32_t flags = Dword(b);
    if ((flags & kBetaConnected) && m.Mem.DosEnabled) {
      m.Disk.Controller.WriteSystem(b[5]);
      m.Disk.Controller.LoadRegisters(b[6], b[7], b[8], b[9]);
      if (flags & kBetaPaged) m.Mem.EnterDos();
    }
  }
}

// Writes chunk headers and bodies.
struct Writer {
  std::vector<uint8_t> Out;
  size_t Start = 0;
  void Bytes(std::initializer_list<uint8_t> bytes) { Out.insert(Out.end(), bytes); }
  void Byte(uint8_t b) { Out.push_back(b); }
  void Word(uint16_t w) { Bytes({static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)}); }
  void Dword(uint32_t d) {
    Word(static_cast<uint16_t>(d));
    Word(static_cast<uint16_t>(d >> 16));
  }
  void Begin(std::string_view id) {
    for (size_t i = 0; i < 4; ++i) Byte(i < id.size() ? static_cast<uint8_t>(id[i]) : 0);
    Dword(0);
    Start = Out.size();
  }
  void End() {
    const auto size = static_cast<uint32_t>(Out.size() - Start);
    for (int i = 0; i < 4; ++i) Out[Start - 4 + i] = static_cast<uint8_t>(size >> (8 * i));
  }
};

}  // namespace

std::string SzxMachineName(uint8_t id) {
  return id < kMachineNames.size() ? std::string(kMachineNames[id]) : std::string();
}

std::string LoadSzx(Machine& machine, std::span<const uint8_t> file) {
  const SzxContents contents = Parse(file);
  Apply(machine, contents);
  if (contents.Skipped.empty()) return {};
  std::string note = "Left out (hardware this machine does not have):";
  for (const std::string& id : contents.Skipped) note += " " + id;
  return note;
}

std::vector<uint8_t> MakeSzx(const Machine& m) {
  const SnapshotMachine kind = SnapshotMachineOf(m);
  uint8_t id = 0;
  switch (kind) {
    case SnapshotMachine::Spectrum48k: id = k48k; break;
    case SnapshotMachine::Spectrum128k: id = k128k; break;
    case SnapshotMachine::Pentagon128: id = kPentagon128; break;
    case SnapshotMachine::Scorpion256: id = kScorpion; break;
    case SnapshotMachine::Pentagon512: id = kPentagon512; break;
    case SnapshotMachine::Pentagon1024: id = kPentagon1024; break;
    default:
      throw SnapshotError(std::string("The SZX format has no machine ID for the ") +
                              MemoryModelName(m.Mem.Model) + ".",
                          kSnapshotSaveCaption);
  }
  const Z80Registers& r = m.State.Regs;
  Writer w;
  w.Bytes({'Z', 'X', 'S', 'T', kMajor, kMinor, id, 0});

  w.Begin("CRTR");
  const std::string_view creator = "Vantrel";
  for (size_t i = 0; i < 32; ++i) w.Byte(i < creator.size() ? static_cast<uint8_t>(creator[i]) : 0);
  w.Word(1);
  w.Word(0);
  w.End();

  w.Begin("Z80R");
  for (uint16_t word : {r.AF.Get(), r.BC.Get(), r.DE.Get(), r.HL.Get(), r.AltAF, r.AltBC, r.AltDE,
                        r.AltHL, r.IX.Get(), r.IY.Get(), r.SP, r.PC}) {
    w.Word(word);
  }
  w.Bytes(
      {r.I, r.ReadR(), static_cast<uint8_t>(r.IFF1 & 1), static_cast<uint8_t>(r.IFF2 & 1), r.IM});
  w.Dword(r.Tackts);
  w.Byte(static_cast<uint8_t>(std::min<uint32_t>(m.State.IntLength, 255)));
  w.Byte(r.AcceptInt ? 0 : kZ80EiLast);
  w.Word(0);
  w.End();

  w.Begin("SPCR");
  w.Bytes({static_cast<uint8_t>(m.Ports.PortFE & 7), m.Mem.Port7FFD, m.Mem.Port1FFD, m.Ports.PortFE,
           0, 0, 0, 0});
  w.End();

  w.Begin("AY");
  w.Bytes({0x02, m.Ay.Selected()});  // the 128K's own chip
  for (int reg = 0; reg < 16; ++reg) w.Byte(m.Ay.Register(reg));
  w.End();

  w.Begin("KEYB");
  w.Dword(0);
  w.Byte(8);  // no joystick on the keys
  w.End();

  w.Begin("JOY");
  w.Dword(0);
  w.Bytes({0, 8});  // Kempston, none
  w.End();

  if (m.Mem.DosEnabled) {
    const Vg93Controller& fdc = m.Disk.Controller;
    w.Begin("B128");
    w.Dword(kBetaConnected | (m.Mem.DosActive ? kBetaPaged : 0));
    w.Bytes({1, fdc.System(), fdc.ReadTrack(), fdc.ReadSector(), fdc.Data(), fdc.PeekStatus()});
    w.End();
  }

  const bool is48k = kind == SnapshotMachine::Spectrum48k;
  const int banks = Memory::BankCountOf(m.Mem.Model);
  for (int bank = 0; bank < banks; ++bank) {
    if (is48k && bank != 5 && bank != 2 && bank != 0) continue;
    // A 48K's page 0 is whatever sits at 0xC000.
    const uint8_t* data = m.Mem.Bank(is48k && bank == 0 ? m.Mem.TopBank() : bank);
    const std::vector<uint8_t> packed = ZlibDeflate({data, kBank});
    w.Begin("RAMP");
    w.Word(kRamCompressed);
    w.Byte(static_cast<uint8_t>(bank));
    w.Out.insert(w.Out.end(), packed.begin(), packed.end());
    w.End();
  }
  return w.Out;
}

}  // namespace vantrel
