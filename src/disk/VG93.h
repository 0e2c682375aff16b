#pragma once

#include <array>
#include <cstdint>

#include "disk/FloppyDisk.h"

namespace vantrel {

// The Beta 128's floppy disk controller, register-compatible with the WD1793, emulated
// byte by byte: the track streams under the head at one byte per 112 T-states and each
// command is a state machine whose states wait given numbers of T-states. It has no
// thread: it catches up with the processor's clock at every register access and once a
// frame.
class Vg93Controller {
 public:
  static constexpr int32_t kByteTime = 112;  // 32 us at 3.5 MHz
  static constexpr uint8_t kIntrq = 0x80, kDrq = 0x40;

  enum Status : uint8_t {
    kBusy = 0x01,
    kIndexOrDrq = 0x02,
    kTrack0OrLost = 0x04,
    kCrcError = 0x08,
    kSeekErrorOrRnf = 0x10,
    kHeadLoadedOrDeleted = 0x20,
    kWriteProtect = 0x40,
    kNotReady = 0x80,
  };
  enum Class : uint8_t { kIdle = 0, kTypeI = 1, kSerial = 2, kTypeII = 4, kTypeIII = 5 };

  // The clock: T-states since the current frame began, the frames completed and the
  // frame length, read at every catch-up.
  struct Clock {
    uint32_t Tackts;
    uint32_t FrameCount;
    uint32_t TacktsPerInt;
  };

  static constexpr int kDrives = 4;

  // The disk in a drive (0 to 3 for A to D), nullptr for an empty drive, where the head
  // finds no byte and no mark, so every search ends in its revolutions count. A command
  // under way on the selected drive goes on with the new disk's tracks.
  void SetDisk(int drive, FloppyDisk* disk);

  // Runs the controller up to `now`.
  void CatchUp(const Clock& now);

  // Register operations; the caller has caught up first.
  void WriteCommand(uint8_t value);
  uint8_t ReadStatus();
  uint8_t PeekStatus() const;
  uint8_t ReadTrack() const { return track_; }
  void WriteTrack(uint8_t value) { track_ = value; }
  uint8_t ReadSector() const { return sector_; }
  void WriteSector(uint8_t value);
  uint8_t ReadData();
  void WriteData(uint8_t value);
  void WriteSystem(uint8_t value);
  uint8_t ReadRequests() const { return requests_ | 0x3F; }

  bool Busy() const { return class_ != kIdle; }

  // A copy of the controller is a machine capture's; restoring one needs the disks it
  // reads now, and the frame of its last catch-up in the machine's present count.
  void Rebind(const std::array<FloppyDisk*, kDrives>& disks, uint32_t frame) {
    disks_ = disks;
    disk_ = disks_[SelectedDrive()];
    frame_ = frame;
    if (current_) LatchTrack();
  }
  uint32_t LastFrame() const { return frame_; }
  // A snapshot's registers: the controller idle with them, the head over the track.
  void LoadRegisters(uint8_t track, uint8_t sector, uint8_t data, uint8_t status) {
    track_ = track;
    sector_ = sector;
    data_ = data;
    status_ = status;
    class_ = kIdle;
  }
  // What the debug view shows.
  uint8_t Command() const { return command_; }
  uint8_t Data() const { return data_; }
  uint8_t System() const { return system_; }
  int HeadCylinder() const { return head_; }
  // The drive the system register selects (0 for A), and each drive's head.
  int SelectedDrive() const { return system_ & 3; }
  int HeadCylinderOf(int drive) const { return drive == SelectedDrive() ? head_ : heads_[drive]; }
  bool DriveHasDisk(int drive) const { return disks_[drive] != nullptr; }
  bool WriteProtected() const { return disk_ && disk_->WriteProtected(); }
  bool MotorOn() const { return motor_; }
  int Position() const { return position_; }

 private:
  void Rotate();
  void RunState();
  void RunTypeI();
  void RunSerial();
  void RunData();  // Type II and III
  void End();
  void EndWithDataLost();
  // Drops the running command with its status and requests, as a master reset does.
  void AbortCommand();
  void StartSerial(uint8_t value, int32_t initialDelay, uint8_t nextStep);
  void LatchTrack();
  uint8_t ByteUnderHead() const;
  bool MarkUnderHead() const;
  void WriteUnderHead(uint8_t value, bool mark);
  void WriteAt(int pos, uint8_t value, bool mark);
  // One byte of the search for an ID field; true when the byte after a mark is 0xFE.
  bool SearchIdByte();
  bool IdCrcMatches() const;
  bool TypeIForm() const;
  bool Fm() const { return (system_ & 0x40) != 0; }
  int SectorLength() const { return 128 << (id_[4] & 3); }

  void SelectDrive(int drive);

  // Each drive keeps its disk and where its head stands; the selected one's are disk_ and
  // head_, its head kept back in heads_ when another drive is selected.
  std::array<FloppyDisk*, kDrives> disks_{};
  std::array<int, kDrives> heads_{};
  FloppyDisk* disk_ = nullptr;
  RawTrack* current_ = nullptr;

  uint8_t command_ = 0, status_ = 0, track_ = 0, sector_ = 1, data_ = 0;
  uint8_t system_ = 0, requests_ = 0;
  uint8_t class_ = kIdle, step_ = 0;
  int32_t delay_ = 0;
  uint8_t savedClass_ = 0, savedStep_ = 0, serial_ = 0, shifts_ = 0;
  bool motor_ = false;
  uint8_t revolutions_ = 0;
  bool index_ = false;
  int32_t position_ = 0;
  // Times relative to the start of frame `frame_`.
  int64_t nextByte_ = 0, last_ = 0;
  uint32_t frame_ = 0;
  int head_ = 0, side_ = 0;
  bool stepIn_ = true;
  uint8_t target_ = 0, bitMask_ = 0;
  bool carryDone_ = false;
  bool markSeen_ = false;
  std::array<uint8_t, 7> id_{};  // 0xFE C H R N and the CRC read
  int idIndex_ = 0;
  std::array<uint8_t, 1 + 1024 + 2> scratch_{};  // the data mark, data and CRC
  int scratchIndex_ = 0;
  int count_ = 0;
  int crcStart_ = 0;
  bool hold_ = false;
};

}  // namespace vantrel
