// Whole-machine capture and restore: a restored machine must run on exactly as the captured
// one did, frame after frame (memory, registers, sound, picture, the disk's tracks).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MachineFixture.h"
#include "TestData.h"
#include "disk/DiskImageFiles.h"
#include "machine/Machine.h"
#include "machine/MachineCapture.h"
#include "machine/Rewind.h"
#include "media/FileTypes.h"

namespace vantrel {
namespace {

using test::LoadBusy128kProgram;
using test::LoadPentagonRoms;
using test::OneFrame;
using test::Type;

uint64_t Hash(const uint8_t* data, size_t size, uint64_t hash = 14695981039346656037ull) {
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211ull;
  return hash;
}

uint64_t PictureHash(const Machine& m) {
  uint64_t picture = 14695981039346656037ull;
  for (int y = 0; y < kNativeHeight; ++y) picture = Hash(m.Screen.Row(y), kNativeWidth, picture);
  return picture;
}

// What a run shows, frame by frame, and how it ends.
struct Trace {
  std::vector<uint64_t> Sound, Picture;
  uint64_t Ram = 0, Disk = 0;
  Z80Registers Regs;
  std::vector<uint8_t> Ay;
};

Trace Record(Machine& m, int frames, const std::function<void(int)>& beforeFrame) {
  Trace t;
  for (int i = 0; i < frames; ++i) {
    if (beforeFrame) beforeFrame(i);
    OneFrame(m);
    t.Sound.push_back(Hash(m.LastSoundBlock().data(), kSoundBlockSize));
    t.Picture.push_back(PictureHash(m));
  }
  t.Ram = Hash(m.Mem.RamBase(), Memory::BankCountOf(m.Mem.Model) * Memory::kBankSize);
  for (const RawTrack& track : m.Disks[0]->Tracks)
    t.Disk = Hash(track.Data.data(), track.kLength, t.Disk);
  t.Regs = m.State.Regs;
  for (int r = 0; r < 16; ++r) t.Ay.push_back(m.Ay.Register(r));
  return t;
}

void ExpectSame(const Trace& a, const Trace& b) {
  EXPECT_EQ(a.Sound, b.Sound);
  EXPECT_EQ(a.Picture, b.Picture);
  EXPECT_EQ(a.Ram, b.Ram);
  EXPECT_EQ(a.Disk, b.Disk);
  EXPECT_EQ(a.Ay, b.Ay);
  EXPECT_EQ(a.Regs.PC, b.Regs.PC);
  EXPECT_EQ(a.Regs.SP, b.Regs.SP);
  EXPECT_EQ(a.Regs.AF.Get(), b.Regs.AF.Get());
  EXPECT_EQ(a.Regs.HL.Get(), b.Regs.HL.Get());
  EXPECT_EQ(a.Regs.Tackts, b.Regs.Tackts);
  EXPECT_EQ(a.Regs.ReadR(), b.Regs.ReadR());
}

TEST(MachineCapture, RestoredMachineRunsOnAsTheCapturedOneDid) {
  struct Case {
    const char* name;
    // Brings the machine to the capture; returns what happens before each later frame.
    std::function<bool(Machine&)> prepare;
    std::function<void(Machine&, int)> beforeFrame;
  };
  const Case cases[] = {
      {"busy 128K program with AY music",
       [](Machine& m) {
         LoadBusy128kProgram(m);
         for (int i = 0; i < 20; ++i) OneFrame(m);
         return true;
       },
       nullptr},
      {"48K program loading from tape",
       [](Machine& m) {
         const auto tape = test::TestDataFile("software/nirvana.tap");
         if (!LoadPentagonRoms(m) || tape.empty()) return false;
         m.State.StartMode = 0;
         m.ResetMachine();
         for (int i = 0; i < 100; ++i) OneFrame(m);
         FindFileType("nirvana.tap")->Load(m, test::ReadBytes(tape));
         Type(m, "J SS+P SS+P ENTER");
         m.Tape.PlayTape();
         for (int i = 0; i < 150; ++i) OneFrame(m);
         return m.Tape.Playing();
       },
       nullptr},
      {"TR-DOS saving to a disk",
       [](Machine& m) {
         if (!LoadPentagonRoms(m)) return false;
         m.InsertDisk(CreateBlankDisk());
         m.State.StartMode = kStartTrDos | kStart128k;
         m.ResetMachine();
         for (int i = 0; i < 300; ++i) OneFrame(m);
         Type(m, "1 0 E ENTER S SS+P T SS+P");
         m.Keys.PressKey(kKeyEnter);
         for (int i = 0; i < 2; ++i) OneFrame(m);
         return true;
       },
       [](Machine& m, int frame) {
         if (frame == 2) m.Keys.ReleaseKey(kKeyEnter);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Machine m(7);
    m.State.NormalSpeed = false;
    if (!c.prepare(m)) GTEST_SKIP() << "test data not found";
    MachineCapture capture;
    CaptureMachine(m, capture);
    const uint64_t pictureThen = PictureHash(m);
    const auto before = [&](int frame) {
      if (c.beforeFrame) c.beforeFrame(m, frame);
    };
    const Trace first = Record(m, 100, before);
    ASSERT_TRUE(RestoreMachine(m, capture));
    EXPECT_EQ(PictureHash(m), pictureThen) << "the picture as it was is shown at once";
    const Trace second = Record(m, 100, before);
    ExpectSame(first, second);
    // The run changed something worth comparing.
    EXPECT_NE(first.Picture.front(), first.Picture.back());
  }
}

TEST(MachineCapture, UnchangedDiskTracksAreSharedAndWrittenOnesCopied) {
  Machine m(1);
  m.InsertDisk(CreateBlankDisk());
  MachineCapture first, second;
  CaptureMachine(m, first);
  CaptureMachine(m, second, &first);
  for (size_t i = 0; i < first.Disk.Drives[0].Tracks.size(); ++i)
    ASSERT_EQ(first.Disk.Drives[0].Tracks[i], second.Disk.Drives[0].Tracks[i]) << "track " << i;
  // A write through the controller's path stamps the track.
  m.Disks[0]->Tracks[3].Data[10] = 0x5A;
  m.Disks[0]->TrackWritten(&m.Disks[0]->Tracks[3]);
  MachineCapture third;
  CaptureMachine(m, third, &second);
  EXPECT_NE(third.Disk.Drives[0].Tracks[3], second.Disk.Drives[0].Tracks[3]);
  EXPECT_EQ(third.Disk.Drives[0].Tracks[4], second.Disk.Drives[0].Tracks[4]);
  EXPECT_EQ(third.Disk.Drives[0].Tracks[3]->Data[10], 0x5A);
  // Restoring the older capture brings the track back.
  ASSERT_TRUE(RestoreMachine(m, second));
  EXPECT_NE(m.Disks[0]->Tracks[3].Data[10], 0x5A);
  // A capture of another layout is refused and changes nothing.
  MachineCapture other = third;
  other.Version = kCaptureVersion + 1;
  EXPECT_FALSE(RestoreMachine(m, other));
  EXPECT_NE(m.Disks[0]->Tracks[3].Data[10], 0x5A);
}

// After 10 seconds, five steps back reach the capture of second 6; from there the machine
// is and goes on as one that ran straight to that moment.
TEST(Rewind, SteppingBackFiveCapturesRunsOnAsTheMachineDidThen) {
  Machine a(3), b(3);
  RewindBuffer rewind;
  rewind.SetSeconds(60);
  a.SetRewind(&rewind);
  LoadBusy128kProgram(a);
  LoadBusy128kProgram(b);
  for (int i = 0; i < 500; ++i) OneFrame(a);
  EXPECT_EQ(rewind.Count(), 10u);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(rewind.StepBack(a));
  for (int i = 0; i < 300; ++i) OneFrame(b);
  const Trace ra = Record(a, 60, nullptr);
  const Trace rb = Record(b, 60, nullptr);
  ExpectSame(ra, rb);
  // The five later captures were dropped; one more came in the 60 frames since.
  EXPECT_EQ(rewind.Count(), 7u);
  EXPECT_GT(rewind.Bytes(), 6 * (128u << 10));
}

// The memory shown counts each disk track once, however many captures share it, also
// once the oldest capture has been overwritten and the next one holds its tracks alone.
TEST(Rewind, MemoryCountsEachSharedTrackOnce) {
  Machine m(3);
  m.InsertDisk(CreateBlankDisk());
  RewindBuffer rewind;
  rewind.SetSeconds(3);
  m.SetRewind(&rewind);
  std::vector<size_t> bytes;  // after each capture
  for (int second = 0; second < 4; ++second) {
    for (int i = 0; i < 50; ++i) OneFrame(m);
    bytes.push_back(rewind.Bytes());
    // One track written before the next capture: that capture owns it alone.
    FloppyDisk& disk = *m.Disks[0];
    disk.Tracks[3 + second].Data[10] ^= 0x5A;
    disk.TrackWritten(&disk.Tracks[3 + second]);
  }
  ASSERT_EQ(rewind.Count(), 3u);
  const size_t wholeDisk = FloppyDisk::kTrackCount * sizeof(RawTrack);
  EXPECT_GE(bytes[0], wholeDisk);
  EXPECT_LT(bytes[1] - bytes[0], wholeDisk / 2) << "the second capture shares the disk";
  EXPECT_EQ(bytes[2] - bytes[1], bytes[1] - bytes[0]) << "each new capture adds one track";
  // Capture 4 replaced capture 1: still the whole disk plus two written tracks.
  EXPECT_EQ(bytes[3], bytes[2]);
}

TEST(Rewind, KeepsOnlyTheLastSecondsAndStopsAtTheOldest) {
  Machine m(3);
  RewindBuffer rewind;
  rewind.SetSeconds(3);
  m.SetRewind(&rewind);
  LoadBusy128kProgram(m);
  for (int i = 0; i < 50 * 5; ++i) OneFrame(m);
  EXPECT_EQ(rewind.Count(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(rewind.StepBack(m));
  EXPECT_FALSE(rewind.StepBack(m)) << "nothing older than the oldest capture";
  rewind.SetSeconds(0);
  for (int i = 0; i < 100; ++i) OneFrame(m);
  EXPECT_EQ(rewind.Count(), 0u);
  EXPECT_LT(RewindBuffer::EstimateBytes(60, MemoryModel::Spectrum128k), size_t{60} << 20);
}

}  // namespace
}  // namespace vantrel
