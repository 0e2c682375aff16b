#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TempDir.h"
#include "cli/WavWriter.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

using test::TempDir;

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le(const std::vector<uint8_t>& bytes, size_t at, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes.at(at + i);
  return value;
}

std::string Tag(const std::vector<uint8_t>& bytes, size_t at) {
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
}

std::vector<fs::path> Listing(const fs::path& dir) {
  std::vector<fs::path> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  return names;
}

std::vector<uint8_t> Ramp(size_t count) {
  std::vector<uint8_t> samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = static_cast<uint8_t>(i * 7 + 3);
  return samples;
}

// What a player reads: every field of the header, and the samples after it. An odd
// length gets a pad byte that the RIFF size counts but the data size does not.
TEST(WavWriterTest, HeaderDescribesUnsignedMonoAt44100) {
  TempDir dir;
  const fs::path file = dir.path() / "sound.wav";
  for (const size_t count : {size_t{0}, size_t{882}, size_t{2646}, size_t{5}}) {
    const std::vector<uint8_t> samples = Ramp(count);
    std::string error;
    ASSERT_TRUE(WriteWav(file, samples, &error)) << error;
    const std::vector<uint8_t> bytes = ReadBytes(file);
    const size_t padded = count + (count & 1);
    ASSERT_EQ(bytes.size(), 44 + padded) << count;
    EXPECT_EQ(Tag(bytes, 0), "RIFF");
    EXPECT_EQ(Le(bytes, 4, 4), 36 + padded);
    EXPECT_EQ(Tag(bytes, 8), "WAVE");
    EXPECT_EQ(Tag(bytes, 12), "fmt ");
    EXPECT_EQ(Le(bytes, 16, 4), 16u);
    EXPECT_EQ(Le(bytes, 20, 2), 1u);  // PCM
    EXPECT_EQ(Le(bytes, 22, 2), 1u);  // mono
    EXPECT_EQ(Le(bytes, 24, 4), 44100u);
    EXPECT_EQ(Le(bytes, 28, 4), 44100u);  // bytes per second
    EXPECT_EQ(Le(bytes, 32, 2), 1u);      // bytes per sample frame
    EXPECT_EQ(Le(bytes, 34, 2), 8u);
    EXPECT_EQ(Tag(bytes, 36), "data");
    EXPECT_EQ(Le(bytes, 40, 4), count);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), bytes.begin() + 44));
  }
  EXPECT_EQ(Listing(dir.path()), std::vector<fs::path>{"sound.wav"});  // no temporaries left
}

TEST(WavWriterTest, AFailedWriteLeavesNoFileAndKeepsAnOldOne) {
  TempDir dir;
  std::string error;
  const fs::path nowhere = dir.path() / "missing" / "sound.wav";
  EXPECT_FALSE(WriteWav(nowhere, Ramp(10), &error));
  EXPECT_NE(error.find("cannot write '" + nowhere.string() + "'"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));

  // Complete but unable to replace a directory: the temporary goes too.
  const fs::path occupied = dir.path() / "occupied.wav";
  fs::create_directory(occupied);
  EXPECT_FALSE(WriteWav(occupied, Ramp(10), &error));
  EXPECT_TRUE(fs::is_directory(occupied));
  EXPECT_EQ(Listing(dir.path()), std::vector<fs::path>{"occupied.wav"});

  // A writer dropped before Finish (a run that failed) leaves the old file as it was.
  const fs::path old = dir.path() / "old.wav";
  ASSERT_TRUE(WriteWav(old, Ramp(4), &error)) << error;
  const std::vector<uint8_t> before = ReadBytes(old);
  {
    WavWriter abandoned;
    ASSERT_TRUE(abandoned.Open(old, &error)) << error;
    abandoned.Append(Ramp(100));
    EXPECT_EQ(ReadBytes(old), before);  // the samples go elsewhere until Finish
  }
  EXPECT_EQ(ReadBytes(old), before);
  EXPECT_EQ(Listing(dir.path()).size(), 2u);

  WavWriter unopened;
  EXPECT_FALSE(unopened.Finish(&error));
}

}  // namespace
}  // namespace vantrel
