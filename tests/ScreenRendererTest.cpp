// The picture in step with the beam: when each paper byte and border unit is drawn, and
// the colour rules applied on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "MachineFixture.h"
#include "machine/Machine.h"
#include "video/FrameMailbox.h"
#include "video/FullScreenPicture.h"

namespace vantrel {
namespace {

using test::Ints;

// The beam model, written out independently of the renderer's tables.
constexpr uint32_t RowStart(int row) {
  return static_cast<uint32_t>(row + 32) * 224 + 37;
}
constexpr uint32_t PaperByteT(int y, int bx) {
  return static_cast<uint32_t>(y + 80) * 224 + 69 + 4 * static_cast<uint32_t>(bx);
}

class ScreenRendererTest : public testing::Test {
 protected:
  uint8_t* Page5() { return m.Mem.Bank(5); }
  uint8_t Pixel(int x, int y) { return m.Screen.Row(y)[x]; }
  void BorderAt(uint32_t tackts, uint8_t colour) {
    m.State.Regs.Tackts = tackts;
    m.Ports.PortWrite(0x00FE, colour);
  }
  // Palette index of a colour number in the window.
  static uint8_t Index(int colour) { return kWindowColourIndices[static_cast<size_t>(colour)]; }

  Machine m{1};
};

TEST_F(ScreenRendererTest, PaperByteShowsThisFrameOnlyIfWrittenBeforeItsBeamTime) {
  Page5()[0] = 0xF0;     // y 0, bx 0: four ink pixels, four paper pixels
  Page5()[6144] = 0x38;  // black ink on white paper
  m.Screen.DrawPaperUpTo(PaperByteT(0, 0) - 1);
  EXPECT_EQ(Pixel(64, 48), 0) << "nothing is drawn before the byte's time";
  m.Screen.DrawPaperUpTo(PaperByteT(0, 0));
  // Ink, ink, paper; the next byte is not due yet.
  EXPECT_EQ(Ints(Pixel(64, 48), Pixel(67, 48), Pixel(68, 48), Pixel(72, 48)),
            Ints(Index(0), Index(0), Index(7), 0));

  // Written after its time: the old byte stays until the next frame draws it, whatever
  // the later draw calls ask for.
  Page5()[0] = 0x00;
  m.Screen.DrawPaperUpTo(PaperByteT(191, 31));
  m.Screen.DrawPaperUpTo(100);
  m.Screen.DrawPaperUpTo(PaperByteT(191, 31));
  EXPECT_EQ(Pixel(64, 48), Index(0));
}

TEST_F(ScreenRendererTest, BorderColourChangeSplitsItsRowAtTheBeam) {
  m.Screen.BorderColour = 1;
  // Rows 0-47 are one 192-unit segment each; unit k is pixels 2k and 2k+1.
  for (int row : {0, 10, 47}) {
    for (uint32_t k : {0u, 1u, 95u, 191u}) {
      m.Screen.StartFrame();
      m.Screen.BorderColour = 1;
      BorderAt(RowStart(row) + k, 2);
      m.Screen.DrawBorderUpTo(kDefaultTacktsPerInt);
      // The following rows take the new colour.
      EXPECT_EQ(
          Ints(Pixel(2 * k - (k > 0), row), Pixel(2 * k, row), Pixel(383, row), Pixel(0, row + 1)),
          Ints(Index(k > 0 ? 1 : 2), Index(2), Index(2), Index(2)))
          << row << " " << k;
    }
  }
}

TEST_F(ScreenRendererTest, PaperRowsHaveTwoBorderSegmentsAndRetraceDrawsNothing) {
  m.Screen.BorderColour = 1;
  const int row = 100;
  // In the left border: 32 units from the row's start.
  BorderAt(RowStart(row) + 10, 2);
  // During the paper (no border there): the right segment starts in the new colour.
  BorderAt(RowStart(row) + 100, 3);
  // In the right border, which starts 160 T-states after the row.
  BorderAt(RowStart(row) + 160 + 5, 4);
  // In retrace, after the right border's 32 units: the next row starts in colour 5.
  BorderAt(RowStart(row) + 200, 5);
  m.Screen.DrawBorderUpTo(kDefaultTacktsPerInt);
  // The paper area (from x 64) is not the border drawer's.
  EXPECT_EQ(
      Ints(Pixel(19, row), Pixel(20, row), Pixel(63, row), Pixel(64, row), Pixel(320, row),
           Pixel(329, row), Pixel(330, row), Pixel(383, row), Pixel(0, row + 1)),
      Ints(Index(1), Index(2), Index(2), 0, Index(3), Index(3), Index(4), Index(4), Index(5)));
}

// A 48K frame (69888 T-states) has 312 lines, the picture's rows reach line 319: the beam
// goes on into the next frame, so the last rows are drawn in its first lines.
TEST_F(ScreenRendererTest, ShortFrameDrawsEveryRowFromTheLinesItHas) {
  test::MakeIdle(m);
  m.State.Regs.IFF1 = 0;
  m.SetTacktsPerInt(69888);
  Page5()[0x17E0] = 0x00;          // paper line 191, byte 0
  Page5()[6144 + 23 * 32] = 0x0A;  // blue paper, red ink
  BorderAt(100, 3);
  m.State.Regs.Tackts = 0;
  for (uint32_t frames = m.State.FrameCount + 2; m.State.FrameCount < frames;) m.ProcessorStep();
  for (int row = 0; row < kNativeHeight; ++row) {
    for (int x : {0, 63, 320, 383}) ASSERT_EQ(Pixel(x, row), Index(3)) << row << " " << x;
  }

  // Row 280 runs from T 37 of the next frame; the last 5 units of row 279 from T 0.
  m.Screen.StartFrame();
  m.Screen.BorderColour = 1;
  BorderAt(2, 4);
  BorderAt(37 + 96, 2);
  m.Screen.DrawBorderUpTo(69888);
  EXPECT_EQ(Ints(Pixel(373, 279), Pixel(377, 279), Pixel(378, 279), Pixel(191, 280),
                 Pixel(192, 280), Pixel(0, 287)),
            Ints(Index(2), Index(1), Index(4), Index(4), Index(2), Index(2)));

  // Paper lines past a still shorter frame's end are drawn at its end.
  m.SetTacktsPerInt(50000);
  m.Screen.StartFrame();
  Page5()[0x17E0] = 0xFF;
  m.Screen.DrawPaperUpTo(49999);
  EXPECT_EQ(Pixel(64, 239), Index(1));
  m.Screen.DrawPaperUpTo(50000);
  EXPECT_EQ(Pixel(64, 239), Index(2));
}

TEST_F(ScreenRendererTest, LongFrameCarriesItsUnfinishedSegmentIntoTheNextFrame) {
  m.SetTacktsPerInt(72000);
  m.Screen.BorderColour = 6;
  // Row 287 runs from 71493 to 71685; the frame's end finds it 3 units short.
  m.Screen.DrawBorderUpTo(71682);
  EXPECT_EQ(Ints(Pixel(2 * 189 - 1, 287), Pixel(2 * 189, 287)), Ints(Index(6), 0));
  m.Screen.StartFrame();
  m.Screen.BorderColour = 2;
  m.Screen.DrawBorderUpTo(1);
  EXPECT_EQ(Pixel(2 * 189, 287), 0) << "the carried position is T 2 of the new frame";
  m.Screen.DrawBorderUpTo(10);  // finishes row 287 in the colour of now; row 0 waits
  EXPECT_EQ(Ints(Pixel(2 * 189, 287), Pixel(383, 287), Pixel(0, 0)),
            Ints(Index(2), Index(2), Index(6)));
  m.Screen.DrawBorderUpTo(RowStart(0) + 1);
  EXPECT_EQ(Pixel(0, 0), Index(2));
}

TEST_F(ScreenRendererTest, AttributeUnderBeamFollowsTheUlaFetch) {
  for (int i = 0; i < 768; ++i) Page5()[6144 + i] = static_cast<uint8_t>(i & 0x7F);
  auto at = [&](uint32_t t) { return m.Screen.AttributeUnderBeam(t); };
  // The ninth line is attribute row 1; past the paper and in the borders the bus is 0xFF.
  EXPECT_EQ(Ints(at(0), at(17988), at(17989), at(17992), at(17993), at(17989 + 127),
                 at(17989 + 8 * 224), at(17989 + 191 * 224 + 127), at(17989 + 192 * 224)),
            Ints(0xFF, 0xFF, 0, 0, 1, 31, 32 & 0x7F, 767 & 0x7F, 0xFF));
  for (uint32_t t = 17989 + 128; t < 17989 + 224; ++t) EXPECT_EQ(at(t), 0xFF) << t;
  // An unanswered read of port #FF is where a program sees it.
  m.State.Regs.Tackts = 17993;
  EXPECT_EQ(m.Ports.PortRead(0x40FF), Page5()[6145]);
}

// The default flash phase is seen in the ROM's flashing cursor; a frequency of 1 swaps
// every frame, 0 is taken as 1, and with attributes off all is black on white.
TEST_F(ScreenRendererTest, FlashFrequencyAndAttributesOff) {
  Page5()[0] = 0xF0;
  Page5()[6144] = 0x80 + 0x40 + 0x38 + 1;  // flash, bright white paper, blue ink
  std::vector<long long> seen;
  for (int frequency : {1, 1, 0, -1, -1}) {
    if (frequency < 0) m.Screen.SetAttributes(false);
    m.Screen.SetFlashFrequency(frequency < 0 ? 1 : frequency);
    m.Screen.PresentFrame();
    m.Screen.RedrawAll();
    seen.insert(seen.end(), {m.Screen.FlashMask(), Pixel(64, 48), Pixel(68, 48)});
  }
  m.Screen.SetAttributes(true);
  m.Screen.RedrawAll();
  seen.push_back(Pixel(68, 48));  // drawn again once switched back
  EXPECT_EQ(seen, Ints(0x7F, Index(9), Index(15), 0xFF, Index(15), Index(9), 0x7F, Index(9),
                       Index(15), 0xFF, Index(0), Index(7), 0x7F, Index(0), Index(7), Index(15)));
}

TEST_F(ScreenRendererTest, OnlyABorderChangeAsksForTheWholePicture) {
  FrameMailbox mailbox;
  m.Screen.SetPresenter(&mailbox);
  std::vector<long long> whole;
  for (bool border : {false, false, true}) {  // the first picture is whole
    if (border) m.Screen.DrawBorderUpTo(100);
    m.Screen.PresentFrame();
    whole.push_back(mailbox.TakeLatest()->WholePicture);
  }
  EXPECT_EQ(whole, Ints(1, 0, 1));
  m.Screen.SetPresenter(nullptr);
}

// The paper is drawn lazily (before screen writes, page switches and at the frame end).
// A program racing the beam through the whole screen must leave exactly the picture that
// drawing after every instruction gives.
TEST(ScreenRendererLazyPaper, PictureEqualsDrawingAfterEveryInstruction) {
  const uint8_t program[] = {
      0x21, 0x00, 0x40,  //       LD HL,#4000
      0x70,              // loop: LD (HL),B
      0x04,              //       INC B
      0x23,              //       INC HL
      0x7C,              //       LD A,H
      0xFE, 0x5B,        //       CP #5B
      0x38, 0xF8,        //       JR C,loop
      0x18, 0xF3,        //       JR #8000
  };
  Machine lazy{5};
  Machine eager{5};
  for (Machine* m : {&lazy, &eager}) {
    test::MakeFlatRam(*m);
    test::Load(*m, 0x8000, {std::begin(program), std::end(program)});
    m->State.Regs.IFF1 = 0;
    m->State.NormalSpeed = false;
  }
  for (uint32_t frame = 1; frame <= 4; ++frame) {
    while (lazy.State.FrameCount < frame) lazy.ProcessorStep();
    while (eager.State.FrameCount < frame) {
      eager.ProcessorStep();
      eager.Screen.DrawPaperUpTo(eager.State.Regs.Tackts);
    }
    for (int y = 0; y < kNativeHeight; ++y) {
      ASSERT_EQ(0, std::memcmp(lazy.Screen.Row(y), eager.Screen.Row(y), kNativeWidth))
          << "frame " << frame << " row " << y;
    }
  }
  // The frame really changed under the beam: the top and bottom paper rows differ.
  EXPECT_NE(0, std::memcmp(lazy.Screen.Row(48) + 64, lazy.Screen.Row(239) + 64, 256));
}

// The full-screen picture: which part of the frame each video mode shows, where, and how
// interlacing leaves lines dark (mode 0 is checked through the screen panel).

constexpr uint32_t kBlack = 0xFF000000u;

class FullScreenPictureTest : public testing::Test {
 protected:
  FullScreenPictureTest() : native(size_t{kNativeWidth} * kNativeHeight) {
    // Each native pixel gets its own colour, so every output pixel names its source.
    for (int i = 1; i < 256; ++i) palette[i] = {static_cast<uint8_t>(i), 0, 0, 0};
  }
  // Marks native pixel (x, y) with palette index `index`.
  void Mark(int x, int y, uint8_t index) { native[size_t(y) * kNativeWidth + x] = index; }
  uint32_t At(int mode, int x, int y) const {
    return out[size_t(y) * FullScreenSizeOf(mode).Width + x];
  }
  static uint32_t Red(int index) { return 0xFF000000u | (uint32_t(index) << 16); }

  std::vector<uint8_t> native;
  ScreenPaletteTable palette{};
  std::vector<uint32_t> out;
};

TEST_F(FullScreenPictureTest, Mode1InterlacedStartsAtLine13Column16WithOddLinesBlack) {
  Mark(0, 0, 5);
  ComposeFullScreen(native.data(), palette, 1, true, true, out);
  ASSERT_EQ(out.size(), 800u * 600u);
  // The second line of each row stays black.
  EXPECT_EQ(Ints(At(1, 16, 13), At(1, 17, 13), At(1, 16, 14), At(1, 15, 13), At(1, 16, 12)),
            Ints(Red(5), Red(5), kBlack, kBlack, kBlack));
  ComposeFullScreen(native.data(), palette, 1, true, false, out);
  EXPECT_EQ(At(1, 16, 14), Red(5));
  // Without direct writes the picture starts a line higher and is never interlaced.
  ComposeFullScreen(native.data(), palette, 1, false, true, out);
  EXPECT_EQ(Ints(At(1, 16, 12), At(1, 16, 13)), Ints(Red(5), Red(5)));
}

TEST_F(FullScreenPictureTest, Mode2TriplesAndInterlacesTwoLinesOfThree) {
  Mark(20, 8, 7);
  Mark(359, 263, 8);
  ComposeFullScreen(native.data(), palette, 2, true, true, out);
  ASSERT_EQ(out.size(), 1024u * 768u);
  EXPECT_EQ(
      Ints(At(2, 2, 0), At(2, 4, 1), At(2, 2, 2), At(2, 2 + 339 * 3 + 2, 255 * 3 + 1), At(2, 1, 0)),
      Ints(Red(7), Red(7), kBlack, Red(8), kBlack));
  // The plain copy shows source (22, 16) at (1, 0).
  Mark(22, 16, 9);
  ComposeFullScreen(native.data(), palette, 2, false, false, out);
  EXPECT_EQ(Ints(At(2, 1, 0), At(2, 3, 2)), Ints(Red(9), Red(9)));
  // An unknown mode number reads as mode 0.
  ComposeFullScreen(native.data(), palette, 7, true, false, out);
  EXPECT_EQ(out.size(), 640u * 480u);
}

// A machine whose whole picture is one palette index: border and paper of colour c, no
// ink, so a frame that mixes two colours can only be a torn one.
class SolidPicture {
 public:
  SolidPicture() : machine_(std::make_unique<Machine>(1)) {}

  void Present(FrameMailbox& mailbox, uint8_t colour, bool whole) {
    machine_->Screen.BorderColour = colour & 7;
    uint8_t* page = machine_->Mem.Bank(5);
    std::fill(page, page + 6144, uint8_t{0});
    std::fill(page + 6144, page + 6912, static_cast<uint8_t>((colour & 7) << 3));
    machine_->Screen.RedrawAll();
    mailbox.PresentPicture(machine_->Screen, whole);
  }
  Machine& machine() { return *machine_; }

 private:
  std::unique_ptr<Machine> machine_;
};

bool IsSolid(const PresentedFrame& frame, uint8_t colour) {
  return std::all_of(frame.Pixels.begin(), frame.Pixels.end(),
                     [colour](uint8_t p) { return p == colour; });
}

// The producer publishes frames of one colour each, the colour following from the
// frame's number, while the consumer takes what it can. Each frame taken must be whole
// (one colour), the one its number says, newer than the last, and carry the whole flag
// whenever a whole frame was published since the last take.
TEST(FrameMailboxConcurrency, ProducerAndConsumerNeverSeeATornFrame) {
  constexpr uint64_t kFrames = 3000;
  const auto colourOf = [](uint64_t sequence) { return static_cast<uint8_t>(sequence % 8); };
  const auto wholeAt = [](uint64_t sequence) { return sequence % 97 == 0; };

  FrameMailbox mailbox;
  SolidPicture picture;
  std::atomic<bool> done{false};
  std::atomic<uint64_t> notified{0};
  mailbox.SetNotify([&] { ++notified; });
  std::thread producer([&] {
    for (uint64_t sequence = 1; sequence <= kFrames; ++sequence) {
      picture.Present(mailbox, colourOf(sequence), wholeAt(sequence));
    }
    done.store(true, std::memory_order_release);
  });

  uint64_t lastSequence = 0;
  uint64_t taken = 0;
  const PresentedFrame* last = nullptr;
  bool finished = false;
  bool failed = false;
  // The checks stop the loop rather than return, so the producer is always joined.
  while (!finished && !failed) {
    // Read before taking: once done, one more take collects the last frame.
    finished = done.load(std::memory_order_acquire);
    const PresentedFrame* frame = mailbox.TakeLatest();
    if (frame == nullptr) {
      std::this_thread::yield();
      continue;
    }
    ++taken;
    bool wholeSince = false;
    for (uint64_t s = lastSequence + 1; s <= frame->Sequence; ++s) wholeSince |= wholeAt(s);
    EXPECT_GT(frame->Sequence, lastSequence);
    EXPECT_TRUE(IsSolid(*frame, colourOf(frame->Sequence))) << "frame " << frame->Sequence;
    EXPECT_EQ(frame->WholePicture, wholeSince) << "frame " << frame->Sequence;
    failed = testing::Test::HasFailure();
    lastSequence = frame->Sequence;
    last = frame;
  }
  producer.join();
  if (failed) return;
  EXPECT_EQ(Ints(lastSequence, notified, taken > 1), Ints(kFrames, kFrames, 1));
  EXPECT_EQ(last->Palette, picture.machine().Screen.Palette());
}

}  // namespace
}  // namespace vantrel
