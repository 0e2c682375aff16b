#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include "MachineFixture.h"
#include "TestData.h"
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
  m.SetTacktsPerInt(69888);  // the meter counts frames of the machine's own length
  r.Tackts = 1000;
  emu.Run();
  EXPECT_TRUE(emu.Alive());
  ASSERT_TRUE(WaitForFrames(3));
  EXPECT_TRUE(m.State.Running.load());
  emu.StopEmulation();
  EXPECT_EQ(Ints(emu.Alive(), m.State.EmulThreadAlive, m.State.Running, r.PC, host.finishes),
            Ints(0, 0, 0, 0x8000, 1));
  EXPECT_EQ(m.State.TacktsMeter, m.State.FrameCount.load() * 69888 + r.Tackts - 1000);
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
  EXPECT_EQ(Ints(m.State.RunToAddress, m.State.RunToSet), Ints(0, 0));
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
  // Address 0 is a target like any other.
  Load(0x0000, {kJr, 0xFE});
  Load(0x8000, {0xC3, 0x00, 0x00});  // JP 0
  emu.RunTo(0);
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(Ints(r.PC, m.State.RunToAddress, m.State.RunToSet), Ints(0, 0, 1));
  // Run until return: a routine that loops ten times before it returns to 0x8003.
  Load(0x8003, {kJr, 0xFE});
  Load(0x9000, {0x06, 0x0A, 0x3C, 0x10, 0xFD, 0xC9});
  r.SP = 0xEFFE;
  m.Mem.PokeWord(0xEFFE, 0x8003);
  r.A() = 0;
  emu.RunUntilReturn();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(Ints(r.PC, r.A(), r.SP), Ints(0x8003, 10, 0xF000));
  // ... and to address 0.
  Load(0x9000, {0xC9});
  m.Mem.PokeWord(0xEFFE, 0x0000);
  r.SP = 0xEFFE;
  emu.RunUntilReturn();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(Ints(r.PC, r.SP), Ints(0, 0xF000));
}

TEST(StepOverStop, CallsReturnToTheFrameLoopsAndRepeatsGoOnToTheNextInstruction) {
  using K = RunStop::Kind;
  struct Case {
    uint16_t pc;
    std::vector<uint8_t> code;
    std::optional<K> kind;
    uint16_t next = 0;  // for K::Next
  };
  const Case cases[] = {
      {0x8000, {0xCD}, K::Return},
      {0x8000, {0xDC}, K::Return},  // CALL nn, CALL C
      {0x8000, {0xC4}, K::Return},
      {0x8000, {0xFC}, K::Return},  // CALL NZ, CALL M
      {0x8000, {0xC7}, K::Return},
      {0x8000, {0xD7}, K::Return},  // RST #00, RST #10
      {0x8000, {0xEF}, K::Return},
      {0x8000, {0xFF}, K::Return},              // RST #28, RST #38
      {0x8000, {0x10}, K::Next, 0x8002},        // DJNZ
      {0x8000, {0x76}, K::Next, 0x8001},        // HALT
      {0xFFFE, {0xED, 0xB9}, K::Next, 0x0000},  // CPDR, the next wraps
      {0xFFFF, {0xED}, K::Next, 0x0001},        // INIR split across the wrap (B2 at 0)
      {0x8000, {0xED, 0xB0}, K::Next, 0x8002},
      {0x8000, {0xED, 0xBB}, K::Next, 0x8002},  // OTDR
      {0x8000, {0xED, 0xA0}, std::nullopt},     // LDI
      {0x8000, {0xED, 0xB4}, std::nullopt},     // no instruction
      {0x8000, {0xC3}, std::nullopt},           // JP
      {0x8000, {0xC9}, std::nullopt},           // RET
      {0x8000, {0x18}, std::nullopt},           // JR
      {0x8000, {0xDD, 0xCD}, std::nullopt},     // a prefix is one step of its own
  };
  Machine m(1);
  test::MakeFlatRam(m);
  m.Mem.PokeByte(0x0000, 0xB2);
  for (const Case& c : cases) {
    test::Load(m, c.pc, c.code);
    const std::optional<RunStop> stop = StepOverStop(m.Mem, c.pc, 0x1234);
    SCOPED_TRACE(testing::Message()
                 << "pc 0x" << std::hex << c.pc << " opcode 0x" << int{c.code[0]});
    ASSERT_EQ(stop.has_value(), c.kind.has_value());
    if (!stop) continue;
    EXPECT_EQ(Ints(stop->Mode, stop->Sp), Ints(*c.kind, 0x1234));
    if (c.kind == K::Next) {
      EXPECT_EQ(stop->Pc, c.next);
    }
  }
}

// Step Over, with the window thread's part done until the run has ended; a run that does
// not end is stopped and reported.
bool StepOverToItsStop(TEmulThread& emu, RecordingHost& host) {
  emu.StepOver();
  const bool ended = WaitFor([&] {
    host.ProcessEvents();
    return !emu.Alive();
  });
  if (!ended) emu.StopEmulation();
  return ended;
}

// Step Over runs each stepped instruction to its stop. The instruction at P calls a
// routine that goes through P again, deeper, before it returns (recursion); an interrupt
// comes, at once or during the run, and its handler calls the stop address, also deeper.
// Neither may stop the run early, and the interrupt returns into the stepped code.
TEST(EmulThreadStepOver, StopsInTheStartingFrameThroughRecursionAndAnInterrupt) {
  struct Case {
    const char* name;
    uint16_t pc;
    std::vector<uint8_t> code;  // at P; P + code size holds INC IX / RET
    uint8_t flags = 0;
    uint16_t sp = 0xF000;
    uint16_t bc = 0x0300;  // B counts the recursion or the loop
    int recursions = 0;    // returns through the stop address before the last
    bool oneStep = false;
    uint16_t bcAfter = 0;
  };
  // P: the instruction. Routine at #9000: PUSH AF / DEC B / JR Z,+4 / POP AF / JP P /
  // POP AF / RET: it enters P again, with the caller's flags, until B is 0.
  constexpr uint16_t P = 0x8010;
  const Case cases[] = {
      {"CALL nn", P, {0xCD, 0x00, 0x90}, 0, 0xF000, 0x0300, 2},
      {"CALL nn with the stack wrapping", P, {0xCD, 0x00, 0x90}, 0, 0x0001, 0x0300, 2},
      {"CALL nn at #FFFD", 0xFFFD, {0xCD, 0x00, 0x90}, 0, 0xF000, 0x0300, 2},
      {"CALL NZ taken", P, {0xC4, 0x00, 0x90}, 0x00, 0xF000, 0x0300, 2},
      {"CALL M taken", P, {0xFC, 0x00, 0x90}, 0x80, 0xF000, 0x0300, 2},
      {"CALL C not taken", P, {0xDC, 0x00, 0x90}, 0x00, 0xF000, 0x0300, 0, true, 0x0300},
      {"RST #00", P, {0xC7}, 0, 0xF000, 0x0300, 2},
      {"RST #08", P, {0xCF}, 0, 0xF000, 0x0300, 2},
      {"RST #10", P, {0xD7}, 0, 0xF000, 0x0300, 2},
      {"RST #18", P, {0xDF}, 0, 0xF000, 0x0300, 2},
      {"RST #20", P, {0xE7}, 0, 0xF000, 0x0300, 2},
      {"RST #28", P, {0xEF}, 0, 0xF000, 0x0300, 2},
      {"RST #30", P, {0xF7}, 0, 0xF000, 0x0300, 2},
      {"RST #38", P, {0xFF}, 0, 0xF000, 0x0300, 2},
      // DJNZ to #8020: CALL P + 2 / JR P, so the loop calls the stop address too.
      {"DJNZ", P, {0x10, 0x0E}, 0, 0xF000, 0x0300, 2},
      {"HALT", P, {0x76}, 0, 0xF000, 0x0300, 0, false, 0x0300},
      {"LDIR", P, {0xED, 0xB0}, 0, 0xF000, 8},
      {"LDDR", P, {0xED, 0xB8}, 0, 0xF000, 8},
      {"CPIR", P, {0xED, 0xB1}, 0, 0xF000, 8},
      {"CPDR", P, {0xED, 0xB9}, 0, 0xF000, 8},
      {"INIR", P, {0xED, 0xB2}, 0, 0xF000, 0x08FE, 0, false, 0x00FE},
      {"INDR", P, {0xED, 0xBA}, 0, 0xF000, 0x08FE, 0, false, 0x00FE},
      {"OTIR", P, {0xED, 0xB3}, 0, 0xF000, 0x08FE, 0, false, 0x00FE},
      {"OTDR", P, {0xED, 0xBB}, 0, 0xF000, 0x08FE, 0, false, 0x00FE},
  };
  for (const Case& c : cases) {
    for (const bool interruptFirst : {true, false}) {
      SCOPED_TRACE(testing::Message() << c.name << (interruptFirst ? ", interrupt first" : ""));
      Machine m{1};
      test::MakeIdle(m);
      Z80Registers& r = m.State.Regs;
      const uint16_t p = c.pc;
      const auto lo = static_cast<uint8_t>(p), hi = static_cast<uint8_t>(p >> 8);
      const auto after = static_cast<uint16_t>(p + c.code.size());
      test::Load(m, 0x9000, {0xF5, 0x05, 0x28, 0x04, 0xF1, 0xC3, lo, hi, 0xF1, 0xC9});
      for (uint16_t rst = 0; rst <= 0x38; rst += 8) test::Load(m, rst, {0xC3, 0x00, 0x90});
      test::Load(m, 0x8020,
                 {0xCD, static_cast<uint8_t>(after), static_cast<uint8_t>(after >> 8), 0x18, 0xEB});
      test::Load(m, after, {0xDD, 0x23, 0xC9});  // INC IX / RET
      // IM 2 through #A0FF to #A200: PUSH AF / PUSH HL / LD HL,#B000 / INC (HL) / POP HL /
      // POP AF / CALL the stop address / EI / RET.
      m.Mem.PokeWord(0xA0FF, 0xA200);
      test::Load(m, 0xA200,
                 {0xF5, 0xE5, 0x21, 0x00, 0xB0, 0x34, 0xE1, 0xF1, 0xCD, static_cast<uint8_t>(after),
                  static_cast<uint8_t>(after >> 8), 0xFB, 0xC9});
      m.Mem.PokeByte(0xB000, 0);
      for (uint16_t a = 0xA7F0; a < 0xA810; ++a) m.Mem.PokeByte(a, 0);  // CPIR finds no #55
      test::Load(m, p, c.code);
      r.IM = 2;
      r.I = 0xA0;
      r.IFF1 = r.IFF2 = r.AcceptInt = 1;
      r.AF.Set(0x5500 | c.flags);
      r.BC.Set(c.bc);
      r.HL.Set(0xA800);
      r.DE.Set(0xAC00);
      r.IX.Set(0);
      r.SP = c.sp;
      r.Tackts = interruptFirst ? 0 : m.State.TacktsPerInt - 40;

      RecordingHost host;
      TEmulThread emu{m, host};
      EXPECT_TRUE(StepOverToItsStop(emu, host));
      const int interrupts = m.Mem.PeekByte(0xB000);
      EXPECT_EQ(interrupts, c.oneStep && !interruptFirst ? 0 : 1);
      EXPECT_EQ(Ints(r.PC, r.SP, r.BC.Get(), r.IX.Get(), r.A()),
                Ints(after, c.sp, c.bcAfter, c.recursions + interrupts, 0x55));
      EXPECT_EQ(host.finishes, 1);
    }
  }
}

// The 48K ROM's calculator returns past the bytes that follow RST #28, and its error
// restart RST #08 never returns: both stop where the routine left the caller's frame.
TEST(EmulThreadStepOver, RomRestartsStopWhereTheRoutineLeavesTheCallersFrame) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/48.rom");
  struct Case {
    std::vector<uint8_t> code;
    uint16_t stop;
  };
  const Case cases[] = {
      {{0xEF, 0xA1, 0x38, kJr, 0xFE}, 0x8003},  // RST #28: stk-one, end-calc
      {{0xCF, 0x0B}, 0x0054},                   // RST #08: error C; POP HL at #0053
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "RST #" << std::hex << (c.code[0] & 0x38));
    Machine m{5};
    m.State.NormalSpeed = false;
    ASSERT_TRUE(test::LoadRomPage(rom, 0, m.Mem.Rom48k()));
    m.State.StartMode = 0;
    m.ResetMachine();
    test::RunFrames(m, 100);  // the editor waits for a key
    Z80Registers& r = m.State.Regs;
    const uint16_t sp = r.SP;
    const uint16_t stackEnd = m.Mem.PeekWord(0x5C65);  // STKEND
    test::Load(m, 0x8000, c.code);
    RecordingHost host;
    TEmulThread emu{m, host};
    EXPECT_TRUE(StepOverToItsStop(emu, host));
    EXPECT_EQ(Ints(r.PC, r.SP), Ints(c.stop, sp));
    if (c.stop == 0x8003) {
      EXPECT_EQ(m.Mem.PeekWord(0x5C65), stackEnd + 5);  // one number on the calculator stack
    }
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
  Load(0x8000, {0xC3, 0x10, 0x00});  // JP #0010
  emu.StepOver();
  EXPECT_EQ(Ints(emu.Alive(), r.PC, m.State.TacktsMeter, host.starts, host.finishes),
            Ints(0, 0x0010, 10, 0, 1));
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
