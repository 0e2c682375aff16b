#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <variant>

#include "MachineFixture.h"
#include "TempDir.h"
#include "TestData.h"
#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "debugger/Evaluator.h"
#include "debugger/NumberText.h"
#include "debugger/Symbols.h"
#include "debugger/WatchList.h"
#include "machine/Machine.h"

namespace vantrel {
namespace {

struct EvalCase {
  const char* Text;
  std::variant<int32_t, const char*> Expected;  // a value or the error text
};

// Every register variable reads its own register, each filled with a different value,
// alone and as the right operand of an operator (which folds a constant into it).
TEST(Evaluator, EveryRegisterVariableReadsItsRegister) {
  Z80Registers r;
  r.AF.Set(0x0102);
  r.BC.Set(0x0304);
  r.DE.Set(0x0506);
  r.HL.Set(0x0708);
  r.IX.Set(0x090A);
  r.IY.Set(0x0B0C);
  r.I = 0x0D;
  r.R = 0x0E;
  r.PC = 0x0F10;
  r.SP = 0x1112;
  r.AltAF = 0x1314;
  r.AltBC = 0x1516;
  r.AltDE = 0x1718;
  r.AltHL = 0x191A;
  r.Tackts = 0x1B1C1D1E;
  const std::pair<const char*, uint32_t> cases[] = {
      {"a", 0x01},     {"f", 0x02},     {"b", 0x03},     {"c", 0x04},      {"d", 0x05},
      {"e", 0x06},     {"h", 0x07},     {"l", 0x08},     {"xh", 0x09},     {"ixh", 0x09},
      {"xl", 0x0A},    {"ixl", 0x0A},   {"yh", 0x0B},    {"iyh", 0x0B},    {"yl", 0x0C},
      {"iyl", 0x0C},   {"i", 0x0D},     {"r", 0x0E},     {"a'", 0x13},     {"f'", 0x14},
      {"b'", 0x15},    {"c'", 0x16},    {"d'", 0x17},    {"e'", 0x18},     {"h'", 0x19},
      {"l'", 0x1A},    {"af", 0x0102},  {"bc", 0x0304},  {"de", 0x0506},   {"hl", 0x0708},
      {"ix", 0x090A},  {"iy", 0x0B0C},  {"pc", 0x0F10},  {"sp", 0x1112},   {"af'", 0x1314},
      {"bc'", 0x1516}, {"de'", 0x1718}, {"hl'", 0x191A}, {"t", 0x1B1C1D1E}};
  for (const auto& [name, expected] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(static_cast<uint32_t>(EvaluateExpression(name, r, nullptr)), expected);
    EXPECT_EQ(EvaluateExpression(std::string(name) + "=" + std::to_string(expected), r, nullptr),
              1);
    EXPECT_EQ(EvaluateExpression("1+" + std::string(name) + "-1", r, nullptr),
              static_cast<int32_t>(expected));
  }
}

TEST(Evaluator, ValuesAndErrors) {
  Z80Registers regs;
  regs.AF.Set(0x1234);
  regs.HL.Set(0xABCD);
  regs.IX.Set(0x5566);
  regs.IY.Set(0x7788);
  regs.I = 0x3F;
  regs.R = 0x81;
  regs.R7 = 0;
  regs.PC = 0x8000;
  regs.SP = 0xFFF0;
  regs.AltAF = 0x9A0B;
  regs.Tackts = 70000;
  SymbolTable symbols = SymbolTable::Parse(
      "start: EQU $8000\nLOOP EQU 8010h\nfar = 65535\nmain.loop EQU 8003h\n.skip EQU 8004h\n"
      "@@next EQU 8005h\n_entry EQU 8006h\nok? EQU 8007h\nb2 EQU 8008h\n");

  const std::string deep(100000, '(');
  const EvalCase cases[] = {
      {"#ff", 255},
      {"#FF", 255},
      {"%1010", 10},
      {"0123", 123},
      {"2+3*4", 14},
      {"2*3+4", 10},
      {"8-2-1", 5},
      {"100/10/5", 2},
      {"10/3", 3},
      {"-7/2", -3},
      {"-5", -5},
      {"--5", 5},
      {"-(2+3)", -5},
      {"(1+2)*3", 9},
      {"2*(3+4)-(1)", 13},
      {"hl+1", 0xABCE},
      {"HL+1", 0xABCE},
      {"a", 0x12},
      {"f", 0x34},
      {"i", 0x3F},
      {"ix", 0x5566},
      {"xh", 0x55},
      {"IYL", 0x88},
      {"r", 0x81},
      {"af'", 0x9A0B},
      {"a'", 0x9A},
      {"f'", 0x0B},
      {"pc-2", 0x7FFE},
      {"sp", 0xFFF0},
      {"t", 70000},
      // 32-bit wrap-around, never undefined behaviour.
      {"#ffffffff", -1},
      {"4294967296", 0},
      {"#10000*#10000", 0},
      {"#7fffffff+1", INT32_MIN},
      {"-#80000000/-1", INT32_MIN},
      // Symbols, any case, after the registers.
      {"START+1", 0x8001},
      {"loop", 0x8010},
      {"far+1", 0x10000},
      // Every name the symbol loader takes can be typed.
      {"main.loop", 0x8003},
      {"MAIN.LOOP+1", 0x8004},
      {".skip", 0x8004},
      {"@@next-1", 0x8004},
      {"_entry", 0x8006},
      {"ok?", 0x8007},
      {"b2", 0x8008},
      {"b", 0x00},  // the register, before a symbol
      // C's hexadecimal beside "#"; a number ending in a hex letter stays decimal.
      {"0x5C3A", 0x5C3A},
      {"0X5c3a", 0x5C3A},
      {"0x0", 0},
      {"-0x10+0x1", -15},
      {"0x10*2", 32},
      {"0", 0},
      {"0-1", -1},
      {"#", "Invalid character in hexadecimal constant!"},
      {"#g", "Invalid character in hexadecimal constant!"},
      {"0x", "Invalid character in hexadecimal constant!"},
      {"0xg", "Invalid character in hexadecimal constant!"},
      {"0x+1", "Invalid character in hexadecimal constant!"},
      {"0x12g", "Invalid operator"},
      {"00x5", "Invalid operator"},
      {"10x5", "Invalid operator"},
      {"12h", "Invalid operator"},
      {"0b101", "Invalid operator"},
      {"x0x5", "Invalid variable name!"},
      {"%2", "Invalid character in binary constant!"},
      {"hlx", "Invalid variable name!"},
      {"ix'", "Invalid variable name!"},
      {"main.", "Invalid variable name!"},
      {"@", "Invalid variable name!"},
      {".5", "Invalid variable name!"},
      {"(1+2", "Not found close parenthesis!"},
      {"((1)", "Not found close parenthesis!"},
      {"1+2)", "Not found open parenthesis!"},
      {"+5", "Hint: Dec 0, Hex #0, Bin %0"},
      {"", "Hint: Dec 0, Hex #0, Bin %0"},
      {"2*", "Hint: Dec 0, Hex #0, Bin %0"},
      {"1/0", "Divide by zero!"},
      {"1/(2-2)", "Divide by zero!"},
      {"1 2", "Invalid operator"},
      {"#12g", "Invalid operator"},
      {deep.c_str(), "Too many nested parentheses!"},
  };
  for (const EvalCase& c : cases) {
    SCOPED_TRACE(std::string(c.Text).substr(0, 20));
    try {
      const int32_t value = EvaluateExpression(c.Text, regs, &symbols);
      EXPECT_EQ((std::variant<int32_t, const char*>(value)), c.Expected);
    } catch (const ExpressionError& error) {
      const char* const* expected = std::get_if<const char*>(&c.Expected);
      EXPECT_STREQ(error.what(), expected ? *expected : "no error");
    }
  }
  // Without a table a symbol is just an unknown name.
  EXPECT_THROW(EvaluateExpression("start", regs), ExpressionError);
}

// The operators beyond + - * /, with C's precedence, spaces and memory reads. Memory: the
// 128K map with bank 3 at #C000, so a word read at #7FFF takes its low byte from bank 5
// and its high byte from bank 2, and one at #FFFF its high byte from the ROM.
TEST(Evaluator, ConditionOperators) {
  Machine m{1};
  m.Mem.Model = MemoryModel::Spectrum128k;
  m.ForcePaging(0x03);  // bank 3 at #C000
  Z80Registers& regs = m.State.Regs;
  regs.AF.Set(0x10FF);
  regs.HL.Set(0x7FFF);
  regs.BC.Set(0x0005);
  m.Mem.PokeByte(0x7FFF, 0x34);
  m.Mem.PokeByte(0x8000, 0x12);
  m.Mem.PokeByte(0xFFFF, 0xAA);
  const uint8_t rom0 = m.Mem.PeekByte(0);
  m.Mem.Bank(3)[0x0010] = 0x9C;
  m.Mem.Bank(7)[0x3FFF] = 0x77;
  const SymbolTable symbols = SymbolTable::Parse("buf EQU 7FFFh\n");

  const EvalCase cases[] = {
      // Comparisons give 1 or 0, signed.
      {"a=#10", 1},
      {"a = 16", 1},
      {"a==#10", 1},
      {"a<>#10", 0},
      {"a!=#11", 1},
      {"a<16", 0},
      {"a<=16", 1},
      {"a>15", 1},
      {"a>=17", 0},
      {"-1<0", 1},
      {"#ffffffff<0", 1},
      // Precedence: arithmetic, shifts, comparisons, equality, &, ^, |, &&, ||.
      {"1+2*3<<1", 14},
      {"1<<2+1", 8},
      {"1<2=1", 1},
      {"2=2&3", 1},  // (2=2)&3
      {"6&3^1", 3},  // (6&3)^1
      {"4|2^3", 5},  // 4|(2^3)
      {"1^3&2", 3},  // 1^(3&2)
      {"1|0&&0", 0},
      {"1||0&&0", 1},
      {"0&&1||1", 1},
      {"-#10>>2", -4},
      {"#80000000>>31", -1},
      {"1<<32", 0},
      {"1<<31>>31", -1},
      {"~0", -1},
      {"!5", 0},
      {"!0", 1},
      {"!!7", 1},
      {"-~0", 1},
      {"~-1", 0},
      {"--5", 5},
      {"5&&7", 1},
      {"0||-3", 1},
      // The left side decides alone: the right side is not evaluated.
      {"0&&1/0", 0},
      {"1||1/0", 1},
      {"1&&1/0", "Divide by zero!"},
      // Spaces between tokens, not inside them.
      {" ( a = #10 ) && ( hl > 3 ) ", 1},
      {"1 + 2", 3},
      {"a << 1", 0x20},
      {"1 2", "Invalid operator"},
      {"a < > 1", "Hint: Dec 0, Hex #0, Bin %0"},
      {"# 10", "Invalid character in hexadecimal constant!"},
      // Memory through the current map; a word across a bank boundary and across #FFFF.
      {"[hl]", 0x34},
      {"[ hl + 1 ]", 0x12},
      {"{hl}", 0x1234},
      {"{buf}", 0x1234},
      {"{#ffff}", 0xAA | rom0 << 8},
      {"[#1ffff]", 0xAA},
      {"[#c010]", 0x9C},
      {"[hl]>3 && a=#10", 1},
      {"[[#7fff]-#34+#c010]", 0x9C},
      // A byte of a RAM page, the address taken within the page.
      {"[3:#10]", 0x9C},
      {"[3:#c010]", 0x9C},
      {"[7:-1]", 0x77},
      {"[c+2:#3fff]", 0x77},
      {"[64:0]", "No such RAM page!"},
      {"[-1:0]", "No such RAM page!"},
      // Errors.
      {"[hl", "Not found close bracket!"},
      {"{hl", "Not found close brace!"},
      {"[3:hl", "Not found close bracket!"},
      {"{3:hl}", "Not found close brace!"},
      {"hl]", "Not found open bracket!"},
      {"hl}", "Not found open brace!"},
      {"[]", "Hint: Dec 0, Hex #0, Bin %0"},
      {"a=", "Hint: Dec 0, Hex #0, Bin %0"},
      {"a=>1", "Hint: Dec 0, Hex #0, Bin %0"},
      {"a:1", "Invalid operator"},
      {"(1:2)", "Not found close parenthesis!"},
      {"a=#10 &", "Hint: Dec 0, Hex #0, Bin %0"},
      {"a ? 1", "Invalid operator"},
      {"1/(a-#10)", "Divide by zero!"},
  };
  for (const EvalCase& c : cases) {
    SCOPED_TRACE(c.Text);
    try {
      const int32_t value = EvaluateExpression(c.Text, regs, &symbols, &m.Mem);
      EXPECT_EQ((std::variant<int32_t, const char*>(value)), c.Expected);
    } catch (const ExpressionError& error) {
      const char* const* expected = std::get_if<const char*>(&c.Expected);
      EXPECT_STREQ(error.what(), expected ? *expected : "no error");
    }
  }
  // Without memory a read is an error when it runs, not when it is typed.
  EXPECT_NO_THROW(CompileExpression("[hl]"));
  EXPECT_EQ(test::ErrorOf<ExpressionError>([&] { EvaluateExpression("[hl]", regs); }),
            "Memory cannot be read here!");
  EXPECT_EQ(test::ErrorOf<ExpressionError>([] { EvaluateConstant("[#4000]"); }),
            "Memory has no value before the run!");
  // A long chain of prefixes or operators neither recurses deeply nor overflows the stack.
  EXPECT_EQ(EvaluateExpression(std::string(100001, '!') + "0", regs), 1);
  std::string chain = "1";
  for (int i = 0; i < 20000; ++i) chain += "+1";
  EXPECT_EQ(EvaluateExpression(chain, regs), 20001);
}

// Watches: evaluated at each refresh, a value that changed since the last one marked until
// a refresh leaves it alone; errors shown in place; the list kept in the settings.
TEST(WatchList, RefreshMarksChangesAndTheListIsKept) {
  Machine m{1};
  test::MakeFlatRam(m);
  Z80Registers& r = m.State.Regs;
  r.AF.Set(0x1000);
  r.HL.Set(0x9000);
  m.Mem.PokeByte(0x9000, 0xFE);
  m.Mem.PokeByte(0x9001, 0x12);
  const SymbolTable symbols = SymbolTable::Parse("9000 buf\n");
  WatchList list({"a", "[buf]", "1/(a-#10)", "hl*#10000", "-a"});
  list.Refresh(r, &m.Mem, &symbols);
  const auto texts = [&list] {
    std::vector<std::string> shown;
    for (const WatchList::Row& row : list.Rows()) {
      shown.push_back(WatchList::ValueText(row) + (row.Changed ? " *" : ""));
    }
    return shown;
  };
  EXPECT_EQ(texts(), (std::vector<std::string>{"#0010 16", "#00FE 254", "Divide by zero!",
                                               "#90000000 -1879048192", "#FFFFFFF0 -16"}));
  r.AF.Set(0x1100);
  list.Refresh(r, &m.Mem, &symbols);
  EXPECT_EQ(texts(), (std::vector<std::string>{"#0011 17 *", "#00FE 254", "#0001 1",
                                               "#90000000 -1879048192", "#FFFFFFEF -17 *"}));
  list.Refresh(r, &m.Mem, &symbols);
  EXPECT_FALSE(list.Rows()[0].Changed || list.Rows()[4].Changed);
  list.Edit(1, "{buf}");
  list.Remove(3);
  EXPECT_TRUE(list.Add("b"));
  list.Refresh(r, &m.Mem, &symbols);
  EXPECT_EQ(texts(), (std::vector<std::string>{"#0011 17", "#12FE 4862", "#0001 1", "#FFFFFFEF -17",
                                               "#0000 0"}));
  EXPECT_FALSE(list.Rows()[1].Changed);  // a new text's first value is no change
  EXPECT_EQ(list.Texts(), (std::vector<std::string>{"a", "{buf}", "1/(a-#10)", "-a", "b"}));

  MemorySettingsStore store;
  EXPECT_EQ(LoadWatchesPanelSettings(store), WatchesPanelSettings{});
  SaveWatchesPanelSettings(store, {{"a", "[hl]", "{sp}"}, true});
  SaveWatchesPanelSettings(store, {list.Texts(), true});
  SaveWatchesPanelSettings(store, {{"a", "[hl]"}, false});  // shorter: nothing stale is left
  EXPECT_EQ(LoadWatchesPanelSettings(store), (WatchesPanelSettings{{"a", "[hl]"}, false}));
}

// A value fixed before the machine runs may use symbols but no register, which has no
// value yet (reading it as 0 would quietly give a wrong address).
TEST(Evaluator, ConstantsRefuseRegisters) {
  const SymbolTable symbols = SymbolTable::Parse("main.loop EQU 8003h\nhlx EQU 1\n");
  EXPECT_EQ(EvaluateConstant("main.loop+0x10", &symbols), 0x8013);
  EXPECT_EQ(EvaluateConstant("HLX*2", &symbols), 2);
  EXPECT_EQ(EvaluateConstant("-#10"), -16);
  const std::pair<const char*, const char*> refused[] = {
      {"sp", "Register sp has no value before the run!"},
      {"main.loop+HL", "Register hl has no value before the run!"},
      {"t", "Register t has no value before the run!"},
      {"af'", "Register af' has no value before the run!"},
      {"main.loop", "Invalid variable name!"},  // without the table
      {"0x", "Invalid character in hexadecimal constant!"},
  };
  for (const auto& [text, message] : refused) {
    try {
      EvaluateConstant(text, std::string_view(text) == "main.loop" ? nullptr : &symbols);
      ADD_FAILURE() << text << ": no error";
    } catch (const ExpressionError& error) {
      EXPECT_STREQ(error.what(), message) << text;
    }
  }
}

TEST(NumberText, Helpers) {
  EXPECT_EQ(HexByte(0x3A) + HexWord(0x38) + HexDword(0xAB), "3A0038000000AB");
  EXPECT_EQ(ShortHex(0) + ShortHex(0x1A2B) + ShortHex(0xFFFFFFFF), "#0#1A2B#FFFFFFFF");
  EXPECT_EQ(DecByte(58) + "|" + DecWord(56) + "|" + Decimal(4000000000u), "058|00056|4000000000");
  EXPECT_EQ(BinByte(0x81) + "|" + BinWord(0x8001), "10000001|1000000000000001");
  EXPECT_EQ(CharText(0x1F) + CharText('A'), ".A");
  EXPECT_EQ(ByteText(255, kNumberDecimal) + WordText(0xFFFF, kNumberHex), "255FFFF");
}

TEST(SymbolTable, ReadsTheCommonFormatsAndRefusesAFileWithoutSymbols) {
  SymbolTable table = SymbolTable::Parse(
      "; pasmo\r\nMAIN EQU 08000H\r\nmain.loop: EQU 0x00008003\n"
      "screen = #4000 ; comment\nalias EQU 8000h\nsum EQU main+1\nBIG EQU 10000h\n"
      "bits EQU %101\n  ld a,b\n");
  EXPECT_EQ(table.Size(), 5u);  // the expression and the 17-bit value are passed over
  EXPECT_EQ(table.Find("main"), 0x8000);
  EXPECT_EQ(table.Find("MAIN.LOOP"), 0x8003);
  EXPECT_EQ(table.Find("Screen"), 0x4000);
  EXPECT_EQ(table.Find("bits"), 5);
  EXPECT_EQ(table.NameAt(0x8000), "MAIN");  // the first name defined there
  EXPECT_EQ(table.NameAt(0x8001), "");
  EXPECT_THROW(SymbolTable::Parse("; nothing\n ld a,1\n"), SymbolFileError);
  EXPECT_THROW(SymbolTable::Load("/nonexistent/file.sym"), SymbolFileError);
  const std::string folder = std::filesystem::temp_directory_path().string();
  EXPECT_EQ(test::ErrorOf<SymbolFileError>([&] { SymbolTable::Load(folder); }),
            "Cannot open symbol file " + folder + ": it is a folder.");
}

// Every kind of line the loader reads, from a file: the definitions and the two-column
// lists in either order, each address spelling; the lines it passes over are counted.
TEST(SymbolTable, ReadsEachFormatFromAFileAndCountsSkippedLines) {
  struct Case {
    const char* Line;
    const char* Name;  // nullptr: skipped
    uint16_t Value;
  };
  const Case cases[] = {
      {"NAME EQU 4000h", "NAME", 0x4000}, {"lbl: EQU $4002", "lbl", 0x4002},
      {"other = #4001", "other", 0x4001}, {"8000 START", "START", 0x8000},
      {"$8003\tloop1", "loop1", 0x8003},  {"#8004 main.next", "main.next", 0x8004},
      {"0x8005 _five", "_five", 0x8005},  {"8006h six", "six", 0x8006},
      {"MAIN2 #8010", "MAIN2", 0x8010},   {"data  0x9000", "data", 0x9000},
      {"buf: C000h", "buf", 0xC000},      {"Tail 00ff", "Tail", 0x00FF},
      {"FACE 8000", nullptr, 0},      // both columns read as numbers
      {"hello world", nullptr, 0},    // neither does
      {"32768 decimal", nullptr, 0},  // a plain decimal number is not an address
      {"800 short", nullptr, 0},      // nor three hex digits
      {"9000 ADD1 extra", nullptr, 0},    {"sum EQU main+1", nullptr, 0},
      {"8000 9lives", nullptr, 0},  // not a name
      {"$10000 big", nullptr, 0},
  };
  test::TempDir dir;
  const std::string fileName = (dir.path() / "labels.sym").string();
  {
    std::ofstream file(fileName, std::ios::binary);
    file << "; a listing\r\n\n   \n";
    for (const Case& c : cases) file << c.Line << " ; note\r\n";
  }
  const SymbolTable table = SymbolTable::Load(fileName);
  size_t skipped = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Line);
    if (c.Name == nullptr) {
      ++skipped;
      continue;
    }
    EXPECT_EQ(table.Find(c.Name), c.Value);
    EXPECT_EQ(table.NameAt(c.Value), c.Name);
  }
  EXPECT_EQ(table.Size(), std::size(cases) - skipped);
  EXPECT_EQ(table.SkippedLines(), skipped);
  EXPECT_EQ(table.Find("FACE"), std::nullopt);
  EXPECT_EQ(table.Find("hello"), std::nullopt);
}

}  // namespace
}  // namespace vantrel
