#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "platform/SdlSoundOutput.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;

// Sets an environment variable for one scope and puts the old value back.
struct ScopedEnv {
  ScopedEnv(const char* name, const std::string& value) : name(name) {
    if (const char* was = getenv(name)) old = was;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { old ? setenv(name, old->c_str(), 1) : unsetenv(name); }
  const char* name;
  std::optional<std::string> old;
};

// Values 1..101: never 0 (our silence) nor 0x80 (what SDL plays while paused).
uint8_t PatternByte(uint32_t i) {
  return static_cast<uint8_t>(1 + i % 101);
}

// The whole loop, block by block.
void WritePattern(SoundOutput& output) {
  std::vector<uint8_t> bytes(kSoundBufferSize);
  for (uint32_t i = 0; i < kSoundBufferSize; ++i) bytes[i] = PatternByte(i);
  for (uint32_t offset = 0; offset < kSoundBufferSize; offset += kSoundBlockSize) {
    output.WriteBlock(offset, std::span<const uint8_t>(bytes).subspan(offset, kSoundBlockSize));
  }
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SdlSoundOutputDevice, WithoutAnyDriverStaysInactiveAndHarmless) {
  ScopedEnv driver("SDL_AUDIODRIVER", "nonexistent");
  SdlSoundOutput output;
  EXPECT_FALSE(output.Active());
  output.Start();
  WritePattern(output);
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(output.PlayPosition(), 0u);
  output.Stop();
}

class SdlSoundOutputDisk : public ::testing::Test {
 protected:
  // Forced here as well, so the binary also runs outside ctest without a sound server.
  ScopedEnv driver_{"SDL_AUDIODRIVER", "disk"};
  test::TempDir dir_;
  std::filesystem::path file_ = dir_.path() / "played.raw";
  ScopedEnv file_env_{"SDL_DISKAUDIOFILE", file_.string()};
  // Plays on a device of its own, closed before the file is read.
  template <class Use>
  void Play(Use use) {
    SdlSoundOutput output;
    ASSERT_TRUE(output.Active());
    use(output);
    output.Stop();
  }
};

TEST_F(SdlSoundOutputDisk, PlaysInRealTimeWithinTheLoopAndStopsOnStop) {
  SdlSoundOutput output;
  ASSERT_TRUE(output.Active());
  output.Start();
  std::this_thread::sleep_for(50ms);

  // Sum the forward steps; at 1 ms polls the position never laps the loop unseen.
  const auto begin = std::chrono::steady_clock::now();
  uint32_t last = output.PlayPosition();
  uint64_t played = 0;
  while (std::chrono::steady_clock::now() - begin < 500ms) {
    std::this_thread::sleep_for(1ms);
    const uint32_t now = output.PlayPosition();
    ASSERT_LT(now, kSoundBufferSize);
    played += (now + kSoundBufferSize - last) % kSoundBufferSize;
    last = now;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  const double rate = static_cast<double>(played) / seconds;
  EXPECT_GT(rate, 0.7 * kSoundSampleRate);
  EXPECT_LT(rate, 1.3 * kSoundSampleRate);

  output.Stop();
  const uint32_t stopped = output.PlayPosition();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(output.PlayPosition(), stopped);
}

TEST_F(SdlSoundOutputDisk, StartClearsTheBufferToSilence) {
  Play([](SdlSoundOutput& output) {
    WritePattern(output);
    output.Start();
    std::this_thread::sleep_for(150ms);
  });
  // Zeros while playing, 0x80 from SDL while paused; nothing written before Start.
  const std::vector<uint8_t> played = ReadAll(file_);
  ASSERT_FALSE(played.empty());
  EXPECT_EQ(std::count_if(played.begin(), played.end(), [](uint8_t b) { return b && b != 0x80; }),
            0);
  EXPECT_GT(std::count(played.begin(), played.end(), 0), 2 * int{SdlSoundOutput::kDeviceSamples});
}

TEST_F(SdlSoundOutputDisk, DeliversTheWrittenBlocksInLoopOrder) {
  Play([](SdlSoundOutput& output) {
    output.Start();
    WritePattern(output);
    std::this_thread::sleep_for(300ms);
  });
  const std::vector<uint8_t> played = ReadAll(file_);

  // The chunk being read while the pattern went in may be mixed; skip it.
  size_t first = 0;
  while (first < played.size() && (played[first] == 0 || played[first] == 0x80)) ++first;
  const size_t run_start = first + SdlSoundOutput::kDeviceSamples;
  const size_t run_length = 2 * kSoundBufferSize;
  ASSERT_GE(played.size(), run_start + run_length);

  // Two whole laps must follow the loop from some phase, wrap included.
  bool found = false;
  for (uint32_t phase = 0; phase < kSoundBufferSize && !found; ++phase) {
    size_t k = 0;
    while (k < run_length && played[run_start + k] == PatternByte((phase + k) % kSoundBufferSize)) {
      ++k;
    }
    found = k == run_length;
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace vantrel
