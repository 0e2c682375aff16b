// libFuzzer target over the tape readers. Bits 0-2 of the first byte choose the reader
// (0 TAP, 1 TZX, 2 CSW, 3 PZX, 4 WAV; 5-7 wrap round) and bits 4-5 the block description
// mode; the rest is the file. Every accepted tape is then played for a bounded number of
// steps, with bit 3 as the #7FFD paging lock and a short frame, so the player walks jumps,
// loops, calls and selects of any shape. A refusal is a correct answer; anything the
// sanitizers catch is a fault.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tape/TapeImage.h"
#include "tape/TapePlayer.h"

namespace {

constexpr int kSteps = 200000;
constexpr uint32_t kStep = 97;
constexpr uint32_t kFrameLength = 7168;
constexpr int kRestarts = 64;

// Plays the tape from its start, then from wherever each select block points, until the
// step or restart budget is spent.
void PlayBounded(vantrel::TapeCatalogue tape, uint8_t latch) {
  uint32_t tackts = 0;
  uint32_t frame = kFrameLength;
  vantrel::TapePlayer player;
  player.Connect(&tackts, &frame, &latch);
  player.InsertTape(std::move(tape));
  player.PlayTape();
  // A tape that stops at once (a run of control blocks ending in a stop) would otherwise
  // be restarted on every step: a few restarts walk every path.
  int restarts = 0;
  for (int i = 0; i < kSteps; ++i) {
    tackts += kStep;
    if (tackts >= frame) tackts -= frame;
    player.AdvanceTo(tackts);
    if (player.Playing()) continue;
    if (++restarts > kRestarts) break;
    player.TakeMessage();
    if (const auto select = player.TakeSelect(); select && !select->SelectOffsets.empty()) {
      player.ContinueFromSelect(select->SelectOffsets[i % select->SelectOffsets.size()]);
    } else {
      player.PlayTape();
    }
  }
  (void)player.CaptionText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  const auto mode = static_cast<vantrel::BlockInfoMode>(((choice >> 4) & 3) % 3);
  const auto kind = static_cast<vantrel::TapeKind>(1 + (choice & 7) % 5);
  std::vector<uint8_t> file(data + 1, data + size);
  try {
    vantrel::TapeCatalogue tape = vantrel::ReadTape(kind, std::move(file), mode);
    PlayBounded(std::move(tape), (choice & 8) ? 0x20 : 0x00);
  } catch (const vantrel::TapeError&) {
    // A refusal is the right answer to most inputs.
  }
  return 0;
}
