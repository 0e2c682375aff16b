#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "MachineFixture.h"
#include "machine/EmulThread.h"
#include "machine/PacingTimer.h"

namespace vantrel {
namespace {

using Clock = std::chrono::steady_clock;

// A bound for every wait on another thread: generous, so a slow sanitizer build never
// trips it; reaching it is a failure, not a measurement.
constexpr auto kPatience = std::chrono::seconds(10);

// A headless host that records where and how often it was called.
class RecordingHost : public HeadlessRunHost {
 public:
  void RunStarting() override {
    std::lock_guard<std::mutex> lock(mutex_);
    startingThread_ = std::this_thread::get_id();
    starts_.fetch_add(1);
  }
  void RunFinished() override {
    finishedThread = std::this_thread::get_id();
    ++finishes;
  }
  int Starts() const { return starts_.load(); }
  std::thread::id StartingThread() {
    std::lock_guard<std::mutex> lock(mutex_);
    return startingThread_;
  }

  // Window-thread side only.
  int finishes = 0;
  std::thread::id finishedThread;

 private:
  std::mutex mutex_;
  std::atomic<int> starts_{0};
  std::thread::id startingThread_;
};

class EmulThreadTest : public testing::Test {
 protected:
  EmulThreadTest() {
    test::MakeFlatRam(m);
    m.State.NormalSpeed = false;
    r.SP = 0xF000;
    r.IM = 1;
    Load(0x0038, {kJrSelf, 0xFE});
  }

  static constexpr uint8_t kJrSelf = 0x18;  // with 0xFE: JR $

  void Load(uint16_t at, std::initializer_list<uint8_t> code) {
    r.PC = at;
    for (uint8_t byte : code) m.Mem.PokeByte(at++, byte);
  }

  // Does the window thread's part until the run has ended; false when it never does.
  bool WaitForRunEnd() {
    const auto deadline = Clock::now() + kPatience;
    while (emu.Alive()) {
      if (Clock::now() > deadline) {
        emu.StopEmulation();
        return false;
      }
      host.ProcessEvents();
    }
    return true;
  }
  // Waits until the running machine has completed `frames` frames.
  bool WaitForFrames(uint32_t frames) {
    const auto deadline = Clock::now() + kPatience;
    while (m.State.FrameCount.load() < frames) {
      if (Clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  }

  Machine m{1};
  Z80Registers& r = m.State.Regs;
  RecordingHost host;
  TEmulThread emu{m, host};
};

// ---------------------------------------------------------------------------------------
// Starting and stopping.

TEST_F(EmulThreadTest, RunGoesOnUntilStoppedAndMetersTheTime) {
  Load(0x8000, {kJrSelf, 0xFE});
  r.Tackts = 1000;
  emu.Run();
  EXPECT_TRUE(emu.Alive());
  ASSERT_TRUE(WaitForFrames(3));
  EXPECT_TRUE(m.State.Running.load());
  emu.StopEmulation();
  EXPECT_FALSE(emu.Alive());
  EXPECT_FALSE(m.State.EmulThreadAlive.load());
  EXPECT_FALSE(m.State.Running.load());
  EXPECT_EQ(r.PC, 0x8000);
  EXPECT_EQ(m.State.TacktsMeter,
            m.State.FrameCount.load() * kDefaultTacktsPerInt + r.Tackts - 1000);
  EXPECT_EQ(host.finishes, 1);
  // The machine is left alone once stopped.
  const uint32_t frames = m.State.FrameCount.load();
  const uint32_t tackts = r.Tackts;
  emu.StopEmulation();
  EXPECT_EQ(m.State.FrameCount.load(), frames);
  EXPECT_EQ(r.Tackts, tackts);
  EXPECT_EQ(host.finishes, 1);
}

TEST_F(EmulThreadTest, WindowChangesRunOnTheThreadThatOwnsTheMachine) {
  // Stopped: at once, on the caller's thread.
  std::thread::id ranOn;
  m.Apply([&] { ranOn = std::this_thread::get_id(); });
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  // Running: at the emulation thread's next frame end, never on the caller's.
  Load(0x8000, {kJrSelf, 0xFE});
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
  EXPECT_EQ(ran.load(), 1);
  EXPECT_FALSE(onCaller.load());
  // Queued after the thread's last frame end: the run's end handler carries it out.
  m.State.Running = false;
  while (m.State.FrameCount.load() < frames + 2) std::this_thread::yield();
  m.Commands.Post([&] { ++ran; });
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(ran.load(), 2);
}

TEST_F(EmulThreadTest, StopRequestedRightAfterTheStartIsNotLost) {
  Load(0x8000, {kJrSelf, 0xFE});
  for (int i = 0; i < 50; ++i) {
    emu.Run();
    emu.StopEmulation();
    ASSERT_FALSE(emu.Alive()) << "run " << i;
    ASSERT_FALSE(m.State.Running.load()) << "run " << i;
    ASSERT_EQ(host.finishes, i + 1);
  }
  // The loop steps before it looks at Running: every run took at least one step.
  const uint64_t elapsed = uint64_t{m.State.FrameCount.load()} * m.State.TacktsPerInt + r.Tackts;
  EXPECT_GE(elapsed, 50u * 12);
}

TEST_F(EmulThreadTest, HostHearsOfTheStartOnTheEmulationThreadAndOfTheEndOnTheCaller) {
  Load(0x8000, {kJrSelf, 0xFE});
  emu.Run();
  const auto deadline = Clock::now() + kPatience;
  while (host.Starts() == 0 && Clock::now() < deadline) std::this_thread::yield();
  emu.StopEmulation();
  EXPECT_EQ(host.Starts(), 1);
  EXPECT_NE(host.StartingThread(), std::this_thread::get_id());
  EXPECT_NE(host.StartingThread(), std::thread::id());
  EXPECT_EQ(host.finishes, 1);
  EXPECT_EQ(host.finishedThread, std::this_thread::get_id());
}

TEST_F(EmulThreadTest, StartWhileRunningIsIgnored) {
  Load(0x8000, {kJrSelf, 0xFE});
  emu.Run();
  emu.RunTo(0x1234);
  ASSERT_TRUE(WaitForFrames(1));
  EXPECT_EQ(m.State.RunToAddress.load(), 0);
  emu.StopEmulation();
  EXPECT_EQ(host.finishes, 1);
}

TEST_F(EmulThreadTest, PausedRunStillStops) {
  Load(0x8000, {kJrSelf, 0xFE});
  r.Tackts = 500;
  m.State.Paused = 1;
  emu.Run();
  const auto deadline = Clock::now() + kPatience;
  while (host.Starts() == 0 && Clock::now() < deadline) std::this_thread::yield();
  ASSERT_EQ(host.Starts(), 1);
  emu.StopEmulation();
  EXPECT_FALSE(emu.Alive());
  EXPECT_EQ(r.Tackts, 500u);
  EXPECT_EQ(m.State.FrameCount.load(), 0u);
}

// ---------------------------------------------------------------------------------------
// Run targets.

TEST_F(EmulThreadTest, RunToStopsTheFirstTimeThePcReachesTheTarget) {
  // LD B,5 / INC A / DJNZ back to the INC / JR $: the DJNZ at 0x8003 is passed five times.
  Load(0x8000, {0x06, 0x05, 0x3C, 0x10, 0xFD, kJrSelf, 0xFE});
  r.A() = 0;
  emu.RunTo(0x8003);
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(r.PC, 0x8003);
  EXPECT_EQ(r.A(), 1);
  EXPECT_EQ(r.B(), 5);
  // The target is compared after a step, so a run from the target goes round once more.
  emu.RunTo(0x8003);
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(r.PC, 0x8003);
  EXPECT_EQ(r.A(), 2);
  EXPECT_EQ(r.B(), 4);
  EXPECT_EQ(host.finishes, 2);
}

TEST_F(EmulThreadTest, NoTargetMeansAddressZeroDoesNotStopTheRun) {
  Load(0x0000, {kJrSelf, 0xFE});
  Load(0x8000, {0xC3, 0x00, 0x00});  // JP 0
  emu.RunTo(0);
  ASSERT_TRUE(WaitForFrames(3));
  EXPECT_TRUE(m.State.Running.load());
  emu.StopEmulation();
  EXPECT_EQ(r.PC, 0);
}

TEST_F(EmulThreadTest, RunUntilReturnStopsOnTheReturnAddress) {
  // A routine that loops ten times before it returns to 0x8003.
  Load(0x9000, {0x06, 0x0A, 0x3C, 0x10, 0xFD, 0xC9});
  Load(0x8003, {kJrSelf, 0xFE});
  r.SP = 0xEFFE;
  m.Mem.PokeWord(0xEFFE, 0x8003);
  r.PC = 0x9000;
  r.A() = 0;
  emu.RunUntilReturn();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(r.PC, 0x8003);
  EXPECT_EQ(r.A(), 10);
  EXPECT_EQ(r.SP, 0xF000);
}

// ---------------------------------------------------------------------------------------
// Trace Into and Step Over.

TEST(StepOverTarget, StepsOverCallsLoopsRestartsAndBlockCopiesOnly) {
  struct Case {
    uint16_t pc;
    std::vector<uint8_t> code;
    std::optional<uint16_t> target;
  };
  const Case cases[] = {
      {0x8000, {0xCD, 0x00, 0x90}, 0x8003},        // CALL nn
      {0x8000, {0x10, 0xFE}, 0x8002},              // DJNZ
      {0x8000, {0x76}, 0x8001},                    // HALT
      {0x8000, {0xDF}, 0x8001},                    // RST #18
      {0x8000, {0xED, 0xB8}, 0x8002},              // LDDR
      {0xFFFE, {0xCD, 0x00}, 0x0001},              // the target wraps around
      {0xFFFF, {0xED}, 0x0001},                    // LDIR split across the wrap (B0 at 0)
      {0x8000, {0xD7}, std::nullopt},              // RST #10: traced into
      {0x8000, {0xDC, 0x00, 0x90}, std::nullopt},  // CALL C
      {0x8000, {0xED, 0xB1}, std::nullopt},        // CPIR
      {0x8000, {0xED, 0xA0}, std::nullopt},        // LDI
      {0x8000, {0xDD, 0xCD}, std::nullopt},
  };
  Machine m(1);
  m.Mem.Model = MemoryModel::Scorpion256k;
  m.Ports.PortWrite(0x1FFD, 0x01);
  m.Mem.PokeByte(0x0000, 0xB0);
  for (const Case& c : cases) {
    uint16_t at = c.pc;
    for (uint8_t byte : c.code) m.Mem.PokeByte(at++, byte);
    EXPECT_EQ(StepOverTarget(m.Mem, c.pc), c.target)
        << "pc 0x" << std::hex << c.pc << " opcode 0x" << int{c.code[0]};
  }
}

TEST_F(EmulThreadTest, TraceIntoRunsExactlyOneStepAndMetersIt) {
  Load(0x8000, {0x00, 0x00});
  r.Tackts = 300;
  emu.TraceInto();
  EXPECT_FALSE(emu.Alive());
  EXPECT_EQ(r.PC, 0x8001);
  EXPECT_EQ(r.Tackts, 304u);
  EXPECT_EQ(m.State.TacktsMeter, 4u);
  EXPECT_EQ(host.finishes, 1);
  EXPECT_EQ(host.Starts(), 0);
  EXPECT_FALSE(m.State.TraceMode.load());
}

TEST_F(EmulThreadTest, TraceIntoAFrameEndRunsItWithoutTheWait) {
  // At normal speed, without a timer, the wait would give up only after a tick's time;
  // here a due tick shows whether it was waited for: the wait would consume it.
  m.State.NormalSpeed = true;
  emu.Loop.Timer.Tick();
  Load(0x8000, {0x00});
  r.Tackts = m.State.TacktsPerInt;
  emu.TraceInto();
  EXPECT_EQ(m.State.FrameCount.load(), 1u);
  EXPECT_EQ(r.PC, 0x8001);
  EXPECT_EQ(r.Tackts, 4u);
  EXPECT_EQ(m.State.TacktsMeter, 4u);  // measured across the frame end
  EXPECT_FALSE(emu.Loop.Timer.NoNewTick());
  EXPECT_EQ(m.Screen.PresentedFrames(), 1u);
}

TEST_F(EmulThreadTest, StepOverTracesWhatItDoesNotStepOver) {
  Load(0x0010, {0x00});
  Load(0x8000, {0xD7});  // RST #10
  emu.StepOver();
  EXPECT_FALSE(emu.Alive());
  EXPECT_EQ(r.PC, 0x0010);
  EXPECT_EQ(m.State.TacktsMeter, 11u);
  EXPECT_EQ(host.Starts(), 0);
  EXPECT_EQ(host.finishes, 1);
}

TEST_F(EmulThreadTest, StepOverACallRunsTheRoutineToItsReturn) {
  // CALL #9000 / JR $; the routine: LD B,3 / INC A / DJNZ / RET.
  Load(0x9000, {0x06, 0x03, 0x3C, 0x10, 0xFD, 0xC9});
  Load(0x8000, {0xCD, 0x00, 0x90, kJrSelf, 0xFE});
  r.A() = 0;
  emu.StepOver();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(r.PC, 0x8003);
  EXPECT_EQ(r.A(), 3);
  EXPECT_EQ(r.SP, 0xF000);
  EXPECT_EQ(host.Starts(), 1);
  EXPECT_EQ(host.finishes, 1);
  EXPECT_EQ(m.State.TacktsMeter, 17u + 7 + 3 * 4 + 2 * 13 + 8 + 10);
}

// ---------------------------------------------------------------------------------------
// Reset.

TEST_F(EmulThreadTest, ResetStopsTheRunAndResetsTheMachine) {
  Load(0x8000, {kJrSelf, 0xFE});
  m.State.StartMode = kStart128k;
  r.IFF1 = r.IFF2 = 1;
  emu.Run();
  ASSERT_TRUE(WaitForFrames(1));
  emu.Reset();
  EXPECT_FALSE(emu.Alive());
  EXPECT_FALSE(m.State.Running.load());
  EXPECT_EQ(r.PC, 0);
  EXPECT_EQ(r.SP, 0xFFFF);
  EXPECT_EQ(r.IFF1, 0);
  EXPECT_EQ(m.Mem.Port7FFD, 0);
  EXPECT_EQ(host.finishes, 2);  // the run's end, then the reset's refresh
}

TEST_F(EmulThreadTest, ResetWhileStoppedResets) {
  r.PC = 0x8000;
  m.State.StartMode = kStart128k;
  emu.Reset();
  EXPECT_EQ(r.PC, 0);
  EXPECT_EQ(host.finishes, 1);
}

// ---------------------------------------------------------------------------------------
// The pacing timer.

TEST(PacingTimer, NoNewTickReportsEachTickOnce) {
  std::atomic<uint32_t> frames{0};
  PacingTimer timer(frames);
  EXPECT_TRUE(timer.NoNewTick());
  timer.Tick();
  EXPECT_FALSE(timer.NoNewTick());
  EXPECT_TRUE(timer.NoNewTick());
  // Several ticks since the last look count as one new tick.
  timer.Tick();
  timer.Tick();
  timer.Tick();
  EXPECT_FALSE(timer.NoNewTick());
  EXPECT_TRUE(timer.NoNewTick());
  EXPECT_EQ(timer.TimerTicks.load(), 4u);
}

TEST(PacingTimer, WaitForTickTakesADueTickAndGivesUpWithoutOne) {
  std::atomic<uint32_t> frames{0};
  PacingTimer timer(frames);
  timer.Tick();
  timer.WaitForTick();
  EXPECT_TRUE(timer.NoNewTick());
  // No timer thread: the tick never comes, yet the wait returns.
  timer.WaitForTick();
  EXPECT_EQ(timer.TimerTicks.load(), 1u);
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
  struct Phase {
    int slots;
    uint32_t framesPerSlot;
    uint32_t fpsAfter;
  };
  const Phase phases[] = {
      {1, 5, 5},                   // the first slot
      {9, 5, 50},                  // a full second at 50 frames per second
      {5, 5, 50},                  // steady: old slots leave as new ones come
      {5, 0, 25},                  // the machine stops: half the window is empty
      {5, 0, 0},   {3, 100, 300},  // unpaced
      {10, 7, 70},                 // the burst has left the window
  };
  for (const Phase& p : phases) {
    uint32_t fps = 0;
    for (int i = 0; i < p.slots; ++i) fps = slot(p.framesPerSlot);
    EXPECT_EQ(fps, p.fpsAfter) << p.slots << " slots of " << p.framesPerSlot;
  }
}

TEST(PacingTimer, FrameCounterWrapDoesNotDisturbTheCount) {
  std::atomic<uint32_t> frames{0xFFFFFFF0u};
  PacingTimer timer(frames);
  // The first slot counts from zero; let it leave the window.
  for (uint32_t i = 0; i < PacingTimer::kFpsSlotCount * PacingTimer::kTicksPerSlot; ++i)
    timer.Tick();
  for (int s = 0; s < PacingTimer::kFpsSlotCount; ++s) {
    frames += 6;  // wraps during the second
    for (uint32_t t = 0; t < PacingTimer::kTicksPerSlot; ++t) timer.Tick();
  }
  EXPECT_EQ(timer.FramesPerSecond.load(), 60u);
}

TEST(PacingTimer, TimerThreadTicksUntilStopped) {
  std::atomic<uint32_t> frames{0};
  PacingTimer timer(frames);
  EXPECT_FALSE(timer.Started());
  timer.StopTimer();  // stopping a timer never started is harmless
  timer.StartTimer();
  timer.StartTimer();  // already running: no second thread
  EXPECT_TRUE(timer.Started());
  const auto deadline = Clock::now() + kPatience;
  while (timer.TimerTicks.load() < 3 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GE(timer.TimerTicks.load(), 3u);
  timer.StopTimer();
  EXPECT_FALSE(timer.Started());
  timer.StopTimer();
  const uint32_t stoppedAt = timer.TimerTicks.load();
  // A restart ticks again.
  timer.StartTimer();
  const auto deadline2 = Clock::now() + kPatience;
  while (timer.TimerTicks.load() == stoppedAt && Clock::now() < deadline2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GT(timer.TimerTicks.load(), stoppedAt);
  // The destructor stops it.
}

TEST(PacingTimer, RunningTimerPacesTheMachineAndCountsItsFrames) {
  Machine m(1);
  test::MakeFlatRam(m);
  m.Mem.PokeByte(0x8000, 0x18);
  m.Mem.PokeByte(0x8001, 0xFE);
  m.State.Regs.PC = 0x8000;
  m.State.NormalSpeed = true;
  RecordingHost host;
  uint32_t framesPerSecond = 0;
  {
    TEmulThread emu(m, host);
    emu.Loop.Timer.StartTimer();
    emu.Run();
    const auto deadline = Clock::now() + kPatience;
    while (emu.Loop.Timer.FramesPerSecond.load() == 0 && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    emu.StopEmulation();
    emu.Loop.Timer.StopTimer();
    framesPerSecond = emu.Loop.Timer.FramesPerSecond.load();
  }
  EXPECT_GT(framesPerSecond, 0u);
  EXPECT_GT(m.State.FrameCount.load(), 0u);
  EXPECT_EQ(m.Screen.PresentedFrames(), m.State.FrameCount.load());
}

}  // namespace
}  // namespace vantrel
