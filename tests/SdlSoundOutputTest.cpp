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

// Left 1..101 and right its negative: never 0 (silence, also what SDL plays while
// paused), and the two sides told apart.
int16_t PatternSample(uint32_t i) {
  return static_cast<int16_t>(1 + i % 101);
}

// The whole loop, block by block.
void WritePattern(SoundOutput& output) {
  std::vector<int16_t> stereo(2 * kSoundBufferSize);
  for (uint32_t i = 0; i < kSoundBufferSize; ++i) {
    stereo[2 * i] = PatternSample(i);
    stereo[2 * i + 1] = static_cast<int16_t>(-PatternSample(i));
  }
  for (uint32_t offset = 0; offset < kSoundBufferSize; offset += kSoundBlockSize) {
    output.WriteBlock(offset,
                      std::span<const int16_t>(stereo).subspan(2 * offset, 2 * kSoundBlockSize));
  }
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

// Start clears the loop: the pattern written before it is never played (zeros, while
// playing and from SDL while paused); written after it, the loop plays in order, 16-bit
// stereo samples as written.
TEST_F(SdlSoundOutputDisk, StartClearsTheLoopAndBlocksPlayInLoopOrder) {
  {  // a device of its own, closed before the file is read
    SdlSoundOutput output;
    ASSERT_TRUE(output.Active());
    WritePattern(output);
    output.Start();
    std::this_thread::sleep_for(150ms);
    WritePattern(output);
    std::this_thread::sleep_for(300ms);
    output.Stop();
  }
  std::ifstream in(file_, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  std::vector<int16_t> played(bytes.size() / 4), right(bytes.size() / 4);
  for (size_t i = 0; i < played.size(); ++i) {
    played[i] = static_cast<int16_t>(bytes[4 * i] | bytes[4 * i + 1] << 8);
    right[i] = static_cast<int16_t>(bytes[4 * i + 2] | bytes[4 * i + 3] << 8);
    ASSERT_EQ(right[i], -played[i]) << i;
  }
  size_t first = 0;
  while (first < played.size() && played[first] == 0) ++first;
  EXPECT_GT(first, 2 * size_t{SdlSoundOutput::kDeviceSamples});
  // The chunk being read while the pattern went in may be mixed; skip it. Two whole laps
  // must then follow the loop from some phase, wrap included.
  const size_t run_start = first + SdlSoundOutput::kDeviceSamples;
  const size_t run_length = 2 * kSoundBufferSize;
  ASSERT_GE(played.size(), run_start + run_length);
  bool found = false;
  for (uint32_t phase = 0; phase < kSoundBufferSize && !found; ++phase) {
    size_t k = 0;
    while (k < run_length &&
           played[run_start + k] == PatternSample((phase + k) % kSoundBufferSize)) {
      ++k;
    }
    found = k == run_length;
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace vantrel
