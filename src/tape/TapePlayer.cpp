#include "tape/TapePlayer.h"

#include <algorithm>
#include <utility>

#include "tape/TapePulses.h"

namespace vantrel {

namespace {

// The ROM saver's timings in T-states.
constexpr uint16_t kPilot = 2168;
constexpr uint16_t kHeaderPilots = 8064;
constexpr uint16_t kDataPilots = 3224;
constexpr uint16_t kSync1 = 667;
constexpr uint16_t kSync2 = 735;
constexpr uint16_t kZero = 855;
constexpr uint16_t kOne = 1710;
// A tape of nothing but control blocks (a jump to itself, an empty loop) must not hold
// the emulation thread: a walk through the whole tape and this many more without a period
// in one go stop the tape.
constexpr uint32_t kMaxControlBlocks = 1000;
// Keeps a scheduled period clear of the signed counter's limit whatever the frame length.
constexpr uint64_t kLongestPeriod = 0x3FFFFFFF;

uint8_t UsableBits(uint8_t bits) {
  return bits == 0 || bits > 8 ? 8 : bits;
}

}  // namespace

void TapePlayer::InsertTape(TapeCatalogue tape) {
  StopTape();
  tape_ = std::move(tape);
  tapeSerial_.fetch_add(1, std::memory_order_relaxed);
  SetBlock(0);
  loopCounter_ = 0;
  loopStart_ = 0;
  inCall_ = false;
}

void TapePlayer::PlayTape() {
  if (Playing() || tape_.Kind == TapeKind::None) return;
  lastTackts_ = *tackts_;
  // A clean period: nothing left over from a pause that Stop cut short.
  pulseRemaining_ = 0;
  pauseLow_ = false;
  controlBlocks_ = 0;
  periodLevel_ = earLevel_;
  switch (tape_.Kind) {
    case TapeKind::Tap: playState_ = TapBlockStart; break;
    case TapeKind::Tzx: playState_ = TzxNextBlock; break;
    default: playState_ = RecordedBlockStart; break;
  }
  // Playing first, so that a block that stops the tape during the set-up does so.
  playing_.store(true, std::memory_order_relaxed);
  RunState();
}

void TapePlayer::StopTape() {
  if (!playing_.exchange(false, std::memory_order_relaxed)) return;
  captionPercent_.store(-1, std::memory_order_relaxed);
  captionChanged_.store(true, std::memory_order_relaxed);
}

void TapePlayer::ContinueFromSelect(int16_t offset) {
  if (Playing()) return;
  if (JumpBy(offset)) PlayTape();
}

void TapePlayer::SetCurrentBlock(uint32_t block) {
  if (Playing() || block >= tape_.BlockCount()) return;
  SetBlock(block);
  inCall_ = false;  // a block chosen by hand leaves any call sequence
}

std::string TapePlayer::CaptionText() const {
  const int32_t percent = captionPercent_.load(std::memory_order_relaxed);
  std::string text = "Tape Reader";
  if (percent >= 0) text += " (" + std::to_string(percent) + "%)";
  return text;
}

std::optional<TapeMessage> TapePlayer::TakeMessage() {
  std::lock_guard lock(mailboxLock_);
  return std::exchange(message_, std::nullopt);
}

std::optional<TapeSelect> TapePlayer::TakeSelect() {
  std::lock_guard lock(mailboxLock_);
  return std::exchange(select_, std::nullopt);
}

void TapePlayer::EndPeriod() {
  if (playState_ == LoaderTrap) [[unlikely]] {
    RunLoaderTrap();
    ReportLevel();
    return;
  }
  periodLevel_ = earLevel_;
  if (pauseLow_) {
    pauseLow_ = false;
  } else {
    earLevel_ ^= 0x40;
  }
  controlBlocks_ = 0;
  RunState();
  ReportLevel();
}

void TapePlayer::ReportLevel() {
  if (earLevel_ != reportedLevel_) {
    reportedLevel_ = earLevel_;
    if (earHook_ != nullptr) earHook_(earContext_, earLevel_ != 0);
  }
}

std::span<const uint8_t> TapePlayer::TrapBlock() const {
  const size_t size = tape_.TapeImage.size();
  const size_t end = std::min<size_t>(dataEnd_, size);
  const size_t start = std::min<size_t>(dataStart_, end);
  return std::span(tape_.TapeImage).subspan(start, end - start);
}

bool TapePlayer::AtStandardPilot() const {
  if (!Playing() || playState_ != PilotTone) return false;
  if (tape_.Kind == TapeKind::Tap) return true;
  const uint32_t block = CurrentBlock();
  return block < tape_.BlockCount() && ByteAt(tape_.BlockStart[block]) == 0x10;
}

bool TapePlayer::ArmLoaderTrap() {
  if (tape_.Kind == TapeKind::None) return false;
  if (!Playing()) {
    // The block the deck would play now, control blocks handled on the way.
    PlayTape();
    if (!AtStandardPilot()) return true;
  } else if (playState_ == TapBlockStart || playState_ == TzxNextBlock) {
    // A pause between blocks, which the loader would wait out: it ends now, leaving the
    // level as its end would.
    if (pauseLow_) {
      if (lowCountdown_ < pulseRemaining_) earLevel_ = 0;
      pauseLow_ = false;
    } else {
      earLevel_ ^= 0x40;  // a pause block ends with an edge
    }
    pulseRemaining_ = 0;
    controlBlocks_ = 0;
    RunState();
    if (!AtStandardPilot()) return true;
  } else if (!AtStandardPilot()) {
    return false;  // mid-block or a block of another kind: it plays on
  }
  // Each pilot period still to come ends with an edge, then the two syncs; every byte
  // brings 16 edges.
  trapLevelBefore_ = earLevel_;
  trapLevelAfter_ = static_cast<uint8_t>(earLevel_ ^ ((pulseCount_ & 1) ? 0x40 : 0));
  trapPulseRemaining_ = pulseRemaining_;
  playState_ = LoaderTrap;
  pulseRemaining_ = 0;
  return true;
}

void TapePlayer::RunLoaderTrap() {
  pulseRemaining_ = 0;  // asked again after the next step
  switch (loaderHook_(loaderContext_)) {
    case TrapResult::Waiting: return;
    case TrapResult::Loaded:
      // As after the block's last edge: the pause after it begins, then the next block.
      earLevel_ = trapLevelAfter_;
      pos_ = dataEnd_;  // the block is used up
      playState_ = NextByte;
      RunState();
      return;
    case TrapResult::Abandoned:
      playState_ = PilotTone;
      pulseRemaining_ = trapPulseRemaining_;
      return;
  }
}

void TapePlayer::Schedule(uint64_t tackts) {
  pulseRemaining_ += static_cast<int32_t>(std::min(tackts, kLongestPeriod));
}

void TapePlayer::ShowProgress() {
  if (++progressCounter_ <= 10) return;
  progressCounter_ = 0;
  const uint64_t span = dataEnd_ > dataStart_ ? dataEnd_ - dataStart_ : 0;
  const uint64_t done = pos_ > dataStart_ ? pos_ - dataStart_ : 0;
  captionPercent_.store(
      span == 0 ? 100 : static_cast<int32_t>(std::min<uint64_t>(done * 100 / span, 100)),
      std::memory_order_relaxed);
  captionChanged_.store(true, std::memory_order_relaxed);
}

// Runs the state whose period just ended; states that take no time run on at once.
void TapePlayer::RunState() {
  for (;;) {
    switch (playState_) {
      case PilotTone:
        if (--pulseCount_ != 0) {
          Schedule(pilotLength_);
        } else {
          playState_ = SyncTwo;
          Schedule(sync1Length_);
        }
        return;
      case SyncTwo:
        playState_ = NextByte;
        Schedule(sync2Length_);
        return;
      case NextByte:
        ShowProgress();
        if (pos_ >= dataEnd_) {
          const uint32_t block = CurrentBlock();
          if (block + 1 >= tape_.BlockCount()) {
            playState_ = EndOfTape;
          } else {
            SetBlock(block + 1);
            playState_ = afterDataState_;
          }
          if (pauseTackts_ == 0) continue;
          // The level drops one millisecond into the pause; its end is no edge.
          pauseLow_ = true;
          lowCountdown_ = static_cast<int32_t>(Millisecond());
          Schedule(pauseTackts_);
          return;
        }
        currentByte_ = ByteAt(pos_++);
        bitsLeft_ = pos_ >= dataEnd_ ? usedBits_ : 8;
        [[fallthrough]];
      case BitFirstHalf:
        playState_ = BitSecondHalf;
        Schedule((currentByte_ & 0x80) ? oneLength_ : zeroLength_);
        return;
      case BitSecondHalf:
        Schedule((currentByte_ & 0x80) ? oneLength_ : zeroLength_);
        currentByte_ = static_cast<uint8_t>(currentByte_ << 1);
        playState_ = --bitsLeft_ == 0 ? NextByte : BitFirstHalf;
        return;
      case TapBlockStart: SetUpTapBlock(); return;
      case EndOfTape: StopTape(); return;
      case LoaderTrap: return;
      case TzxNextBlock:
        if (NextTzxBlock()) continue;
        return;
      case PureTone:
        if (--pulseCount_ != 0) {
          Schedule(pilotLength_);
          return;
        }
        SetBlock(CurrentBlock() + 1);
        playState_ = TzxNextBlock;
        continue;
      case PulseSequence:
        if (--pulseCount_ != 0) {
          pilotLength_ = static_cast<uint16_t>(WordAt(pos_));
          pos_ += 2;
          Schedule(pilotLength_);
          return;
        }
        SetBlock(CurrentBlock() + 1);
        playState_ = TzxNextBlock;
        continue;
      case RecordedPulses: {
        if (pulseAt_ >= pulseEnd_) {
          // The block's signal is over: it ends as a data block does, pause included.
          pos_ = dataEnd_;
          playState_ = NextByte;
          continue;
        }
        const uint32_t entry = tape_.Pulses[pulseAt_++];
        switch (entry >> 30) {
          case kPulseKeep: earLevel_ = periodLevel_; break;
          case kPulseLow: earLevel_ = 0; break;
          case kPulseHigh: earLevel_ = 0x40; break;
          default: break;
        }
        if ((pulseAt_ & 255) == 0) {
          const uint64_t done = pulseAt_ - pulseBegin_;
          captionPercent_.store(static_cast<int32_t>(done * 100 / (pulseEnd_ - pulseBegin_)),
                                std::memory_order_relaxed);
          captionChanged_.store(true, std::memory_order_relaxed);
        }
        Schedule(entry & kPulseLengthMask);
        return;
      }
      case RecordedBlockStart:
        if (NextRecordedBlock()) continue;
        return;
    }
    return;
  }
}

bool TapePlayer::StartPulses(uint32_t block) {
  const bool listed = block + 1 < tape_.BlockPulse.size();
  pulseBegin_ = pulseAt_ = listed ? tape_.BlockPulse[block] : 0;
  pulseEnd_ = listed ? tape_.BlockPulse[block + 1] : 0;
  // The end of the block goes through NextByte's end of data.
  dataStart_ = dataEnd_ = pos_ = tape_.BlockStart[block + 1];
  playState_ = RecordedPulses;
  return true;
}

bool TapePlayer::StoppedPastLastBlock() {
  const uint32_t count = tape_.BlockCount();
  if (CurrentBlock() < count) return false;
  // The list keeps showing the last block.
  if (count != 0) SetBlock(count - 1);
  StopTape();
  return true;
}

bool TapePlayer::NextRecordedBlock() {
  afterDataState_ = RecordedBlockStart;
  pauseTackts_ = 0;
  for (;;) {
    if (StoppedPastLastBlock()) return false;
    const uint32_t block = CurrentBlock();
    const uint32_t at = tape_.BlockStart[block];
    if (tape_.Kind == TapeKind::Pzx && ByteAt(at) == 'S' && ByteAt(at + 1) == 'T' &&
        ByteAt(at + 2) == 'O' && ByteAt(at + 3) == 'P') {
      SetBlock(block + 1);
      // Flags 1: only while paging is locked, as in a 48K machine.
      if (WordAt(at + 8) != 1 || (*port7ffd_ & 0x20)) {
        StopTape();
        return false;
      }
      continue;
    }
    if (block + 1 >= tape_.BlockPulse.size() ||
        tape_.BlockPulse[block] == tape_.BlockPulse[block + 1]) {
      SetBlock(block + 1);  // a header, browse point or empty block takes no time
      continue;
    }
    return StartPulses(block);
  }
}

void TapePlayer::SetStandardLengths(uint32_t flagAt) {
  // The flag byte tells a header (long pilot) from data; an empty block has none.
  const bool header = flagAt < dataEnd_ && ByteAt(flagAt) == 0;
  pulseCount_ = header ? kHeaderPilots : kDataPilots;
  pilotLength_ = kPilot;
  sync1Length_ = kSync1;
  sync2Length_ = kSync2;
  zeroLength_ = kZero;
  oneLength_ = kOne;
  usedBits_ = 8;
  playState_ = PilotTone;
}

void TapePlayer::SetUpTapBlock() {
  const uint32_t block = CurrentBlock();
  if (block >= tape_.BlockCount()) {
    StopTape();
    return;
  }
  dataStart_ = tape_.BlockStart[block] + 2;
  dataEnd_ = tape_.BlockStart[block + 1];
  pos_ = dataStart_;
  SetStandardLengths(dataStart_);
  pauseTackts_ = uint64_t{50} * *tacktsPerInt_;
  // Set, not added: a TAP block's first pilot period always has its full length.
  pulseRemaining_ = kPilot;
  afterDataState_ = TapBlockStart;
}

bool TapePlayer::JumpBy(int32_t offset) {
  const int64_t target = int64_t{CurrentBlock()} + offset;
  if (target < 0 || target > int64_t{tape_.BlockCount()}) {
    StopTape();
    return false;
  }
  SetBlock(static_cast<uint32_t>(target));
  return true;
}

// Handles TZX blocks from CurrentBlock on until one schedules a period or stops the tape.
// True when the state machine must go on at once (a pure data block starts without
// pilot or sync).
bool TapePlayer::NextTzxBlock() {
  afterDataState_ = TzxNextBlock;
  for (;;) {
    if (StoppedPastLastBlock()) return false;
    const uint32_t block = CurrentBlock();
    const uint32_t count = tape_.BlockCount();
    if (++controlBlocks_ > count + kMaxControlBlocks) {
      StopTape();
      return false;
    }
    const uint32_t at = tape_.BlockStart[block];
    const uint32_t next = tape_.BlockStart[block + 1];
    switch (ByteAt(at)) {
      case 0x10:
        pauseTackts_ = uint64_t{WordAt(at + 1)} * Millisecond();
        dataStart_ = pos_ = at + 5;
        dataEnd_ = next;
        SetStandardLengths(dataStart_);
        Schedule(pilotLength_);
        return false;
      case 0x11:
        pilotLength_ = static_cast<uint16_t>(WordAt(at + 1));
        sync1Length_ = static_cast<uint16_t>(WordAt(at + 3));
        sync2Length_ = static_cast<uint16_t>(WordAt(at + 5));
        zeroLength_ = static_cast<uint16_t>(WordAt(at + 7));
        oneLength_ = static_cast<uint16_t>(WordAt(at + 9));
        pulseCount_ = static_cast<uint16_t>(WordAt(at + 11));
        usedBits_ = UsableBits(ByteAt(at + 13));
        pauseTackts_ = uint64_t{WordAt(at + 14)} * Millisecond();
        dataStart_ = pos_ = at + 19;
        dataEnd_ = next;
        if (pulseCount_ != 0) {
          playState_ = PilotTone;
          Schedule(pilotLength_);
        } else {
          // No pilot at all: the block starts with its sync pulses.
          playState_ = SyncTwo;
          Schedule(sync1Length_);
        }
        return false;
      case 0x12:
        pilotLength_ = static_cast<uint16_t>(WordAt(at + 1));
        pulseCount_ = static_cast<uint16_t>(WordAt(at + 3));
        if (pulseCount_ == 0) {  // a tone of no pulses takes no time
          SetBlock(block + 1);
          continue;
        }
        playState_ = PureTone;
        Schedule(pilotLength_);
        return false;
      case 0x13:
        pulseCount_ = ByteAt(at + 1);
        if (pulseCount_ == 0) {
          SetBlock(block + 1);
          continue;
        }
        pilotLength_ = static_cast<uint16_t>(WordAt(at + 2));
        pos_ = at + 4;
        playState_ = PulseSequence;
        Schedule(pilotLength_);
        return false;
      case 0x14:
        zeroLength_ = static_cast<uint16_t>(WordAt(at + 1));
        oneLength_ = static_cast<uint16_t>(WordAt(at + 3));
        usedBits_ = UsableBits(ByteAt(at + 5));
        pauseTackts_ = uint64_t{WordAt(at + 6)} * Millisecond();
        dataStart_ = at;
        pos_ = at + 11;
        dataEnd_ = next;
        playState_ = NextByte;
        return true;
      case 0x15: pauseTackts_ = uint64_t{WordAt(at + 3)} * Millisecond(); return StartPulses(block);
      case 0x18:
      case 0x19: pauseTackts_ = uint64_t{WordAt(at + 5)} * Millisecond(); return StartPulses(block);
      case 0x20: {
        SetBlock(block + 1);
        const uint32_t pause = WordAt(at + 1);
        if (pause == 0) {
          StopTape();
          return false;
        }
        // Unlike the pause after a data block, this one ends with an edge.
        Schedule(uint64_t{pause} * Millisecond());
        playState_ = TzxNextBlock;
        return false;
      }
      case 0x23:
        if (!JumpBy(static_cast<int16_t>(WordAt(at + 1)))) return false;
        continue;
      case 0x24:
        loopCounter_ = static_cast<uint16_t>(WordAt(at + 1) - 1);
        loopStart_ = block + 1;
        SetBlock(block + 1);
        continue;
      case 0x25:
        if (loopCounter_ != 0) {
          SetBlock(loopStart_);
          --loopCounter_;
        } else {
          SetBlock(block + 1);
        }
        continue;
      case 0x26: {
        // Each call plays from its block to a return block; the call block is relative.
        if (WordAt(at + 1) == 0) {
          SetBlock(block + 1);
          continue;
        }
        inCall_ = true;
        callBlock_ = block;
        callIndex_ = 0;
        if (!JumpBy(static_cast<int16_t>(WordAt(at + 3)))) return false;
        continue;
      }
      case 0x27: {
        if (!inCall_) {
          SetBlock(block + 1);
          continue;
        }
        const uint32_t callAt = tape_.BlockStart[callBlock_];
        if (++callIndex_ >= WordAt(callAt + 1)) {
          inCall_ = false;
          SetBlock(callBlock_ + 1);
          continue;
        }
        SetBlock(callBlock_);
        if (!JumpBy(static_cast<int16_t>(WordAt(callAt + 3 + 2 * callIndex_)))) return false;
        continue;
      }
      case 0x2B:
        // The level is set with no edge and no time.
        earLevel_ = ByteAt(at + 5) != 0 ? 0x40 : 0;
        SetBlock(block + 1);
        continue;
      case 0x28: {
        TapeSelect select;
        const uint8_t entries = ByteAt(at + 3);
        uint32_t entry = at + 4;
        for (uint8_t i = 0; i < entries && entry + 3 <= next; ++i) {
          const uint8_t length = ByteAt(entry + 2);
          const uint32_t textEnd = std::min(entry + 3 + length, next);
          select.SelectOffsets.push_back(static_cast<int16_t>(WordAt(entry)));
          select.SelectTexts.push_back(
              TapeText(std::span(tape_.TapeImage).subspan(entry + 3, textEnd - (entry + 3))));
          entry = textEnd;
        }
        StopTape();
        if (mailboxHeld_) return false;
        std::lock_guard lock(mailboxLock_);
        select_ = std::move(select);
        return false;
      }
      case 0x2A:
        SetBlock(block + 1);
        // Bit 5 of #7FFD: paging locked, the machine runs as a 48K one.
        if (*port7ffd_ & 0x20) {
          StopTape();
          return false;
        }
        continue;
      case 0x31: {
        const uint32_t length = std::min<uint32_t>(ByteAt(at + 2), next - std::min(next, at + 3));
        TapeMessage message{TapeText(std::span(tape_.TapeImage).subspan(at + 3, length)),
                            ByteAt(at + 1)};
        if (!mailboxHeld_) {
          // A message the window has not yet taken is replaced.
          std::lock_guard lock(mailboxLock_);
          message_ = std::move(message);
        }
        SetBlock(block + 1);
        continue;
      }
      default: SetBlock(block + 1); continue;
    }
  }
}

void TapePlayer::SavePosition(Position& p) const {
  p = {TapeSerial(), Playing(),        CurrentBlock(), earLevel_,       reportedLevel_,
       playState_,   afterDataState_,  pauseLow_,      pulseRemaining_, lowCountdown_,
       lastTackts_,  pilotLength_,     sync1Length_,   sync2Length_,    zeroLength_,
       oneLength_,   pulseCount_,      usedBits_,      currentByte_,    bitsLeft_,
       pos_,         dataStart_,       dataEnd_,       pauseTackts_,    loopCounter_,
       loopStart_,   progressCounter_, controlBlocks_};
}

void TapePlayer::RestorePosition(const Position& p) {
  if (p.Serial != TapeSerial()) return;
  earLevel_ = p.EarLevel;
  reportedLevel_ = p.ReportedLevel;
  playState_ = p.State;
  afterDataState_ = p.AfterData;
  pauseLow_ = p.PauseLow;
  pulseRemaining_ = p.PulseRemaining;
  lowCountdown_ = p.LowCountdown;
  lastTackts_ = p.LastTackts;
  pilotLength_ = p.Pilot;
  sync1Length_ = p.Sync1;
  sync2Length_ = p.Sync2;
  zeroLength_ = p.Zero;
  oneLength_ = p.One;
  pulseCount_ = p.PulseCount;
  usedBits_ = p.UsedBits;
  currentByte_ = p.CurrentByte;
  bitsLeft_ = p.BitsLeft;
  pos_ = p.Pos;
  dataStart_ = p.DataStart;
  dataEnd_ = p.DataEnd;
  pauseTackts_ = p.PauseTackts;
  loopCounter_ = p.LoopCounter;
  loopStart_ = p.LoopStart;
  progressCounter_ = p.ProgressCounter;
  controlBlocks_ = p.ControlBlocks;
  SetBlock(p.Block);
  playing_.store(p.Playing, std::memory_order_relaxed);
  captionChanged_.store(true, std::memory_order_relaxed);
}

}  // namespace vantrel
