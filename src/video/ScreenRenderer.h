#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/Compiler.h"
#include "core/UlaTiming.h"
#include "video/BorderSize.h"

namespace vantrel {

struct MachineState;
class Memory;
class ScreenRenderer;

// The picture: 768 x 576 palette indices. Columns 0-383 of rows 0-287 hold the native
// frame (64 + 256 + 64 pixels wide, 48 + 192 + 48 rows); columns 384-767 of all 576 rows
// hold its double-height copy, made just before a double-size window is drawn.
inline constexpr int kFrameWidth = 768;
inline constexpr int kFrameHeight = 576;
inline constexpr int kNativeWidth = 384;
inline constexpr int kNativeHeight = 288;
inline constexpr int kPaperLeft = 64;  // the paper's top-left pixel in the native frame
inline constexpr int kPaperTop = 48;
inline constexpr int kPaperWidth = 256;
inline constexpr int kPaperHeight = 192;

// Beam timing of the default frame, the same on every model: 224 T-states a line, the
// picture's first row is line 32 of the frame, one T-state is two pixels. The Sinclair
// timings place the paper at the ULA's fetch, with their own line length.

inline constexpr uint32_t kLineTackts = 224;
inline constexpr uint32_t kPaperStartT = 17989;  // the first paper byte
inline constexpr uint32_t kPaperLineTackts = 128;
// Drawing stops this long after the frame's end, so a last instruction that runs over
// the frame's length does not wrap into the next picture.
inline constexpr uint32_t kSentinelSlack = 30;
// A border segment still being drawn at this T is carried into the next frame.
inline constexpr uint32_t kBorderCarryT = 71680;

inline constexpr int kPaletteColours = 15;  // bright black is black

struct PaletteEntry {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
  uint8_t Flags = 0;
  bool operator==(const PaletteEntry&) const = default;
};
using ScreenPaletteTable = std::array<PaletteEntry, 256>;

// Which RAM page the picture shows: the one the machine selects, or page 5 or 7 fixed.
enum class ScreenPage : uint8_t { Current = 0, First = 1, Second = 2 };
// Real draws in step with the beam; Debug redraws every shown frame from memory at once.
enum class RenderingMode : uint8_t { Real, Debug };

// The rectangle of the native frame that the border sizes leave visible.
struct VisibleRect {
  int X = 0;
  int Y = 0;
  int Width = kNativeWidth;
  int Height = kNativeHeight;
  bool operator==(const VisibleRect&) const = default;
};
VisibleRect VisibleRectFor(const BorderSizes& sizes);

// Where finished frames go: the screen window, or nothing for a headless run. Called on
// the thread that runs the machine; `wholePicture` is false when only the paper changed
// since the last hand-over, so a window may copy just the 256 x 192 paper.
class FramePresenter {
 public:
  virtual ~FramePresenter() = default;
  virtual void PresentPicture(const ScreenRenderer& screen, bool wholePicture) = 0;
};

// Colour number (bright x 8 + GRB) to palette index.
using ColourIndexTable = std::array<uint8_t, 16>;
inline constexpr ColourIndexTable kWindowColourIndices = {0, 1, 2, 3,  4,  5,  6,  7,
                                                          0, 8, 9, 10, 11, 12, 13, 14};

// Builds the 256-entry palette: unused entries black, then colours 0-15 in colour or gray
// at base + c (c <= 8) and base + c - 1 (c >= 9).
ScreenPaletteTable BuildPalette(int base, bool gray);

// Turns video RAM and the border colour into the indexed picture in step with the
// processor's T-state counter, so mid-frame changes (border stripes, multicolour) land
// where the television's beam would have drawn them. Every beam position, destination
// and memory offset is worked out once into two tables, so drawing needs no arithmetic
// per pixel and the per-instruction call costs one comparison when nothing is due.
class ScreenRenderer {
 public:
  // Watches memory's writes to the displayed screen for as long as it lives.
  ScreenRenderer(const MachineState& state, Memory& memory);
  ScreenRenderer(const ScreenRenderer&) = delete;
  ScreenRenderer& operator=(const ScreenRenderer&) = delete;
  ~ScreenRenderer();

  // After every instruction: draws every paper byte whose beam time is <= tackts. The
  // bytes are read as they are drawn, so a byte changed after its time shows next frame.
  VANTREL_ALWAYS_INLINE void DrawPaperUpTo(uint32_t tackts) {
    if (tackts >= nextPaperT_) [[unlikely]]
      DrawPaperCells(tackts);
  }
  // Draws the border in the current colour up to tackts (before a colour change, and at
  // the frame end while the border changed in this frame or the one before).
  void DrawBorderUpTo(uint32_t tackts);
  // The frame end, before the picture is shown: the paper up to tackts, and the border
  // while it changed in this frame or the one before; then the history moves on a frame.
  void FinishFrame(uint32_t tackts) {
    DrawPaperUpTo(tackts);
    if (BorderChangeHistory & kBorderRecentChanges) DrawBorderUpTo(tackts);
    BorderChangeHistory = static_cast<uint8_t>(BorderChangeHistory << 1);
  }
  // The frame end, after PresentFrame: rewinds both drawers.
  void StartFrame();
  // A write to the ULA port: bits 0-2 are the border colour from this T-state on.
  void SetBorderColour(uint8_t colour, uint32_t tackts) {
    colour &= 7;
    if (colour == BorderColour) return;
    // A Sinclair ULA takes the border colour in only every 4 T-states (8 pixels), in step
    // with its paper bytes.
    tackts += (paperStartT_ - tackts) & borderRound_;
    // The border so far is drawn in the old colour before the change.
    DrawBorderUpTo(tackts);
    BorderColour = colour;
    BorderChangeHistory |= kBorderChanged;
  }
  // A new colour for the whole border at once (a loaded snapshot).
  void ReplaceBorder(uint8_t colour) {
    BorderColour = colour & 7;
    BorderChangeHistory = kBorderRedrawAll;
  }

  // The border colour and its change history: bit 0 is set by a change, the frame end
  // shifts left and redraws while one of the two lowest bits is set.
  static constexpr uint8_t kBorderChanged = 0x01;
  static constexpr uint8_t kBorderRecentChanges = 0x03;
  // As at power-on: the whole border is drawn at the next two frame ends.
  static constexpr uint8_t kBorderRedrawAll = 0x05;
  uint8_t BorderColour = 0;
  uint8_t BorderChangeHistory = kBorderRedrawAll;
  // A shown frame: advances the flash phase, redraws in Debug mode, hands the picture on.
  void PresentFrame();
  // What showing a frame does to the picture (the flash phase), without showing it.
  void CountPresentedFrame();
  // Brings the picture up to the machine's present moment and shows it (debugger views).
  void RefreshScreen(uint32_t tackts);
  // The whole native frame from memory at once: border in the current colour, then paper.
  void RedrawAll();
  // Rebuilds palette and tables (the frame length or the gray setting changed), redraws
  // and shows the result.
  void RecreateScreen();
  // What the ULA puts on the bus for an unanswered port read: the attribute byte being
  // fetched, or 0xFF while the beam is in the border or retrace.
  uint8_t AttributeUnderBeam(uint32_t tackts) const;
  // What a Sinclair ULA leaves on the bus for an unanswered port read: in each 8 T-states
  // of a paper line, the bitmap byte, its attribute, the next bitmap byte and its
  // attribute, then four T-states of 0xFF; 0xFF in the border and retrace.
  uint8_t FloatingBus(uint32_t tackts) const;
  // The beam geometry of a timing (rebuilds the tables).
  void SetTiming(MachineTiming timing);
  uint32_t PaperStartT() const { return paperStartT_; }
  uint32_t LineTackts() const { return lineTackts_; }
  // The 128K paging port selected page 7 (true) or 5 (false) for the screen.
  void MachinePageSelected(bool second);

  // Settings.
  void SetFrameLength(uint32_t tacktsPerInt);  // moves the sentinels
  void SetScreenPage(ScreenPage page);
  ScreenPage GetScreenPage() const { return screenPage_; }
  void SetAttributes(bool on);
  bool Attributes() const { return attributes_; }
  void SetRenderingMode(RenderingMode mode) { mode_ = mode; }
  RenderingMode GetRenderingMode() const { return mode_; }
  // Presented frames per flash phase, at least 1.
  void SetFlashFrequency(int32_t frames);
  int32_t FlashFrequency() const { return flashFrequency_; }
  void SetGrayPalette(bool gray);
  bool GrayPalette() const { return gray_; }
  // Palette base and colour indices for the window (0, kWindowColourIndices) or full screen.
  void SetColourIndices(int paletteBase, const ColourIndexTable& indices);
  void SetBorderSizes(const BorderSizes& sizes);
  const BorderSizes& GetBorderSizes() const { return borderSizes_; }
  VisibleRect Visible() const { return VisibleRectFor(borderSizes_); }
  void SetPresenter(FramePresenter* presenter) { presenter_ = presenter; }

  // The picture.
  const uint8_t* Row(int y) const { return rows_[static_cast<size_t>(y)]; }
  const ScreenPaletteTable& Palette() const { return palette_; }
  const ColourIndexTable& ColourIndices() const { return colourIndex_; }
  // Fills columns 384-767 with each native row twice.
  void CopyDoubleHeight();
  uint8_t FlashMask() const { return flashMask_; }
  // Frames shown so far; the frame-rate display reads it from another thread.
  uint32_t PresentedFrames() const { return presentedFrames_.load(std::memory_order_relaxed); }
  bool BorderDirty() const { return borderDirty_; }
  // Which page the picture shows now: 5 or 7.
  int DisplayedBank() const { return displayedSecond_ ? 7 : 5; }

  // The beam's place, the border, the flash phase and the picture drawn so far (the
  // native rows; the doubled copy is remade when shown), for a machine capture. The
  // colours, sizes and the page the user chose to show are settings and stay.
  struct Saved {
    uint8_t BorderColour = 0;
    uint8_t BorderChangeHistory = 0;
    uint32_t NextPaperT = 0;
    int NextCell = 0;
    int BorderIndex = 0;
    uint32_t BorderDrawnTo = 0;
    uint32_t BorderUnitsLeft = 0;
    size_t BorderPixel = 0;  // offset into the picture
    bool BorderDirty = false;
    uint8_t FlashMask = 0xFF;
    int32_t FlashCountdown = 10;
    bool MachineSecond = false;  // the page the machine selected
    std::vector<uint8_t> Picture;
  };
  void Save(Saved& out) const;
  void Restore(const Saved& in);

 private:
  struct BorderSegment {
    uint32_t StartT;
    uint32_t Length;  // in 2-pixel units
    uint8_t* Pixel;
  };
  struct PaperCell {
    uint32_t T;
    uint16_t BitmapOffset;
    uint16_t AttributeOffset;
    uint8_t* Pixel;
  };
  static constexpr int kPaperCellCount = 6144;

  void BuildTables();
  void BuildColourPairs();
  void LoadBorderSegment(int index);
  void DrawPaperCells(uint32_t tackts);
  void DrawCell(const PaperCell& cell, const uint8_t* page) const;
  const uint8_t* DisplayedPage() const;
  void ShowSecondPage(bool second);
  static void BeforeScreenWrite(void* self);

  const MachineState& state_;
  Memory& memory_;
  std::unique_ptr<uint8_t[]> bitmap_;
  std::array<uint8_t*, kFrameHeight> rows_{};
  // In rising T order, then the sentinel: 480 segments, more when a short frame splits
  // some at its end.
  std::vector<BorderSegment> border_;
  std::unique_ptr<PaperCell[]> paper_;  // kPaperCellCount + sentinel
  uint32_t sentinelT_ = 0;
  int sentinelIndex_ = 0;
  // Beam geometry: the first paper byte's T-state, the line length, and the mask that
  // rounds a border change up to the ULA's 4-T-state steps (0: every T-state).
  uint32_t paperStartT_ = kPaperStartT;
  uint32_t lineTackts_ = kLineTackts;
  uint32_t borderRound_ = 0;
  uint32_t floatingStartT_ = 0;

  // Paper drawer.
  uint32_t nextPaperT_ = kPaperStartT;
  int nextCell_ = 0;
  // Border drawer; index -1: a segment carried over from the last frame is being finished.
  int borderIndex_ = 0;
  uint32_t borderDrawnTo_ = 0;
  uint32_t borderUnitsLeft_ = 0;
  uint8_t* borderPixel_ = nullptr;
  bool borderDirty_ = true;

  // Colours.
  ScreenPaletteTable palette_{};
  int paletteBase_ = 0;
  bool gray_ = false;
  ColourIndexTable colourIndex_ = kWindowColourIndices;
  // Per attribute: the paper index in all eight bytes, and ink XOR paper likewise, so a
  // cell's eight pixels are paper ^ (difference & ink mask).
  struct ColourPair {
    uint64_t Paper;
    uint64_t Difference;
  };
  std::array<ColourPair, 256> colourPairs_{};
  bool attributes_ = true;
  uint8_t flashMask_ = 0xFF;
  int32_t flashCountdown_ = 10;
  int32_t flashFrequency_ = 10;

  // Displayed page: the machine's choice is kept while a fixed page is shown.
  ScreenPage screenPage_ = ScreenPage::Current;
  bool displayedSecond_ = false;
  const uint8_t* displayedPage_ = nullptr;
  bool rememberedSecond_ = false;

  BorderSizes borderSizes_;
  RenderingMode mode_ = RenderingMode::Real;
  FramePresenter* presenter_ = nullptr;
  std::atomic<uint32_t> presentedFrames_{0};
};

}  // namespace vantrel
