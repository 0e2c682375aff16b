#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "machine/Machine.h"
#include "video/FrameMailbox.h"

namespace vantrel {
namespace {

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

TEST(FrameMailbox, NothingToTakeUntilPublished) {
  FrameMailbox mailbox;
  EXPECT_EQ(mailbox.TakeLatest(), nullptr);
  SolidPicture picture;
  picture.Present(mailbox, 2, true);
  const PresentedFrame* frame = mailbox.TakeLatest();
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(IsSolid(*frame, 2));
  EXPECT_EQ(frame->Palette, picture.machine().Screen.Palette());
  // Taken once only.
  EXPECT_EQ(mailbox.TakeLatest(), nullptr);
}

TEST(FrameMailbox, TakesTheNewestAndKeepsTheTakenFrameIntact) {
  FrameMailbox mailbox;
  SolidPicture picture;
  for (uint8_t c = 1; c <= 5; ++c) picture.Present(mailbox, c, false);
  const PresentedFrame* taken = mailbox.TakeLatest();
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(taken->Sequence, 5u);
  EXPECT_TRUE(IsSolid(*taken, 5));

  // Later frames go to the other two slots and leave the taken one alone.
  for (uint8_t c = 6; c <= 7; ++c) picture.Present(mailbox, c, false);
  EXPECT_TRUE(IsSolid(*taken, 5));
  const PresentedFrame* next = mailbox.TakeLatest();
  ASSERT_NE(next, nullptr);
  EXPECT_NE(next, taken);
  EXPECT_TRUE(IsSolid(*next, 7));
}

TEST(FrameMailbox, WholePictureCoversEveryFrameSinceTheLastTake) {
  FrameMailbox mailbox;
  SolidPicture picture;
  // A border change in a frame the window never saw must still reach it.
  picture.Present(mailbox, 1, true);
  picture.Present(mailbox, 2, false);
  picture.Present(mailbox, 3, false);
  const PresentedFrame* frame = mailbox.TakeLatest();
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->WholePicture);

  // Once taken, paper-only frames are paper-only again.
  picture.Present(mailbox, 4, false);
  picture.Present(mailbox, 5, false);
  frame = mailbox.TakeLatest();
  ASSERT_NE(frame, nullptr);
  EXPECT_FALSE(frame->WholePicture);

  picture.Present(mailbox, 6, false);
  picture.Present(mailbox, 7, true);
  frame = mailbox.TakeLatest();
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->WholePicture);
}

TEST(FrameMailbox, NotifiesAfterEachPublish) {
  FrameMailbox mailbox;
  SolidPicture picture;
  int calls = 0;
  const PresentedFrame* seen = nullptr;
  mailbox.SetNotify([&] {
    ++calls;
    seen = mailbox.TakeLatest();  // the frame is already there when the call comes
  });
  picture.Present(mailbox, 3, false);
  EXPECT_EQ(calls, 1);
  ASSERT_NE(seen, nullptr);
  EXPECT_TRUE(IsSolid(*seen, 3));
  picture.Present(mailbox, 4, false);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(mailbox.Published(), 2u);
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
  std::thread producer([&] {
    for (uint64_t sequence = 1; sequence <= kFrames; ++sequence) {
      picture.Present(mailbox, colourOf(sequence), wholeAt(sequence));
    }
    done.store(true, std::memory_order_release);
  });

  uint64_t lastSequence = 0;
  uint64_t taken = 0;
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
  }
  producer.join();
  if (failed) return;
  EXPECT_EQ(lastSequence, kFrames);
  EXPECT_GT(taken, 1u);
}

}  // namespace
}  // namespace vantrel
