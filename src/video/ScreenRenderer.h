#pragma once

#include <cstdint>

namespace vantrel {

// The picture as the machine drives it: catch-ups with the beam, the frame's start and
// hand-over, and what the ULA puts on the data bus. Drawing itself is added on top.
class ScreenRenderer {
 public:
  void DrawPaperUpTo(uint32_t /*tackts*/) {}
  void DrawBorderUpTo(uint32_t /*tackts*/) {}
  void StartFrame() {}
  void PresentFrame() { ++presentedFrames_; }
  // The attribute byte the beam reads at this moment, 0xFF while it is in the border.
  uint8_t AttributeUnderBeam(uint32_t /*tackts*/) const { return 0xFF; }
  // Bank 5 or 7, from bit 3 of the paging port.
  void SetScreenBank(uint8_t bank) { screenBank_ = bank; }
  uint8_t ScreenBank() const { return screenBank_; }
  uint32_t PresentedFrames() const { return presentedFrames_; }

 private:
  uint8_t screenBank_ = 5;
  uint32_t presentedFrames_ = 0;
};

}  // namespace vantrel
