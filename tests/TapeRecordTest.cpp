// Recording the MIC output: the blocks a saver writes come back as the bytes it wrote,
// and signals that are not standard blocks leave nothing. Writing tapes back as files.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "TempDir.h"
#include "TestData.h"
#include "media/TapeSaver.h"
#include "tape/TapePlayer.h"
#include "tape/TapeRecorder.h"
#include "tape/TapeWriter.h"

namespace vantrel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Tap(const std::vector<Bytes>& blocks) {
  Bytes tap;
  for (const Bytes& block : blocks) {
    tap.push_back(static_cast<uint8_t>(block.size()));
    tap.push_back(static_cast<uint8_t>(block.size() >> 8));
    tap.insert(tap.end(), block.begin(), block.end());
  }
  return tap;
}

// Plays `tape` and feeds each level change to the recorder as a MIC write, 20 T-states
// after it, as a saver writing the port would.
std::vector<Bytes> RecordWhatPlays(const TapeCatalogue& tape, bool recording) {
  uint32_t tackts = 0, frameLength = 69888;
  uint8_t latch = 0;
  std::atomic<uint32_t> frames{0};
  TapePlayer player;
  TapeRecorder recorder;
  player.Connect(&tackts, &frameLength, &latch);
  recorder.Connect(&tackts, &frameLength, &frames);
  recorder.SetRecording(recording);
  player.InsertTape(tape);
  player.PlayTape();
  uint8_t level = player.EarLevel();
  for (int steps = 0; player.Playing() && steps < 20'000'000; ++steps) {
    tackts += 20;
    if (tackts >= frameLength) {
      tackts -= frameLength;
      frames.fetch_add(1);
    }
    player.AdvanceTo(tackts);
    if (player.EarLevel() != level) {
      level = player.EarLevel();
      recorder.UlaPortWrite(level ? 0x0F : 0x07);
    }
  }
  frames.fetch_add(2);
  recorder.Flush();
  return recorder.Blocks();
}

TEST(TapeRecorder, RecordsTheStandardBlocksOfTheSignal) {
  Bytes header = {0x00, 0x00, 'x', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                  ' ',  ' ',  3,   0,   10,  0,   3,   0,   0x18};
  Bytes data = {0xFF};
  for (int i = 0; i < 300; ++i) data.push_back(static_cast<uint8_t>(i * 7));
  data.push_back(0x5A);
  // A turbo block: pilot 1000, syncs 300, bits 400 and 800.
  Bytes turbo = {'Z',  'X',  'T',  'a',  'p',  'e',  '!',  0x1A, 1,    20,   0x11,
                 0xE8, 0x03, 0x2C, 0x01, 0x2C, 0x01, 0x90, 0x01, 0x20, 0x03, 0x00,
                 0x10, 8,    0xE8, 0x03, 3,    0,    0,    0xFF, 0x12, 0x34};
  struct Case {
    const char* name;
    TapeCatalogue tape;
    bool recording;
    std::vector<Bytes> expected;
  };
  const Case cases[] = {
      {"header and data", ReadTap(Tap({header, data}), BlockInfoMode::None), true, {header, data}},
      {"not recording", ReadTap(Tap({header, data}), BlockInfoMode::None), false, {}},
      {"turbo", ReadTzx(turbo, BlockInfoMode::None), true, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RecordWhatPlays(c.tape, c.recording), c.expected) << c.name;
  }
}

// A tape of standard blocks is written as TAP whatever it came as; one with any other
// block stays TZX. Recorded blocks join either kind.
TEST(TapeWriter, AppendedBlocksAndTheSavedFormat) {
  const Bytes block = {0xFF, 1, 2, 3};
  const Bytes tzxData = {'Z', 'X',  'T',  'a',  'p', 'e', '!',  0x1A, 1,
                         20,  0x10, 0xE8, 0x03, 2,   0,   0xFF, 0xFF};
  Bytes tzxText = tzxData;
  tzxText.insert(tzxText.end(), {0x30, 1, 'A'});
  struct Case {
    const char* name;
    TapeCatalogue tape;
    const char* extension;
    Bytes file;
  };
  Bytes tzxTextFile = tzxText;
  tzxTextFile.insert(tzxTextFile.end(), {0x10, 0xE8, 0x03, 4, 0, 0xFF, 1, 2, 3});
  const Case cases[] = {
      {"empty", TapeCatalogue(), ".tap", Tap({block})},
      {"TAP", ReadTap(Tap({{0x00, 9}}), BlockInfoMode::None), ".tap", Tap({{0x00, 9}, block})},
      {"TZX of data blocks", ReadTzx(tzxData, BlockInfoMode::None), ".tap",
       Tap({{0xFF, 0xFF}, block})},
      {"TZX with text", ReadTzx(tzxText, BlockInfoMode::None), ".tzx", tzxTextFile},
  };
  test::TempDir dir;
  for (Case c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(AppendStandardBlock(c.tape, block));
    EXPECT_EQ(c.tape.BlockCount() + 1, c.tape.BlockStart.size());
    EXPECT_EQ(c.tape.Rows.back(), "Data Block, Length #2");
    EXPECT_EQ(TapeSaveExtension(c.tape), c.extension);
    SaveTapeFile(c.tape, dir.path() / "saved");
    EXPECT_EQ(test::ReadBytes(dir.path() / "saved"), c.file);
    // What is written reads back as the same blocks.
    const TapeCatalogue again = c.file[0] == 'Z' ? ReadTzx(c.file, BlockInfoMode::Hexadecimal)
                                                 : ReadTap(c.file, BlockInfoMode::Hexadecimal);
    EXPECT_EQ(again.BlockCount(), c.tape.BlockCount());
  }
  TapeCatalogue big;
  EXPECT_FALSE(AppendStandardBlock(big, Bytes(0x10000, 0)));
  EXPECT_THROW(SaveTapeFile(big, dir.path() / "missing" / "x.tap"), TapeError);
}

}  // namespace
}  // namespace vantrel
