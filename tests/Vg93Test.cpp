// The disk controller against formatted tracks, driven as the processor would: register
// writes, then time passing in small steps with DRQ served or left alone.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "MachineFixture.h"
#include "disk/Crc16.h"
#include "disk/FdiImage.h"
#include "disk/TrackLayout.h"
#include "disk/VG93.h"

namespace vantrel {
namespace {

using test::Ints;

constexpr uint32_t kFrame = 71680;
constexpr int64_t kRevolution = 700000;

// Never 0xF5 to 0xF7, which Write Track takes as commands.
uint8_t Pattern(int sector, int i) {
  return static_cast<uint8_t>((sector * 7 + i) % 0xF5);
}

// Sectors 1 to 16 of 256 bytes, ID cylinder `c`; sector 5 carries a deleted data mark.
void Format(FloppyDisk& disk, int cylinder, int c) {
  TrackWriter writer(disk.Track(cylinder, 0));
  for (int r = 1; r <= 16; ++r) {
    std::vector<uint8_t> data(256);
    for (int i = 0; i < 256; ++i) data[i] = Pattern(r, i);
    writer.AddSector({static_cast<uint8_t>(c), 0, static_cast<uint8_t>(r), 1},
                     r == 5 ? kDeletedDataMark : kDataMark, data);
  }
  writer.Finish();
}

// The fifth index pulse comes between four and five turns after the search starts.
bool FiveTurns(int64_t t) {
  return t > 4 * kRevolution && t < 5 * kRevolution + 200000;
}

struct Rig {
  std::unique_ptr<FloppyDisk> disk = std::make_unique<FloppyDisk>();
  Vg93Controller fdc;
  int64_t now = 0;
  std::vector<uint8_t> read;
  std::vector<uint8_t> feed;  // served on DRQ of write commands, then zeros

  Rig() {
    for (int c = 0; c < 10; ++c) Format(*disk, c, c);
    fdc.SetDisk(0, disk.get());
    fdc.WriteSystem(0x3C);  // reset released, HLT, side 0: the chip restores
    Run();
  }
  void Tick(int64_t t) {
    now += t;
    fdc.CatchUp({static_cast<uint32_t>(now % kFrame), static_cast<uint32_t>(now / kFrame), kFrame});
  }
  // Issues a command and runs until it ends; DRQ is served every `serve` T-states (0: never).
  // Returns the T-states the command took.
  int64_t Command(uint8_t command, int serve = 32) {
    fdc.WriteCommand(command);
    return Run(serve);
  }
  int64_t Run(int serve = 32) {
    const int64_t start = now;
    size_t fed = 0;
    do {
      Tick(serve ? serve : 500);
      if (serve && (fdc.ReadRequests() & Vg93Controller::kDrq)) {
        const uint8_t command = fdc.Command();
        if ((command >= 0xA0 && command < 0xC0) || command >= 0xF0) {
          fdc.WriteData(fed < feed.size() ? feed[fed++] : 0);
        } else {
          read.push_back(fdc.ReadData());
        }
      }
    } while (fdc.Busy() && now - start < 40 * kRevolution);
    return now - start;
  }
  bool ReadMatches(int first, int count) const {
    if (read.size() != static_cast<size_t>(count) * 256) return false;
    for (int i = 0; i < count * 256; ++i) {
      if (read[i] != Pattern(first + i / 256, i % 256)) return false;
    }
    return true;
  }
};

TEST(Vg93, CommandsAgainstFormattedTracks) {
  struct Case {
    const char* name;
    std::vector<long long> (*run)(Rig&);
    std::vector<long long> expected;
  };
  const Case cases[] = {
      {"reset restores with the motor off: 255 slow steps, head stays",
       [](Rig&) {
         Rig r;  // the reset happened in the constructor; time it again from a track of 255
         r.fdc.WriteTrack(0xFF);
         r.fdc.WriteData(0);
         const int64_t t = r.Command(0x03);
         return Ints(r.fdc.ReadTrack(), r.fdc.HeadCylinder(), r.fdc.PeekStatus(),
                     t / 103950 >= 255 && t / 103950 < 260);
       },
       Ints(0, 0, 0x80, 1)},
      {"seek with verify moves the head, restore with h comes back to track 0",
       [](Rig& r) {
         r.fdc.WriteData(5);
         r.Command(0x1C);
         const auto after =
             Ints(r.fdc.ReadTrack(), r.fdc.HeadCylinder(), r.fdc.PeekStatus() & 0xFD);
         r.Command(0x08);
         return Ints(after[0], after[1], after[2], r.fdc.ReadTrack(), r.fdc.HeadCylinder(),
                     r.fdc.PeekStatus() & 0x9D);
       },
       Ints(5, 5, 0x20, 0, 0, 0x04)},
      {"seek verify against IDs of another cylinder: seek error after 5 turns",
       [](Rig& r) {
         Format(*r.disk, 3, 7);
         r.fdc.WriteData(3);
         const int64_t t = r.Command(0x1C);
         return Ints(r.fdc.PeekStatus() & 0x18, FiveTurns(t));
       },
       Ints(0x10, 1)},
      {"read sector, deleted mark and data served in time",
       [](Rig& r) {
         r.Command(0x08);  // motor on
         r.fdc.WriteSector(5);
         r.Command(0x80);
         return Ints(r.fdc.PeekStatus(), r.ReadMatches(5, 1));
       },
       Ints(0x20, 1)},
      {"read sector missing: record not found after 5 turns",
       [](Rig& r) {
         r.Command(0x08);
         r.fdc.WriteSector(17);
         const int64_t t = r.Command(0x80);
         return Ints(r.fdc.PeekStatus(), FiveTurns(t), r.read.size());
       },
       Ints(0x10, 1, 0)},
      {"read sector on an unformatted track: record not found",
       [](Rig& r) {
         r.fdc.WriteData(20);
         r.Command(0x18);
         r.fdc.WriteSector(1);
         const int64_t t = r.Command(0x80);
         return Ints(r.fdc.PeekStatus(), FiveTurns(t));
       },
       Ints(0x10, 1)},
      {"read sector with the motor off ends at once, not ready",
       [](Rig& r) {
         const int64_t t = r.Command(0x80);
         return Ints(r.fdc.PeekStatus(), t < 1000);
       },
       Ints(0x80, 1)},
      {"multiple records read on until the sector after the last",
       [](Rig& r) {
         r.Command(0x08);
         r.fdc.WriteSector(14);
         r.Command(0x90);
         return Ints(r.fdc.PeekStatus(), r.fdc.ReadSector(), r.ReadMatches(14, 3));
       },
       Ints(0x10, 17, 1)},
      {"data not taken: lost data, the sector still read to its end",
       [](Rig& r) {
         r.Command(0x08);
         r.fdc.WriteSector(2);
         const int64_t t = r.Command(0x80, 0);
         return Ints(r.fdc.PeekStatus() & 0xFC, t < kRevolution);
       },
       Ints(0x04, 1)},
      {"read address hands over the ID and sets the sector register to C",
       [](Rig& r) {
         r.fdc.WriteData(4);
         r.Command(0x18);
         r.Command(0xC0);
         const uint16_t crc = Crc16(std::vector<uint8_t>{0xFE, 4, 0, r.read[2], 1});
         return Ints(r.fdc.PeekStatus(), r.fdc.ReadSector(), r.read.size(), r.read[0],
                     r.read[4] << 8 | r.read[5]) == Ints(0, 4, 6, 4, crc)
                    ? Ints(1)
                    : Ints(r.fdc.PeekStatus(), r.fdc.ReadSector(), r.read.size());
       },
       Ints(1)},
      {"write track in the TR-DOS layout, then read sector and ID back",
       [](Rig& r) {
         r.fdc.WriteData(8);
         r.Command(0x18);
         auto put = [&r](uint8_t v, int n) { r.feed.insert(r.feed.end(), n, v); };
         put(0x4E, 80);
         for (int s = 1; s <= 16; ++s) {
           put(0x00, 12), put(0xF5, 3), put(0xFE, 1);
           r.feed.insert(r.feed.end(), {8, 0, static_cast<uint8_t>(s), 1});
           put(0xF7, 1), put(0x4E, 22), put(0x00, 12), put(0xF5, 3), put(0xFB, 1);
           for (int i = 0; i < 256; ++i) r.feed.push_back(Pattern(s, i));
           put(0xF7, 1), put(0x4E, 54);
         }
         r.Command(0xF0);
         const long long written = r.fdc.PeekStatus();
         r.fdc.WriteSector(16);
         r.Command(0x80);
         return Ints(written, r.fdc.PeekStatus(), r.ReadMatches(16, 1), r.disk->Modified());
       },
       Ints(0, 0, 1, 1)},
      {"write sector on a write-protected disk: nothing written",
       [](Rig& r) {
         r.Command(0x08);
         r.disk->SetWriteProtected(true);
         const RawTrack before = r.disk->Track(0, 0);
         r.fdc.WriteSector(1);
         r.Command(0xA0);
         return Ints(r.fdc.PeekStatus(), r.disk->Track(0, 0).Data == before.Data);
       },
       Ints(0x40, 1)},
      {"write sector, read back; a late first byte writes nothing",
       [](Rig& r) {
         r.Command(0x08);
         r.fdc.WriteSector(3);
         for (int i = 0; i < 256; ++i) r.feed.push_back(Pattern(9, i));
         r.Command(0xA0);
         const long long written = r.fdc.PeekStatus();
         r.Command(0x80);
         r.fdc.WriteSector(4);
         const RawTrack before = r.disk->Track(0, 0);
         r.Command(0xA0, 0);
         const auto late = Ints(r.fdc.PeekStatus() & 0x04, r.disk->Track(0, 0).Data == before.Data);
         return Ints(written, r.read.size(), r.read[7] == Pattern(9, 7), late[0], late[1]);
       },
       Ints(0, 256, 1, 0x04, 1)},
      {"force interrupt D0 mid-read clears the requests, D8 holds INTRQ",
       [](Rig& r) {
         r.Command(0x08);
         r.fdc.WriteSector(1);
         r.fdc.WriteCommand(0x80);
         r.Tick(20000);
         r.fdc.WriteCommand(0xD0);
         const auto d0 = Ints(r.fdc.Busy(), r.fdc.ReadStatus() & 0x19, r.fdc.ReadRequests());
         r.fdc.WriteCommand(0xD8);
         r.fdc.ReadStatus();
         r.fdc.ReadStatus();
         return Ints(d0[0], d0[1], d0[2], r.fdc.ReadRequests());
       },
       Ints(0, 0, 0x3F, 0xBF)},
      {"reset mid-read aborts the command; the release restores, then Restore steps home",
       [](Rig& r) {
         r.fdc.WriteData(5);
         r.Command(0x18);  // head and track register at 5, motor on
         r.fdc.WriteSector(17);
         r.fdc.WriteCommand(0x80);  // searches for a sector that is not there
         r.Tick(20000);
         r.fdc.WriteSystem(0x38);
         const auto held = Ints(r.fdc.Busy(), r.fdc.ReadStatus(), r.fdc.ReadRequests());
         r.fdc.WriteSystem(0x3C);
         const auto released = Ints(r.fdc.Command(), r.fdc.Busy());
         r.Run();  // the release's Restore, motor off: the head stays
         const auto restored = Ints(r.fdc.Busy(), r.fdc.ReadTrack(), r.fdc.HeadCylinder());
         r.Command(0x08);
         return Ints(held[0], held[1], held[2], released[0], released[1], restored[0], restored[1],
                     restored[2], r.fdc.HeadCylinder(), r.fdc.ReadTrack(),
                     r.fdc.PeekStatus() & 0x85, r.fdc.ReadRequests());
       },
       Ints(0, 0x83, 0x3F, 0x03, 1, 0, 0, 5, 0, 0, 0x04, 0xBF)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    EXPECT_EQ(c.run(rig), c.expected);
  }
}

// An FDI of one track: `count` sectors of size code `n`, numbered from 1, each with its own
// data (sector r's byte i is Pattern(r, i)), listed in the file's order.
std::vector<uint8_t> OneTrackFdi(int count, uint8_t n) {
  const size_t size = size_t{128} << n;
  std::vector<uint8_t> f = {'F', 'D', 'I', 0, 1, 0, 1, 0};
  const size_t dataArea = 14 + 7 + 7 * static_cast<size_t>(count);
  f.insert(f.end(),
           {0, 0, static_cast<uint8_t>(dataArea), static_cast<uint8_t>(dataArea >> 8), 0, 0});
  f.insert(f.end(), {0, 0, 0, 0, 0, 0, static_cast<uint8_t>(count)});
  for (int r = 1; r <= count; ++r) {
    const size_t offset = (r - 1) * size;
    f.insert(f.end(), {0, 0, static_cast<uint8_t>(r), n, 0, static_cast<uint8_t>(offset),
                       static_cast<uint8_t>(offset >> 8)});
  }
  for (int r = 1; r <= count; ++r)
    for (size_t i = 0; i < size; ++i) f.push_back(Pattern(r, static_cast<int>(i)));
  return f;
}

// Tracks with more sector bytes than TR-DOS's gaps leave room for still load, and every
// sector reads back through the controller as the file holds it, also after one of them
// was rewritten in place.
TEST(Vg93, CrowdedFdiTracksReadBackWhole) {
  struct Case {
    int count;
    uint8_t n;
  } cases[] = {{10, 2}, {17, 1}, {18, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.count << " sectors, size code " << int{c.n});
    Rig r;
    ASSERT_NO_THROW(LoadFdiImage(OneTrackFdi(c.count, c.n), *r.disk));
    r.Command(0x08);  // motor on, head at 0
    const int rewritten = c.count / 2 + 1;
    for (size_t i = 0; i < size_t{128} << c.n; ++i) r.feed.push_back(Pattern(99, int(i)));
    r.fdc.WriteSector(static_cast<uint8_t>(rewritten));
    r.Command(0xA0);
    ASSERT_EQ(r.fdc.PeekStatus(), 0);
    for (int s = 1; s <= c.count; ++s) {
      r.read.clear();
      r.fdc.WriteSector(static_cast<uint8_t>(s));
      r.Command(0x80);
      ASSERT_EQ(r.fdc.PeekStatus(), 0) << "sector " << s;
      ASSERT_EQ(r.read.size(), size_t{128} << c.n) << "sector " << s;
      for (size_t i = 0; i < r.read.size(); ++i)
        ASSERT_EQ(r.read[i], Pattern(s == rewritten ? 99 : s, static_cast<int>(i)))
            << "sector " << s << " byte " << i;
    }
  }
}

// The track register passes through intermediate values while it is updated bit by bit,
// and the catch-up gives the same result however finely time is sliced.
TEST(Vg93, SeekTimingDoesNotDependOnCatchUpSlices) {
  std::vector<long long> finals;
  for (int slice : {7, 112, 5000}) {
    Rig r;
    r.fdc.WriteData(3);
    r.fdc.WriteCommand(0x1B);  // seek, h, 30 ms steps
    std::vector<uint8_t> seen;
    const int64_t start = r.now;
    while (r.fdc.Busy()) {
      r.Tick(slice);
      if (seen.empty() || seen.back() != r.fdc.ReadTrack()) seen.push_back(r.fdc.ReadTrack());
    }
    if (slice == 7) {
      EXPECT_GT(seen.size(), 4u) << "intermediate track values";
    }
    finals.push_back((r.now - start) / slice);
    finals.push_back(r.fdc.ReadTrack());
    finals.push_back(r.fdc.HeadCylinder());
  }
  EXPECT_EQ(finals[1], 3);
  EXPECT_EQ(finals[2], 3);
  // Within one slice of each other.
  EXPECT_NEAR(finals[0] * 7.0, finals[3] * 112.0, 112);
  EXPECT_NEAR(finals[3] * 112.0, finals[6] * 5000.0, 5000);
}

// The system register's drive bits pick one of four drives, each with its own disk and its
// own head; the chip's track register is the one the program keeps up to date.
TEST(Vg93, DriveBitsSelectFourDrivesEachWithItsDiskAndHead) {
  Rig r;  // drive A: cylinders 0 to 9 formatted
  auto diskB = std::make_unique<FloppyDisk>();
  Format(*diskB, 3, 3);  // only cylinder 3 on drive B
  r.fdc.SetDisk(1, diskB.get());
  const auto readSector1 = [&r] {
    r.read.clear();
    r.fdc.WriteSector(1);
    const int64_t t = r.Command(0x80);
    return Ints(r.fdc.PeekStatus(), FiveTurns(t), r.ReadMatches(1, 1));
  };
  const auto seek = [&r](int track) {
    r.fdc.WriteData(static_cast<uint8_t>(track));
    r.Command(0x18);  // seek with the head loaded, no verify
  };
  const auto select = [&r](int drive) { r.fdc.WriteSystem(static_cast<uint8_t>(0x3C | drive)); };

  seek(5);
  EXPECT_EQ(readSector1(), Ints(0x00, 0, 1)) << "drive A, cylinder 5";
  select(1);
  EXPECT_EQ(r.fdc.SelectedDrive(), 1);
  EXPECT_EQ(r.fdc.HeadCylinder(), 0) << "drive B's head has not moved";
  r.fdc.WriteTrack(0);
  seek(3);
  EXPECT_EQ(readSector1(), Ints(0x00, 0, 1)) << "drive B, cylinder 3";
  r.fdc.WriteTrack(3);
  seek(5);  // cylinder 5 of drive B is blank
  EXPECT_EQ(readSector1(), Ints(0x10, 1, 0)) << "drive B, cylinder 5";
  select(0);
  EXPECT_EQ(r.fdc.HeadCylinder(), 5);
  EXPECT_EQ(r.fdc.HeadCylinderOf(1), 5);
  EXPECT_EQ(readSector1(), Ints(0x00, 0, 1)) << "drive A again";

  // An empty drive: the search runs out of turns, as on a blank disk, and nothing hangs.
  for (int drive : {2, 3}) {
    SCOPED_TRACE(drive);
    select(drive);
    EXPECT_FALSE(r.fdc.DriveHasDisk(drive));
    EXPECT_EQ(readSector1(), Ints(0x10, 1, 0));
    r.fdc.WriteSector(1);
    r.Command(0xA0);  // write sector: nowhere to write, nothing found
    EXPECT_EQ(r.fdc.PeekStatus() & 0x51, 0x10);
  }
}

}  // namespace
}  // namespace vantrel
