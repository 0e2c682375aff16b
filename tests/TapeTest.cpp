#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "TempDir.h"
#include "TestData.h"
#include "machine/Machine.h"
#include "tape/TapeImage.h"
#include "tape/TapePlayer.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Rows = std::vector<std::string>;
constexpr auto kHex = BlockInfoMode::Hexadecimal;
constexpr auto kDec = BlockInfoMode::Decimal;
constexpr auto kNone = BlockInfoMode::None;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes W(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}
Bytes Str(const std::string& s) {
  return Bytes(s.begin(), s.end());
}
Bytes Text(const std::string& s) {
  return Cat({{static_cast<uint8_t>(s.size())}, Str(s)});
}
Bytes Tzx(std::initializer_list<Bytes> blocks, uint8_t major = 1) {
  return Cat({Str("ZXTape!"), {0x1A, major, 20}, Cat(blocks)});
}
// A TAP block: its length word, then flag, body and a checksum byte.
Bytes TapBlock(uint8_t flag, const Bytes& body) {
  return Cat({W(static_cast<uint32_t>(body.size() + 2)), {flag}, body, {0}});
}
Bytes Header(uint8_t type, const std::string& name, uint16_t length, uint16_t p1, uint16_t p2) {
  Bytes padded = Str(name);
  padded.resize(10, ' ');
  return TapBlock(0, Cat({{type}, padded, W(length), W(p1), W(p2)}));
}
Bytes Tone(uint16_t length, uint16_t count) {
  return Cat({{0x12}, W(length), W(count)});
}
Bytes Pause(uint16_t ms) {
  return Cat({{0x20}, W(ms)});
}
Bytes Jump(int16_t by) {
  return Cat({{0x23}, W(static_cast<uint16_t>(by))});
}
Bytes LoopStart(uint16_t n) {
  return Cat({{0x24}, W(n)});
}
const Bytes kLoopEnd = {0x25};
const Bytes kStopIn48k = {0x2A, 0, 0, 0, 0};
Bytes Select(std::initializer_list<std::pair<int16_t, std::string>> entries) {
  Bytes list = {static_cast<uint8_t>(entries.size())};
  for (const auto& [offset, text] : entries)
    list = Cat({list, W(static_cast<uint16_t>(offset)), Text(text)});
  return Cat({{0x28}, W(static_cast<uint32_t>(list.size())), list});
}

struct RowCase {
  const char* name;
  Bytes file;
  BlockInfoMode mode;
  Rows rows;
};

TEST(TapeRows, DescribeEveryBlockKind) {
  const Bytes program = Header(0, "hello", 300, 10, 300);
  const Bytes archive =
      Cat({{0x32}, W(0), {3}, {0}, Text("Game"), {0xFF}, Text("a\rb"), {0x40}, Text("x")});
  const RowCase cases[] = {
      {"tap in decimal",
       Cat({program, Header(3, "scr", 6912, 16384, 0), Header(1, "n", 0, 0, 0),
            Header(2, "c", 0, 0, 0), Header(9, "x", 0, 0, 0), TapBlock(0xFF, Bytes(0x100)),
            TapBlock(0x42, Bytes(3)), W(0), TapBlock(0, {1})}),
       kDec,
       {"Header, Program \"hello\", Line 10, Length 300, Vars 300",
        "Header, Code \"scr\", Start 16384, Length 6912", "Header, Number Array \"n\"",
        "Header, Character Array \"c\"", "Header, Nonstandard", "Data Block, Length 256",
        "Nonstandard, ID 66, Length 3", "Nonstandard Zero", "Nonstandard, ID 0, Length 1"}},
      {"numbers left out and a blank name",
       Cat({program, Header(0, "", 0, 0, 0)}),
       kNone,
       {"Header, Program \"hello\"", "Header, Program \"\""}},
      {"tzx data and control",
       Tzx({Cat({{0x10}, W(1000), Header(3, "a", 1, 2, 3)}),
            Cat({{0x11}, Bytes(15), W(0x102), {0}, {0xFF}, Bytes(0x101)}),
            Tone(1, 1),
            {0x13, 1, 0, 0},
            Cat({{0x14}, Bytes(7), {1, 0, 0}, {7}}),
            Pause(0),
            Pause(1500),
            Cat({{0x21}, Text("Side A")}),
            {0x22},
            LoopStart(3),
            kLoopEnd,
            kStopIn48k,
            {0x5A, 1, 2, 3, 4, 5, 6, 7, 8, 9},
            Jump(-2),
            Jump(18)}),
       kHex,
       {"Header, Code \"a\", Start #2, Length #1", "Turbo Data Block, Length #100", "Pure Tone",
        "Sequence of pulses of different lengths", "Pure data block", "Stop the Tape",
        "Pause: 1500ms", "Group of Blocks: Side A", "Group End", "Loop Start (#3 repetitions)",
        "Loop End", "Stop Tape if in 48K Mode", "Start of Another TZX file", "Jump to Block -#2",
        "Jump to Block #12"}},
      {"tzx information",
       Tzx({Select({{1, "One"}, {-1, "Two"}, {2, "Thr\x95"}}),
            Cat({{0x30}, Text("caf\xE9")}),
            Cat({{0x31, 5}, Text("Hi")}),
            Cat({{0x35}, Str("Name"), Bytes(12), W(2), W(0), {7, 7}}),
            archive,
            {0x33, 4, 4, 0, 1, 4, 3, 0, 4, 9, 1, 7, 2, 3}}),
       kHex,
       {"Select Block:", " \u2022One (Jump to Block #1)", " \u2022Two (Jump to Block #FFFF)",
        " \u2022Thr\u2022 (Jump to Block #2)", "Text Description: caf\u00E9", "Message: Hi",
        "Custom Info: Name", "Archive Info:", " \u2022Full Title: Game", " \u2022Comment(s): a",
        "b", " \u2022Unknown (ID 64): x", "Hardware Type:", " \u2022Kempston Joystick used",
        " \u2022Right Sinclair Joystick, Nonstandard Value #0",
        " \u2022Unknown Joystick, ID #9 used",
        " \u2022Unknown Hardware Type, ID #7, Nonstandard Value #3"}},
  };
  for (const RowCase& c : cases) {
    const bool tzx = c.file.size() > 8 && c.file[0] == 'Z';
    const TapeCatalogue tape = tzx ? ReadTzx(c.file, c.mode) : ReadTap(c.file, c.mode);
    EXPECT_EQ(tape.Rows, c.rows) << c.name;
    EXPECT_EQ(tape.BlockStart.back(), c.file.size()) << c.name;
  }
}

TEST(TapeRows, EveryRowOfASelectBlockSelectsIt) {
  const TapeCatalogue tape =
      ReadTzx(Tzx({Tone(1, 1), Select({{1, "a"}, {2, "b"}, {3, "c"}}), Tone(1, 1)}), kHex);
  ASSERT_EQ(tape.Rows.size(), 6u);
  const uint32_t blocks[] = {0, 1, 1, 1, 1, 2};
  for (uint32_t row = 0; row < 6; ++row) EXPECT_EQ(tape.BlockOfRow(row), blocks[row]) << row;
}

TEST(TapeRefusals, CarryTheirMessage) {
  const std::string corrupt(kTapeCorrupt);
  // Name, file, TZX or TAP, message.
  const std::tuple<const char*, Bytes, bool, std::string> cases[] = {
      {"tap of 2 bytes", {1, 0}, false, std::string(kTapTooSmall)},
      {"tap past the end", Cat({TapBlock(0xFF, {1}), W(5), {0xFF}}), false, corrupt},
      {"tzx too small", Str("ZXTape!"), true, std::string(kTzxTooSmall)},
      {"tzx signature", Cat({Str("ZXTape?"), {0x1A, 1, 0}}), true, std::string(kTzxBadSignature)},
      {"tzx major 2", Tzx({Tone(1, 1)}, 2), true, std::string(kTzxBadVersion)},
      {"cut call sequence", Tzx({Tone(1, 1), {0x26, 2, 0, 1, 0}}), true, corrupt},
      {"unknown block past the end", Tzx({{0x4B, 9, 0, 0, 0, 1}}), true, corrupt},
      {"cut tone", Tzx({{0x12, 1, 0, 1}}), true, corrupt},
      {"archive past the end", Tzx({{0x32, 0, 0, 1, 0, 9, 'x'}}), true, corrupt},
  };
  for (const auto& [name, file, tzx, message] : cases) {
    EXPECT_EQ(test::ErrorOf<TapeError>([&] { tzx ? ReadTzx(file, kHex) : ReadTap(file, kHex); }),
              message)
        << name;
  }
  // Minor versions are never looked at.
  Bytes minor = Tzx({Tone(1, 1)});
  minor[9] = 99;
  EXPECT_EQ(ReadTzx(minor, kHex).BlockCount(), 1u);
}

// The block table grows with the tape; only a block that runs past the file refuses it.
TEST(TapeRows, LongTapesKeepEveryBlock) {
  Bytes tap, tzxBlocks;
  for (int i = 0; i < 3000; ++i) {
    tap = Cat({tap, W(0)});
    tzxBlocks = Cat({tzxBlocks, {0x22}});
  }
  const TapeCatalogue longTap = ReadTap(Cat({tap, TapBlock(0xFF, {7})}), kHex);
  ASSERT_EQ(longTap.BlockCount(), 3001u);
  EXPECT_EQ(longTap.BlockStart[3000], 6000u);
  EXPECT_EQ(longTap.Rows.back(), "Data Block, Length #1");
  const Bytes tzx = Tzx({tzxBlocks, Tone(5, 3)});
  const TapeCatalogue longTzx = ReadTzx(tzx, kHex);
  ASSERT_EQ(longTzx.BlockCount(), 3001u);
  EXPECT_EQ(longTzx.BlockStart.back(), tzx.size());

  // A last block that claims more than the file holds still refuses the whole tape.
  const std::string corrupt(kTapeCorrupt);
  EXPECT_EQ(test::ErrorOf<TapeError>([&] { ReadTap(Cat({tap, W(5), {0xFF}}), kHex); }), corrupt);
  EXPECT_EQ(test::ErrorOf<TapeError>([&] {
              ReadTzx(Tzx({tzxBlocks, {0x12, 1, 0, 1}}), kHex);
            }),
            corrupt);
}

TEST(TapeRefusals, LocationsAreCheckedBeforeReading) {
  test::TempDir dir;
  const auto write = [&](const std::string& name, const Bytes& bytes) {
    test::WriteBytes(dir.path() / name, bytes);
    return (dir.path() / name).string();
  };
  const Bytes tap = TapBlock(0xFF, {1, 2});
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {(dir.path() / "missing.tap").string(), std::string(kTapeNotFound)},
      {dir.path().string(), std::string(kTapeNotFound)},
      {write("game.tzx.bin", tap), std::string(kTapeUnknownFormat)},
      {write("short.wav", Bytes(44)), std::string(kWavTooSmall)},
      {write("long.Wav", Bytes(45)), "Error! long.Wav: Not a WAV file (no RIFF WAVE header)"},
      {write("game.tzx", tap), std::string(kTzxTooSmall)},
  };
  for (const auto& [location, message] : cases) {
    EXPECT_EQ(test::ErrorOf<TapeError>([&] { LoadTapeImage(location, kHex); }), message)
        << location;
  }
  // Blanks around the extension and its case do not matter.
  EXPECT_EQ(LoadTapeImage(write("Game.tAp ", tap), kDec).Kind, TapeKind::Tap);
}

TEST(TapeRefusals, LibraryEdgeCaseFiles) {
  VANTREL_REQUIRE_TESTDATA(dir, "tape-libspectrum-edgecases");
  const std::string corrupt(kTapeCorrupt);
  const std::pair<const char*, std::optional<std::string>> expected[] = {
      {"empty-drb.tzx", std::nullopt},
      {"invalid-archiveinfo.tzx", corrupt},
      // Its data stream runs past the block.
      {"invalid-gdb.tzx", "Error! invalid-gdb.tzx: TZX block 1 (ID #19) is cut short"},
      {"invalid-warajevo-blockoffset.tap", corrupt},
      {"invalid.tzx", corrupt},  // an unknown block without its length
      {"no-pilot-gdb.tzx", std::nullopt},
      {"raw-data-block.tzx", std::nullopt},
      {"empty.csw", std::nullopt},
      {"pzx-archive-info-tags.pzx", std::nullopt},
      {"zero-tail.pzx", std::nullopt},
      {"standard-tap.tap", std::nullopt},
      {"trailing-pause-block.tzx", std::nullopt},
      {"turbo-zeropilot.tzx", std::nullopt},
  };
  for (const auto& [name, message] : expected) {
    EXPECT_EQ(test::ErrorOf<TapeError>([&] { LoadTapeImage((dir / name).string(), kHex); }),
              message)
        << name;
  }
}

// Drives a player with a synthetic frame clock and records every change of the EAR level.
struct Deck {
  uint32_t frame = kDefaultTacktsPerInt;
  uint32_t tackts = 0;
  uint8_t latch = 0;
  TapePlayer player;
  uint64_t now = 0;
  std::vector<uint64_t> edges;
  std::vector<std::pair<uint64_t, bool>> heard;

  explicit Deck(TapeCatalogue tape) {
    player.Connect(&tackts, &frame, &latch);
    player.SetEarHook(
        [](void* deck, bool high) {
          auto* d = static_cast<Deck*>(deck);
          d->heard.emplace_back(d->now, high);
        },
        this);
    player.InsertTape(std::move(tape));
  }
  // Steps of `step` T-states until the tape stops (or `limit` T-states have passed).
  void Play(uint32_t step = 1, uint64_t limit = 1ull << 34) {
    player.PlayTape();
    for (const uint64_t end = now + limit; player.Playing() && now < end;) {
      const uint8_t before = player.EarLevel();
      now += step;
      tackts += step;
      if (tackts >= frame) tackts -= frame;
      player.AdvanceTo(tackts);
      if (player.EarLevel() != before) edges.push_back(now);
    }
  }
};

TEST(TapePlayback, TapHeaderBlockTiming) {
  const Bytes block = Header(0, "hello", 300, 10, 300);
  Deck deck(ReadTap(block, kHex));
  deck.Play();
  const auto& e = deck.edges;
  ASSERT_EQ(e.size(), 8064u + 2 + 19 * 16 + 0);
  // No edge at the start: the first comes after a whole pilot period.
  EXPECT_EQ(e[0], 2168u);
  for (size_t i = 1; i < 8064; ++i) ASSERT_EQ(e[i] - e[i - 1], 2168u) << i;
  EXPECT_EQ(e[8064] - e[8063], 667u);
  EXPECT_EQ(e[8065] - e[8064], 735u);
  size_t at = 8066;
  for (size_t byte = 2; byte < block.size(); ++byte) {
    for (int bit = 7; bit >= 0; --bit, at += 2) {
      const uint64_t half = (block[byte] >> bit) & 1 ? 1710 : 855;
      ASSERT_EQ(e[at] - e[at - 1], half) << byte << " " << bit;
      ASSERT_EQ(e[at + 1] - e[at], half) << byte << " " << bit;
    }
  }
  // The level ends low, so the forced low of the pause adds no change; one second later
  // the single-block tape has ended.
  EXPECT_EQ(deck.now - e.back(), 50u * kDefaultTacktsPerInt);
  EXPECT_TRUE(deck.player.TakeCaptionChanged());
  EXPECT_EQ(deck.player.CurrentBlock(), 0u);
}

TEST(TapePlayback, PauseForcesTheLevelLowAfterAMillisecond) {
  // A tone of one pulse leaves the level high; one 0 bit (two 855 periods) ends high too,
  // then a 2 ms pause and a last pulse.
  const Bytes tape = Tzx(
      {Tone(100, 1), Cat({{0x14}, W(855), W(1710), {1}, W(2), {1, 0, 0}, {0x00}}), Tone(100, 1)});
  Deck deck(ReadTzx(tape, kHex));
  deck.Play();
  EXPECT_EQ(deck.edges, (std::vector<uint64_t>{100, 955, 1810, 1810 + 3585, 1810 + 7168 + 100}));
  // The sound hears the level at period ends only: the forced low when the pause ends.
  EXPECT_EQ(deck.heard, (std::vector<std::pair<uint64_t, bool>>{{100, true},
                                                                {955, false},
                                                                {1810, true},
                                                                {1810 + 7168, false},
                                                                {1810 + 7168 + 100, true}}));
}

struct Program {
  const char* name;
  Bytes tape;
  uint8_t latch;
  std::vector<size_t> edgesPerPlay;
  uint32_t finalBlock;
};

TEST(TapePlayback, ControlBlocks) {
  const Bytes turboZeroPilot =
      Cat({{0x11}, W(10), W(10), W(10), W(10), W(10), W(0), {8}, W(0), {1, 0, 0}, {0}});
  const Program cases[] = {
      {"loop of 3", Tzx({LoopStart(3), Tone(5, 3), Tone(5, 5), kLoopEnd}), 0, {24}, 3},
      {"jump of -2", Tzx({Tone(5, 3), Pause(0), Jump(-2)}), 0, {3, 3}, 2},
      {"jump off the tape", Tzx({Tone(5, 3), Jump(-5), Tone(5, 4)}), 0, {3, 0}, 1},
      {"jump of 0", Tzx({Tone(5, 3), Jump(0)}), 0, {3, 0}, 1},
      {"empty loop", Tzx({Tone(5, 1), LoopStart(0), kLoopEnd}), 0, {1}, 2},
      {"pause 0 then play", Tzx({Tone(5, 3), Pause(0), Tone(5, 5)}), 0, {3, 5}, 2},
      {"48K stop, latched", Tzx({Tone(5, 3), kStopIn48k, Tone(5, 5)}), 0x20, {3, 5}, 2},
      {"48K stop, free", Tzx({Tone(5, 3), kStopIn48k, Tone(5, 5)}), 0x10, {8}, 2},
      {"tone of 0 pulses", Tzx({Tone(5, 0), Tone(5, 3)}), 0, {3}, 1},
      {"pilot count 0", Tzx({turboZeroPilot}), 0, {2 + 16}, 0},
      {"pulse sequences", Tzx({{0x13, 0}, {0x13, 3, 5, 0, 6, 0, 7, 0}}), 0, {3}, 1},
      {"timed pause edges", Tzx({Tone(5, 2), Pause(2), Tone(5, 2)}), 0, {5}, 2},
      {"past the last block", Tzx({Tone(5, 2), Cat({{0x30}, Text("end")})}), 0, {2}, 1},
      {"no blocks", Tzx({}), 0, {0}, 0},
      {"jump to the end", Tzx({Tone(5, 3), Jump(2), Tone(5, 4)}), 0, {3}, 2},
      {"used bits 0 and 9 play 8",
       Tzx({Cat({{0x14}, W(5), W(6), {0}, W(0), {1, 0, 0}, {0}}),
            Cat({{0x14}, W(5), W(6), {9}, W(0), {1, 0, 0}, {0}})}),
       0,
       {32},
       1},
  };
  for (const Program& c : cases) {
    Deck deck(ReadTzx(c.tape, kHex));
    deck.latch = c.latch;
    for (size_t play = 0; play < c.edgesPerPlay.size(); ++play) {
      deck.edges.clear();
      deck.Play(3);
      EXPECT_EQ(deck.edges.size(), c.edgesPerPlay[play]) << c.name << " play " << play;
    }
    EXPECT_EQ(deck.player.CurrentBlock(), c.finalBlock) << c.name;
  }
}

// A pilot count of 0 is no pilot: the block starts with its sync pulses and its data
// still plays in full.
TEST(TapePlayback, TurboBlockWithoutPilotStartsAtItsSync) {
  const Bytes turbo = Cat(
      {{0x11}, W(2168), W(667), W(735), W(855), W(1710), W(0), {8}, W(0), {2, 0, 0}, {0xFF, 0x80}});
  Deck deck(ReadTzx(Tzx({turbo, Tone(100, 1)}), kHex));
  deck.Play();
  const auto& e = deck.edges;
  ASSERT_EQ(e.size(), 2u + 32 + 1);
  EXPECT_EQ(e[0], 667u);
  EXPECT_EQ(e[1] - e[0], 735u);
  // 0xFF: sixteen 1710 halves; 0x80: two 1710 halves, then fourteen 855 ones.
  for (size_t i = 2; i < 34; ++i) {
    ASSERT_EQ(e[i] - e[i - 1], i < 20 ? 1710u : 855u) << i;
  }
  EXPECT_EQ(e[34] - e[33], 100u);
}

TEST(TapePlayback, LibraryTurboBlockWithoutPilotIsOverQuickly) {
  VANTREL_REQUIRE_TESTDATA(file, "tape-libspectrum-edgecases/turbo-zeropilot.tzx");
  Deck deck(LoadTapeImage(file.string(), kHex));
  deck.Play(10);
  // Two sync pulses and no data, then its one-second pause.
  EXPECT_EQ(deck.edges.size(), 2u);
  EXPECT_LT(deck.now, 2u * kDefaultTacktsPerInt * 50);
}

// Control blocks take no time, however many there are before the next sound.
TEST(TapePlayback, ManyControlBlocksInARowStillReachTheData) {
  Bytes groups;
  for (int i = 0; i < 2500; ++i) groups = Cat({groups, Cat({{0x30}, Text("x")})});
  Deck deck(ReadTzx(Tzx({groups, Tone(5, 3)}), kHex));
  deck.Play();
  EXPECT_EQ(deck.edges.size(), 3u);
  EXPECT_EQ(deck.player.CurrentBlock(), 2500u);
}

TEST(TapePlayback, PlayAfterStopStartsAFreshPeriod) {
  // Stopped in the middle of a one-second pause, the tape resumes at the next block
  // without waiting out the rest of the pause.
  Deck deck(ReadTzx(Tzx({Cat({{0x10}, W(1000), TapBlock(0xFF, {})}), Tone(5, 3)}), kHex));
  deck.Play(100, 3224 * 2168 + 20000 + 100000);
  ASSERT_TRUE(deck.player.Playing());
  deck.player.StopTape();
  EXPECT_EQ(deck.player.CurrentBlock(), 1u);
  deck.edges.clear();
  deck.Play(1, 100);
  EXPECT_EQ(deck.edges.size(), 3u);
}

TEST(TapePlayback, SelectAndMessageGoToTheWindow) {
  const Bytes tape = Tzx({Cat({{0x31, 5}, Text("Hello")}), Tone(5, 3),
                          Select({{1, "short"}, {2, "long"}}), Tone(5, 5), Tone(5, 7)});
  Deck deck(ReadTzx(tape, kHex));
  deck.Play();
  EXPECT_EQ(deck.edges.size(), 3u);
  EXPECT_EQ(deck.player.CurrentBlock(), 2u);
  const auto message = deck.player.TakeMessage();
  ASSERT_TRUE(message);
  EXPECT_EQ(message->MessageText, "Hello");
  EXPECT_EQ(message->MessageSeconds, 5);
  EXPECT_FALSE(deck.player.TakeMessage());
  const auto select = deck.player.TakeSelect();
  ASSERT_TRUE(select);
  EXPECT_EQ(select->SelectTexts, (Rows{"short", "long"}));
  EXPECT_EQ(select->SelectOffsets, (std::vector<int16_t>{1, 2}));
  deck.edges.clear();
  deck.player.ContinueFromSelect(2);
  deck.Play();
  EXPECT_EQ(deck.edges.size(), 7u);
  // An offset off the tape leaves the player stopped at the select block.
  deck.player.SetCurrentBlock(2);
  deck.player.ContinueFromSelect(-3);
  EXPECT_FALSE(deck.player.Playing());
  EXPECT_EQ(deck.player.CurrentBlock(), 2u);
}

TEST(TapePlayback, DiAt0559StartsAStoppedTapeOnly) {
  // The processor tests check the address; here the machine's wiring to the player.
  Machine m(1);
  m.Tape.InsertTape(ReadTap(TapBlock(0xFF, {1}), kHex));
  *m.Mem.HostPointer(0x0559) = 0xF3;  // DI
  m.State.Regs.PC = 0x0559;
  m.ProcessorStep();
  EXPECT_TRUE(m.Tape.Playing());

  // While playing, the loader's DI leaves the period under way alone.
  Deck deck(ReadTap(TapBlock(0xFF, {1}), kHex));
  deck.Play(1000, 1000);
  deck.player.TapeAutoStart();
  deck.Play(1, 2000);
  ASSERT_FALSE(deck.edges.empty());
  EXPECT_EQ(deck.edges[0], 2168u);
}

TEST(TapePlayback, RealTapesPlayToTheEnd) {
  const char* const tapes[] = {"software/BorderTrix.tap",     "software/DreamWalker48.tzx",
                               "software/ECHOLOGI.TAP",       "software/SHOCK.TAP",
                               "software/nirvana.tap",        "z80-zex-spectrum/z80tests.tap",
                               "z80-zex-spectrum/zexall.tap", "z80-zex-spectrum/zexdoc.tap"};
  for (const char* name : tapes) {
    const fs::path file = test::TestDataFile(name);
    if (file.empty()) GTEST_SKIP() << "test data not found: " << name;
    const TapeCatalogue tape = LoadTapeImage(file.string(), kHex);
    ASSERT_GT(tape.BlockCount(), 1u) << name;
    uint64_t expected = 0;
    if (tape.Kind == TapeKind::Tap) {
      for (uint32_t b = 0; b < tape.BlockCount(); ++b) {
        const uint32_t length = tape.BlockStart[b + 1] - tape.BlockStart[b] - 2;
        expected += (tape.TapeImage[tape.BlockStart[b] + 2] == 0 ? 8064 : 3224) + 2 + 16 * length;
      }
    }
    const size_t size = tape.TapeImage.size();
    Deck deck(tape);
    deck.Play(50);
    EXPECT_FALSE(deck.player.Playing()) << name;
    EXPECT_EQ(deck.player.CurrentBlock(), tape.BlockCount() - 1) << name;
    if (tape.Kind == TapeKind::Tap) {
      EXPECT_EQ(deck.edges.size(), expected) << name;
    } else {
      EXPECT_GT(deck.edges.size(), 8 * size) << name;
    }
  }
}

}  // namespace
}  // namespace vantrel
