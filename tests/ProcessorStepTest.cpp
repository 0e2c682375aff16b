// One step of the running machine: frame ends, pacing, presentation and the interrupt.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "MachineFixture.h"
#include "core/Machine.h"

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
  Z80Registers& r = m.State.Regs;
};

TEST_F(ProcessorStepTest, FrameEndsAtTheFirstStepThatStartsAtOrPastTheFrameLength) {
  const std::tuple<uint32_t, uint32_t, bool, uint32_t> cases[] = {
      {kDefaultTacktsPerInt, kDefaultTacktsPerInt - 1, false, kDefaultTacktsPerInt + 11},
      {kDefaultTacktsPerInt, kDefaultTacktsPerInt, true, 12},
      {69888, 69887, false, 69899},
      {69888, 69888, true, 12},  // the configured length, not the default one
      {69888, 70000, true, 124},
  };
  for (const auto& [tacktsPerInt, tackts, frameEnd, after] : cases) {
    SCOPED_TRACE(testing::Message() << "frame " << tacktsPerInt << " T " << tackts);
    m.State.TacktsPerInt = tacktsPerInt;
    r.Tackts = tackts;
    r.PC = 0x8000;
    const uint32_t frames = Frames();
    Step();
    EXPECT_EQ(Ints(Frames() - frames, r.Tackts, r.PC), Ints(frameEnd, after, 0x8000));
  }
}

TEST_F(ProcessorStepTest, OverrunCarriesIntoTheNewFrameAndTheInterruptFollowsAtOnce) {
  // PUSH BC (11 T) from TacktsPerInt - 1 ends 10 T-states past the frame's end.
  Load(0x8000, {0xC5});
  r.Tackts = m.State.TacktsPerInt - 1;
  r.IFF1 = r.IFF2 = 1;
  Step();
  ASSERT_EQ(Ints(r.Tackts, Frames()), Ints(m.State.TacktsPerInt + 10, 0));
  Step();
  EXPECT_EQ(Ints(Frames(), r.PC, r.Tackts, StackTop(), r.IFF1), Ints(1, 0x0038, 23, 0x8001, 0));
}

TEST_F(ProcessorStepTest, FrameEndShiftsTheChangeHistoriesAndPollsACapturedMouse) {
  EXPECT_EQ(m.State.BorderChangeHistory, 5);  // the start-up value
  StepAtFrameEnd();
  EXPECT_EQ(m.State.BorderChangeHistory, 0x0A);
  StepAtFrameEnd();
  EXPECT_EQ(m.State.BorderChangeHistory, 0x14);

  // The sound history moves only while a change happened in one of the last three frames;
  // the wrap flag is consumed by that frame end.
  const std::tuple<uint8_t, uint8_t, uint8_t> cases[] = {
      {0x01, 0x02, 0}, {0x04, 0x08, 0}, {0x05, 0x0A, 0}, {0x08, 0x08, 1}, {0x00, 0x00, 1},
  };
  for (const auto& [history, historyAfter, wrappedAfter] : cases) {
    SCOPED_TRACE(testing::Message() << "history 0x" << std::hex << int{history});
    m.State.SoundChangeHistory = history;
    m.State.SamplerWrapped = 1;
    StepAtFrameEnd();
    EXPECT_EQ(Ints(m.State.SoundChangeHistory, m.State.SamplerWrapped),
              Ints(historyAfter, wrappedAfter));
  }

  int polls = 0;
  m.PollMouse = [&](KempstonMouse& mouse) { polls += &mouse == &m.Mouse ? 1 : 100; };
  m.Mouse.Enabled = true;
  StepAtFrameEnd();
  EXPECT_EQ(polls, 0);
  m.MouseCaptured = true;
  StepAtFrameEnd();
  Step();  // no frame end
  EXPECT_EQ(polls, 1);
}

TEST_F(ProcessorStepTest, FramesArePresentedEveryFrameAtNormalSpeedElseOncePerTick) {
  struct Phase {
    bool normalSpeed;
    int ticks, frames;  // timer ticks before the frames, frame ends run
    uint32_t presented;
  };
  const Phase phases[] = {
      {false, 0, 3, 0},                                      // no tick since start-up
      {false, 1, 5, 1}, {false, 0, 2, 1}, {false, 3, 4, 2},  // several ticks still give one
      {false, 1, 1, 3}, {true, 0, 4, 7},
  };
  m.State.TraceMode = true;  // no pacing wait
  for (const Phase& p : phases) {
    m.State.NormalSpeed = p.normalSpeed;
    for (int i = 0; i < p.ticks; ++i) m.Timer.Tick();
    for (int i = 0; i < p.frames; ++i) StepAtFrameEnd();
    EXPECT_EQ(m.Screen.PresentedFrames(), p.presented);
  }
}

TEST_F(ProcessorStepTest, InterruptIsALevelDuringTheFrameStartOnly) {
  const std::tuple<uint32_t, uint8_t, uint8_t, bool> cases[] = {
      {0, 1, 1, true},  {23, 1, 1, true}, {24, 1, 1, false},  // the request has ended
      {0, 0, 1, false},                                       // interrupts disabled
      {0, 1, 0, false},                                       // right after EI
  };
  Load(0x8000, {kNop});
  for (const auto& [tackts, iff1, acceptInt, accepted] : cases) {
    SCOPED_TRACE(testing::Message()
                 << "T " << tackts << " IFF1 " << int{iff1} << " AcceptInt " << int{acceptInt});
    r.PC = 0x8000;
    r.SP = 0xF000;
    r.Tackts = tackts;
    r.IFF1 = r.IFF2 = iff1;
    r.AcceptInt = acceptInt;
    Step();
    EXPECT_EQ(Ints(r.PC, r.Tackts), Ints(accepted ? 0x0038 : 0x8001, tackts + (accepted ? 13 : 4)));
  }
}

TEST_F(ProcessorStepTest, InterruptIsLostWhenTheWindowPassesDuringTheInstructionAfterEi) {
  // EI at T 16 ends at 20; LD HL,nn then runs to 30, past the request.
  Load(0x8000, {kEi, 0x21, 0x00, 0x00, 0x18, 0xFE});
  r.Tackts = 16;
  Step();
  Step();
  Step();
  EXPECT_EQ(Ints(r.Tackts, r.PC, r.SP), Ints(42, 0x8004, 0xF000));
  // It is not latched: the next one comes with the next frame.
  for (int i = 0; i < 10000 && r.PC != 0x0038; ++i) Step();
  EXPECT_EQ(Ints(r.PC, Frames(), StackTop()), Ints(0x0038, 1, 0x8004));
}

TEST_F(ProcessorStepTest, SecondInterruptInAFrameNeedsAnEarlyEiInTheHandler) {
  // Accepted at 0: 13, EI 17, NOP 21 - still inside the 24 T-state request.
  const std::tuple<uint32_t, bool, bool> cases[] = {
      {0, true, true}, {4, true, false}, {0, false, false}};
  for (const auto& [start, handlerEnables, second] : cases) {
    SCOPED_TRACE(testing::Message() << "start " << start << " EI " << handlerEnables);
    Load(0x0038, {handlerEnables ? kEi : kNop, kNop, kNop, kNop});
    r.PC = 0x8000;
    r.SP = 0xF000;
    r.Tackts = start;
    r.IFF1 = r.IFF2 = 1;
    r.AcceptInt = 1;
    for (int i = 0; i < 4; ++i) Step();
    EXPECT_EQ(Ints(r.SP, r.PC), Ints(second ? 0xEFFC : 0xEFFE, second ? 0x0038 : 0x003B));
  }
}

TEST_F(ProcessorStepTest, EiHaltWaitsForTheInterruptAndLeavesTheHalt) {
  Load(0x8000, {kEi, kHalt});
  Step();  // EI
  Step();  // HALT runs once: AcceptInt is 0 after EI
  EXPECT_EQ(Ints(r.PC, r.Tackts), Ints(0x8001, 8));
  Step();
  EXPECT_EQ(Ints(r.PC, StackTop(), r.Tackts, m.State.CpuStopped), Ints(0x0038, 0x8002, 21, 0));
  // Halted later in the frame: the processor waits for the next one.
  Load(0x8000, {kEi, kHalt});
  r.SP = 0xF000;
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
  for (uint32_t i = 1; i <= 3; ++i) {
    Step();
    EXPECT_EQ(Ints(r.PC, r.Tackts, r.IFF1, r.SP), Ints(0, 100 + 4 * i, 0, 0xFFFF));
  }
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
