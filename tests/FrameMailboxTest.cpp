#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "MachineFixture.h"
#include "core/Machine.h"
#include "video/FrameMailbox.h"

namespace vantrel {
namespace {

using test::Ints;

// A machine whose whole picture is one palette index: border and paper of colour c, no
// ink, so a frame that mixes two colours can only be a torn one.
class SolidPicture {
 public:
  SolidPicture() : machine_(std::make_unique<Machine>(1)) {}

  void Present(FrameMailbox& mailbox, uint8_t colour, bool whole) {
    machine_->State.BorderColour = colour & 7;
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

TEST(FrameMailbox, TakesTheNewestOnceAndKeepsTheTakenFrameIntact) {
  FrameMailbox mailbox;
  SolidPicture picture;
  int calls = 0;
  const PresentedFrame* seen = nullptr;
  mailbox.SetNotify([&] { ++calls; });
  EXPECT_EQ(mailbox.TakeLatest(), nullptr);  // nothing until published
  for (uint8_t c = 1; c <= 5; ++c) picture.Present(mailbox, c, false);
  const PresentedFrame* taken = mailbox.TakeLatest();
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(Ints(taken->Sequence, IsSolid(*taken, 5), calls, mailbox.Published()),
            Ints(5, 1, 5, 5));
  EXPECT_EQ(taken->Palette, picture.machine().Screen.Palette());
  EXPECT_EQ(mailbox.TakeLatest(), nullptr);  // taken once only

  // Later frames go to the other two slots and leave the taken one alone; the frame is
  // already there when the notification comes.
  mailbox.SetNotify([&] { seen = mailbox.TakeLatest(); });
  picture.Present(mailbox, 6, false);
  picture.Present(mailbox, 7, false);
  ASSERT_NE(seen, nullptr);
  EXPECT_NE(seen, taken);
  EXPECT_EQ(Ints(IsSolid(*taken, 5), IsSolid(*seen, 7)), Ints(1, 1));
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
