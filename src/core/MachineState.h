#pragma once

#include <atomic>
#include <cstdint>

#include "core/FrameTiming.h"
#include "core/Z80Registers.h"

namespace vantrel {

// Answers to the CPU stopped dialog that change the running machine.
enum CpuStoppedRequestKind : uint8_t { kCpuStoppedNone, kCpuStoppedReset, kCpuStoppedReanimate };

// StartMode bits: bit 0 = TR-DOS, bit 1 = 128K.
enum StartModeBits : uint8_t { kStartTrDos = 1, kStart128k = 2 };

// Everything the emulated machine is at an instant, apart from memory contents
// (Memory owns those and the paging latches) and the devices, which keep their own
// latches and change histories.
//
// Fields that another thread writes or reads while the emulation thread runs are
// atomics; relaxed order is enough, each is read once per use.
struct MachineState {
  Z80Registers Regs;

  // Frame clock.
  uint32_t TacktsPerInt = kDefaultTacktsPerInt;
  uint32_t IntLength = kDefaultIntLength;  // the interrupt is requested while Tackts < this
  // Tackts when the current step began: the picture is drawn up to here before the
  // step changes a byte of the displayed screen.
  uint32_t StepStartT = 0;
  std::atomic<uint32_t> FrameCount{0};  // read by the pacing timer for frames per second

  // Run control.
  std::atomic<bool> Running{false};
  std::atomic<uint32_t> Paused{0};
  std::atomic<bool> ResetRequest{false};
  std::atomic<uint8_t> StartMode{0};
  // The address a run-to command stops at, when RunToSet: 0 is an address like any other.
  std::atomic<uint16_t> RunToAddress{0};
  std::atomic<bool> RunToSet{false};
  std::atomic<bool> TraceMode{false};
  std::atomic<bool> NormalSpeed{true};
  std::atomic<bool> CpuStopped{false};  // HALT executed with IFF1 = 0
  std::atomic<bool> EmulThreadAlive{false};
  // The CPU stopped dialog's answer while the machine runs on its HALT: carried out by
  // the emulation thread at its next frame end, so only that thread touches registers.
  std::atomic<uint8_t> CpuStoppedRequest{0};

  // T-state meter. The frame length is taken when the meter starts: it may change
  // between a run and the refresh that reads the meter.
  uint32_t MeterStartFrame = 0;
  uint32_t MeterStartTackts = 0;
  uint32_t MeterFrameLength = kDefaultTacktsPerInt;
  uint32_t TacktsMeter = 0;

  void StartTacktsMeter();
  void UpdateTacktsMeter();
};

}  // namespace vantrel
