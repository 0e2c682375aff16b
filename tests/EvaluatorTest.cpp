#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <variant>

#include "TestData.h"
#include "debugger/Evaluator.h"
#include "debugger/NumberText.h"
#include "debugger/Symbols.h"

namespace vantrel {
namespace {

struct EvalCase {
  const char* Text;
  std::variant<int32_t, const char*> Expected;  // a value or the error text
};

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
      {"1 + 2", "Invalid operator"},
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

}  // namespace
}  // namespace vantrel
