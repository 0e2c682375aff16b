#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/FrameTiming.h"
#include "tape/TapeImage.h"

namespace vantrel {

// A TZX message block waiting for the window to show it.
struct TapeMessage {
  std::string MessageText;
  uint8_t MessageSeconds = 0;
};

// A TZX select block waiting for the window's dialog: the texts and the block offsets,
// relative to the select block, in file order.
struct TapeSelect {
  std::vector<std::string> SelectTexts;
  std::vector<int16_t> SelectOffsets;
};

// The tape deck: turns the loaded catalogue into the EAR input level, counted in the
// processor's T-states. It catches up after every processor step through AdvanceTo;
// with no tape playing the level stays where it was and nothing runs.
//
// Threads: everything but the polling calls runs on the emulation thread (or while no
// emulation thread exists; the window's buttons go through Machine::Apply). The window
// polls Playing, CurrentBlock, the caption, the message and the select block.
class TapePlayer {
 public:
  enum PlayState : uint8_t {
    PilotTone,
    SyncTwo,
    NextByte,
    BitFirstHalf,
    BitSecondHalf,
    TapBlockStart,
    EndOfTape,
    TzxNextBlock,
    PureTone,
    PulseSequence,
    // The entries of TapeCatalogue::Pulses, for TZX 0x15, 0x18 and 0x19 blocks and the
    // formats made of recorded blocks (CSW, PZX, WAV).
    RecordedPulses,
    RecordedBlockStart,
    // The ROM's loader has begun on a standard block: its bytes go to memory through the
    // loader hook instead of through the EAR bit.
    LoaderTrap,
  };
  // What the loader hook did with the block the trap holds.
  enum class TrapResult : uint8_t { Waiting, Loaded, Abandoned };
  using LoaderHook = TrapResult (*)(void* context);
  // Called at the end of a period when the EAR level differs from the last one reported.
  using EarHook = void (*)(void* context, bool high);

  // Set once by the machine: the frame clock, the frame length and the #7FFD latch (bit 5
  // locks paging in 48K mode) are read through these for the player's whole life.
  void Connect(const uint32_t* tackts, const uint32_t* tacktsPerInt, const uint8_t* port7ffd) {
    tackts_ = tackts;
    tacktsPerInt_ = tacktsPerInt;
    port7ffd_ = port7ffd;
  }
  void SetEarHook(EarHook hook, void* context) {
    earHook_ = hook;
    earContext_ = context;
  }
  // Instant loading: called after each step while the trap holds a block, until it says
  // the block is loaded (the tape then moves on past it) or abandoned (the block plays).
  void SetLoaderHook(LoaderHook hook, void* context) {
    loaderHook_ = hook;
    loaderContext_ = context;
  }
  // Whether the ROM loader's start takes standard blocks straight to memory (window thread).
  void SetInstantLoading(bool on) { instantLoading_.store(on, std::memory_order_relaxed); }
  bool InstantLoading() const { return instantLoading_.load(std::memory_order_relaxed); }
  // The trapped block's bytes (flag byte first) and the EAR level the loader sees before
  // it and would see after its last edge.
  std::span<const uint8_t> TrapBlock() const;
  uint8_t TrapLevelBefore() const { return trapLevelBefore_; }
  uint8_t TrapLevelAfter() const { return trapLevelAfter_; }

  // Replaces the tape (stopped only). CurrentBlock goes back to 0.
  void InsertTape(TapeCatalogue tape);
  const TapeCatalogue& Tape() const { return tape_; }
  // Appends a recorded standard block (flag, data, parity) to the tape (TapeWriter.cpp).
  void AppendStandardBlock(std::span<const uint8_t> data);
  // Counts the insertions, so a window polling it sees every new tape, whoever inserted it.
  uint32_t TapeSerial() const { return tapeSerial_.load(std::memory_order_relaxed); }

  // 0x40 while the tape signal is high, 0x00 otherwise.
  uint8_t EarLevel() const { return earLevel_; }
  // Drives the EAR input directly, without a tape (tests of the readers of EAR).
  void SetEarLevel(uint8_t level) { earLevel_ = level; }

  // Brings the tape up to `tackts` (the frame clock after a step). At most one period
  // ends per call, so the processor sees every edge.
  void AdvanceTo(uint32_t tackts) {
    if (!playing_.load(std::memory_order_relaxed)) return;
    int32_t delta = static_cast<int32_t>(tackts - lastTackts_);
    lastTackts_ = tackts;
    // The frame ended in between: the clock went back by one frame length.
    if (delta < 0) delta += static_cast<int32_t>(*tacktsPerInt_);
    if (pauseLow_) [[unlikely]] {
      lowCountdown_ -= delta;
      if (lowCountdown_ < 0) earLevel_ = 0;
    }
    pulseRemaining_ -= delta;
    if (pulseRemaining_ > 0) return;
    EndPeriod();
  }
  // Nothing to advance: the processor may run without the per-instruction catch-up.
  bool Idle() const { return !Playing(); }

  // Starts the current block from its beginning, when a tape is loaded and not playing.
  void PlayTape();
  void StopTape();
  // The DI that begins the ROM's byte loader (0x0559; 0x0556 in OpenSE BASIC). With
  // instant loading a standard block next on the tape is held for the loader hook.
  void TapeAutoStart() {
    if (!InstantLoading() || loaderHook_ == nullptr || !ArmLoaderTrap()) PlayTape();
  }
  // The select dialog's choice: moves by the chosen offset from the select block and plays.
  void ContinueFromSelect(int16_t offset);

  // Polled by the window thread.
  bool Playing() const { return playing_.load(std::memory_order_relaxed); }
  uint32_t CurrentBlock() const { return currentBlock_.load(std::memory_order_relaxed); }
  // The list's click and Rewind, while stopped; a block outside the tape is ignored.
  void SetCurrentBlock(uint32_t block);
  // "Tape Reader", with " (p%)" while a data block plays.
  std::string CaptionText() const;
  // True once after each caption change.
  bool TakeCaptionChanged() { return captionChanged_.exchange(false, std::memory_order_relaxed); }
  std::optional<TapeMessage> TakeMessage();
  std::optional<TapeSelect> TakeSelect();
  // While the step history replays the past, the message and select blocks it passes
  // again were shown the first time and are not posted anew. Machine thread only.
  void HoldMailbox(bool held) { mailboxHeld_ = held; }

  PlayState State() const { return playState_; }

  // Where the tape is and how it plays there, for a machine capture. Restored only while
  // the same tape is in (`Serial`); the catalogue itself is never copied.
  struct Position {
    uint32_t Serial = 0;
    bool Playing = false;
    uint32_t Block = 0;
    uint8_t EarLevel = 0, ReportedLevel = 0;
    PlayState State = PilotTone, AfterData = TzxNextBlock;
    bool PauseLow = false;
    int32_t PulseRemaining = 0, LowCountdown = 0;
    uint32_t LastTackts = 0;
    uint16_t Pilot = 0, Sync1 = 0, Sync2 = 0, Zero = 0, One = 0, PulseCount = 0;
    uint8_t UsedBits = 8, CurrentByte = 0, BitsLeft = 0;
    uint32_t Pos = 0, DataStart = 0, DataEnd = 0;
    uint64_t PauseTackts = 0;
    uint16_t LoopCounter = 0;
    uint32_t LoopStart = 0, ProgressCounter = 0, ControlBlocks = 0;
  };
  void SavePosition(Position& out) const;
  void RestorePosition(const Position& in);

 private:
  void EndPeriod();
  void RunState();
  // Holds the standard block at the tape's position for the loader hook; false when the
  // tape is elsewhere (a turbo block, mid-data), which then plays.
  bool ArmLoaderTrap();
  void RunLoaderTrap();
  void ReportLevel();
  bool AtStandardPilot() const;
  // Stops the tape when play has run past the last block; true then.
  bool StoppedPastLastBlock();
  // Fetches TZX blocks from CurrentBlock on; false when no period was scheduled.
  bool NextTzxBlock();
  // Fetches blocks of a CSW, PZX or WAV tape from CurrentBlock on, as NextTzxBlock.
  bool NextRecordedBlock();
  // Plays the pulses of `block`; true (go on at once) in every case.
  bool StartPulses(uint32_t block);
  void SetUpTapBlock();
  // The ROM's lengths; the flag byte at `flagAt` picks the pilot count.
  void SetStandardLengths(uint32_t flagAt);
  // Moves CurrentBlock by a relative offset; false (and stopped) when it leaves the tape.
  bool JumpBy(int32_t offset);
  // A period of n T-states starts where the last one really ended, so overshoot evens out.
  void Schedule(uint64_t tackts);
  uint8_t ByteAt(uint32_t offset) const {
    return offset < tape_.TapeImage.size() ? tape_.TapeImage[offset] : 0;
  }
  uint32_t WordAt(uint32_t offset) const { return ByteAt(offset) | (ByteAt(offset + 1) << 8); }
  uint32_t Millisecond() const { return *tacktsPerInt_ / 20; }
  void SetBlock(uint32_t block) { currentBlock_.store(block, std::memory_order_relaxed); }
  void ShowProgress();

  // Used until Connect: a tape player on its own (tests) runs a 48K frame with paging free.
  uint32_t ownTackts_ = 0;
  uint32_t ownFrameLength_ = kDefaultTacktsPerInt;
  uint8_t ownLatch_ = 0;
  const uint32_t* tackts_ = &ownTackts_;
  const uint32_t* tacktsPerInt_ = &ownFrameLength_;
  const uint8_t* port7ffd_ = &ownLatch_;
  EarHook earHook_ = nullptr;
  void* earContext_ = nullptr;
  LoaderHook loaderHook_ = nullptr;
  void* loaderContext_ = nullptr;
  // The pilot the trap replaced, played after all if the hook abandons the block.
  int32_t trapPulseRemaining_ = 0;
  uint8_t trapLevelBefore_ = 0;
  uint8_t trapLevelAfter_ = 0;

  TapeCatalogue tape_;

  uint8_t earLevel_ = 0;
  uint8_t reportedLevel_ = 0;
  PlayState playState_ = PilotTone;
  PlayState afterDataState_ = TzxNextBlock;
  bool pauseLow_ = false;
  int32_t pulseRemaining_ = 0;
  int32_t lowCountdown_ = 0;
  uint32_t lastTackts_ = 0;
  uint16_t pilotLength_ = 0, sync1Length_ = 0, sync2Length_ = 0, zeroLength_ = 0, oneLength_ = 0;
  uint16_t pulseCount_ = 0;
  uint8_t usedBits_ = 8;
  uint8_t currentByte_ = 0;
  uint8_t bitsLeft_ = 0;
  uint32_t pos_ = 0;
  uint32_t dataStart_ = 0, dataEnd_ = 0;
  uint64_t pauseTackts_ = 0;
  uint16_t loopCounter_ = 0;
  uint32_t loopStart_ = 0;
  uint32_t progressCounter_ = 0;
  uint32_t controlBlocks_ = 0;
  uint32_t pulseAt_ = 0, pulseBegin_ = 0, pulseEnd_ = 0;
  // The level of the period that just ended, for a pulse that starts without an edge.
  uint8_t periodLevel_ = 0;
  // A TZX call sequence under way: the call block and the call being played.
  bool inCall_ = false;
  uint32_t callBlock_ = 0;
  uint32_t callIndex_ = 0;

  std::atomic<bool> playing_{false};
  std::atomic<bool> instantLoading_{false};
  std::atomic<uint32_t> tapeSerial_{0};
  std::atomic<uint32_t> currentBlock_{0};
  std::atomic<int32_t> captionPercent_{-1};
  std::atomic<bool> captionChanged_{false};

  // Handed to the window thread; touched only at message and select blocks.
  std::mutex mailboxLock_;
  std::optional<TapeMessage> message_;
  std::optional<TapeSelect> select_;
  bool mailboxHeld_ = false;
};

}  // namespace vantrel
