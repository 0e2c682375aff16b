// The recorded tape formats: TZX's recorded and call blocks, CSW, PZX and WAV files, read
// into pulses and played by the deck.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "TapeWriters.h"
#include "TempDir.h"
#include "TestData.h"
#include "core/Zlib.h"
#include "tape/TapeImage.h"
#include "tape/TapePlayer.h"

namespace vantrel {
namespace {

using Bytes = std::vector<uint8_t>;
using Runs = std::vector<std::pair<uint64_t, bool>>;  // T-states at a level, high or not
constexpr auto kHex = BlockInfoMode::Hexadecimal;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes W(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}
Bytes L(uint32_t v) {
  return Cat({W(v & 0xFFFF), W(v >> 16)});
}
Bytes Str(const std::string& s) {
  return Bytes(s.begin(), s.end());
}
Bytes Tzx(std::initializer_list<Bytes> blocks) {
  return Cat({Str("ZXTape!"), {0x1A, 1, 20}, Cat(blocks)});
}
// A block whose body starts with its 32-bit length.
Bytes Sized(uint8_t id, const Bytes& body) {
  return Cat({{id}, L(static_cast<uint32_t>(body.size())), body});
}
Bytes Tone(uint16_t length) {
  return Cat({{0x12}, W(length), W(1)});
}
Bytes DirectRecording(uint16_t sampleTackts, uint8_t usedBits, const Bytes& data) {
  return Cat({{0x15}, W(sampleTackts), W(0), {usedBits}, W(data.size()), {0}, data});
}
// A TZX CSW block at 35 kHz (100 T-states a sample).
Bytes CswBlock(uint8_t compression, const Bytes& data) {
  return Sized(0x18, Cat({W(0), {0xB8, 0x88, 0}, {compression}, L(3), data}));
}
const Bytes kRle = {1, 2, 0, 3, 0, 0, 0};  // 1, 2 and 3 samples, the last as 32 bits
Bytes Pzx(std::initializer_list<std::pair<std::string, Bytes>> blocks) {
  Bytes file = Cat({Str("PZXT"), L(2), {1, 0}});
  for (const auto& [tag, body] : blocks) file = Cat({file, Str(tag), L(body.size()), body});
  return file;
}
// A WAV of 16-bit stereo samples, the signal on the left, silence on the right.
Bytes Wav16(const std::vector<int16_t>& left, uint32_t rate) {
  Bytes data;
  for (const int16_t s : left) data = Cat({data, W(static_cast<uint16_t>(s)), W(0)});
  return Cat({Str("RIFF"), L(36 + data.size()), Str("WAVEfmt "), L(16), W(1), W(2), L(rate),
              L(rate * 4), W(4), W(16), Str("data"), L(data.size()), data});
}

// Plays a tape, one T-state a step, until it stops.
struct Recorder {
  uint32_t frame = kDefaultTacktsPerInt;
  uint32_t tackts = 0;
  uint8_t latch = 0;
  TapePlayer player;

  explicit Recorder(TapeCatalogue tape) {
    player.Connect(&tackts, &frame, &latch);
    player.InsertTape(std::move(tape));
  }
  Runs Play(uint64_t limit = uint64_t{1} << 26) {
    Runs runs;
    player.PlayTape();
    bool level = player.EarLevel() != 0;
    uint64_t run = 0;
    for (uint64_t t = 0; player.Playing() && t < limit; ++t) {
      ++run;
      tackts = (tackts + 1) % frame;
      player.AdvanceTo(tackts);
      if ((player.EarLevel() != 0) != level) {
        runs.emplace_back(run, level);
        run = 0;
        level = !level;
      }
    }
    return runs;
  }
};

TEST(TapeFormatRows, RecordedAndLaterTzxBlocksAreListed) {
  const Bytes file =
      Tzx({DirectRecording(79, 4, {0xF0, 0xA0}),
           CswBlock(1, kRle),
           Sized(0x19, Cat({W(0), L(0), {0, 0}, L(8), {1, 2}, {0, 1, 0, 0, 2, 0}, {0x55}})),
           Sized(0x2B, {1}),
           Cat({{0x26}, W(2), W(1), W(2)}),
           {0x27},
           Cat({{0x34}, Bytes(8)}),
           Cat({{0x40, 1}, {2, 0, 0}, {9, 9}}),
           Sized(0x4B, {1, 2, 3})});
  const std::pair<BlockInfoMode, std::vector<std::string>> cases[] = {
      {kHex,
       {"Direct Recording, Length #C samples", "CSW Recording, Length #6 samples",
        "Generalized Data Block, Length #1", "Set Signal Level: High", "Call Sequence (#2 calls)",
        "Return from Sequence", "Emulation Info", "Snapshot", "Unknown Block, ID #4B"}},
      {BlockInfoMode::None,
       {"Direct Recording", "CSW Recording", "Generalized Data Block", "Set Signal Level: High",
        "Call Sequence", "Return from Sequence", "Emulation Info", "Snapshot",
        "Unknown Block, ID #4B"}},
  };
  for (const auto& [mode, rows] : cases) {
    const TapeCatalogue tape = ReadTzx(file, mode);
    EXPECT_EQ(tape.Rows, rows);
    EXPECT_EQ(tape.BlockStart.back(), file.size());
  }
  const Bytes header = {0,   0,   'p', 'r', 'o', 'g', ' ', ' ', ' ', ' ',
                        ' ', ' ', 1,   0,   2,   0,   3,   0,   9};
  const TapeCatalogue pzx = ReadPzx(
      Cat({Str("PZXT"), L(20),       {1, 0},      Str(std::string("Game\0Author\0Me\0Odd", 18)),
           Str("DATA"), L(8 + 19),   L(19 * 8),   W(0),
           {0, 0},      header,      Str("DATA"), L(9),
           L(3),        W(0),        {0, 0},      {0},
           Str("BRWS"), L(2),        Str("go"),   Str("STOP"),
           L(2),        W(1),        Str("STOP"), L(2),
           W(0),        Str("XTRA"), L(0)}),
      kHex);
  EXPECT_EQ(pzx.Rows, (std::vector<std::string>{
                          "Tape Info: Game", " \u2022Author: Me",
                          "Header, Program \"prog\", Line #2, Length #1, Vars #3",
                          "Nonstandard, Bits #3", "Browse Point: go", "Stop Tape if in 48K Mode",
                          "Stop the Tape", "Unknown Block \"XTRA\""}));
  EXPECT_EQ(pzx.BlockOfRow(1), 0u);
}

TEST(TapeFormatPlayback, RecordedSignalsPlayAsWritten) {
  // Pilot symbols: an edge and 300; forced low, 150 and 250. Data symbols: an edge and
  // 100, 100; no edge and 200, 200. Data bits 1 0 1.
  const Bytes gdb = Sized(0x19, Cat({W(0),
                                     L(2),
                                     {2, 2},
                                     L(3),
                                     {2, 2},
                                     {0},
                                     W(300),
                                     W(0),
                                     {2},
                                     W(150),
                                     W(250),
                                     {0, 3, 0, 1, 1, 0},
                                     {0},
                                     W(100),
                                     W(100),
                                     {1},
                                     W(200),
                                     W(200),
                                     {0xA0}}));
  const Bytes zrleData = ZlibDeflate(kRle);
  const Bytes pzx = Pzx({{"PULS", Cat({W(0), W(300), W(0x8002), W(100)})},
                         {"PAUS", L(0x80000000 | 500)},
                         {"DATA", Cat({L(3), W(50), {1, 2}, W(100), W(200), W(200), {0x60}})},
                         {"STOP", W(0)},
                         {"PULS", W(400)}});
  // The threshold follows the signal: its middle and its swing drift, one channel is silent.
  std::vector<int16_t> wave(20, -1000);
  const std::pair<int, int16_t> halves[] = {{10, 9000}, {10, -1000}, {20, 8000}, {20, 0},
                                            {5, 8500},  {5, 500},    {30, 7800}};
  for (const auto& [length, value] : halves) wave.insert(wave.end(), length, value);
  struct Case {
    const char* name;
    TapeCatalogue tape;
    Runs runs;
    Runs again = {};  // after Play once more
  };
  const Case cases[] = {
      {"direct recording",
       ReadTzx(Tzx({DirectRecording(100, 4, {0xF0, 0xA0})}), kHex),
       {{400, true}, {400, false}, {100, true}, {100, false}, {100, true}, {100, false}}},
      {"csw rle after a high level",
       ReadTzx(Tzx({Sized(0x2B, {1}), CswBlock(1, kRle)}), kHex),
       {{100, true}, {200, false}, {300, true}}},
      {"csw z-rle",
       ReadTzx(Tzx({CswBlock(2, zrleData)}), kHex),
       {{100, false}, {200, true}, {300, false}}},
      {"generalized data",
       ReadTzx(Tzx({gdb}), kHex),
       {{300, false},
        {300, true},
        {450, false},
        {450, true},
        {200, false},
        {100, true},
        {300, false},
        {200, true}}},
      {"call sequence",
       ReadTzx(
           Tzx({Cat({{0x26}, W(2), W(2), W(4)}), Tone(700), Tone(100), {0x27}, Tone(200), {0x27}}),
           kHex),
       {{100, false}, {200, true}, {700, false}, {100, true}, {200, false}}},
      {"pzx",
       ReadPzx(pzx, kHex),
       {{300, true},
        {100, false},
        {600, true},
        {100, false},
        {200, true},
        {200, false},
        {200, true},
        {200, false},
        {50, true}},
       {{400, false}}},
      {"wav",
       ReadWav(Wav16(wave, 35000), kHex),
       {{2000, false},
        {1000, true},
        {1000, false},
        {2000, true},
        {2000, false},
        {500, true},
        {500, false},
        {3000, true}}},
  };
  for (const Case& c : cases) {
    Recorder deck(c.tape);
    EXPECT_EQ(deck.Play(), c.runs) << c.name;
    EXPECT_FALSE(deck.player.Playing()) << c.name;
    if (!c.again.empty()) {
      EXPECT_EQ(deck.Play(), c.again) << c.name;
    }
  }
}

// The same tape as CSW (exact and at 44.1 kHz, every version and compression) and as PZX
// plays the ROM saver's pulses of the TAP.
TEST(TapeFormatPlayback, CswAndPzxWrittenFromATapPlayItsPulses) {
  const Bytes tap = Cat({W(5), {0xFF, 1, 0x80, 0x7E, 0x55}});
  const std::vector<uint32_t> pulses = test::TapPulses(tap, 3500);
  struct Case {
    const char* name;
    Bytes file;
    bool pzx;
    uint64_t slack;  // T-states a pulse may differ by: one sample
  };
  const Case cases[] = {
      {"csw v2 rle, 3.5 MHz", test::CswFile(pulses, 3500000, 2, false), false, 0},
      {"csw v2 z-rle, 44.1 kHz", test::CswFile(pulses, 44100, 2, true), false, 80},
      {"csw v1, 22.05 kHz", test::CswFile(pulses, 22050, 1, false), false, 159},
      {"pzx", test::PzxFile(tap, 3500), true, 0},
  };
  for (const Case& c : cases) {
    Recorder deck(c.pzx ? ReadPzx(c.file, kHex) : ReadCsw(c.file, kHex));
    const Runs runs = deck.Play();
    ASSERT_EQ(runs.size(), pulses.size()) << c.name;
    for (size_t i = 0; i < runs.size(); ++i) {
      ASSERT_LE(std::abs(static_cast<int64_t>(runs[i].first) - pulses[i]), c.slack)
          << c.name << " pulse " << i;
      ASSERT_EQ(runs[i].second, i % 2 == 1) << c.name << " pulse " << i;
    }
  }
}

TEST(TapeFormatRefusals, NameTheFileAndTheFault) {
  test::TempDir dir;
  const Bytes csw2 = test::CswFile({100, 200}, 44100, 2, false);
  Bytes csw2Version3 = csw2, cswType3 = csw2, cswBadZrle = test::CswFile({100}, 44100, 2, true);
  csw2Version3[0x17] = 3;
  cswType3[0x21] = 3;
  cswBadZrle.back() ^= 0xFF;
  Bytes cswV1Zrle = test::CswFile({100}, 44100, 1, false);
  cswV1Zrle[0x1B] = 2;
  const Bytes wavHead = Cat({Str("RIFF"), L(100), Str("WAVE")});
  const auto fmt = [](uint32_t coding, uint32_t channels, uint32_t bits) {
    return Cat({Str("fmt "), L(16), W(coding), W(channels), L(44100), L(0), W(channels * bits / 8),
                W(bits)});
  };
  const Bytes samples = Cat({Str("data"), L(4), Bytes(4)});
  const struct {
    const char* name;
    Bytes file;
    std::string message;
  } refusals[] = {
      {"a.csw", Str("Compressed Square Wav"),
       "Not a CSW file (no \"Compressed Square Wave\" signature)"},
      {"b.csw", csw2Version3, "CSW version 3.0 is not known (1.x or 2.x)"},
      {"c.csw", cswType3, "Unknown CSW compression type 3"},
      {"d.csw", cswV1Zrle, "Unknown CSW compression type 2"},
      {"e.csw", cswBadZrle, "The CSW data has Z-RLE data that does not inflate (corrupt data)"},
      {"f.csw", Cat({Bytes(csw2.begin(), csw2.end() - 2), {0, 1}}),
       "The CSW data ends inside a long pulse"},
      {"g.csw", Bytes(csw2.begin(), csw2.begin() + 40), "The CSW header is cut short"},
      {"a.pzx", Str("PZXt\0\0\0\0"), "Not a PZX file (it does not start with a PZXT block)"},
      {"b.pzx", Cat({Str("PZXT"), L(2), {2, 1}}), "PZX version 2.1 is not known (1.x)"},
      {"c.pzx", Cat({Pzx({}), Str("PULS"), L(9), W(1)}), "PZX block 2 is cut short"},
      {"d.pzx", Pzx({{"DATA", Cat({L(9), W(0), {0, 0}, {0xFF}})}}),
       "PZX block 2 (DATA) is cut short"},
      {"e.pzx", Pzx({{"PULS", {0x01, 0x80}}}), "PZX block 2 (PULS) is cut short"},
      {"a.wav", Cat({Str("RIFX"), L(100), Str("WAVE"), fmt(1, 1, 8), samples}),
       "Not a WAV file (no RIFF WAVE header)"},
      {"b.wav", Cat({wavHead, samples, Bytes(30)}), "The WAV file has no format chunk"},
      {"c.wav", Cat({wavHead, fmt(1, 1, 8), Bytes(30)}), "The WAV file has no data chunk"},
      {"d.wav", Cat({wavHead, fmt(3, 1, 32), samples}),
       "The WAV file holds no PCM samples (format 3)"},
      {"e.wav", Cat({wavHead, fmt(1, 1, 24), samples}),
       "WAV samples of 24 bits are not read (8 or 16)"},
      {"f.wav", Cat({wavHead, fmt(1, 0, 8), samples}),
       "The WAV file has no channels or a rate of 0"},
      {"a.tzx", Tzx({CswBlock(3, kRle)}), "TZX block 1 (ID #18) has an unknown compression type 3"},
      {"b.tzx", Tzx({Tone(5), Sized(0x19, Cat({W(0), L(1), {0, 1}, L(0), {0, 0}, {0, 1, 0, 1}}))}),
       "TZX block 2 (ID #19) plays pilot symbol 1 of a table of 1"},
      {"c.tzx", Tzx({Sized(0x19, Cat({W(0), L(0), {0, 0}, L(2), {0, 3}, {0, 0, 0}, {0xC0}}))}),
       "TZX block 1 (ID #19) plays data symbol 3 of a table of 3"},
      {"d.tzx", Tzx({Cat({{0x15}, W(1), W(0), {8}, {9, 0, 0}, {1}})}),
       "TZX block 1 (ID #15) is cut short"},
  };
  for (const auto& r : refusals) {
    const std::filesystem::path path = dir.path() / r.name;
    test::WriteBytes(path, r.file);
    EXPECT_EQ(test::ErrorOf<TapeError>([&] { LoadTapeImage(path.string(), kHex); }),
              "Error! " + std::string(r.name) + ": " + r.message);
  }
  // Read without a file, the reason stands alone.
  EXPECT_EQ(test::ErrorOf<TapeError>([] { ReadPzx(Str("PZX"), kHex); }),
            "Error! Not a PZX file (it does not start with a PZXT block)");
}

// A generalized data block asking for more pulses than memory allows is refused, quickly:
// and a symbol of no pulses repeated four thousand million times costs nothing.
TEST(TapeFormatRefusals, HugeGeneralizedDataIsBounded) {
  Bytes stream;
  for (int i = 0; i < 3000; ++i) stream = Cat({stream, {0}, W(0xFFFF)});
  const Bytes tooMany =
      Tzx({Sized(0x19, Cat({W(0), L(3000), {1, 1}, L(0), {0, 0}, {0}, W(1), stream}))});
  EXPECT_EQ(test::ErrorOf<TapeError>([&] { ReadTzx(tooMany, kHex); }),
            "Error! The recorded signal is too long (over 16777216 pulses)");
  const Bytes silent =
      Tzx({Sized(0x19, Cat({W(0), L(0), {0, 0}, L(0xFFFFFFFF), {1, 1}, {3}, W(0)}))});
  EXPECT_TRUE(ReadTzx(silent, kHex).Pulses.empty());
}

TEST(TapeFormatFiles, LibraryEdgeCaseFilesPlay) {
  VANTREL_REQUIRE_TESTDATA(dir, "tape-libspectrum-edgecases");
  const struct {
    const char* name;
    size_t edges;
  } files[] = {
      {"raw-data-block.tzx", 7},        {"empty-drb.tzx", 0},
      {"no-pilot-gdb.tzx", 32},         {"empty.csw", 0},
      {"pzx-archive-info-tags.pzx", 1}, {"zero-tail.pzx", 4},
  };
  for (const auto& f : files) {
    const TapeCatalogue tape = LoadTapeImage((dir / f.name).string(), kHex);
    Recorder deck(tape);
    EXPECT_EQ(deck.Play().size(), f.edges) << f.name;
    EXPECT_FALSE(deck.player.Playing()) << f.name;
  }
  const TapeCatalogue pzx = LoadTapeImage((dir / "pzx-archive-info-tags.pzx").string(), kHex);
  EXPECT_EQ(pzx.Rows, (std::vector<std::string>{"Tape Info: Test Game", " \u2022Author: Joe Bloggs",
                                                "Pulse Sequence, #1 pulses"}));
}

}  // namespace
}  // namespace vantrel
