#include "debugger/MemoryView.h"

#include <algorithm>

#include "core/Memory.h"
#include "debugger/NumberText.h"

namespace vantrel {

namespace {

constexpr int kStatusBarHeight = 18;

}  // namespace

int DumpCellWidth(DumpLayout layout) {
  switch (layout) {
    case DumpLayout::Bytes: return 20;
    case DumpLayout::Chars: return 12;
    case DumpLayout::Complex: return 32;
    case DumpLayout::Words: return 36;
    case DumpLayout::BigPixels: return 8 * 12;
    case DumpLayout::SmallPixels: return 8 * 6;
  }
  return 20;
}

int DumpRowBytes(const DumpGeometry& g) {
  return g.Layout == DumpLayout::Words ? 2 * g.Cells : g.Cells;
}

int DumpGeometry::PageBytes() const {
  const bool doubled = Layout == DumpLayout::Words || Layout == DumpLayout::SmallPixels;
  return Rows * Cells * (doubled ? 2 : 1);
}

DumpGeometry ComputeDumpGeometry(DumpLayout layout, int width, int height, bool statusBar) {
  DumpGeometry g;
  g.Layout = layout;
  g.Rows = std::max(1, (height - 4 - (statusBar ? kStatusBarHeight : 0)) / kDumpRowHeight);
  g.Cells = std::max(1, (width - 58) / DumpCellWidth(layout));
  return g;
}

uint16_t DumpView::Wrap(int address) const {
  return DumpMemory::WrapAbove(address, LowerBound);
}

bool DumpView::GoTo(int address) {
  const bool raised = address < LowerBound;
  const auto a = static_cast<uint16_t>(std::max<int>(address, LowerBound));
  Top = Cursor = Anchor = a;
  return !raised;
}

void DumpView::Follow() {
  const int row = DumpRowBytes(Geometry);
  const int page = Geometry.PageBytes();
  const int offset = static_cast<uint16_t>(Cursor - Top);
  if (offset < page) return;
  // Off the page: scroll by whole rows the shorter way round.
  const int before = static_cast<uint16_t>(Top - Cursor);
  if (before < offset) {
    Top = Wrap(Top - ((before + row - 1) / row) * row);
  } else {
    Top = Wrap(Top + ((offset - page) / row + 1) * row);
  }
}

void DumpView::MoveCursor(int delta, bool extend) {
  Cursor = Wrap(Cursor + delta);
  if (!extend) Anchor = Cursor;
  Follow();
}

void DumpView::Scroll(int delta, bool extend) {
  Top = Wrap(Top + delta);
  Cursor = Wrap(Cursor + delta);
  if (!extend) Anchor = Cursor;
}

void DumpView::Home(bool extend) {
  const int row = DumpRowBytes(Geometry);
  MoveCursor(-(static_cast<uint16_t>(Cursor - Top) % row), extend);
}

void DumpView::End(bool extend) {
  const int row = DumpRowBytes(Geometry);
  MoveCursor(row - 1 - static_cast<uint16_t>(Cursor - Top) % row, extend);
}

void DumpView::First(bool extend) {
  Top = Cursor = LowerBound;
  if (!extend) Anchor = Cursor;
}

void DumpView::Last(bool extend) {
  Top = Wrap(0x10000 - Geometry.PageBytes());
  Cursor = 0xFFFF;
  if (!extend) Anchor = Cursor;
}

uint16_t DumpView::BlockStart() const {
  return std::min(Cursor, Anchor);
}
uint16_t DumpView::BlockEnd() const {
  return std::max(Cursor, Anchor);
}

uint16_t DumpMemory::WrapAbove(int address, uint16_t lowerBound) {
  // lowerBound..65535 is a ring of its own: past either end comes the other.
  const int size = 0x10000 - lowerBound;
  return static_cast<uint16_t>(lowerBound + ((address - lowerBound) % size + size) % size);
}

uint8_t DumpMemory::Read(uint16_t address) const {
  if (page_ < 0) return memory_->PeekByte(address);
  return memory_->Bank(page_)[Wrap(address) - kPageViewBound];
}

void DumpMemory::Write(uint16_t address, uint8_t value) const {
  if (page_ < 0) {
    memory_->PokeByte(address, value);
  } else {
    memory_->Bank(page_)[Wrap(address) - kPageViewBound] = value;
  }
}

std::string DumpStatusText(const DumpView& view, const DumpMemory& memory) {
  const uint16_t a = view.Cursor;
  if (view.Anchor != view.Cursor) {
    const uint16_t s = view.BlockStart(), e = view.BlockEnd();
    const uint32_t length = static_cast<uint32_t>(e - s) + 1;
    return "Block: S=" + HexWord(s) + "=" + DecWord(s) + ", E=" + HexWord(e) + "=" + DecWord(e) +
           ", L=" + HexWord(static_cast<uint16_t>(length)) + "=" +
           DecWord(static_cast<uint16_t>(length));
  }
  if (view.Geometry.Layout == DumpLayout::Words) {
    const auto w = static_cast<uint16_t>(memory.Read(a) | memory.Read(memory.Wrap(a + 1)) << 8);
    return "Word (" + HexWord(a) + "=" + DecWord(a) + ")=" + HexWord(w) + "=" + DecWord(w) + "=" +
           BinWord(w);
  }
  const uint8_t b = memory.Read(a);
  return "Byte (" + HexWord(a) + "=" + DecWord(a) + ")=" + HexByte(b) + "=" + DecByte(b) + "=" +
         BinByte(b) + "='" + CharText(b) + "'";
}

}  // namespace vantrel
