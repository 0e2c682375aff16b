// Compressed UDI tracks, what a TRD save would lose, and SCL saving.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TempDir.h"
#include "TestData.h"
#include "core/Zlib.h"
#include "disk/DiskError.h"
#include "disk/DiskImageFiles.h"
#include "disk/TrackLayout.h"
#include "disk/TrdCheck.h"
#include "disk/UdiImage.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

bool SameTracks(const FloppyDisk& a, const FloppyDisk& b) {
  for (int t = 0; t < FloppyDisk::kTrackCount; ++t)
    if (a.Tracks[t].Data != b.Tracks[t].Data || a.Tracks[t].Marks != b.Tracks[t].Marks)
      return false;
  return true;
}

std::unique_ptr<FloppyDisk> Load(const Bytes& file, DiskFormat format) {
  RememberedGeometry geometry;
  return LoadDiskImageBytes(file, format, DiskOpenOptions{}, geometry);
}

std::unique_ptr<TrdImage> Extract(const FloppyDisk& disk) {
  auto image = std::make_unique<TrdImage>();
  ExtractTrdFromTracks(disk, *image);
  return image;
}

// A UDI of one cylinder, one side, whose track record is `record`.
Bytes OneTrackUdi(const Bytes& record) {
  Bytes file(16, 0);
  std::memcpy(file.data(), "UDI!", 4);
  file.insert(file.end(), record.begin(), record.end());
  const uint32_t length = static_cast<uint32_t>(file.size());
  for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<uint8_t>(length >> (8 * i));
  file.insert(file.end(), 4, 0);  // the checksum, not verified
  return file;
}

// A compressed track record: #F0, packed length - 1, type, byte count, stream.
Bytes CompressedRecord(const Bytes& stream, uint8_t type, uint16_t bytes) {
  const size_t packed = stream.size() - 1;
  Bytes record{0xF0, static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
               type, static_cast<uint8_t>(bytes),  static_cast<uint8_t>(bytes >> 8)};
  record.insert(record.end(), stream.begin(), stream.end());
  return record;
}

TEST(CompressedUdi, PeerDiskOpensWithTheTracksOfItsExpandedCopy) {
  const Bytes packed = test::ReadBytes(test::TestDataFile("disk-trdos/success.udi"));
  const Bytes plain = test::ReadBytes(test::TestDataFile("disk-trdos/success-expanded.udi"));
  if (packed.empty() || plain.empty()) GTEST_SKIP() << "test data not found: disk-trdos";
  const auto a = Load(packed, DiskFormat::Udi);
  const auto b = Load(plain, DiskFormat::Udi);
  EXPECT_TRUE(SameTracks(*a, *b));
  EXPECT_EQ(CatalogueName(Extract(*a)->Entry(0)), CatalogueName(Extract(*b)->Entry(0)));
}

TEST(CompressedUdi, TrackRecordsAreInflatedOrRefusedNamingTheTrackAndWhy) {
  Bytes track(6250 + 782, 0);
  for (size_t i = 0; i < 6250; ++i) track[i] = static_cast<uint8_t>(i * 7);
  track[6250] = 0x05;  // marks at bytes 0 and 2
  const Bytes stream = ZlibDeflate(track);
  const Bytes shortStream = ZlibDeflate(std::span(track).first(7000));
  Bytes broken = stream;
  broken[broken.size() / 2] ^= 0xFF;
  Bytes cut = CompressedRecord(stream, 0, 6250);
  cut.resize(cut.size() - 10);
  const struct {
    const char* name;
    Bytes record;
    const char* why;  // nullptr: loads
  } cases[] = {
      {"plain stream", CompressedRecord(stream, 0, 6250), nullptr},
      {"other type", CompressedRecord(stream, 1, 6250), "not an MFM track"},
      {"short inflate", CompressedRecord(shortStream, 0, 6250), "holds 7000 bytes instead of 7032"},
      {"corrupt stream", CompressedRecord(broken, 0, 6250), "cannot be inflated"},
      {"cut record", cut, "the file ends inside the compressed track"},
      {"cut header", Bytes{0xF0}, "the file ends in its header"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = OneTrackUdi(c.record);
    std::unique_ptr<FloppyDisk> disk;
    const auto error = test::ErrorOf<DiskError>([&] { disk = Load(file, DiskFormat::Udi); });
    if (!c.why) {
      ASSERT_FALSE(error) << *error;
      EXPECT_TRUE(std::equal(track.begin(), track.begin() + 6250, disk->Track(0, 0).Data.begin()));
      EXPECT_TRUE(disk->Track(0, 0).IsMark(2));
      EXPECT_FALSE(disk->Track(0, 0).IsMark(1));
      continue;
    }
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("Unsupported file format... Cylinder 0, side 0: "), std::string::npos)
        << *error;
    EXPECT_NE(error->find(c.why), std::string::npos) << *error;
  }
}

const std::array<uint8_t, 512> kZeros{};

// A blank TR-DOS disk whose track at `cylinder`, `side` is laid out again from its 16
// sectors (1 to 16 in order) after `change`.
std::unique_ptr<FloppyDisk> DiskWithOddTrack(
    int cylinder, int side, const std::function<void(std::vector<SectorField>&)>& change) {
  auto disk = CreateBlankDisk();
  std::vector<SectorField> sectors;
  for (uint8_t r = 1; r <= 16; ++r)
    sectors.push_back({SectorId{static_cast<uint8_t>(cylinder), 0, r, 1}, kDataMark,
                       std::span(kZeros).first(256)});
  change(sectors);
  EXPECT_TRUE(LayOutTrack(disk->Track(cylinder, side), sectors));
  return disk;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

TEST(TrdSaveCheck, NamesEveryKindOfLossAndTheFirstPlace) {
  const struct {
    const char* name;
    std::unique_ptr<FloppyDisk> disk;
    const char* loss;  // nullptr: a TRD keeps it all
  } cases[] = {
      {"blank", CreateBlankDisk(), nullptr},
      {"sectors in order", DiskWithOddTrack(1, 0, [](auto&) {}), nullptr},
      {"reversed", DiskWithOddTrack(1, 0, [](auto& s) { std::reverse(s.begin(), s.end()); }),
       nullptr},
      {"deleted data", DiskWithOddTrack(1, 0, [](auto& s) { s[4].Mark = kDeletedDataMark; }),
       "1 sectors marked as deleted data (first at cylinder 1, side 0, sector 5)"},
      {"512 bytes",
       DiskWithOddTrack(2, 1,
                        [](auto& s) {
                          s[4].Id.N = 2;
                          s[4].Data = kZeros;
                        }),
       "1 sectors not 256 bytes long (first at cylinder 2, side 1, sector 5)"},
      {"sector 17", DiskWithOddTrack(1, 0, [](auto& s) { s[4].Id.R = 17; }),
       "1 sectors numbered outside 1 to 16 (first at cylinder 1, side 0, sector 17)"},
      {"missing", DiskWithOddTrack(3, 0, [](auto& s) { s.pop_back(); }),
       "1 tracks lacking some of sectors 1 to 16 (first at cylinder 3, side 0)"},
      {"twice", DiskWithOddTrack(3, 0, [](auto& s) { s.push_back(s[0]); }),
       "1 tracks holding a sector number twice (first at cylinder 3, side 0)"},
      {"past the TRD", DiskWithOddTrack(82, 1, [](auto&) {}),
       "1 tracks outside the cylinders and sides a TRD holds (first at cylinder 82, side 1)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string losses = Joined(TrdSaveLosses(*c.disk));
    if (!c.loss) {
      EXPECT_EQ(losses, "");
      continue;
    }
    EXPECT_NE(losses.find(c.loss), std::string::npos) << losses;
  }
  // A CRC error, in an ID field or a data field.
  auto disk = CreateBlankDisk();
  RawTrack& track = disk->Track(5, 1);
  ScanTrack(track, [&](const DataField& field) {
    if (field.Id.R == 9) track.Data[field.DataPos + 3] ^= 1;
    return 256;
  });
  const auto losses = TrdSaveLosses(*disk);
  ASSERT_EQ(losses.size(), 1u);
  EXPECT_EQ(losses[0], "1 sectors with a CRC error (first at cylinder 5, side 1, sector 9)");
}

// What TRD would lose, UDI keeps: load, save, load, compare.
TEST(TrdSaveCheck, UdiKeepsTheDeletedDataSectorThatTrdWouldLose) {
  test::TempDir dir;
  auto disk = DiskWithOddTrack(1, 0, [](auto& s) { s[4].Mark = kDeletedDataMark; });
  ASSERT_FALSE(TrdSaveLosses(*disk).empty());
  RememberedGeometry geometry;
  for (int round = 0; round < 2; ++round) {
    const fs::path file = dir.path() / ("d" + std::to_string(round) + ".udi");
    ASSERT_TRUE(SaveDiskImage(file, *disk, geometry));
    auto again = OpenDiskImage(file, {}, geometry);
    EXPECT_TRUE(SameTracks(*disk, *again));
    disk = std::move(again);
  }
  EXPECT_FALSE(TrdSaveLosses(*disk).empty());
}

// The catalogue and every file's bytes survive SCL writing, from each TR-DOS format.
TEST(SclSave, SavedPackageReloadsWithTheSameCatalogueAndFiles) {
  test::TempDir dir;
  for (const char* name : {"UMT2_3.SCL", "UMT2_3.TRD", "UMT2_3.$B"}) {
    SCOPED_TRACE(name);
    const fs::path source = test::TestDataFile(std::string("disk-trdos/") + name);
    if (source.empty()) GTEST_SKIP() << "test data not found: disk-trdos";
    RememberedGeometry geometry;
    const auto disk = OpenDiskImage(source, {}, geometry);
    const fs::path saved = dir.path() / "saved.scl";
    ASSERT_TRUE(SaveDiskImage(saved, *disk, geometry));
    const auto again = OpenDiskImage(saved, {}, geometry);
    const auto before = Extract(*disk);
    const auto after = Extract(*again);
    const int files = before->Bytes[TrdImage::kFileCount];
    ASSERT_GT(files, 0);
    EXPECT_EQ(after->Bytes[TrdImage::kFileCount], files);
    for (int i = 0; i < files; ++i) {
      const auto a = before->Entry(i), b = after->Entry(i);
      EXPECT_TRUE(std::equal(a.begin(), a.begin() + 14, b.begin())) << CatalogueName(a);
      const auto at = [](TrdImage& image, std::span<uint8_t, 16> e) {
        return image.Bytes.begin() + (e[15] * 16 + e[14]) * 256;
      };
      EXPECT_TRUE(std::equal(at(*before, a), at(*before, a) + a[13] * 256, at(*after, b)));
    }
    // A package made from an SCL is that SCL again, byte for byte.
    if (std::string(name) == "UMT2_3.SCL") {
      EXPECT_EQ(test::ReadBytes(saved), test::ReadBytes(source));
    }
  }
}

}  // namespace
}  // namespace vantrel
