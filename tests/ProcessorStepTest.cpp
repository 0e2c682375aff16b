// One step of the running machine: frame ends, pacing, presentation and the interrupt.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "MachineFixture.h"
#include "machine/Machine.h"
#include "machine/RunLoop.h"

namespace vantrel {
namespace {

using test::Ints;
constexpr uint8_t kNop = 0x00, kEi = 0xFB, kDi = 0xF3, kHalt = 0x76;

class ProcessorStepTest : public testing::Test {
 protected:
  ProcessorStepTest() { test::MakeIdle(m); }

  void Load(uint16_t at, const std::vector<uint8_t>& code) { test::Load(m, at, code); }
  void Step() { m.ProcessorStep(); }
  // Lets the next step begin with a frame end.
  void StepAtFrameEnd() {
    r.Tackts = m.State.TacktsPerInt;
    Step();
  }
  uint16_t StackTop() const { return m.Mem.PeekWord(r.SP); }
  uint32_t Frames() const { return m.State.FrameCount.load(); }

  Machine m{1};
  RunLoop loop{m};
  Z80Registers& r = m.State.Regs;
};

TEST_F(ProcessorStepTest, FrameEndsAtTheFirstStepThatStartsAtOrPastTheFrameLength) {
  // The overrun carries into the new frame, and an interrupt is taken in the same step.
  const std::tuple<uint32_t, uint32_t, uint8_t, bool, uint32_t, uint16_t> cases[] = {
      {kDefaultTacktsPerInt, kDefaultTacktsPerInt - 1, 0, false, kDefaultTacktsPerInt + 11, 0x8000},
      {kDefaultTacktsPerInt, kDefaultTacktsPerInt, 0, true, 12, 0x8000},
      {69888, 69887, 0, false, 69899, 0x8000},
      {69888, 69888, 0, true, 12, 0x8000},  // the configured length, not the default one
      {69888, 70000, 0, true, 124, 0x8000},
      {69888, 69898, 1, true, 23, 0x0038},
  };
  for (const auto& [tacktsPerInt, tackts, iff1, frameEnd, after, pc] : cases) {
    SCOPED_TRACE(testing::Message() << "frame " << tacktsPerInt << " T " << tackts);
    m.State.TacktsPerInt = tacktsPerInt;
    r.Tackts = tackts;
    r.PC = 0x8000;
    r.IFF1 = r.IFF2 = iff1;
    const uint32_t frames = Frames();
    Step();
    EXPECT_EQ(Ints(Frames() - frames, r.Tackts, r.PC), Ints(frameEnd, after, pc));
  }
}

TEST_F(ProcessorStepTest, FrameEndShiftsTheChangeHistoriesAndPollsACapturedMouse) {
  EXPECT_EQ(m.Screen.BorderChangeHistory, 5);  // the start-up value
  StepAtFrameEnd();
  EXPECT_EQ(m.Screen.BorderChangeHistory, 0x0A);
  StepAtFrameEnd();
  EXPECT_EQ(m.Screen.BorderChangeHistory, 0x14);

  // The sound history moves only while a change happened in one of the last three frames;
  // the wrap flag is consumed by that frame end.
  const std::tuple<uint8_t, uint8_t, uint8_t> cases[] = {
      {0x01, 0x02, 0}, {0x04, 0x08, 0}, {0x05, 0x0A, 0}, {0x08, 0x08, 1}, {0x00, 0x00, 1},
  };
  for (const auto& [history, historyAfter, wrappedAfter] : cases) {
    SCOPED_TRACE(testing::Message() << "history 0x" << std::hex << int{history});
    m.Beeper.SoundChangeHistory = history;
    m.Beeper.SamplerWrapped = 1;
    StepAtFrameEnd();
    EXPECT_EQ(Ints(m.Beeper.SoundChangeHistory, m.Beeper.SamplerWrapped),
              Ints(historyAfter, wrappedAfter));
  }

  int polls = 0;
  loop.PollMouse = [&](KempstonMouse& mouse) { polls += &mouse == &m.Mouse ? 1 : 100; };
  m.Mouse.Enabled = true;
  StepAtFrameEnd();
  EXPECT_EQ(polls, 0);
  loop.MouseCaptured = true;
  StepAtFrameEnd();
  Step();  // no frame end
  EXPECT_EQ(polls, 1);
}

TEST_F(ProcessorStepTest, FramesArePresentedEveryFrameAtNormalSpeedElseOncePerTick) {
  // Normal speed, timer ticks before the frames, frame ends run: frames presented so far.
  const std::tuple<bool, int, int, uint32_t> phases[] = {
      {false, 0, 3, 0},                                      // no tick since start-up
      {false, 1, 5, 1}, {false, 0, 2, 1}, {false, 3, 4, 2},  // several ticks still give one
      {false, 1, 1, 3}, {true, 0, 4, 7},
  };
  m.State.TraceMode = true;  // no pacing wait
  for (const auto& [normalSpeed, ticks, frames, presented] : phases) {
    m.State.NormalSpeed = normalSpeed;
    for (int i = 0; i < ticks; ++i) loop.Timer.Tick();
    for (int i = 0; i < frames; ++i) StepAtFrameEnd();
    EXPECT_EQ(m.Screen.PresentedFrames(), presented);
  }
}

// The interrupt is a level held for the frame's first 24 T-states: it is taken by an
// instruction that starts inside it with interrupts on, never right after EI, and not
// latched once the window has passed.
TEST_F(ProcessorStepTest, InterruptIsALevelDuringTheFrameStartOnly) {
  const std::vector<uint8_t> jr = {0x18, 0xFE}, eiNops = {kEi, kNop, kNop, kNop};
  const std::tuple<std::vector<uint8_t>, std::vector<uint8_t>, uint32_t, uint8_t, uint8_t, int,
                   uint16_t, uint16_t, uint16_t, uint32_t>
      cases[] = {
          // code at 0x8000, handler, T, IFF1, AcceptInt, steps: PC, SP, stack top, T after
          {{kNop}, jr, 0, 1, 1, 1, 0x0038, 0xEFFE, 0x8000, 13},
          {{kNop}, jr, 23, 1, 1, 1, 0x0038, 0xEFFE, 0x8000, 36},
          {{kNop}, jr, 24, 1, 1, 1, 0x8001, 0xF000, 0, 28},  // the request has ended
          {{kNop}, jr, 0, 0, 1, 1, 0x8001, 0xF000, 0, 4},    // interrupts disabled
          {{kNop}, jr, 0, 1, 0, 1, 0x8001, 0xF000, 0, 4},    // right after EI
          // EI at T 16 ends at 20; LD HL,nn then runs to 30, past the request.
          {{kEi, 0x21, 0x00, 0x00, 0x18, 0xFE}, jr, 16, 0, 1, 3, 0x8004, 0xF000, 0, 42},
          // A second interrupt in the frame needs an EI early in the handler.
          {jr, eiNops, 0, 1, 1, 4, 0x0038, 0xEFFC, 0x003A, 34},
          {jr, eiNops, 4, 1, 1, 4, 0x003B, 0xEFFE, 0x8000, 29},
          {jr, {kNop, kNop, kNop, kNop}, 0, 1, 1, 4, 0x003B, 0xEFFE, 0x8000, 25},
          // EI; HALT: the HALT runs once, then the interrupt returns past it.
          {{kEi, kHalt}, jr, 0, 0, 1, 3, 0x0038, 0xEFFE, 0x8002, 21},
      };
  for (const auto& [code, handler, tackts, iff1, acceptInt, steps, pc, sp, top, after] : cases) {
    SCOPED_TRACE(testing::Message() << "code " << int{code[0]} << " T " << tackts << " IFF1 "
                                    << int{iff1} << " AcceptInt " << int{acceptInt});
    m.Mem.PokeWord(0xF000, 0);
    Load(0x0038, handler);
    Load(0x8000, code);
    r.SP = 0xF000;
    r.Tackts = tackts;
    r.IFF1 = r.IFF2 = iff1;
    r.AcceptInt = acceptInt;
    for (int i = 0; i < steps; ++i) Step();
    EXPECT_EQ(Ints(r.PC, r.SP, StackTop(), r.Tackts, m.State.CpuStopped),
              Ints(pc, sp, top, after, 0));
  }
  // Halted later in the frame, the processor waits for the next one.
  Load(0x8000, {kEi, kHalt});
  r.Tackts = 1000;
  for (int i = 0; i < 20000 && r.PC != 0x0038; ++i) Step();
  ASSERT_EQ(r.PC, 0x0038);
  EXPECT_EQ(Ints(Frames(), StackTop(), m.State.CpuStopped), Ints(1, 0x8002, 0));
  EXPECT_LT(r.Tackts, 24u + 13);
}

TEST_F(ProcessorStepTest, DiHaltStopsTheCpuThroughFrameEnds) {
  Load(0x8000, {kDi, kHalt});
  r.IFF1 = r.IFF2 = 1;
  Step();
  Step();
  EXPECT_TRUE(m.State.CpuStopped.load());
  for (int i = 0; i < 60000 && Frames() < 3; ++i) {
    Step();
    ASSERT_EQ(r.PC, 0x8001);
  }
  EXPECT_EQ(Ints(Frames(), m.State.CpuStopped, r.SP), Ints(3, 1, 0xF000));
}

TEST_F(ProcessorStepTest, HeldResetKeepsThePcAtZeroWhileTimeRuns) {
  m.State.StartMode = kStart128k;
  m.State.ResetRequest = true;
  r.Tackts = 100;
  r.IFF1 = r.IFF2 = 1;
  Step();
  Step();
  EXPECT_EQ(Ints(r.PC, r.Tackts, r.IFF1, r.SP), Ints(0, 108, 0, 0xFFFF));
  // Inside the interrupt request the reset still wins, and a frame end still happens.
  r.IFF1 = 1;
  r.AcceptInt = 1;
  StepAtFrameEnd();
  EXPECT_EQ(Ints(Frames(), r.Tackts, r.PC, r.SP), Ints(1, 4, 0, 0xFFFF));
  m.State.ResetRequest = false;
  m.Mem.Rom128k()[0] = kNop;
  Step();
  EXPECT_EQ(r.PC, 1);
}

}  // namespace
}  // namespace vantrel
