#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

class Memory;

// The memory dump panel's layouts, in menu order.
enum class DumpLayout : uint8_t { Bytes, Chars, Complex, Words, BigPixels, SmallPixels };
inline constexpr int kDumpLayoutCount = 6;

// Pixel geometry of the panel: 12-pixel text rows, the address column at x 2..36, cells
// from x 39.
inline constexpr int kDumpRowHeight = 12;
inline constexpr int kDumpCellsX = 39;
int DumpCellWidth(DumpLayout layout);  // per byte or word, in pixels
struct DumpGeometry {
  int Rows = 1;
  int Cells = 1;  // per row
  int PageBytes() const;
  DumpLayout Layout = DumpLayout::Bytes;
};
DumpGeometry ComputeDumpGeometry(DumpLayout layout, int width, int height, bool statusBar);
// Bytes one row shows (words and the small pixels show twice their cells).
int DumpRowBytes(const DumpGeometry& g);

// Where the panel is: top, cursor and the block's anchor, within [LowerBound, 65535].
struct DumpView {
  uint16_t Top = 0;
  uint16_t Cursor = 0;
  uint16_t Anchor = 0;
  uint16_t LowerBound = 0;  // 0 for the processor's view, 49152 for a page view
  DumpGeometry Geometry;

  // Addresses wrap within 16 bits; a page view's wrap within the page, either way.
  uint16_t Wrap(int address) const;
  // Top, cursor and anchor to `address` (raised to the lower bound); false if raised.
  bool GoTo(int address);
  // The keys: a move of the cursor by `delta` bytes, scrolling by rows to keep it seen;
  // `extend` (Shift) keeps the anchor.
  void MoveCursor(int delta, bool extend);
  // Ctrl with an arrow: the view scrolls, the cursor with it.
  void Scroll(int delta, bool extend);
  void Home(bool extend);
  void End(bool extend);
  void First(bool extend);  // Ctrl+Home
  void Last(bool extend);   // Ctrl+End
  uint16_t BlockStart() const;
  uint16_t BlockEnd() const;

 private:
  void Follow();
};

// What a dump reads and writes: the processor's address space under its paging (page -1),
// or one RAM page seen at 49152..65535 whatever is mapped there.
class DumpMemory {
 public:
  explicit DumpMemory(Memory& memory, int page = -1) : memory_(&memory), page_(page) {}
  int Page() const { return page_; }
  uint16_t LowerBound() const { return page_ < 0 ? 0 : kPageViewBound; }
  // As DumpView::Wrap: a page view's addresses stay within the page.
  uint16_t Wrap(int address) const { return WrapAbove(address, LowerBound()); }
  // Addresses wrap within lowerBound..65535 (16 bits for 0).
  static uint16_t WrapAbove(int address, uint16_t lowerBound);
  uint8_t Read(uint16_t address) const;
  // Through the memory engine in the processor's view (a mapped ROM keeps its bytes).
  void Write(uint16_t address, uint8_t value) const;

  static constexpr uint16_t kPageViewBound = 49152;

 private:
  Memory* memory_;
  int page_;
};

// The status bar: the byte or word at the cursor, or the block.
std::string DumpStatusText(const DumpView& view, const DumpMemory& memory);

}  // namespace vantrel
