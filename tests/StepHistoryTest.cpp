// The step history: going back to any recorded step gives the machine exactly as it was
// then, and running forward again gives the machine as if it had never gone back.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "MachineFixture.h"
#include "TestData.h"
#include "machine/Machine.h"
#include "machine/RunLoop.h"
#include "machine/StepHistory.h"
#include "media/FileTypes.h"
#include "tape/TapeImage.h"

namespace vantrel {
namespace {

using test::LoadBusy128kProgram;
using test::LoadPentagonRoms;
using test::OneFrame;
using test::Type;

uint64_t Hash(const uint8_t* data, size_t size, uint64_t hash = 14695981039346656037ull) {
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
  return hash;
}

// What is compared: all RAM, the paging, the registers with the frame's T-state, the
// AY's registers, the tape's level and block, and the flash phase.
struct Look {
  uint64_t Ram = 0;
  std::vector<long long> Values;
  bool operator==(const Look&) const = default;
};

void PrintTo(const Look& l, std::ostream* out) {
  *out << "RAM " << l.Ram << ":";
  for (long long v : l.Values) *out << ' ' << v;
}

std::vector<long long> LookAt(const Z80Registers& r) {
  return {r.AF.Get(), r.BC.Get(), r.DE.Get(), r.HL.Get(), r.IX.Get(), r.IY.Get(),
          r.SP,       r.PC,       r.IFF1,     r.IM,       r.ReadR(),  r.Tackts};
}

Look LookAt(const Machine& m) {
  Look l;
  l.Ram = Hash(m.Mem.RamBase(), Memory::BankCountOf(m.Mem.Model) * Memory::kBankSize);
  const Z80Registers& r = m.State.Regs;
  // A stop before a frame end that is due is the same moment as just after it.
  const uint32_t t = r.Tackts >= m.State.TacktsPerInt ? r.Tackts - m.State.TacktsPerInt : r.Tackts;
  l.Values = {r.AF.Get(),
              r.BC.Get(),
              r.DE.Get(),
              r.HL.Get(),
              r.IX.Get(),
              r.IY.Get(),
              r.SP,
              r.PC,
              r.IFF1,
              r.IM,
              r.ReadR(),
              r.AltHL,
              t,
              m.Mem.Port7FFD,
              m.Ports.PortFE,
              m.Tape.EarLevel(),
              m.Tape.CurrentBlock()};
  for (int reg = 0; reg < 16; ++reg) l.Values.push_back(m.Ay.Register(reg));
  ScreenRenderer::Saved screen;
  m.Screen.Save(screen);
  l.Values.push_back(screen.FlashMask);
  l.Values.push_back(screen.FlashCountdown);
  return l;
}

// The instruction at PC writes the AY (OUT (C),r with BC = #FFFD or #BFFD) or the paging
// port (#7FFD), or the step accepts an interrupt.
enum class Special { None, Interrupt, AyWrite, PagingWrite };
Special SpecialStep(const Machine& m) {
  const Z80Registers& r = m.State.Regs;
  if (r.Tackts < m.State.IntLength && r.IFF1 && r.AcceptInt) return Special::Interrupt;
  const uint8_t op = m.Mem.PeekByte(r.PC), op2 = m.Mem.PeekByte(static_cast<uint16_t>(r.PC + 1));
  if (op != 0xED || (op2 & 0xC7) != 0x41) return Special::None;
  const uint16_t bc = r.BC.Get();
  if (bc == 0xFFFD || bc == 0xBFFD) return Special::AyWrite;
  if (bc == 0x7FFD) return Special::PagingWrite;
  return Special::None;
}

// 48K BASIC on the Pentagon ROMs, 100 frames after a reset; false without the ROMs.
bool Boot48kBasic(Machine& m) {
  if (!LoadPentagonRoms(m)) return false;
  m.State.StartMode = 0;
  m.ResetMachine();
  for (int i = 0; i < 100; ++i) OneFrame(m);
  return true;
}

// A key pressed from outside on every `period`th frame and released on the others; the
// ROM's scan keeps its state in memory at every interrupt.
void KeyEvery(Machine& m, int frame, char key, int period) {
  if (frame % period == 0) {
    m.Keys.PressKey(KeyIndexOfChar(key));
  } else {
    m.Keys.ReleaseKey(KeyIndexOfChar(key));
  }
}

struct Case {
  const char* name;
  // Brings the machine to where the history starts; false when test data is missing.
  std::function<bool(Machine&)> prepare;
  // Before each frame with history (keys pressed and released from outside).
  std::function<void(Machine&, int)> beforeFrame;
};

// Every step back then forward again gives identical memory, registers and T-state, also
// across an interrupt, an OUT to the AY and a paging write.
TEST(StepHistory, GoingBackAndForwardAgainGivesTheSameMachine) {
  const Case cases[] = {
      {"busy 128K program with AY music",
       [](Machine& m) {
         LoadBusy128kProgram(m);
         for (int i = 0; i < 5; ++i) OneFrame(m);
         return true;
       },
       nullptr},
      {"48K program loading from tape",
       [](Machine& m) {
         const auto tape = test::TestDataFile("software/nirvana.tap");
         if (tape.empty() || !Boot48kBasic(m)) return false;
         FindFileType("nirvana.tap")->Load(m, test::ReadBytes(tape));
         Type(m, "J SS+P SS+P ENTER");
         m.Tape.PlayTape();
         for (int i = 0; i < 150; ++i) OneFrame(m);
         return true;
       },
       nullptr},
      {"48K BASIC with a key pressed and released from outside", Boot48kBasic,
       [](Machine& m, int frame) { KeyEvery(m, frame, 'A', 2); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Machine m(7);
    m.State.NormalSpeed = false;
    if (!c.prepare(m)) GTEST_SKIP() << "test data not found";
    StepHistory history;
    m.SetHistory(&history);
    for (int frame = 0; frame < 12; ++frame) {
      if (c.beforeFrame) c.beforeFrame(m, frame);
      OneFrame(m);
    }
    // The last frame one step at a time: a look before the first three special steps of
    // each kind and the step after each, and before every 1000th step.
    std::map<uint64_t, Look> looks;
    std::map<Special, int> specials;
    bool lookNext = false;
    do {
      const Special kind = SpecialStep(m);
      const bool special = kind != Special::None && ++specials[kind] <= 3;
      if (special || lookNext || history.Executed() % 1000 == 0) {
        looks[history.Executed()] = LookAt(m);
      }
      lookNext = special;
      m.ProcessorStep();
    } while (!m.EndFrameIfDue());
    const uint64_t end = history.Executed();
    const Look present = LookAt(m);
    if (std::string(c.name).find("128K") != std::string::npos) {
      EXPECT_GT(specials[Special::Interrupt], 0);
      EXPECT_GT(specials[Special::AyWrite], 0);
      EXPECT_GT(specials[Special::PagingWrite], 0);
    }
    ASSERT_GE(looks.size(), 8u);

    // Back to each looked-at step, newest first, each from where the last one left.
    for (auto it = looks.rbegin(); it != looks.rend(); ++it) {
      ASSERT_EQ(history.GoBackTo(m, it->first), "") << "step " << it->first;
      EXPECT_EQ(history.Executed(), it->first);
      ASSERT_EQ(LookAt(m), it->second) << "step " << it->first;
    }
    // Forward again to the present: as if it had never gone back.
    while (history.Executed() < end) m.ProcessorStep();
    ASSERT_TRUE(m.EndFrameIfDue());
    EXPECT_EQ(LookAt(m), present);

    // Step Back repeated, then forward again.
    for (int i = 0; i < 300; ++i) ASSERT_EQ(history.StepBack(m), "") << i;
    EXPECT_EQ(history.Executed(), end - 300);
    while (history.Executed() < end) m.ProcessorStep();
    ASSERT_TRUE(m.EndFrameIfDue());
    EXPECT_EQ(LookAt(m), present);
  }
}

// A run in the processor's own loop records no step; completing the history replays it
// from the captures and gives the steps a machine run one step at a time records, and
// going back in it gives the same machine.
TEST(StepHistory, StretchesRunUnrecordedAreRebuiltFromTheCaptures) {
  const Case cases[] = {
      {"busy 128K program with AY music",
       [](Machine& m) {
         LoadBusy128kProgram(m);
         return true;
       },
       nullptr},
      {"48K BASIC with a key pressed and released from outside", Boot48kBasic,
       [](Machine& m, int frame) { KeyEvery(m, frame, 'Q', 3); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Machine run(7), stepped(7);
    run.State.NormalSpeed = stepped.State.NormalSpeed = false;
    if (!c.prepare(run) || !c.prepare(stepped)) GTEST_SKIP() << "test data not found";
    StepHistory runHistory, steppedHistory;
    run.SetHistory(&runHistory);
    stepped.SetHistory(&steppedHistory);
    constexpr int kFrames = 45;
    {
      RunLoop loop(run);
      loop.PresentEveryFrame = true;  // as a machine without a run loop shows them
      if (c.beforeFrame) c.beforeFrame(run, 0);
      loop.RunFrames(kFrames, std::nullopt, [&](uint64_t frames) {
        if (c.beforeFrame) c.beforeFrame(run, static_cast<int>(frames));
      });
    }
    for (int frame = 0; frame < kFrames; ++frame) {
      if (c.beforeFrame) c.beforeFrame(stepped, frame);
      OneFrame(stepped);
    }
    if (c.beforeFrame) c.beforeFrame(stepped, kFrames);
    EXPECT_FALSE(runHistory.IsComplete());
    EXPECT_TRUE(steppedHistory.IsComplete());
    const Look present = LookAt(run);
    ASSERT_EQ(present, LookAt(stepped));
    ASSERT_EQ(runHistory.Complete(run), "");
    EXPECT_EQ(LookAt(run), present) << "completing leaves the machine as it was";
    const uint64_t kept = runHistory.Executed() - runHistory.Oldest();
    EXPECT_GT(kept, 20000u);
    for (uint64_t back = 1; back <= kept; back += 997) {
      const HistoryEntry& a = runHistory.At(runHistory.Executed() - back);
      const HistoryEntry& b = steppedHistory.At(steppedHistory.Executed() - back);
      ASSERT_EQ(LookAt(a.Before), LookAt(b.Before)) << back;
      ASSERT_EQ(a.Bytes, b.Bytes) << back;
    }
    const uint64_t runEnd = runHistory.Executed(), steppedEnd = steppedHistory.Executed();
    for (const uint64_t back : {uint64_t{1}, uint64_t{7000}, kept}) {
      ASSERT_EQ(runHistory.GoBackTo(run, runEnd - back), "") << back;
      ASSERT_EQ(steppedHistory.GoBackTo(stepped, steppedEnd - back), "") << back;
      EXPECT_EQ(LookAt(run), LookAt(stepped)) << back;
    }
  }
}

// The entries hold what ran: the registers before it, its bytes and the interrupts.
TEST(StepHistory, EntriesHoldTheRegistersBeforeAndTheBytesThatRan) {
  Machine m(7);
  test::MakeIdle(m);
  StepHistory history;
  m.SetHistory(&history);
  // LD A,#12 / LD B,A / INC A / JR $
  test::Load(m, 0x8000, {0x3E, 0x12, 0x47, 0x3C, 0x18, 0xFE});
  m.State.Regs.IFF1 = 0;
  for (int i = 0; i < 4; ++i) m.ProcessorStep();
  ASSERT_EQ(history.Executed() - history.Oldest(), 4u);
  const uint64_t first = history.Oldest();
  EXPECT_EQ(history.At(first).Before.PC, 0x8000);
  EXPECT_EQ(history.At(first).Bytes[0], 0x3E);
  EXPECT_EQ(history.At(first).Bytes[1], 0x12);
  EXPECT_EQ(history.At(first + 2).Before.AF.High, 0x12);
  EXPECT_EQ(history.At(first + 2).Before.BC.High, 0x12);
  EXPECT_EQ(history.At(first + 3).Before.AF.High, 0x13);
  EXPECT_EQ(history.At(first + 3).Before.Tackts, history.At(first + 2).Before.Tackts + 4);
  // Self-changing code: the entry keeps the bytes as they ran.
  m.Apply([&m] { m.Mem.PokeByte(0x8000, 0x00); });
  EXPECT_EQ(history.At(first).Bytes[0], 0x3E);
  // Interrupts are steps of their own.
  m.State.Regs.IFF1 = m.State.Regs.IFF2 = 1;
  OneFrame(m);
  m.ProcessorStep();
  EXPECT_TRUE(history.At(history.Executed() - 1).Interrupt);
}

// Changes made from outside between steps are undone by going back past them and kept
// when going back to a step after them; a new tape or ROM starts the history anew.
TEST(StepHistory, OutsideChangesAreBoundariesAndNewMediaCutTheHistory) {
  Machine m(7);
  test::MakeIdle(m);
  StepHistory history;
  m.SetHistory(&history);
  for (int i = 0; i < 3; ++i) OneFrame(m);
  const uint64_t before = history.Executed();
  m.Apply([&m] { m.Mem.PokeByte(0x9000, 0x5A); });
  m.State.Regs.BC.Set(0x1234);  // a register edited in the debugger
  m.NoteExternalChange();
  for (int i = 0; i < 2; ++i) OneFrame(m);
  const uint64_t after = before + 1;
  ASSERT_EQ(history.GoBackTo(m, after), "");
  EXPECT_EQ(m.Mem.PeekByte(0x9000), 0x5A);
  EXPECT_EQ(m.State.Regs.BC.Get(), 0x1234);
  m.State.StartTacktsMeter();
  OneFrame(m);
  ASSERT_EQ(history.GoBackTo(m, before - 1), "");
  m.State.UpdateTacktsMeter();
  EXPECT_EQ(m.State.TacktsMeter, 0u) << "the meter starts again where the machine went back to";
  EXPECT_NE(m.Mem.PeekByte(0x9000), 0x5A);
  EXPECT_NE(m.State.Regs.BC.Get(), 0x1234);

  EXPECT_EQ(history.GoBackTo(m, history.Executed()), "No such step in the history");
  EXPECT_EQ(history.GoBackTo(m, history.Oldest() - 1), "No such step in the history");

  OneFrame(m);
  const uint64_t inserted = history.Executed();
  m.Apply([&m] { m.Tape.InsertTape(TapeCatalogue()); });
  OneFrame(m);
  EXPECT_EQ(history.Oldest(), inserted) << "a new tape cuts the history";
  const uint64_t romChanged = history.Executed();
  m.Apply([&m] { m.Mem.Rom128k()[5] ^= 0xFF; });
  OneFrame(m);
  EXPECT_EQ(history.Oldest(), romChanged) << "another ROM cuts it too";
}

// A replay is not heard by the tape recorder: rebuilding or going back through a save
// records its block once, when it ran.
TEST(StepHistory, ReplaysRecordNothingOnTheTape) {
  Machine m(7);
  if (!Boot48kBasic(m)) GTEST_SKIP() << "test data not found";
  // The ROM's SA-BYTES saves 16 bytes of the screen as a data block and returns to JR $.
  m.Mem.PokeByte(0x8000, 0x18);
  m.Mem.PokeByte(0x8001, 0xFE);
  Z80Registers& r = m.State.Regs;
  r.SP = 0x7FF0;
  m.Mem.PokeByte(0x7FF0, 0x00);
  m.Mem.PokeByte(0x7FF1, 0x80);
  r.IX.Set(0x4000);
  r.DE.Set(16);
  r.A() = 0xFF;
  r.PC = 0x04C2;
  m.Recorder.SetRecording(true);
  StepHistory history;
  m.SetHistory(&history);
  {
    RunLoop loop(m);
    loop.PresentEveryFrame = true;
    loop.RunFrames(130, std::nullopt, nullptr);
  }
  ASSERT_EQ(r.PC & 0xFFFE, 0x8000) << "the save has ended";
  m.Recorder.Flush();
  ASSERT_EQ(m.Recorder.Blocks().size(), 1u);
  ASSERT_EQ(history.Complete(m), "");
  ASSERT_EQ(history.GoBackTo(m, history.Executed() - 1), "");
  m.Recorder.Flush();
  EXPECT_EQ(m.Recorder.Blocks().size(), 1u);
  EXPECT_EQ(m.Tape.Tape().BlockCount(), 1u);
}

// Nor is it seen by the tape window: a message or select block the replay passes again
// is not shown again.
TEST(StepHistory, ReplaysShowNoTapeMessageAgain) {
  // A 100 ms pause, then the block (reached in the 6th frame), then a long pause.
  const std::vector<uint8_t> message = {0x31, 5, 2, 'H', 'i'};
  const std::vector<uint8_t> select = {0x28, 6, 0, 1, 1, 0, 2, 'H', 'i'};
  for (const auto& block : {message, select}) {
    SCOPED_TRACE(block[0] == 0x31 ? "message" : "select");
    Machine m(7);
    test::MakeIdle(m);
    std::vector<uint8_t> tzx = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20, 0x20, 100, 0};
    tzx.insert(tzx.end(), block.begin(), block.end());
    tzx.insert(tzx.end(), {0x20, 0xD0, 0x07});
    m.Tape.InsertTape(ReadTzx(tzx, BlockInfoMode::None));
    m.Tape.PlayTape();
    StepHistory history;
    m.SetHistory(&history);
    for (int i = 0; i < 10; ++i) OneFrame(m);
    const auto shown = [&m] {
      const std::optional<TapeMessage> text = m.Tape.TakeMessage();
      const std::optional<TapeSelect> choice = m.Tape.TakeSelect();
      if (text) return text->MessageText;
      return choice ? choice->SelectTexts.at(0) : std::string();
    };
    ASSERT_EQ(shown(), "Hi");
    ASSERT_EQ(history.GoBackTo(m, history.Executed() - 100), "");
    EXPECT_EQ(shown(), "");
  }
}

// The history keeps its last 100,000 steps and no more captures than it needs.
TEST(StepHistory, KeepsTheLastHundredThousandSteps) {
  Machine m(7);
  test::MakeIdle(m);
  StepHistory history;
  m.SetHistory(&history);
  while (history.Executed() < StepHistory::kEntries + 50000) OneFrame(m);
  EXPECT_EQ(history.Oldest(), history.Executed() - StepHistory::kEntries)
      << "a capture covers the oldest kept steps";
  ASSERT_EQ(history.GoBackTo(m, history.Oldest()), "");
  EXPECT_EQ(history.StepBack(m), "No earlier step in the history");
}

}  // namespace
}  // namespace vantrel
