#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include "MachineFixture.h"
#include "machine/EmulThread.h"
#include "machine/PacingTimer.h"

namespace vantrel {
namespace {

using test::Ints;
using test::WaitFor;

// A headless host that records where and how often it was called.
class RecordingHost : public HeadlessRunHost {
 public:
  void RunStarting() override {
    startingThread = std::this_thread::get_id();
    ++starts;
  }
  void RunFinished() override {
    finishedThread = std::this_thread::get_id();
    ++finishes;
  }
  std::atomic<int> starts{0};
  std::atomic<std::thread::id> startingThread;
  int finishes = 0;  // window-thread side only
  std::thread::id finishedThread;
};

constexpr uint8_t kJr = 0x18;  // with 0xFE: JR $

class EmulThreadTest : public testing::Test {
 protected:
  EmulThreadTest() { test::MakeIdle(m); }

  void Load(uint16_t at, const std::vector<uint8_t>& code) { test::Load(m, at, code); }
  // Does the window thread's part until the run has ended; false when it never does.
  bool WaitForRunEnd() {
    const bool ended = WaitFor([&] {
      host.ProcessEvents();
      return !emu.Alive();
    });
    if (!ended) emu.StopEmulation();
    return ended;
  }
  bool WaitForFrames(uint32_t frames) {
    return WaitFor([&] { return m.State.FrameCount.load() >= frames; });
  }

  Machine m{1};
  Z80Registers& r = m.State.Regs;
  RecordingHost host;
  TEmulThread emu{m, host};
};

TEST_F(EmulThreadTest, RunGoesOnUntilStoppedAndMetersTheTime) {
  r.Tackts = 1000;
  emu.Run();
  EXPECT_TRUE(emu.Alive());
  ASSERT_TRUE(WaitForFrames(3));
  EXPECT_TRUE(m.State.Running.load());
  emu.StopEmulation();
  EXPECT_EQ(Ints(emu.Alive(), m.State.EmulThreadAlive, m.State.Running, r.PC, host.finishes),
            Ints(0, 0, 0, 0x8000, 1));
  EXPECT_EQ(m.State.TacktsMeter,
            m.State.FrameCount.load() * kDefaultTacktsPerInt + r.Tackts - 1000);
  // The host hears of the start on the emulation thread and of the end on the caller's.
  EXPECT_EQ(host.starts, 1);
  EXPECT_NE(host.startingThread.load(), std::this_thread::get_id());
  EXPECT_NE(host.startingThread.load(), std::thread::id());
  EXPECT_EQ(host.finishedThread, std::this_thread::get_id());
  // The machine is left alone once stopped.
  const auto frames = m.State.FrameCount.load();
  const uint32_t tackts = r.Tackts;
  emu.StopEmulation();
  EXPECT_EQ(Ints(m.State.FrameCount, r.Tackts, host.finishes), Ints(frames, tackts, 1));
}

TEST_F(EmulThreadTest, WindowChangesRunOnTheThreadThatOwnsTheMachine) {
  // Stopped: at once, on the caller's thread.
  std::thread::id ranOn;
  m.Apply([&] { ranOn = std::this_thread::get_id(); });
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  // Running: at the emulation thread's next frame end, never on the caller's.
  emu.Run();
  std::atomic<int> ran{0};
  std::atomic<bool> onCaller{false};
  const auto caller = std::this_thread::get_id();
  m.Apply([&] {
    onCaller = std::this_thread::get_id() == caller;
    ++ran;
  });
  const uint32_t frames = m.State.FrameCount.load();
  ASSERT_TRUE(WaitForFrames(frames + 2));
  EXPECT_EQ(Ints(ran, onCaller), Ints(1, 0));
  // Queued after the thread's last frame end: the run's end handler carries it out.
  m.State.Running = false;
  m.Commands.Post([&] { ++ran; });
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(ran.load(), 2);
}

TEST_F(EmulThreadTest, StopRightAfterTheStartIsNotLostAndAStartWhileRunningIsIgnored) {
  for (int i = 0; i < 50; ++i) {
    emu.Run();
    emu.StopEmulation();
    ASSERT_EQ(Ints(emu.Alive(), m.State.Running, host.finishes), Ints(0, 0, i + 1)) << i;
  }
  // The loop steps before it looks at Running: every run took at least one step.
  const uint64_t elapsed = uint64_t{m.State.FrameCount.load()} * m.State.TacktsPerInt + r.Tackts;
  EXPECT_GE(elapsed, 50u * 12);

  emu.Run();
  emu.RunTo(0x1234);
  ASSERT_TRUE(WaitForFrames(m.State.FrameCount.load() + 1));
  EXPECT_EQ(m.State.RunToAddress.load(), 0);
  emu.StopEmulation();
  EXPECT_EQ(host.finishes, 51);
  // A paused run does nothing, and still stops.
  m.State.Paused = 1;
  const uint32_t frames = m.State.FrameCount.load(), tackts = r.Tackts;
  emu.Run();
  ASSERT_TRUE(WaitFor([&] { return host.starts == 52; }));
  emu.StopEmulation();
  EXPECT_EQ(Ints(emu.Alive(), r.Tackts, m.State.FrameCount), Ints(0, tackts, frames));
}

TEST_F(EmulThreadTest, RunToStopsTheFirstTimeThePcReachesTheTargetAndRunUntilReturnAtTheReturn) {
  // LD B,5 / INC A / DJNZ back to the INC / JR $: the DJNZ at 0x8003 is passed five times.
  Load(0x8000, {0x06, 0x05, 0x3C, 0x10, 0xFD, kJr, 0xFE});
  r.A() = 0;
  emu.RunTo(0x8003);
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(Ints(r.PC, r.A(), r.B()), Ints(0x8003, 1, 5));
  // The target is compared after a step, so a run from the target goes round once more.
  emu.RunTo(0x8003);
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(Ints(r.PC, r.A(), r.B(), host.finishes), Ints(0x8003, 2, 4, 2));
  // No target at all: address 0 does not stop the run.
  Load(0x0000, {kJr, 0xFE});
  Load(0x8000, {0xC3, 0x00, 0x00});  // JP 0
  emu.RunTo(0);
  ASSERT_TRUE(WaitForFrames(m.State.FrameCount.load() + 3));
  EXPECT_TRUE(m.State.Running.load());
  emu.StopEmulation();
  EXPECT_EQ(r.PC, 0);
  // Run until return: a routine that loops ten times before it returns to 0x8003.
  Load(0x8003, {kJr, 0xFE});
  Load(0x9000, {0x06, 0x0A, 0x3C, 0x10, 0xFD, 0xC9});
  r.SP = 0xEFFE;
  m.Mem.PokeWord(0xEFFE, 0x8003);
  r.A() = 0;
  emu.RunUntilReturn();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(Ints(r.PC, r.A(), r.SP), Ints(0x8003, 10, 0xF000));
}

TEST(StepOverTarget, StepsOverCallsLoopsRestartsAndBlockCopiesOnly) {
  const std::tuple<uint16_t, std::vector<uint8_t>, std::optional<uint16_t>> cases[] = {
      {0x8000, {0x10, 0xFE}, 0x8002},              // DJNZ
      {0x8000, {0x76}, 0x8001},                    // HALT
      {0x8000, {0xDF}, 0x8001},                    // RST #18
      {0x8000, {0xED, 0xB8}, 0x8002},              // LDDR
      {0xFFFE, {0xCD, 0x00}, 0x0001},              // the target wraps around
      {0xFFFF, {0xED}, 0x0001},                    // LDIR split across the wrap (B0 at 0)
      {0x8000, {0xDC, 0x00, 0x90}, std::nullopt},  // CALL C
      {0x8000, {0xED, 0xB1}, std::nullopt},        // CPIR
      {0x8000, {0xED, 0xA0}, std::nullopt},        // LDI
      {0x8000, {0xDD, 0xCD}, std::nullopt},
  };
  Machine m(1);
  test::MakeFlatRam(m);
  m.Mem.PokeByte(0x0000, 0xB0);
  for (const auto& [pc, code, target] : cases) {
    test::Load(m, pc, code);
    EXPECT_EQ(StepOverTarget(m.Mem, pc), target)
        << "pc 0x" << std::hex << pc << " opcode 0x" << int{code[0]};
  }
}

TEST_F(EmulThreadTest, TraceIntoRunsExactlyOneStepAndMetersIt) {
  Load(0x8000, {0x00, 0x00});
  r.Tackts = 300;
  emu.TraceInto();
  EXPECT_EQ(Ints(emu.Alive(), r.PC, r.Tackts, m.State.TacktsMeter, host.finishes, host.starts,
                 m.State.TraceMode),
            Ints(0, 0x8001, 304, 4, 1, 0, 0));
  // A frame end is run without the pacing wait, which would have taken the due tick.
  m.State.NormalSpeed = true;
  emu.Loop.Timer.Tick();
  r.Tackts = m.State.TacktsPerInt;
  emu.TraceInto();
  EXPECT_EQ(Ints(m.State.FrameCount, r.PC, r.Tackts, m.State.TacktsMeter,
                 emu.Loop.Timer.NoNewTick(), m.Screen.PresentedFrames()),
            Ints(1, 0x8002, 4, 4, 0, 1));
}

TEST_F(EmulThreadTest, StepOverTracesWhatItDoesNotStepOverAndRunsCallsToTheirReturn) {
  Load(0x0010, {0x00});
  Load(0x8000, {0xD7});  // RST #10
  emu.StepOver();
  EXPECT_EQ(Ints(emu.Alive(), r.PC, m.State.TacktsMeter, host.starts, host.finishes),
            Ints(0, 0x0010, 11, 0, 1));
  // CALL #9000 / JR $; the routine: LD B,3 / INC A / DJNZ / RET.
  Load(0x9000, {0x06, 0x03, 0x3C, 0x10, 0xFD, 0xC9});
  Load(0x8000, {0xCD, 0x00, 0x90, kJr, 0xFE});
  r.SP = 0xF000;
  r.A() = 0;
  emu.StepOver();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(Ints(r.PC, r.A(), r.SP, host.starts, host.finishes, m.State.TacktsMeter),
            Ints(0x8003, 3, 0xF000, 1, 2, 17 + 7 + 3 * 4 + 2 * 13 + 8 + 10));
}

TEST_F(EmulThreadTest, ResetStopsTheRunAndResetsTheMachine) {
  m.State.StartMode = kStart128k;
  r.IFF1 = r.IFF2 = 1;
  emu.Run();
  ASSERT_TRUE(WaitForFrames(1));
  emu.Reset();
  // The run's end, then the reset's refresh.
  EXPECT_EQ(Ints(emu.Alive(), m.State.Running, r.PC, r.SP, r.IFF1, m.Mem.Port7FFD, host.finishes),
            Ints(0, 0, 0, 0xFFFF, 0, 0, 2));
  r.PC = 0x8000;  // while stopped
  emu.Reset();
  EXPECT_EQ(Ints(r.PC, host.finishes), Ints(0, 3));
}

// DI; HALT stops the processor for good; the dialog's answers are carried out by the
// emulation thread at its next frame end.
TEST_F(EmulThreadTest, StoppedCpuAnswersReleaseTheHalt) {
  for (const bool reanimate : {false, true}) {
    SCOPED_TRACE(reanimate ? "reanimate" : "reset");
    m.State.StartMode = kStart128k;
    Load(0x8000, {0xF3, 0x76});
    r.SP = 0xC000;
    emu.Run();
    ASSERT_TRUE(WaitFor([&] { return m.State.CpuStopped.load(); }));
    if (reanimate) {
      emu.StoppedCpuReanimate();
    } else {
      emu.StoppedCpuReset();
    }
    // The frame end takes the answer and lowers the flag; the HALT never raises it again.
    ASSERT_TRUE(WaitFor([&] { return m.State.CpuStoppedRequest.load() == kCpuStoppedNone; }));
    EXPECT_FALSE(m.State.CpuStopped.load());
    ASSERT_TRUE(WaitForFrames(m.State.FrameCount.load() + 2));
    emu.StopEmulation();
    EXPECT_NE(r.PC, 0x8001);  // either way the processor has left the HALT
  }
}

TEST(PacingTimer, ReportsEachTickOnceAndTicksWithTheClockUntilStopped) {
  std::atomic<uint32_t> frames{0};
  PacingTimer timer(frames);
  // Several ticks since the last look count as one new tick.
  std::vector<long long> seen;
  for (int ticks : {0, 1, 0, 2, 0}) {
    for (int i = 0; i < ticks; ++i) timer.Tick();
    seen.push_back(timer.NoNewTick());
  }
  EXPECT_EQ(seen, Ints(1, 0, 1, 0, 1));
  timer.Tick();
  timer.WaitForTick();
  EXPECT_TRUE(timer.NoNewTick());
  // No timer running: the tick never comes, yet the wait returns.
  timer.WaitForTick();
  EXPECT_EQ(timer.TimerTicks.load(), 4u);
  // Stopping a timer never started is harmless; a second start does not restart it.
  timer.StopTimer();
  timer.StartTimer();
  timer.StartTimer();
  EXPECT_TRUE(timer.Started());
  EXPECT_TRUE(WaitFor([&] { return timer.CurrentTick() >= 7; }));
  // A wait sleeps until the next tick comes.
  timer.NoNewTick();
  const uint32_t before = timer.CurrentTick();
  timer.WaitForTick();
  EXPECT_GT(timer.CurrentTick(), before);
  timer.StopTimer();
  timer.StopTimer();
  EXPECT_FALSE(timer.Started());
}

TEST(PacingTimer, FramesPerSecondSumsTheLastTenSlotsOfFiveTicks) {
  std::atomic<uint32_t> frames{0};
  PacingTimer timer(frames);
  // Runs one 100 ms slot during which `count` frames complete; checks the reading is
  // unchanged until the slot's last tick.
  auto slot = [&](uint32_t count) {
    const uint32_t before = timer.FramesPerSecond.load();
    frames += count;
    for (uint32_t t = 1; t < PacingTimer::kTicksPerSlot; ++t) {
      timer.Tick();
      EXPECT_EQ(timer.FramesPerSecond.load(), before);
    }
    timer.Tick();
    return timer.FramesPerSecond.load();
  };
  // Slots run, frames in each: frames per second after them.
  const std::tuple<int, uint32_t, uint32_t> phases[] = {
      {1, 5, 5},                   // the first slot
      {9, 5, 50},                  // a full second at 50 frames per second
      {5, 0, 25},                  // the machine stops: half the window is empty
      {5, 0, 0},   {3, 100, 300},  // unpaced
      {10, 7, 70},                 // the burst has left the window
  };
  for (const auto& [slots, framesPerSlot, fpsAfter] : phases) {
    uint32_t fps = 0;
    for (int i = 0; i < slots; ++i) fps = slot(framesPerSlot);
    EXPECT_EQ(fps, fpsAfter) << slots << " slots of " << framesPerSlot;
  }
}

}  // namespace
}  // namespace vantrel
