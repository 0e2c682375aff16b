#include "video/ScreenRenderer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "core/MachineState.h"
#include "core/Memory.h"

namespace vantrel {

namespace {

constexpr uint32_t kNever = std::numeric_limits<uint32_t>::max();
constexpr int kPaperBytes = 6144;             // the bitmap; the 768 attribute bytes follow it
constexpr uint32_t kLeftBorderTackts = 32;    // 64 pixels before the paper
constexpr uint32_t kRightBorderOffset = 160;  // from a row's start: left border and paper

// For each bitmap byte, eight bytes of 0xFF where a pixel is ink, leftmost pixel first in
// memory, so a cell is drawn with two ANDs, an OR and one 8-byte store.
constexpr std::array<uint64_t, 256> MakeInkMasks() {
  std::array<uint64_t, 256> masks{};
  for (int b = 0; b < 256; ++b) {
    std::array<uint8_t, 8> pixels{};
    for (int x = 0; x < 8; ++x) pixels[x] = (b & (0x80 >> x)) ? 0xFF : 0x00;
    masks[b] = std::bit_cast<uint64_t>(pixels);
  }
  return masks;
}
constexpr std::array<uint64_t, 256> kInkMasks = MakeInkMasks();

constexpr uint64_t Repeat8(uint8_t index) {
  return index * uint64_t{0x0101010101010101};
}

}  // namespace

VisibleRect VisibleRectFor(const BorderSizes& sizes) {
  return VisibleRect{kPaperLeft - sizes.Left, kPaperTop - sizes.Upper,
                     sizes.Left + sizes.Right + kPaperWidth,
                     sizes.Upper + sizes.Lower + kPaperHeight};
}

ScreenPaletteTable BuildPalette(int base, bool gray) {
  ScreenPaletteTable palette{};
  for (int c = 0; c < 16; ++c) {
    // Bright black lands on the entry of bright blue, which then overwrites it: the
    // fifteen colours take fifteen consecutive entries.
    const int position = base + (c <= 8 ? c : c - 1);
    if (position < 0 || position >= static_cast<int>(palette.size())) continue;
    PaletteEntry& entry = palette[static_cast<size_t>(position)];
    if (gray) {
      const auto level = static_cast<uint8_t>((c & 7) * (c <= 7 ? 25 : 35) + 10);
      entry = {level, level, level, 0};
    } else {
      const uint8_t on = c <= 7 ? 0xBB : 0xFF;
      entry = {static_cast<uint8_t>((c & 2) ? on : 0), static_cast<uint8_t>((c & 4) ? on : 0),
               static_cast<uint8_t>((c & 1) ? on : 0), 0};
    }
  }
  return palette;
}

ScreenRenderer::ScreenRenderer(const MachineState& state, Memory& memory)
    : state_(state),
      memory_(memory),
      bitmap_(new uint8_t[size_t{kFrameWidth} * kFrameHeight]()),
      paper_(new PaperCell[kPaperCellCount + 1]) {
  for (int y = 0; y < kFrameHeight; ++y) rows_[y] = bitmap_.get() + size_t{kFrameWidth} * y;
  sentinelT_ = state.TacktsPerInt + kSentinelSlack;
  ShowSecondPage(false);
  palette_ = BuildPalette(paletteBase_, gray_);
  BuildTables();
  BuildColourPairs();
  StartFrame();
}

ScreenRenderer::~ScreenRenderer() {
  memory_.WatchScreen(nullptr, nullptr, nullptr);
}

void ScreenRenderer::BeforeScreenWrite(void* self) {
  auto* screen = static_cast<ScreenRenderer*>(self);
  screen->DrawPaperUpTo(screen->state_.StepStartT);
}

void ScreenRenderer::BuildTables() {
  const uint32_t frame = sentinelT_ - kSentinelSlack;
  // A row starts its left border 32 T-states before its paper line would.
  const auto RowStartT = [this](int row) {
    return paperStartT_ - kLeftBorderTackts + static_cast<uint32_t>(row - kPaperTop) * lineTackts_;
  };
  // A frame shorter than the picture's lines: the beam goes on into the next frame, so
  // the part of the border that falls past the frame's end is drawn that long after the
  // next frame starts (before row 0, in what is otherwise retrace). Longer frames finish
  // their last row through the carry of StartFrame instead.
  const uint32_t wrap = frame < kBorderCarryT ? std::max(frame, uint32_t{1}) : kNever;
  border_.clear();
  const auto add = [&](uint32_t t, uint32_t units, uint8_t* pixel) {
    while (units > 0) {
      t %= wrap;
      const uint32_t piece = std::min(units, wrap - t);
      border_.push_back({t, piece, pixel});
      t += piece;
      pixel += 2 * size_t{piece};
      units -= piece;
    }
  };
  for (int row = 0; row < kNativeHeight; ++row) {
    uint8_t* pixels = rows_[row];
    if (row < kPaperTop || row >= kPaperTop + kPaperHeight) {
      add(RowStartT(row), kNativeWidth / 2, pixels);
    } else {
      add(RowStartT(row), kPaperLeft / 2, pixels);
      add(RowStartT(row) + kRightBorderOffset, kPaperLeft / 2, pixels + kPaperLeft + kPaperWidth);
    }
  }
  std::stable_sort(
      border_.begin(), border_.end(),
      [](const BorderSegment& a, const BorderSegment& b) { return a.StartT < b.StartT; });
  sentinelIndex_ = static_cast<int>(border_.size());
  border_.push_back({sentinelT_, 0, nullptr});

  PaperCell* cell = paper_.get();
  for (int y = 0; y < kPaperHeight; ++y) {
    for (int bx = 0; bx < 32; ++bx) {
      const auto t = paperStartT_ + static_cast<uint32_t>(y) * lineTackts_ + 4 * bx;
      const auto bitmapOffset =
          static_cast<uint16_t>(((y & 0xC0) << 5) | ((y & 0x07) << 8) | ((y & 0x38) << 2) | bx);
      const auto attributeOffset = static_cast<uint16_t>(kPaperBytes + (y >> 3) * 32 + bx);
      *cell++ = {t, bitmapOffset, attributeOffset, rows_[y + kPaperTop] + kPaperLeft + 8 * bx};
    }
  }
  // Paper lines a short frame has no time for are drawn at its end; the extra cell stops
  // every catch-up.
  for (int i = 0; i < kPaperCellCount; ++i) paper_[i].T = std::min(paper_[i].T, frame);
  paper_[kPaperCellCount].T = kNever;
}

void ScreenRenderer::BuildColourPairs() {
  for (int a = 0; a < 256; ++a) {
    ColourPair& pair = colourPairs_[static_cast<size_t>(a)];
    int ink = 0;
    int paper = 7;
    if (attributes_) {
      ink = (a & 7) | ((a & 0x40) >> 3);
      paper = (a >> 3) & 15;  // bit 6 (bright) lands in bit 3
      // Flashing cells are stored swapped; the flash mask picks swapped or plain.
      if (a >= 128) std::swap(ink, paper);
    }
    const uint64_t ink8 = Repeat8(colourIndex_[static_cast<size_t>(ink)]);
    const uint64_t paper8 = Repeat8(colourIndex_[static_cast<size_t>(paper)]);
    pair = {paper8, ink8 ^ paper8};
  }
}

const uint8_t* ScreenRenderer::DisplayedPage() const {
  return displayedPage_;
}

void ScreenRenderer::ShowSecondPage(bool second) {
  // What the beam passed before the switch came from the old page.
  if (displayedPage_ != nullptr && second != displayedSecond_) DrawPaperUpTo(state_.StepStartT);
  displayedSecond_ = second;
  displayedPage_ = memory_.Bank(second ? 7 : 5);
  memory_.WatchScreen(displayedPage_, &ScreenRenderer::BeforeScreenWrite, this);
}

void ScreenRenderer::DrawCell(const PaperCell& cell, const uint8_t* page) const {
  const uint8_t bits = page[cell.BitmapOffset];
  const ColourPair& pair = colourPairs_[page[cell.AttributeOffset] & flashMask_];
  const uint64_t pixels = pair.Paper ^ (pair.Difference & kInkMasks[bits]);
  std::memcpy(cell.Pixel, &pixels, sizeof pixels);
}

void ScreenRenderer::DrawPaperCells(uint32_t tackts) {
  const uint8_t* page = displayedPage_;
  const ColourPair* pairs = colourPairs_.data();
  const uint8_t flash = flashMask_;  // held here: the pixel stores could alias members
  int index = nextCell_;
  // A line's cells lie side by side in memory and in the picture, 4 T-states apart: the
  // due part of a line is drawn from its first cell's entry with running pointers.
  while (paper_[index].T != kNever && tackts >= paper_[index].T) {
    const PaperCell& first = paper_[index];
    int count = std::min(32 - (index & 31), static_cast<int>((tackts - first.T) / 4) + 1);
    while (paper_[index + count - 1].T == kNever) --count;  // the sentinel cuts the line
    const uint8_t* bits = page + first.BitmapOffset;
    const uint8_t* attributes = page + first.AttributeOffset;
    uint8_t* pixel = first.Pixel;
    for (int i = 0; i < count; ++i) {
      const ColourPair& pair = pairs[attributes[i] & flash];
      const uint64_t pixels = pair.Paper ^ (pair.Difference & kInkMasks[bits[i]]);
      std::memcpy(pixel + 8 * i, &pixels, sizeof pixels);
    }
    index += count;
  }
  nextCell_ = index;
  nextPaperT_ = paper_[index].T;
}

void ScreenRenderer::LoadBorderSegment(int index) {
  if (index >= sentinelIndex_) index = sentinelIndex_;
  const BorderSegment& segment = border_[index];
  borderIndex_ = index;
  borderDrawnTo_ = segment.StartT;
  borderUnitsLeft_ = segment.Length;
  borderPixel_ = segment.Pixel;
}

void ScreenRenderer::DrawBorderUpTo(uint32_t tackts) {
  borderDirty_ = true;
  tackts = std::min(tackts, sentinelT_);
  // A unit is two pixels of one colour index, so a run of units is a plain fill.
  const uint8_t colour = colourIndex_[BorderColour & 7];
  while (tackts > borderDrawnTo_ && borderIndex_ != sentinelIndex_) {
    const uint32_t units = tackts - borderDrawnTo_;
    if (units < borderUnitsLeft_) {
      std::memset(borderPixel_, colour, 2 * size_t{units});
      borderPixel_ += 2 * size_t{units};
      borderDrawnTo_ += units;
      borderUnitsLeft_ -= units;
      return;
    }
    if (borderUnitsLeft_ > 0) std::memset(borderPixel_, colour, 2 * size_t{borderUnitsLeft_});
    // Time between segments is retrace: the next segment starts at its own T.
    LoadBorderSegment(borderIndex_ + 1);
  }
}

void ScreenRenderer::StartFrame() {
  if (borderDrawnTo_ < kBorderCarryT) {
    LoadBorderSegment(0);
  } else {
    // Frames longer than the carry point finish their last segment in the next frame.
    borderIndex_ = -1;
    borderDrawnTo_ -= kBorderCarryT;
  }
  nextCell_ = 0;
  nextPaperT_ = paper_[0].T;
}

void ScreenRenderer::CountPresentedFrame() {
  presentedFrames_.fetch_add(1, std::memory_order_relaxed);
  if (flashCountdown_-- <= 1) {
    flashCountdown_ = flashFrequency_;
    flashMask_ ^= 0x80;
  }
  if (mode_ == RenderingMode::Debug) RedrawAll();
}

void ScreenRenderer::PresentFrame() {
  CountPresentedFrame();
  if (presenter_ != nullptr) {
    const bool whole = borderDirty_;
    borderDirty_ = false;
    presenter_->PresentPicture(*this, whole);
  }
}

void ScreenRenderer::RefreshScreen(uint32_t tackts) {
  DrawBorderUpTo(tackts);
  DrawPaperUpTo(tackts);
  PresentFrame();
}

void ScreenRenderer::RedrawAll() {
  const uint8_t colour = colourIndex_[BorderColour & 7];
  for (int y = 0; y < kNativeHeight; ++y) std::memset(rows_[y], colour, kNativeWidth);
  const uint8_t* page = DisplayedPage();
  for (int i = 0; i < kPaperCellCount; ++i) DrawCell(paper_[i], page);
  borderDirty_ = true;
}

void ScreenRenderer::RecreateScreen() {
  // The displayed page is kept: the machine's choice does not change with the colours.
  palette_ = BuildPalette(paletteBase_, gray_);
  BuildTables();
  BuildColourPairs();
  flashCountdown_ = 10;
  flashMask_ = 0xFF;
  StartFrame();
  RedrawAll();
  PresentFrame();
}

uint8_t ScreenRenderer::AttributeUnderBeam(uint32_t tackts) const {
  if (tackts < paperStartT_) return 0xFF;
  const uint32_t d = tackts - paperStartT_;
  if (d >= kPaperHeight * lineTackts_) return 0xFF;
  const uint32_t line = d / lineTackts_;
  const uint32_t column = d % lineTackts_;
  if (column >= kPaperLineTackts) return 0xFF;  // border or retrace
  // The attribute cell changes every 4 T-states, as the ULA fetches it.
  return DisplayedPage()[kPaperBytes + (line >> 3) * 32 + (column >> 2)];
}

uint8_t ScreenRenderer::FloatingBus(uint32_t tackts) const {
  if (tackts < floatingStartT_) return 0xFF;
  const uint32_t d = tackts - floatingStartT_;
  if (d >= kPaperHeight * lineTackts_) return 0xFF;
  const uint32_t line = d / lineTackts_;
  const uint32_t column = d % lineTackts_;
  if (column >= kPaperLineTackts || (column & 7) >= 4) return 0xFF;
  const uint32_t bx = (column >> 3) * 2 + ((column >> 1) & 1);
  if (column & 1) return DisplayedPage()[kPaperBytes + (line >> 3) * 32 + bx];
  const uint32_t y = line;
  return DisplayedPage()[((y & 0xC0) << 5) | ((y & 0x07) << 8) | ((y & 0x38) << 2) | bx];
}

void ScreenRenderer::SetTiming(MachineTiming timing) {
  const UlaFigures* ula = FiguresOf(timing);
  // The paper is drawn at the ULA's fetch of each bitmap byte.
  paperStartT_ = ula ? ula->FloatingBusStart() : kPaperStartT;
  lineTackts_ = ula ? ula->LineTackts : kLineTackts;
  borderRound_ = ula ? 3 : 0;
  floatingStartT_ = ula ? ula->FloatingBusStart() : 0;
  BuildTables();
  nextPaperT_ = paper_[nextCell_].T;
  if (borderIndex_ >= sentinelIndex_) LoadBorderSegment(sentinelIndex_);
}

void ScreenRenderer::MachinePageSelected(bool second) {
  if (screenPage_ == ScreenPage::Current) {
    ShowSecondPage(second);
  } else {
    rememberedSecond_ = second;
  }
}

void ScreenRenderer::SetFrameLength(uint32_t tacktsPerInt) {
  sentinelT_ = tacktsPerInt + kSentinelSlack;
  BuildTables();
  nextPaperT_ = paper_[nextCell_].T;
  // The rebuilt table may hold more or fewer pieces; a drawer at its end stays there.
  if (borderIndex_ >= sentinelIndex_) LoadBorderSegment(sentinelIndex_);
}

void ScreenRenderer::SetScreenPage(ScreenPage page) {
  if (page == screenPage_) return;
  if (page == ScreenPage::Current) {
    ShowSecondPage(rememberedSecond_);
  } else {
    if (screenPage_ == ScreenPage::Current) rememberedSecond_ = displayedSecond_;
    ShowSecondPage(page == ScreenPage::Second);
  }
  screenPage_ = page;
}

void ScreenRenderer::SetAttributes(bool on) {
  attributes_ = on;
  BuildColourPairs();
}

void ScreenRenderer::SetFlashFrequency(int32_t frames) {
  flashFrequency_ = std::max(frames, int32_t{1});
  flashCountdown_ = std::min(flashCountdown_, flashFrequency_);
}

void ScreenRenderer::SetGrayPalette(bool gray) {
  gray_ = gray;
  palette_ = BuildPalette(paletteBase_, gray_);
}

void ScreenRenderer::SetColourIndices(int paletteBase, const ColourIndexTable& indices) {
  paletteBase_ = paletteBase;
  colourIndex_ = indices;
  palette_ = BuildPalette(paletteBase_, gray_);
  BuildColourPairs();
}

void ScreenRenderer::SetBorderSizes(const BorderSizes& sizes) {
  borderSizes_ = {std::clamp(sizes.Left, 0, kMaxBorderSide),
                  std::clamp(sizes.Right, 0, kMaxBorderSide),
                  std::clamp(sizes.Upper, 0, kMaxBorderTopBottom),
                  std::clamp(sizes.Lower, 0, kMaxBorderTopBottom)};
}

void ScreenRenderer::CopyDoubleHeight() {
  for (int y = 0; y < kNativeHeight; ++y) {
    std::memcpy(rows_[2 * y] + kNativeWidth, rows_[y], kNativeWidth);
    std::memcpy(rows_[2 * y + 1] + kNativeWidth, rows_[y], kNativeWidth);
  }
}

void ScreenRenderer::Save(Saved& out) const {
  out.BorderColour = BorderColour;
  out.BorderChangeHistory = BorderChangeHistory;
  out.NextPaperT = nextPaperT_;
  out.NextCell = nextCell_;
  out.BorderIndex = borderIndex_;
  out.BorderDrawnTo = borderDrawnTo_;
  out.BorderUnitsLeft = borderUnitsLeft_;
  out.BorderPixel = borderPixel_ ? static_cast<size_t>(borderPixel_ - bitmap_.get()) : 0;
  out.BorderDirty = borderDirty_;
  out.FlashMask = flashMask_;
  out.FlashCountdown = flashCountdown_;
  out.MachineSecond = screenPage_ == ScreenPage::Current ? displayedSecond_ : rememberedSecond_;
  // Only the native picture's rows are drawn into; the copy keeps its capacity.
  out.Picture.resize(size_t{kNativeWidth} * kNativeHeight);
  for (int y = 0; y < kNativeHeight; ++y)
    std::memcpy(out.Picture.data() + size_t{kNativeWidth} * y, rows_[y], kNativeWidth);
}

void ScreenRenderer::Restore(const Saved& in) {
  BorderColour = in.BorderColour;
  BorderChangeHistory = in.BorderChangeHistory;
  nextPaperT_ = in.NextPaperT;
  nextCell_ = in.NextCell;
  borderIndex_ = in.BorderIndex;
  borderDrawnTo_ = in.BorderDrawnTo;
  borderUnitsLeft_ = in.BorderUnitsLeft;
  borderPixel_ = bitmap_.get() + in.BorderPixel;
  borderDirty_ = true;  // the whole restored picture is new to the window
  flashMask_ = in.FlashMask;
  flashCountdown_ = in.FlashCountdown;
  if (screenPage_ == ScreenPage::Current) {
    displayedPage_ = nullptr;  // no catch-up from the page left behind
    ShowSecondPage(in.MachineSecond);
  } else {
    rememberedSecond_ = in.MachineSecond;
  }
  if (in.Picture.size() == size_t{kNativeWidth} * kNativeHeight) {
    for (int y = 0; y < kNativeHeight; ++y)
      std::memcpy(rows_[y], in.Picture.data() + size_t{kNativeWidth} * y, kNativeWidth);
  }
}

}  // namespace vantrel
