#include "disk/VG93.h"

#include <algorithm>
#include <span>

#include "disk/Crc16.h"
#include "disk/TrackLayout.h"

namespace vantrel {

namespace {

constexpr int32_t kStepTimes[4] = {19950, 40950, 68950, 103950};  // 6, 12, 20, 30 ms
constexpr int32_t kSettleTime = 107520;                           // 30 ms head settling
constexpr int32_t kIndexLength = 110;                             // bytes the index hole lasts
constexpr int kTrackLength = static_cast<int>(RawTrack::kLength);
constexpr uint8_t kMaxRevolutions = 5;

// Steps within the data commands (Type II and III).
enum DataStep : uint8_t {
  kCheckMotor = 3,
  kStartMotor = 4,
  kNextSector = 5,
  kLatch = 6,
  kIdSearch = 7,
  kIdSearchCheck = 8,
  kIdSearchByte = 9,
  kIdField = 10,
  kDataMarkSearch = 20,
  kDataByte = 21,
  kDataCrcHigh = 22,
  kDataCrcLow = 23,
  kWriteRequest = 30,
  kWriteFirstByte = 31,
  kWriteGap = 32,
  kWriteSync = 33,
  kWriteMark = 34,
  kWriteData = 35,
  kWriteCrcHigh = 36,
  kWriteCrcLow = 37,
  kWriteTail = 38,
  kTrackStart = 50,
  kTrackByte = 51,
  kFormatStart = 60,
  kFormatCheck = 61,
  kFormatIndex = 62,
  kFormatWait = 63,
  kFormatByte = 64,
  kEndStep = 99,
};

}  // namespace

void Vg93Controller::SetDisk(int drive, FloppyDisk* disk) {
  disks_[drive] = disk;
  if (drive != SelectedDrive()) return;
  disk_ = disk;
  // A command under way reads the new disk's track at the same place.
  if (current_) LatchTrack();
}

void Vg93Controller::SelectDrive(int drive) {
  const int old = SelectedDrive();
  if (drive == old) return;
  // The chip has one track register but every drive its own head: the new drive's head
  // stays where that drive last left it.
  heads_[old] = head_;
  head_ = heads_[drive];
  disk_ = disks_[drive];
  if (current_) LatchTrack();
}

void Vg93Controller::LatchTrack() {
  current_ = disk_ ? &disk_->Track(head_, side_) : nullptr;
}

uint8_t Vg93Controller::ByteUnderHead() const {
  return current_ ? current_->Data[position_] : 0;
}

bool Vg93Controller::MarkUnderHead() const {
  return current_ && current_->IsMark(position_);
}

void Vg93Controller::WriteAt(int pos, uint8_t value, bool mark) {
  if (!current_ || pos < 0 || pos >= kTrackLength) return;
  current_->Data[pos] = value;
  uint8_t& bits = current_->Marks[pos >> 3];
  const uint8_t bit = static_cast<uint8_t>(1 << (pos & 7));
  bits = static_cast<uint8_t>(mark ? bits | bit : bits & ~bit);
  disk_->SetModified();
  disk_->TrackWritten(current_);
}

void Vg93Controller::WriteUnderHead(uint8_t value, bool mark) {
  WriteAt(position_, value, mark);
}

void Vg93Controller::CatchUp(const Clock& now) {
  if (now.FrameCount != frame_) {
    // Frames ended since the last catch-up: re-base the times on the current frame.
    const int64_t shift = static_cast<int64_t>(now.FrameCount - frame_) * now.TacktsPerInt;
    last_ -= shift;
    nextByte_ -= shift;
    frame_ = now.FrameCount;
  }
  const int64_t target = now.Tackts;
  if (target < last_) {  // the clock was set back (a loaded snapshot)
    nextByte_ -= last_ - target;
    last_ = target;
  }
  while (class_ != kIdle) {
    const int64_t run = std::min<int64_t>(delay_, target - last_);
    delay_ -= static_cast<int32_t>(run);
    last_ += run;
    Rotate();
    if (delay_ > 0) return;
    RunState();
  }
  last_ = target;
  Rotate();
}

void Vg93Controller::Rotate() {
  while (nextByte_ < last_) {
    if (!motor_) {
      // The disk stands still: only the byte clock moves on.
      nextByte_ += (last_ - nextByte_ + kByteTime - 1) / kByteTime * kByteTime;
      return;
    }
    nextByte_ += kByteTime;
    if (++position_ == kTrackLength) {
      position_ = 0;
      if (revolutions_ < 255) ++revolutions_;
      // An idle drive stops after more than 15 turns.
      if (class_ == kIdle && revolutions_ > 15) motor_ = false;
    }
    index_ = position_ < kIndexLength;
  }
}

void Vg93Controller::RunState() {
  switch (class_) {
    case kTypeI: RunTypeI(); break;
    case kSerial: RunSerial(); break;
    case kTypeII:
    case kTypeIII: RunData(); break;
    default: break;
  }
}

// The processor did not supply the first byte in time: nothing is written.
void Vg93Controller::EndWithDataLost() {
  status_ |= kTrack0OrLost;
  delay_ = 14;
  step_ = kEndStep;
}

void Vg93Controller::End() {
  requests_ |= kIntrq;
  status_ &= ~kBusy;
  class_ = kIdle;
}

void Vg93Controller::StartSerial(uint8_t value, int32_t initialDelay, uint8_t nextStep) {
  savedClass_ = class_;
  savedStep_ = nextStep;
  serial_ = value;
  shifts_ = 0;
  class_ = kSerial;
  delay_ = initialDelay;
}

void Vg93Controller::RunSerial() {
  // The track register takes the value one bit at a time from its top.
  const unsigned pair = (static_cast<unsigned>(track_) << 8 | serial_) << 1;
  track_ = static_cast<uint8_t>(pair >> 8);
  serial_ = static_cast<uint8_t>(pair);
  if (++shifts_ == 8) {
    class_ = savedClass_;
    step_ = savedStep_;
  }
  delay_ = 14;
}

bool Vg93Controller::SearchIdByte() {
  if (MarkUnderHead()) {
    markSeen_ = true;
    return false;
  }
  const bool found = markSeen_ && ByteUnderHead() == kIdMark;
  markSeen_ = false;
  if (found) {
    id_[0] = kIdMark;
    idIndex_ = 1;
  }
  return found;
}

bool Vg93Controller::IdCrcMatches() const {
  const uint16_t crc = Crc16(std::span<const uint8_t>(id_.data(), 5));
  return id_[5] == (crc >> 8) && id_[6] == (crc & 0xFF);
}

void Vg93Controller::RunTypeI() {
  switch (step_) {
    case 0:
      requests_ = 0;
      delay_ = 42;
      step_ = 1;
      return;
    case 1:
      status_ = static_cast<uint8_t>((status_ | kBusy) & ~(kCrcError | kSeekErrorOrRnf));
      motor_ = (command_ & 0x08) != 0;
      if (motor_) revolutions_ = 0;
      delay_ = 0;
      if (command_ < 0x10) {  // Restore: the track register becomes 0xFF first
        StartSerial(0xFF, 98, 2);
      } else if (command_ < 0x20) {
        step_ = 3;
      } else {
        if (command_ >= 0x60) {
          stepIn_ = false;
        } else if (command_ >= 0x40) {
          stepIn_ = true;
        }
        step_ = (command_ & 0x10) ? 5 : 7;
      }
      return;
    case 2:
      data_ = 0;
      delay_ = 42;
      step_ = 3;
      return;
    case 3:
      target_ = data_;
      StartSerial(track_, 0, 4);  // the comparison runs through the serial path
      return;
    case 4:
      delay_ = 0;
      if (track_ == target_) {
        step_ = 9;
      } else {
        stepIn_ = track_ < target_;
        step_ = 5;
      }
      return;
    case 5:
      bitMask_ = 1;
      carryDone_ = false;
      delay_ = 42;
      step_ = 6;
      return;
    case 6: {
      // A bit-serial increment or decrement: bits flip up to the first that carries.
      uint8_t v = track_;
      if (!carryDone_) {
        const bool was = (v & bitMask_) != 0;
        v ^= bitMask_;
        if (stepIn_ ? !was : was) carryDone_ = true;
      }
      bitMask_ = static_cast<uint8_t>(bitMask_ << 1);
      StartSerial(v, 0, bitMask_ ? 6 : 7);
      return;
    }
    case 7:
      if (!motor_ || head_ != 0 || stepIn_) {
        if (motor_) head_ = std::clamp(head_ + (stepIn_ ? 1 : -1), 0, FloppyDisk::kCylinders - 1);
        delay_ = kStepTimes[command_ & 3];
        step_ = 8;
      } else {
        // The track 0 sensor ends a step out at cylinder 0.
        track_ = 0;
        delay_ = 0;
        step_ = 9;
      }
      return;
    case 8:
      delay_ = 0;
      step_ = command_ < 0x20 ? 3 : 9;
      return;
    case 9:
      if (!(command_ & 0x04)) {
        End();
        return;
      }
      motor_ = true;
      revolutions_ = 0;
      LatchTrack();
      delay_ = kSettleTime;
      step_ = 10;
      return;
    case 10:
      if (revolutions_ >= kMaxRevolutions) {
        status_ |= kSeekErrorOrRnf;
        End();
        return;
      }
      markSeen_ = false;
      delay_ = 14;
      step_ = 11;
      return;
    case 11:
      if (revolutions_ >= kMaxRevolutions) {
        status_ |= kSeekErrorOrRnf;
        End();
        return;
      }
      if (SearchIdByte()) step_ = 12;
      delay_ = kByteTime;
      return;
    case 12:
      id_[idIndex_++] = ByteUnderHead();
      delay_ = kByteTime;
      if (idIndex_ == 2 && id_[1] != track_) {
        delay_ = 0;
        step_ = 10;
      } else if (idIndex_ == 7) {
        if (!IdCrcMatches()) status_ |= kCrcError;
        End();
      }
      return;
    default: End(); return;
  }
}

void Vg93Controller::RunData() {
  const bool write = (command_ & 0xE0) == 0xA0;
  const bool typeII = class_ == kTypeII;
  switch (step_) {
    case 0:
      requests_ = 0;
      delay_ = 42;
      step_ = 1;
      return;
    case 1:
      status_ |= kBusy;
      delay_ = 28;
      step_ = 2;
      return;
    case 2:
      status_ &= ~(kTrack0OrLost | kSeekErrorOrRnf | kHeadLoadedOrDeleted | kWriteProtect);
      delay_ = 28;
      step_ = kCheckMotor;
      return;
    case kCheckMotor:
      if (!motor_) {
        End();  // not ready
        return;
      }
      delay_ = 14;
      step_ = kStartMotor;
      return;
    case kStartMotor:
      motor_ = true;
      revolutions_ = 0;
      delay_ = (command_ & 0x04) ? 107772 : 252;
      step_ = kNextSector;
      return;
    case kNextSector:
      delay_ = 14;
      step_ = kLatch;
      return;
    case kLatch:
      if (write && WriteProtected()) {
        status_ |= kWriteProtect;
        End();
        return;
      }
      LatchTrack();
      if (typeII) {
        delay_ = 14;
        step_ = kIdSearch;
      } else {
        delay_ = 0;
        step_ = command_ < 0xD0 ? kIdSearch : command_ < 0xF0 ? kTrackStart : kFormatStart;
      }
      return;
    case kIdSearch:
      delay_ = 14;
      step_ = kIdSearchCheck;
      return;
    case kIdSearchCheck:
      markSeen_ = false;
      delay_ = 0;
      step_ = kIdSearchByte;
      return;
    case kIdSearchByte:
      if (revolutions_ >= kMaxRevolutions) {
        status_ |= kSeekErrorOrRnf;
        End();
        return;
      }
      if (SearchIdByte()) step_ = kIdField;
      delay_ = kByteTime;
      return;
    case kIdField: {
      const uint8_t byte = ByteUnderHead();
      id_[idIndex_++] = byte;
      delay_ = kByteTime;
      if (!typeII) {  // Read Address hands every byte over
        data_ = byte;
        requests_ |= kDrq;
        if (idIndex_ == 7) {
          if (!IdCrcMatches()) status_ |= kCrcError;
          sector_ = id_[1];
          delay_ = 14;
          step_ = kEndStep;
        }
        return;
      }
      const bool mismatch = (idIndex_ == 2 && byte != track_) ||
                            (idIndex_ == 3 && (command_ & 0x02) && byte != ((command_ >> 3) & 1)) ||
                            (idIndex_ == 4 && byte != sector_);
      if (mismatch) {
        delay_ = 0;
        step_ = kIdSearch;
      } else if (idIndex_ == 7) {
        status_ &= ~kCrcError;
        if (!IdCrcMatches()) {
          status_ |= kCrcError;
          delay_ = 0;
          step_ = kIdSearch;
        } else if (write) {
          delay_ = (Fm() ? 2 : 4) * kByteTime;
          step_ = kWriteRequest;
        } else {
          count_ = Fm() ? 30 : 43;
          markSeen_ = false;
          step_ = kDataMarkSearch;
        }
      }
      return;
    }
    case kDataMarkSearch: {
      const uint8_t byte = ByteUnderHead();
      const bool mark = MarkUnderHead();
      if (!mark && markSeen_ && byte >= 0xF8 && byte <= 0xFB) {
        if (byte == 0xF8) status_ |= kHeadLoadedOrDeleted;
        scratch_[0] = byte;
        scratchIndex_ = 1;
        count_ = SectorLength();
        delay_ = kByteTime;
        step_ = kDataByte;
        return;
      }
      markSeen_ = mark;
      if (--count_ <= 0) {
        status_ |= kSeekErrorOrRnf;
        delay_ = 14;
        step_ = kEndStep;
        return;
      }
      delay_ = kByteTime;
      return;
    }
    case kDataByte: {
      const uint8_t byte = ByteUnderHead();
      if (requests_ & kDrq) status_ |= kTrack0OrLost;
      data_ = byte;
      requests_ |= kDrq;
      scratch_[scratchIndex_++] = byte;
      if (--count_ == 0) step_ = kDataCrcHigh;
      delay_ = kByteTime;
      return;
    }
    case kDataCrcHigh:
      id_[5] = ByteUnderHead();
      delay_ = kByteTime;
      step_ = kDataCrcLow;
      return;
    case kDataCrcLow: {
      const uint16_t crc = Crc16(std::span<const uint8_t>(scratch_.data(), scratchIndex_));
      if (id_[5] != (crc >> 8) || ByteUnderHead() != (crc & 0xFF)) {
        status_ |= kCrcError;
        End();
      } else if (command_ & 0x10) {
        ++sector_;
        delay_ = 14;
        step_ = kNextSector;
      } else {
        End();
      }
      return;
    }
    case kWriteRequest:
      requests_ |= kDrq;
      delay_ = (Fm() ? 8 : 16) * kByteTime;
      step_ = kWriteFirstByte;
      return;
    case kWriteFirstByte:
      if (requests_ & kDrq) {
        EndWithDataLost();
        return;
      }
      scratch_[1] = data_;
      requests_ |= kDrq;  // the next byte is wanted
      count_ = Fm() ? 6 : 12;
      delay_ = (Fm() ? 1 : 2) * kByteTime;
      step_ = kWriteGap;
      return;
    case kWriteGap:
      WriteUnderHead(0x00, false);
      if (--count_ == 0) {
        count_ = 3;
        step_ = kWriteSync;
      }
      delay_ = kByteTime;
      return;
    case kWriteSync:
      WriteUnderHead(0xA1, true);
      if (--count_ == 0) step_ = kWriteMark;
      delay_ = kByteTime;
      return;
    case kWriteMark:
      scratch_[0] = (command_ & 0x01) ? kDeletedDataMark : kDataMark;
      WriteUnderHead(scratch_[0], false);
      scratchIndex_ = 1;
      count_ = SectorLength();
      delay_ = kByteTime;
      step_ = kWriteData;
      return;
    case kWriteData: {
      uint8_t byte = scratch_[1];
      if (scratchIndex_ > 1) {
        if (requests_ & kDrq) {
          status_ |= kTrack0OrLost;
          byte = 0x00;
        } else {
          byte = data_;
        }
        if (count_ > 1) requests_ |= kDrq;
      }
      WriteUnderHead(byte, false);
      scratch_[scratchIndex_++] = byte;
      if (--count_ == 0) step_ = kWriteCrcHigh;
      delay_ = kByteTime;
      return;
    }
    case kWriteCrcHigh:
    case kWriteCrcLow: {
      const uint16_t crc = Crc16(std::span<const uint8_t>(scratch_.data(), scratchIndex_));
      const bool high = step_ == kWriteCrcHigh;
      WriteUnderHead(static_cast<uint8_t>(high ? crc >> 8 : crc), false);
      delay_ = kByteTime;
      step_ = high ? kWriteCrcLow : kWriteTail;
      return;
    }
    case kWriteTail:
      WriteUnderHead(0xFF, false);
      if (command_ & 0x10) {
        ++sector_;
        delay_ = 14;
        step_ = kNextSector;
      } else {
        End();
      }
      return;
    case kTrackStart:
      delay_ = kByteTime;
      if (position_ == 0) step_ = kTrackByte;
      return;
    case kTrackByte:
      if (position_ == 0) {
        End();
        return;
      }
      if (requests_ & kDrq) status_ |= kTrack0OrLost;
      data_ = ByteUnderHead();
      requests_ |= kDrq;
      delay_ = kByteTime;
      return;
    case kFormatStart:
      delay_ = 14;
      step_ = kFormatCheck;
      return;
    case kFormatCheck:
      crcStart_ = 0;
      if (WriteProtected()) {
        status_ |= kWriteProtect;
        End();
        return;
      }
      requests_ |= kDrq;
      delay_ = 3 * kByteTime;
      step_ = kFormatIndex;
      return;
    case kFormatIndex:
      if (requests_ & kDrq) {
        EndWithDataLost();
        return;
      }
      delay_ = 0;
      step_ = kFormatWait;
      return;
    case kFormatWait:
      delay_ = kByteTime;
      if (position_ == 0) {
        delay_ = 0;
        step_ = kFormatByte;
      }
      return;
    case kFormatByte: {
      const uint8_t value = data_;
      const int pos = position_;
      int last = pos;
      requests_ |= kDrq;
      delay_ = kByteTime;
      if (value == 0xF5) {
        WriteAt(pos, 0xA1, true);
        crcStart_ = pos + 1;
      } else if (value == 0xF6) {
        WriteAt(pos, 0xC2, true);
      } else if (value == 0xF7) {
        // The CRC bytes stay within the track; one that does not fit is dropped.
        const int from = std::min(crcStart_, pos);
        const uint16_t crc =
            Crc16(std::span<const uint8_t>(current_ ? current_->Data.data() + from : nullptr,
                                           current_ ? static_cast<size_t>(pos - from) : 0));
        WriteAt(pos, static_cast<uint8_t>(crc >> 8), false);
        WriteAt(pos + 1, static_cast<uint8_t>(crc), false);
        last = pos + 1;
        delay_ = 2 * kByteTime;
      } else {
        WriteAt(pos, value, false);
      }
      if (last >= kTrackLength - 1) End();
      return;
    }
    default: End(); return;
  }
}

bool Vg93Controller::TypeIForm() const {
  return command_ < 0x80 || (command_ & 0xF0) == 0xD0;
}

uint8_t Vg93Controller::PeekStatus() const {
  if (!(system_ & 0x04)) return 0x83;
  uint8_t s;
  if (TypeIForm()) {
    s = status_ & (kSeekErrorOrRnf | kCrcError | kBusy);
    if (!motor_) {
      s |= kNotReady;
    } else {
      if (system_ & 0x08) s |= kHeadLoadedOrDeleted;
      if (WriteProtected()) s |= kWriteProtect;
      if (index_) s |= kIndexOrDrq;
      if (head_ == 0) s |= kTrack0OrLost;
    }
  } else {
    s = status_ & ~(kNotReady | kIndexOrDrq);
    if (!motor_) s |= kNotReady;
    if (requests_ & kDrq) s |= kIndexOrDrq;
  }
  return s;
}

uint8_t Vg93Controller::ReadStatus() {
  if (!(system_ & 0x04)) return 0x83;
  if (!hold_) requests_ &= ~kIntrq;
  return PeekStatus();
}

void Vg93Controller::WriteCommand(uint8_t value) {
  if (!(system_ & 0x04)) return;
  const bool force = (value & 0xF0) == 0xD0;
  if (class_ != kIdle && !force) return;
  command_ = value;
  requests_ &= ~kIntrq;
  hold_ = false;
  if (force) {
    if ((value & 0x0F) == 0) {
      requests_ = 0;
    } else {
      requests_ |= kIntrq;
    }
    class_ = kIdle;
    hold_ = value == 0xD8;
    status_ = 0;
    return;
  }
  class_ = value < 0x80 ? kTypeI : value < 0xC0 ? kTypeII : kTypeIII;
  step_ = 0;
  delay_ = 0;
}

void Vg93Controller::AbortCommand() {
  class_ = kIdle;
  status_ = 0;
  requests_ = 0;
  hold_ = false;
}

void Vg93Controller::WriteSector(uint8_t value) {
  if (system_ & 0x04) sector_ = value;
}

uint8_t Vg93Controller::ReadData() {
  requests_ &= ~kDrq;
  return data_;
}

void Vg93Controller::WriteData(uint8_t value) {
  requests_ &= ~kDrq;
  data_ = value;
}

void Vg93Controller::WriteSystem(uint8_t value) {
  if (value == system_) return;
  SelectDrive(value & 3);
  side_ = (value & 0x10) ? 0 : 1;
  const bool resetChanged = ((value ^ system_) & 0x04) != 0;
  system_ = value;
  if (resetChanged) {
    // The master reset line stops whatever the chip was doing, in either direction.
    AbortCommand();
    if (!(value & 0x04)) {
      sector_ = 1;
    } else {
      // Releasing reset makes the chip restore the head.
      data_ = 0;
      track_ = 0;
      motor_ = false;
      WriteCommand(0x03);
    }
  }
}

}  // namespace vantrel
