// Conformance of the processor against the Fuse Z80 core test data: each case starts
// from a known register and memory state, runs for a T-state budget, and is compared
// with the final state, memory and port traffic the reference recorded.
//
// Where this machine deliberately differs from the original chip, a rule keyed on the
// opcode bytes of the case's first instruction narrows the comparison. Rules are never
// lists of case names: a new fault in an excluded instruction still shows elsewhere.

#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "TestData.h"
#include "core/MachineState.h"
#include "core/Memory.h"
#include "core/PortBus.h"
#include "core/Z80.h"

namespace vantrel {
namespace {

// ---------------------------------------------------------------------------
// The data

// Register pairs in the order of the data files.
enum Pair { kAF, kBC, kDE, kHL, kAF2, kBC2, kDE2, kHL2, kIX, kIY, kSP, kPC, kMemptr, kPairCount };
constexpr std::array<const char*, kPairCount> kPairNames = {
    "AF", "BC", "DE", "HL", "AF'", "BC'", "DE'", "HL'", "IX", "IY", "SP", "PC", "MEMPTR"};

struct FuseRegisters {
  std::array<uint16_t, kPairCount> Pairs{};
  uint8_t I = 0, R = 0, Iff1 = 0, Iff2 = 0, Im = 0;
  bool Halted = false;
  uint32_t Tstates = 0;  // input: the budget; expected: the final time
};

struct MemoryBlock {
  uint16_t Address = 0;
  std::vector<uint8_t> Bytes;
};

struct PortAccess {
  uint16_t Port = 0;
  uint8_t Value = 0;
};

struct FuseInput {
  std::string Name;
  FuseRegisters Regs;
  std::vector<MemoryBlock> Memory;
};

struct FuseExpected {
  std::string Name;
  std::vector<uint16_t> PortReads;
  std::vector<PortAccess> PortWrites;
  FuseRegisters Regs;
  std::vector<MemoryBlock> Changed;
};

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

// ---------------------------------------------------------------------------
// Parsing: every deviation from the format stops the test with file, line and text.

struct ParseError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

class LineSource {
 public:
  explicit LineSource(const std::filesystem::path& path) : name_(path.filename().string()) {
    std::ifstream file(path);
    if (!file) throw ParseError("cannot open " + path.string());
    for (std::string line; std::getline(file, line);) lines_.push_back(line);
  }

  bool AtEnd() const { return next_ >= lines_.size(); }
  bool NextIsBlank() const { return Words(lines_[next_]).empty(); }
  bool NextIsIndented() const {
    return !lines_[next_].empty() && (lines_[next_][0] == ' ' || lines_[next_][0] == '\t');
  }
  void SkipBlankLines() {
    while (!AtEnd() && NextIsBlank()) ++next_;
  }
  std::string_view Next(const char* what) {
    if (AtEnd()) throw ParseError(name_ + ": unexpected end of file, expected " + what);
    return lines_[next_++];
  }

  [[noreturn]] void Fail(const std::string& message) const {
    const size_t line = next_ == 0 ? 0 : next_ - 1;
    throw ParseError(name_ + ":" + std::to_string(line + 1) + ": " + message + " in \"" +
                     (line < lines_.size() ? lines_[line] : std::string()) + "\"");
  }

  uint32_t Number(std::string_view word, int base, uint32_t max, const char* what) const {
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (word.empty() || error != std::errc() || end != word.data() + word.size() || value > max) {
      Fail(std::string("bad ") + what + " '" + std::string(word) + "'");
    }
    return value;
  }

 private:
  std::string name_;
  std::vector<std::string> lines_;
  size_t next_ = 0;
};

FuseRegisters ParseRegisters(LineSource& src) {
  FuseRegisters regs;
  auto words = Words(src.Next("the register line"));
  if (words.size() != kPairCount) src.Fail("expected 13 register pairs");
  for (int i = 0; i < kPairCount; ++i) {
    regs.Pairs[i] = static_cast<uint16_t>(src.Number(words[i], 16, 0xFFFF, kPairNames[i]));
  }
  words = Words(src.Next("the I R IFF1 IFF2 IM halted tstates line"));
  if (words.size() != 7) src.Fail("expected I R IFF1 IFF2 IM halted tstates");
  regs.I = static_cast<uint8_t>(src.Number(words[0], 16, 0xFF, "I"));
  regs.R = static_cast<uint8_t>(src.Number(words[1], 16, 0xFF, "R"));
  regs.Iff1 = static_cast<uint8_t>(src.Number(words[2], 10, 1, "IFF1"));
  regs.Iff2 = static_cast<uint8_t>(src.Number(words[3], 10, 1, "IFF2"));
  regs.Im = static_cast<uint8_t>(src.Number(words[4], 10, 2, "IM"));
  regs.Halted = src.Number(words[5], 10, 1, "halted") != 0;
  regs.Tstates = src.Number(words[6], 10, 1'000'000, "tstates");
  return regs;
}

// "<address> <byte> ... -1"
MemoryBlock ParseMemoryLine(LineSource& src, const std::vector<std::string_view>& words) {
  if (words.size() < 2 || words.back() != "-1") src.Fail("memory line must end with -1");
  MemoryBlock block;
  block.Address = static_cast<uint16_t>(src.Number(words[0], 16, 0xFFFF, "address"));
  for (size_t i = 1; i + 1 < words.size(); ++i) {
    block.Bytes.push_back(static_cast<uint8_t>(src.Number(words[i], 16, 0xFF, "byte")));
  }
  return block;
}

std::vector<FuseInput> ParseInputs(const std::filesystem::path& path) {
  LineSource src(path);
  std::vector<FuseInput> tests;
  for (src.SkipBlankLines(); !src.AtEnd(); src.SkipBlankLines()) {
    FuseInput test;
    const auto name = Words(src.Next("a test name"));
    if (name.size() != 1) src.Fail("expected a one-word test name");
    test.Name = std::string(name[0]);
    test.Regs = ParseRegisters(src);
    if (test.Regs.Halted) src.Fail("a case starting halted cannot be set up");
    for (;;) {
      const auto words = Words(src.Next("a memory line or -1"));
      if (words.size() == 1 && words[0] == "-1") break;
      test.Memory.push_back(ParseMemoryLine(src, words));
    }
    tests.push_back(std::move(test));
  }
  return tests;
}

std::vector<FuseExpected> ParseExpected(const std::filesystem::path& path) {
  LineSource src(path);
  std::vector<FuseExpected> tests;
  for (src.SkipBlankLines(); !src.AtEnd(); src.SkipBlankLines()) {
    FuseExpected test;
    const auto name = Words(src.Next("a test name"));
    if (name.size() != 1) src.Fail("expected a one-word test name");
    test.Name = std::string(name[0]);
    // Events: "<time> <type> <address> [<data>]", indented.
    while (!src.AtEnd() && src.NextIsIndented() && !src.NextIsBlank()) {
      const auto words = Words(src.Next("an event"));
      if (words.size() < 3) src.Fail("event needs time, type and address");
      src.Number(words[0], 10, 1'000'000, "event time");
      const std::string_view type = words[1];
      const bool hasData = type == "MR" || type == "MW" || type == "PR" || type == "PW";
      const bool isContention = type == "MC" || type == "PC";
      if (!hasData && !isContention) src.Fail("unknown event type");
      if (words.size() != (hasData ? 4u : 3u)) src.Fail("wrong number of event fields");
      const auto address = static_cast<uint16_t>(src.Number(words[2], 16, 0xFFFF, "address"));
      const auto data = static_cast<uint8_t>(hasData ? src.Number(words[3], 16, 0xFF, "data") : 0);
      if (type == "PR") {
        // The reference's port reads return the port's high byte; so do ours.
        if (data != address >> 8) src.Fail("port read value is not the port's high byte");
        test.PortReads.push_back(address);
      } else if (type == "PW") {
        test.PortWrites.push_back({address, data});
      }
    }
    test.Regs = ParseRegisters(src);
    while (!src.AtEnd() && !src.NextIsBlank()) {
      test.Changed.push_back(ParseMemoryLine(src, Words(src.Next("a memory line"))));
    }
    tests.push_back(std::move(test));
  }
  return tests;
}

using Image = std::vector<uint8_t>;  // 65536 bytes

void Apply(Image& image, const std::vector<MemoryBlock>& blocks) {
  for (const MemoryBlock& block : blocks) {
    uint16_t address = block.Address;
    for (uint8_t byte : block.Bytes) image[address++] = byte;
  }
}

// ---------------------------------------------------------------------------
// The first instruction of a case, as the rules see it.

enum class Table { Main, CB, ED, Indexed, IndexedCB };

struct Instruction {
  std::vector<uint8_t> Bytes;  // prefixes and opcode (with the displacement for DD CB d xx)
  Table Group = Table::Main;
  uint8_t Opcode = 0;
};

Instruction Decode(const Image& image, uint16_t pc) {
  Instruction in;
  auto next = [&] {
    const uint8_t byte = image[pc++];
    in.Bytes.push_back(byte);
    return byte;
  };
  uint8_t byte = next();
  bool indexed = false;
  while (byte == 0xDD || byte == 0xFD) {
    indexed = true;
    byte = next();
  }
  if (byte == 0xCB) {
    if (indexed) next();  // displacement
    in.Group = indexed ? Table::IndexedCB : Table::CB;
    in.Opcode = next();
  } else if (byte == 0xED) {
    in.Group = Table::ED;  // an index prefix before ED is dropped
    in.Opcode = next();
  } else {
    in.Group = indexed ? Table::Indexed : Table::Main;
    in.Opcode = byte;
  }
  return in;
}

std::string BytesText(const Instruction& in) {
  std::string text;
  for (uint8_t byte : in.Bytes) {
    char part[4];
    std::snprintf(part, sizeof part, "%02X", byte);
    if (!text.empty()) text += ' ';
    text += part;
  }
  return text;
}

// ---------------------------------------------------------------------------
// Where this machine's processor is defined differently from the chip the data records.

struct Rule {
  const char* Name;
  const char* Reason;
  bool (*Applies)(const Instruction&);
  uint8_t FlagsNotCompared;  // F bits whose meaning is this machine's own
};

constexpr uint8_t kFlag5 = 0x20, kFlag3 = 0x08, kFlagZ = 0x40;

const std::array<Rule, 4> kRules = {{
    {"BIT n,(HL) F5/F3",
     "the chip copies bits 5 and 3 of its internal address latch (MEMPTR), which this machine "
     "does not keep; here they come from the memory byte",
     [](const Instruction& in) { return in.Group == Table::CB && (in.Opcode & 0xC7) == 0x46; },
     kFlag5 | kFlag3},
    {"SCF/CCF F5/F3",
     "this machine copies bits 5 and 3 of A; the recorded chip ORs them with the previous F",
     [](const Instruction& in) {
       return (in.Group == Table::Main || in.Group == Table::Indexed) && (in.Opcode & 0xF7) == 0x37;
     },
     kFlag5 | kFlag3},
    {"INI/IND/INIR/INDR flags",
     "this machine takes S, P/V, F5, F3 from the byte read with H = 0, N = 1, C kept; the chip "
     "derives them from B and from the byte plus C. Only Z (B reached 0) is shared",
     [](const Instruction& in) { return in.Group == Table::ED && (in.Opcode & 0xE7) == 0xA2; },
     static_cast<uint8_t>(~kFlagZ)},
    {"OUTI/OUTD/OTIR/OTDR flags",
     "this machine changes only Z and N (N = 1); the chip sets S, F5, F3 from B, N from bit 7 "
     "of the byte and H, C, P/V from the byte plus L. Only Z (B reached 0) is shared",
     [](const Instruction& in) { return in.Group == Table::ED && (in.Opcode & 0xE7) == 0xA3; },
     static_cast<uint8_t>(~kFlagZ)},
}};

// ---------------------------------------------------------------------------
// Running one case

struct PortLog {
  std::vector<uint16_t> Reads;
  std::vector<PortAccess> Writes;
};

PortBus RecordingBus(PortLog& log) {
  PortBus bus;
  bus.Context = &log;
  bus.Read = [](void* context, uint16_t port) -> uint8_t {
    static_cast<PortLog*>(context)->Reads.push_back(port);
    return static_cast<uint8_t>(port >> 8);
  };
  bus.Write = [](void* context, uint16_t port, uint8_t value) {
    static_cast<PortLog*>(context)->Writes.push_back({port, value});
  };
  return bus;
}

// Flat writable RAM: Scorpion RAM bank 0 at 0x0000, banks 5 and 2, bank 1 on top.
void MakeFlatRam(Memory& memory) {
  memory.Model = MemoryModel::Scorpion256k;
  memory.WritePort7FFD(0x01);
  memory.WritePort1FFD(0x01);
}

class Mismatches {
 public:
  void Value(const std::string& what, unsigned expected, unsigned actual, int digits,
             unsigned ignoredBits = 0) {
    if ((expected & ~ignoredBits) == (actual & ~ignoredBits)) return;
    text_ << "\n  " << what << ": expected " << Hex(expected, digits) << ", actual "
          << Hex(actual, digits);
    if (ignoredBits != 0) text_ << " (bits " << Hex(ignoredBits, 2) << " not compared)";
  }
  void Note(const std::string& text) { text_ << "\n  " << text; }
  std::string Text() const { return text_.str(); }

 private:
  std::ostringstream text_;
};

struct Outcome {
  std::string Mismatch;  // empty when the case passed
  std::vector<int> RulesApplied;
  std::string InstructionText;
};

// memory is flat RAM (MakeFlatRam); every byte is rewritten from the case.
Outcome RunCase(const FuseInput& input, const FuseExpected& expected, Memory& memory) {
  Image initial(0x10000, 0);
  Apply(initial, input.Memory);
  Image want = initial;
  Apply(want, expected.Changed);

  Outcome outcome;
  const Instruction first = Decode(initial, input.Regs.Pairs[kPC]);
  outcome.InstructionText = BytesText(first);
  uint8_t flagsNotCompared = 0;
  for (int i = 0; i < static_cast<int>(kRules.size()); ++i) {
    if (!kRules[i].Applies(first)) continue;
    outcome.RulesApplied.push_back(i);
    flagsNotCompared |= kRules[i].FlagsNotCompared;
  }

  MachineState state;
  for (uint32_t address = 0; address < 0x10000; ++address) {
    memory.PokeByte(static_cast<uint16_t>(address), initial[address]);
  }

  Z80Registers& r = state.Regs;
  const FuseRegisters& in = input.Regs;
  r.AF.Set(in.Pairs[kAF]);
  r.BC.Set(in.Pairs[kBC]);
  r.DE.Set(in.Pairs[kDE]);
  r.HL.Set(in.Pairs[kHL]);
  r.AltAF = in.Pairs[kAF2];
  r.AltBC = in.Pairs[kBC2];
  r.AltDE = in.Pairs[kDE2];
  r.AltHL = in.Pairs[kHL2];
  r.IX.Set(in.Pairs[kIX]);
  r.IY.Set(in.Pairs[kIY]);
  r.SP = in.Pairs[kSP];
  r.PC = in.Pairs[kPC];
  r.I = in.I;
  r.WriteR(in.R);
  r.IFF1 = in.Iff1;
  r.IFF2 = in.Iff2;
  r.IM = in.Im;
  r.Tackts = 0;

  PortLog ports;
  Z80 z80(state, memory);
  z80.SetPortBus(RecordingBus(ports));

  Mismatches out;
  // The budget is a minimum: the instruction that crosses it completes.
  while (r.Tackts < in.Tstates) {
    const uint32_t before = r.Tackts;
    z80.Step();
    if (r.Tackts <= before) {
      out.Note("a step added no T-states (PC now " + Hex(r.PC, 4) + ")");
      break;
    }
  }

  const FuseRegisters& exp = expected.Regs;
  out.Value("A", exp.Pairs[kAF] >> 8, r.AF.High, 2);
  out.Value("F", exp.Pairs[kAF] & 0xFF, r.AF.Low, 2, flagsNotCompared);
  const std::array<std::pair<Pair, uint16_t>, 11> pairs = {{{kBC, r.BC.Get()},
                                                            {kDE, r.DE.Get()},
                                                            {kHL, r.HL.Get()},
                                                            {kAF2, r.AltAF},
                                                            {kBC2, r.AltBC},
                                                            {kDE2, r.AltDE},
                                                            {kHL2, r.AltHL},
                                                            {kIX, r.IX.Get()},
                                                            {kIY, r.IY.Get()},
                                                            {kSP, r.SP},
                                                            {kPC, r.PC}}};
  for (const auto& [pair, actual] : pairs) out.Value(kPairNames[pair], exp.Pairs[pair], actual, 4);
  out.Value("I", exp.I, r.I, 2);
  out.Value("R", exp.R, r.ReadR(), 2);
  out.Value("IFF1", exp.Iff1, r.IFF1, 1);
  out.Value("IFF2", exp.Iff2, r.IFF2, 1);
  out.Value("IM", exp.Im, r.IM, 1);
  if (r.Tackts != exp.Tstates) {
    out.Note("T-states: expected " + std::to_string(exp.Tstates) + ", actual " +
             std::to_string(r.Tackts));
  }

  int memoryReports = 0;
  for (uint32_t address = 0; address < 0x10000; ++address) {
    const uint8_t actual = memory.PeekByte(static_cast<uint16_t>(address));
    if (actual == want[address]) continue;
    if (++memoryReports > 8) {
      out.Note("(more memory differences)");
      break;
    }
    out.Value("memory " + Hex(address, 4), want[address], actual, 2);
  }

  // Port traffic: the ports read (the value is the port's high byte on both sides) and
  // the ports and values written, in order.
  if (ports.Reads.size() != expected.PortReads.size()) {
    out.Note("port reads: expected " + std::to_string(expected.PortReads.size()) + ", actual " +
             std::to_string(ports.Reads.size()));
  } else {
    for (size_t i = 0; i < ports.Reads.size(); ++i) {
      out.Value("port read " + std::to_string(i + 1), expected.PortReads[i], ports.Reads[i], 4);
    }
  }
  if (ports.Writes.size() != expected.PortWrites.size()) {
    out.Note("port writes: expected " + std::to_string(expected.PortWrites.size()) + ", actual " +
             std::to_string(ports.Writes.size()));
  } else {
    for (size_t i = 0; i < ports.Writes.size(); ++i) {
      const PortAccess& want = expected.PortWrites[i];
      const std::string which = "port write " + std::to_string(i + 1);
      out.Value(which + " port", want.Port, ports.Writes[i].Port, 4);
      out.Value(which + " value", want.Value, ports.Writes[i].Value, 2);
    }
  }

  outcome.Mismatch = out.Text();
  return outcome;
}

// ---------------------------------------------------------------------------

TEST(FuseCoreTest, EveryCaseMatchesTheReference) {
  VANTREL_REQUIRE_TESTDATA(inputPath, "z80-fuse-tests/tests.in");
  VANTREL_REQUIRE_TESTDATA(expectedPath, "z80-fuse-tests/tests.expected");

  std::vector<FuseInput> inputs;
  std::vector<FuseExpected> expected;
  try {
    inputs = ParseInputs(inputPath);
    expected = ParseExpected(expectedPath);
  } catch (const ParseError& error) {
    FAIL() << "malformed test data: " << error.what();
  }
  ASSERT_EQ(inputs.size(), expected.size()) << "tests.in and tests.expected disagree";
  ASSERT_GT(inputs.size(), 1000u) << "the test data looks truncated";
  for (size_t i = 0; i < inputs.size(); ++i) {
    ASSERT_EQ(inputs[i].Name, expected[i].Name) << "entry " << i << " is out of step";
  }

  Memory memory;  // one for all cases: a fresh megabyte per case is slow under sanitizers
  MakeFlatRam(memory);
  int withRule = 0, failed = 0;
  std::array<int, kRules.size()> perRule{};
  for (size_t i = 0; i < inputs.size(); ++i) {
    const Outcome outcome = RunCase(inputs[i], expected[i], memory);
    if (!outcome.RulesApplied.empty()) ++withRule;
    for (int rule : outcome.RulesApplied) ++perRule[rule];
    if (!outcome.Mismatch.empty()) {
      ++failed;
      ADD_FAILURE() << "fuse case " << inputs[i].Name << " [" << outcome.InstructionText << "]"
                    << outcome.Mismatch;
    }
  }

  std::cout << "[ fuse     ] " << inputs.size() << " cases compared, " << failed << " mismatching, "
            << withRule << " with a rule applied\n";
  for (size_t i = 0; i < kRules.size(); ++i) {
    std::cout << "[ fuse     ]   rule \"" << kRules[i].Name << "\": " << perRule[i] << " cases ("
              << kRules[i].Reason << ")\n";
  }
}

}  // namespace
}  // namespace vantrel
