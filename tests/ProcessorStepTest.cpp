#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "MachineFixture.h"
#include "machine/Machine.h"
#include "machine/RunLoop.h"

namespace vantrel {
namespace {

constexpr uint8_t kNop = 0x00, kEi = 0xFB, kDi = 0xF3, kHalt = 0x76;

// RAM everywhere (Scorpion RAM at 0x0000, bank 1 at 0xC000), unpaced, interrupts off.
class ProcessorStepTest : public testing::Test {
 protected:
  ProcessorStepTest() {
    test::MakeFlatRam(m);
    m.State.NormalSpeed = false;
    r.SP = 0xF000;
    r.IM = 1;
    // JR $ everywhere the tests jump to by default: a step that stays put.
    Load(0x0038, {0x18, 0xFE});
    Load(0x8000, {0x18, 0xFE});
  }

  // Places code at `at` and points PC at it.
  void Load(uint16_t at, std::initializer_list<uint8_t> code) {
    r.PC = at;
    for (uint8_t byte : code) m.Mem.PokeByte(at++, byte);
  }
  void Step() { m.ProcessorStep(); }
  // Lets the next step begin with a frame end.
  void ReachFrameEnd() { r.Tackts = m.State.TacktsPerInt; }
  uint16_t StackTop() const { return m.Mem.PeekWord(r.SP); }
  uint32_t Frames() const { return m.State.FrameCount.load(); }

  Machine m{1};
  RunLoop loop{m};
  Z80Registers& r = m.State.Regs;
};

// ---------------------------------------------------------------------------------------
// The frame end.

TEST_F(ProcessorStepTest, FrameEndsAtTheFirstStepThatStartsAtOrPastTheFrameLength) {
  struct Case {
    uint32_t tacktsPerInt;
    uint32_t tackts;
    bool frameEnd;
    uint32_t after;  // Tackts after the step (JR $ takes 12)
  };
  const Case cases[] = {
      {kDefaultTacktsPerInt, kDefaultTacktsPerInt - 1, false, kDefaultTacktsPerInt + 11},
      {kDefaultTacktsPerInt, kDefaultTacktsPerInt, true, 12},
      {69888, 69887, false, 69899},
      {69888, 69888, true, 12},  // the configured length, not the default one
      {69888, 70000, true, 124},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "frame " << c.tacktsPerInt << " T " << c.tackts);
    m.State.TacktsPerInt = c.tacktsPerInt;
    r.Tackts = c.tackts;
    r.PC = 0x8000;
    const uint32_t frames = Frames();
    Step();
    EXPECT_EQ(Frames(), frames + (c.frameEnd ? 1 : 0));
    EXPECT_EQ(r.Tackts, c.after);
    EXPECT_EQ(r.PC, 0x8000);
  }
}

TEST_F(ProcessorStepTest, OverrunCarriesIntoTheNewFrameAndTheInterruptFollowsAtOnce) {
  // PUSH BC (11 T) from TacktsPerInt - 1 ends 10 T-states past the frame's end.
  Load(0x8000, {0xC5});
  r.Tackts = m.State.TacktsPerInt - 1;
  r.IFF1 = r.IFF2 = 1;
  Step();
  ASSERT_EQ(r.Tackts, m.State.TacktsPerInt + 10);
  ASSERT_EQ(Frames(), 0u);
  Step();
  EXPECT_EQ(Frames(), 1u);
  EXPECT_EQ(r.PC, 0x0038);
  EXPECT_EQ(r.Tackts, 10u + 13);
  EXPECT_EQ(StackTop(), 0x8001);
  EXPECT_EQ(r.IFF1, 0);
}

TEST_F(ProcessorStepTest, FrameEndShiftsTheChangeHistories) {
  EXPECT_EQ(m.Screen.BorderChangeHistory, 5);  // the start-up value
  ReachFrameEnd();
  Step();
  EXPECT_EQ(m.Screen.BorderChangeHistory, 0x0A);
  ReachFrameEnd();
  Step();
  EXPECT_EQ(m.Screen.BorderChangeHistory, 0x14);

  struct Case {
    uint8_t history;
    uint8_t historyAfter;
    uint8_t wrappedAfter;
  };
  // The sound history moves only while a change happened in one of the last three frames;
  // the wrap flag is consumed by that frame end.
  const Case cases[] = {
      {0x01, 0x02, 0}, {0x04, 0x08, 0}, {0x05, 0x0A, 0}, {0x08, 0x08, 1}, {0x00, 0x00, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "history 0x" << std::hex << int{c.history});
    m.Beeper.SoundChangeHistory = c.history;
    m.Beeper.SamplerWrapped = 1;
    ReachFrameEnd();
    Step();
    EXPECT_EQ(m.Beeper.SoundChangeHistory, c.historyAfter);
    EXPECT_EQ(m.Beeper.SamplerWrapped, c.wrappedAfter);
  }
}

TEST_F(ProcessorStepTest, FrameEndPollsTheMouseOnlyWhileItIsCaptured) {
  int polls = 0;
  loop.PollMouse = [&](KempstonMouse& mouse) {
    EXPECT_EQ(&mouse, &m.Mouse);
    ++polls;
  };
  m.Mouse.Enabled = true;
  ReachFrameEnd();
  Step();
  EXPECT_EQ(polls, 0);
  loop.MouseCaptured = true;
  ReachFrameEnd();
  Step();
  EXPECT_EQ(polls, 1);
  Step();  // no frame end
  EXPECT_EQ(polls, 1);
}

// ---------------------------------------------------------------------------------------
// Pacing and presentation.

TEST_F(ProcessorStepTest, FrameEndWaitsForTheTickOnlyAtNormalSpeedOutsideATrace) {
  struct Case {
    bool normalSpeed;
    bool traceMode;
    bool tickConsumed;
  };
  const Case cases[] = {
      {true, false, true},
      {true, true, false},
      {false, false, false},
      {false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "normal " << c.normalSpeed << " trace " << c.traceMode);
    m.State.NormalSpeed = c.normalSpeed;
    m.State.TraceMode = c.traceMode;
    loop.Timer.NoNewTick();  // takes whatever ticks came before
    loop.Timer.Tick();       // a tick is due, so a wait ends at once
    ReachFrameEnd();
    Step();
    // The wait takes the tick; the other paths leave it for the next wait.
    EXPECT_EQ(loop.Timer.NoNewTick(), c.tickConsumed);
  }
}

TEST_F(ProcessorStepTest, EveryFrameIsPresentedAtNormalSpeed) {
  m.State.NormalSpeed = true;
  m.State.TraceMode = true;  // no pacing wait
  for (int i = 0; i < 4; ++i) {
    ReachFrameEnd();
    Step();
  }
  EXPECT_EQ(m.Screen.PresentedFrames(), 4u);
}

TEST_F(ProcessorStepTest, AtMaximumSpeedAtMostOneFramePerTickIsPresented) {
  struct Phase {
    int ticks;   // timer ticks before the frames
    int frames;  // frame ends run
    uint32_t presented;
  };
  const Phase phases[] = {
      {0, 3, 0},                        // the tick has not moved since start-up
      {1, 5, 1}, {0, 2, 1}, {3, 4, 2},  // several ticks between frames still give one
      {1, 1, 3}, {1, 1, 4},
  };
  for (const Phase& p : phases) {
    for (int i = 0; i < p.ticks; ++i) loop.Timer.Tick();
    for (int i = 0; i < p.frames; ++i) {
      ReachFrameEnd();
      Step();
    }
    EXPECT_EQ(m.Screen.PresentedFrames(), p.presented);
  }
}

// ---------------------------------------------------------------------------------------
// Interrupts.

TEST_F(ProcessorStepTest, InterruptIsALevelDuringTheFrameStartOnly) {
  struct Case {
    uint32_t tackts;
    uint8_t iff1;
    uint8_t acceptInt;
    bool accepted;
  };
  const Case cases[] = {
      {0, 1, 1, true},  {23, 1, 1, true}, {24, 1, 1, false},  // the request has ended
      {0, 0, 1, false},                                       // interrupts disabled
      {0, 1, 0, false},                                       // right after EI
  };
  Load(0x8000, {kNop});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "T " << c.tackts << " IFF1 " << int{c.iff1} << " AcceptInt "
                                    << int{c.acceptInt});
    r.PC = 0x8000;
    r.SP = 0xF000;
    r.Tackts = c.tackts;
    r.IFF1 = r.IFF2 = c.iff1;
    r.AcceptInt = c.acceptInt;
    Step();
    EXPECT_EQ(r.PC, c.accepted ? 0x0038 : 0x8001);
    EXPECT_EQ(r.Tackts, c.tackts + (c.accepted ? 13 : 4));
  }
}

TEST_F(ProcessorStepTest, InterruptIsLostWhenTheWindowPassesDuringTheInstructionAfterEi) {
  // EI at T 16 ends at 20; LD HL,nn then runs to 30, past the request.
  Load(0x8000, {kEi, 0x21, 0x00, 0x00, 0x18, 0xFE});
  r.Tackts = 16;
  Step();
  Step();
  EXPECT_EQ(r.Tackts, 30u);
  Step();
  EXPECT_EQ(r.PC, 0x8004);
  EXPECT_EQ(r.SP, 0xF000);
  // It is not latched: the next one comes with the next frame.
  for (int i = 0; i < 10000 && r.PC != 0x0038; ++i) Step();
  EXPECT_EQ(r.PC, 0x0038);
  EXPECT_EQ(Frames(), 1u);
  EXPECT_EQ(StackTop(), 0x8004);
}

TEST_F(ProcessorStepTest, SecondInterruptInAFrameNeedsAnEarlyEiInTheHandler) {
  struct Case {
    uint32_t start;
    bool handlerEnables;
    bool second;
  };
  // Accepted at 0: 13, EI 17, NOP 21 - still inside the 24 T-state request.
  const Case cases[] = {{0, true, true}, {4, true, false}, {0, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "start " << c.start << " EI " << c.handlerEnables);
    Load(0x0038, {c.handlerEnables ? kEi : kNop, kNop, kNop, kNop});
    r.PC = 0x8000;
    r.SP = 0xF000;
    r.Tackts = c.start;
    r.IFF1 = r.IFF2 = 1;
    r.AcceptInt = 1;
    for (int i = 0; i < 4; ++i) Step();
    EXPECT_EQ(r.SP, c.second ? 0xEFFC : 0xEFFE);
    EXPECT_EQ(r.PC, c.second ? 0x0038 : 0x003B);
  }
}

TEST_F(ProcessorStepTest, EiHaltLeavesTheHaltOnTheInterrupt) {
  Load(0x8000, {kEi, kHalt});
  r.Tackts = 0;
  Step();  // EI
  Step();  // HALT runs once: AcceptInt is 0 after EI
  EXPECT_EQ(r.PC, 0x8001);
  EXPECT_EQ(r.Tackts, 8u);
  Step();
  EXPECT_EQ(r.PC, 0x0038);
  EXPECT_EQ(StackTop(), 0x8002);
  EXPECT_EQ(r.Tackts, 21u);
  EXPECT_FALSE(m.State.CpuStopped.load());
}

TEST_F(ProcessorStepTest, HaltedProcessorWaitsForTheNextFrame) {
  Load(0x8000, {kEi, kHalt});
  r.Tackts = 1000;
  int steps = 0;
  while (r.PC != 0x0038 && steps < 20000) {
    Step();
    ++steps;
  }
  ASSERT_EQ(r.PC, 0x0038);
  EXPECT_EQ(Frames(), 1u);
  EXPECT_LT(r.Tackts, 24u + 13);
  EXPECT_EQ(StackTop(), 0x8002);
  EXPECT_FALSE(m.State.CpuStopped.load());
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
  EXPECT_EQ(Frames(), 3u);
  EXPECT_TRUE(m.State.CpuStopped.load());
  EXPECT_EQ(r.SP, 0xF000);
}

TEST_F(ProcessorStepTest, PrefixChainIsNotInterruptedBetweenItsPrefixes) {
  struct Case {
    std::vector<uint8_t> code;
    uint16_t ix, iy;
  };
  // EI, a two-prefix LD xx,#1234: 4 + 4 + 14 T-states end inside the request at 22.
  // The last prefix decides the index register.
  const Case cases[] = {
      {{kEi, 0xDD, 0xDD, 0x21, 0x34, 0x12}, 0x1234, 0},
      {{kEi, 0xDD, 0xFD, 0x21, 0x34, 0x12}, 0, 0x1234},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "chain " << std::hex << int{c.code[1]} << " " << int{c.code[2]});
    for (size_t i = 0; i < c.code.size(); ++i) m.Mem.PokeByte(0x8000 + i, c.code[i]);
    r.PC = 0x8000;
    r.SP = 0xF000;
    r.IX.Set(0);
    r.IY.Set(0);
    r.Tackts = 0;
    r.IFF1 = r.IFF2 = 0;
    Step();  // EI
    Step();  // the first prefix alone
    EXPECT_EQ(r.PC, 0x8002);
    EXPECT_EQ(r.Tackts, 8u);
    Step();  // the interrupt is due, but the instruction finishes first
    EXPECT_EQ(r.PC, 0x8006);
    EXPECT_EQ(r.SP, 0xF000);
    EXPECT_EQ(r.Tackts, 22u);
    Step();
    EXPECT_EQ(r.PC, 0x0038);
    EXPECT_EQ(StackTop(), 0x8006);
    EXPECT_EQ(r.IX.Get(), c.ix);
    EXPECT_EQ(r.IY.Get(), c.iy);
  }
}

// ---------------------------------------------------------------------------------------
// Pause and held reset.

TEST_F(ProcessorStepTest, PausedStepDoesNothing) {
  m.State.Paused = 1;
  r.IFF1 = r.IFF2 = 1;
  r.AcceptInt = 1;
  for (const uint32_t tackts : {0u, 100u, kDefaultTacktsPerInt}) {
    r.Tackts = tackts;
    r.WriteR(0x10);
    Step();
    EXPECT_EQ(r.Tackts, tackts);
    EXPECT_EQ(r.PC, 0x8000);
    EXPECT_EQ(r.ReadR(), 0x10);
    EXPECT_EQ(r.SP, 0xF000);
    EXPECT_EQ(Frames(), 0u);
  }
  m.State.Paused = 0;
  Step();
  EXPECT_EQ(Frames(), 1u);
}

TEST_F(ProcessorStepTest, HeldResetKeepsThePcAtZeroWhileTimeRuns) {
  m.State.StartMode = kStart128k;
  m.State.ResetRequest = true;
  r.Tackts = 100;
  r.IFF1 = r.IFF2 = 1;
  for (uint32_t i = 1; i <= 3; ++i) {
    Step();
    EXPECT_EQ(r.PC, 0);
    EXPECT_EQ(r.Tackts, 100 + 4 * i);
    EXPECT_EQ(r.IFF1, 0);
    EXPECT_EQ(r.SP, 0xFFFF);
  }
  // Inside the interrupt request the reset still wins, and a frame end still happens.
  r.IFF1 = 1;
  r.AcceptInt = 1;
  ReachFrameEnd();
  Step();
  EXPECT_EQ(Frames(), 1u);
  EXPECT_EQ(r.Tackts, 4u);
  EXPECT_EQ(r.PC, 0);
  EXPECT_EQ(r.SP, 0xFFFF);
  m.State.ResetRequest = false;
  m.Mem.Rom128k()[0] = kNop;
  Step();
  EXPECT_EQ(r.PC, 1);
}

}  // namespace
}  // namespace vantrel
