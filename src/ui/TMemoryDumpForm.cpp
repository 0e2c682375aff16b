#include "ui/TMemoryDumpForm.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "debugger/NumberText.h"
#include "machine/Machine.h"
#include "ui/TFindPatternF.h"
#include "ui/TGoToAddressForm.h"
#include "ui/TLoadMemoryBlockF.h"
#include "ui/TSaveMemoryBlockF.h"

namespace vantrel {

namespace {

constexpr int kStatusHeight = 18;

// The texts hold memory bytes as characters: one byte, one character (not UTF-8, which
// would turn every byte from 0x80 up into a replacement mark).
QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TMemoryDumpForm::TMemoryDumpForm(Machine& machine, SettingsStore& store, QWidget* parent)
    : QWidget(parent, Qt::Tool), machine_(machine), store_(store) {
  setWindowTitle(QStringLiteral("Memory"));
  QFont font(QStringLiteral("Courier New"), 10);
  font.setStyleHint(QFont::Monospace);
  setFont(font);
  setFocusPolicy(Qt::StrongFocus);
  scroll_ = new QScrollBar(Qt::Vertical, this);
  // The bar moves the view only: cursor and block stay where they are.
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
    view_.Top = view_.Wrap(value);
    update();
  });
  RunGoTo = [](TGoToAddressForm& dialog) { return dialog.exec() == QDialog::Accepted; };
  RunFind = [](TFindPatternF& dialog) { return dialog.exec() == QDialog::Accepted; };
  RunLoad = [](TLoadMemoryBlockF& dialog) { return dialog.exec() == QDialog::Accepted; };
  NotFound = [this] {
    QMessageBox::information(this, QStringLiteral(" Information"),
                             QStringLiteral("Searching done. Search pattern not found!"));
  };
  BuildMenu();
  resize(390, 245 + MenuHeight());
  Relayout();
}

DumpMemory TMemoryDumpForm::Shown() const {
  return DumpMemory(machine_.Mem, page_);
}

uint8_t TMemoryDumpForm::Read(uint16_t address) const {
  return Shown().Read(address);
}

void TMemoryDumpForm::GoToAddress(int address) {
  if (!view_.GoTo(address)) QApplication::beep();
  SyncScrollBar();
  update();
}

void TMemoryDumpForm::SelectPage(int page) {
  page_ = page;
  view_.LowerBound = Shown().LowerBound();
  setWindowTitle(page < 0 ? QStringLiteral("Memory") : QStringLiteral("Memory [Page%1]").arg(page));
  if (view_.Top < view_.LowerBound) view_.Top = view_.LowerBound;
  if (view_.Cursor < view_.LowerBound) view_.Cursor = view_.LowerBound;
  if (view_.Anchor < view_.LowerBound) view_.Anchor = view_.LowerBound;
  // Find Next goes on over the new view's addresses.
  search_.Start(std::nullopt, search_.Step > 0, view_.LowerBound);
  SyncScrollBar();
  update();
}

void TMemoryDumpForm::SetLayout(DumpLayout layout) {
  view_.Geometry.Layout = layout;
  const auto index = static_cast<size_t>(layout);
  if (index < layoutItems_.size()) layoutItems_[index]->setChecked(true);
  if (layout != DumpLayout::Bytes) SetEditMode(false);
  Relayout();
}

void TMemoryDumpForm::SetStatusBarShown(bool shown) {
  statusBar_ = shown;
  if (statusItem_ != nullptr && statusItem_->isChecked() != shown) statusItem_->setChecked(shown);
  Relayout();
}

void TMemoryDumpForm::SetEditMode(bool on) {
  editMode_ = on && view_.Geometry.Layout == DumpLayout::Bytes;
  highNibble_ = true;
  if (editItem_)
    editItem_->setText(editMode_ ? QStringLiteral("View &Mode") : QStringLiteral("&Edit Mode"));
  update();
}

int TMemoryDumpForm::MenuHeight() const {
  return bar_->hasHeightForWidth() ? bar_->heightForWidth(width()) : bar_->sizeHint().height();
}

void TMemoryDumpForm::Relayout() {
  const int top = MenuHeight();
  bar_->setGeometry(0, 0, width(), top);
  const int barWidth = scroll_->sizeHint().width();
  scroll_->setGeometry(width() - barWidth, top, barWidth, height() - top);
  view_.Geometry = ComputeDumpGeometry(view_.Geometry.Layout, width(), height() - top, statusBar_);
  SyncScrollBar();
  update();
}

void TMemoryDumpForm::SyncScrollBar() {
  const QSignalBlocker block(scroll_);
  scroll_->setRange(view_.LowerBound, 0xFFFF);
  scroll_->setPageStep(view_.Geometry.PageBytes());
  scroll_->setSingleStep(DumpRowBytes(view_.Geometry));
  scroll_->setValue(view_.Top);
}

QString TMemoryDumpForm::StatusText() const {
  return Latin1(DumpStatusText(view_, Shown()));
}

int TMemoryDumpForm::CellsTop() const {
  return 2 + (statusBar_ ? kStatusHeight : 0);
}

void TMemoryDumpForm::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  p.fillRect(rect(), pal.color(QPalette::Base));
  p.translate(0, MenuHeight());
  p.setFont(font());
  const QFontMetrics metrics(font());
  const int ascent = metrics.ascent();
  if (statusBar_) p.drawText(2, 2 + ascent, StatusText());

  const DumpGeometry& g = view_.Geometry;
  const DumpLayout layout = g.Layout;
  const bool small = layout == DumpLayout::SmallPixels;
  const int rowHeight = small ? 6 : kDumpRowHeight;
  const int rows = small ? 2 * g.Rows : g.Rows;
  const int rowBytes = DumpRowBytes(g);
  const int cellWidth = DumpCellWidth(layout);
  const int pixel = layout == DumpLayout::BigPixels ? 12 : 6;
  const uint16_t blockStart = view_.BlockStart(), blockEnd = view_.BlockEnd();
  const bool block = view_.Anchor != view_.Cursor && !editMode_;
  for (int r = 0; r < rows; ++r) {
    const int y = CellsTop() + r * rowHeight;
    const auto rowStart = view_.Wrap(view_.Top + r * rowBytes);
    if (!small || r % 2 == 0) p.drawText(2, y + ascent, Latin1(HexWord(rowStart)));
    for (int i = 0; i < g.Cells; ++i) {
      const int step = layout == DumpLayout::Words ? 2 : 1;
      const uint16_t a = view_.Wrap(rowStart + i * step);
      const bool selected = block && a >= blockStart && a <= blockEnd;
      const int x = kDumpCellsX + i * (layout == DumpLayout::Complex ? 20 : cellWidth);
      QString text;
      switch (layout) {
        case DumpLayout::Bytes:
        case DumpLayout::Complex: text = Latin1(HexByte(Read(a))); break;
        case DumpLayout::Chars: text = Latin1(CharText(Read(a))); break;
        case DumpLayout::Words:
          text = Latin1(HexWord(static_cast<uint16_t>(Read(a) | Read(view_.Wrap(a + 1)) << 8)));
          break;
        default: break;
      }
      const QRect cell(x, y, layout == DumpLayout::Complex ? 20 : cellWidth, rowHeight);
      if (selected) p.fillRect(cell, pal.color(QPalette::Highlight));
      p.setPen(selected ? Qt::white : pal.color(QPalette::Text));
      if (!text.isEmpty()) {
        p.drawText(x, y + ascent, text);
      } else {
        const uint8_t byte = Read(a);
        for (int b = 0; b < 8; ++b) {
          if (byte & (0x80 >> b)) p.fillRect(x + b * pixel, y, pixel, rowHeight, p.pen().color());
        }
      }
      if (layout == DumpLayout::Complex) {
        const int cx = kDumpCellsX + g.Cells * 20 + i * 12;
        if (selected) p.fillRect(cx, y, 12, rowHeight, pal.color(QPalette::Highlight));
        p.drawText(cx, y + ascent, Latin1(CharText(Read(a))));
      }
      if (a == view_.Cursor) {
        p.setPen(pal.color(QPalette::Text));
        if (editMode_) {
          p.drawRect(x + (highNibble_ ? 0 : 10), y, 10, 12);  // the caret on its nibble
        } else {
          p.drawRect(cell.adjusted(0, 0, -1, -1));
        }
      }
    }
  }
}

void TMemoryDumpForm::resizeEvent(QResizeEvent*) {
  Relayout();
}

int TMemoryDumpForm::AddressAt(QPoint point) const {
  const DumpGeometry& g = view_.Geometry;
  const bool small = g.Layout == DumpLayout::SmallPixels;
  const int y = point.y() - MenuHeight() - CellsTop();
  if (y < 0 || point.x() < kDumpCellsX) return -1;
  const int row = y / (small ? 6 : kDumpRowHeight);
  const int x = point.x() - kDumpCellsX;
  int cell = 0;
  if (g.Layout == DumpLayout::Complex) {
    cell = x < g.Cells * 20 ? x / 20 : (x - g.Cells * 20) / 12;
  } else {
    cell = x / DumpCellWidth(g.Layout);
  }
  if (cell >= g.Cells) return -1;
  const int step = g.Layout == DumpLayout::Words ? 2 : 1;
  return view_.Wrap(view_.Top + row * DumpRowBytes(g) + cell * step);
}

void TMemoryDumpForm::keyPressEvent(QKeyEvent* event) {
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  const int row = DumpRowBytes(view_.Geometry);
  const int page = view_.Geometry.PageBytes();
  if (editMode_ && !ctrl) {
    const QString text = event->text().toUpper();
    const int digit = text.size() == 1 ? QStringLiteral("0123456789ABCDEF").indexOf(text[0]) : -1;
    if (digit >= 0) {
      TypeNibble(digit);
      return;
    }
  }
  switch (event->key()) {
    case Qt::Key_Left: ctrl ? view_.Scroll(-1, shift) : view_.MoveCursor(-1, shift); break;
    case Qt::Key_Right: ctrl ? view_.Scroll(1, shift) : view_.MoveCursor(1, shift); break;
    case Qt::Key_Up: ctrl ? view_.Scroll(-row, shift) : view_.MoveCursor(-row, shift); break;
    case Qt::Key_Down: ctrl ? view_.Scroll(row, shift) : view_.MoveCursor(row, shift); break;
    case Qt::Key_PageUp:
      if (ctrl) {
        view_.MoveCursor(-(static_cast<uint16_t>(view_.Cursor - view_.Top) / row) * row, shift);
      } else {
        view_.Scroll(-page, shift);
      }
      break;
    case Qt::Key_PageDown:
      if (ctrl) {
        const int onRow = static_cast<uint16_t>(view_.Cursor - view_.Top) / row;
        view_.MoveCursor((page / row - 1 - onRow) * row, shift);
      } else {
        view_.Scroll(page, shift);
      }
      break;
    case Qt::Key_Home: ctrl ? view_.First(shift) : view_.Home(shift); break;
    case Qt::Key_End: ctrl ? view_.Last(shift) : view_.End(shift); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: SetEditMode(!editMode_); return;
    case Qt::Key_Insert:
      if (ctrl) CopyBlock();
      return;
    case Qt::Key_F:
      if (ctrl) AskFind();
      return;
    case Qt::Key_N:
      if (ctrl) FindNext();
      return;
    case Qt::Key_L:
    case Qt::Key_S:
      if (ctrl) OpenBlockDialog(event->key() == Qt::Key_S);
      return;
    default: QWidget::keyPressEvent(event); return;
  }
  highNibble_ = true;
  SyncScrollBar();
  update();
}

void TMemoryDumpForm::TypeNibble(int digit) {
  // Read and written where the view shows, between two steps of a running machine.
  const DumpMemory memory = Shown();
  const uint16_t a = view_.Cursor;
  const bool high = highNibble_;
  machine_.Apply([memory, a, high, digit] {
    const uint8_t old = memory.Read(a);
    memory.Write(a,
                 static_cast<uint8_t>(high ? (old & 0x0F) | (digit << 4) : (old & 0xF0) | digit));
  });
  if (MemoryChanged) MemoryChanged();
  if (highNibble_) {
    highNibble_ = false;
  } else {
    highNibble_ = true;
    view_.MoveCursor(1, false);
    SyncScrollBar();
  }
  update();
}

void TMemoryDumpForm::mousePressEvent(QMouseEvent* event) {
  const int a = AddressAt(event->position().toPoint());
  if (a >= 0) {
    view_.Cursor = view_.Anchor = static_cast<uint16_t>(a);
    highNibble_ = true;
    update();
  }
}

void TMemoryDumpForm::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  const int a = AddressAt(event->position().toPoint());
  if (a >= 0 && a != view_.Cursor) {
    view_.Cursor = static_cast<uint16_t>(a);
    update();
  }
}

void TMemoryDumpForm::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->position().x() < kDumpCellsX) AskGoTo();
}

void TMemoryDumpForm::wheelEvent(QWheelEvent* event) {
  const int row = DumpRowBytes(view_.Geometry);
  view_.Scroll(event->angleDelta().y() < 0 ? row : -row, false);
  SyncScrollBar();
  update();
}

void TMemoryDumpForm::CopyBlock() {
  QApplication::clipboard()->setText(
      Latin1(BlockText(Shown(), view_.BlockStart(), view_.BlockEnd())));
}

bool TMemoryDumpForm::Find(const std::vector<uint8_t>& pattern, bool fromCursor, bool forward) {
  pattern_ = pattern;
  search_.Start(fromCursor ? std::optional<uint16_t>(view_.BlockEnd()) : std::nullopt, forward,
                view_.LowerBound);
  return FindNext();
}

bool TMemoryDumpForm::FindNext() {
  if (pattern_.empty()) return false;
  const std::optional<uint16_t> match = search_.FindNext(Shown(), pattern_);
  if (!match) {
    if (NotFound) NotFound();
    return false;
  }
  view_.Top = view_.Cursor = *match;
  view_.Anchor = view_.Wrap(*match + static_cast<int>(pattern_.size()) - 1);
  SyncScrollBar();
  update();
  return true;
}

void TMemoryDumpForm::AskGoTo() {
  // The dialog evaluates as it is typed and only accepts an expression that evaluated.
  TGoToAddressForm dialog(store_, machine_.State.Regs, Symbols, this);
  if (RunGoTo(dialog)) GoToAddress(dialog.Address());
}

void TMemoryDumpForm::AskFind() {
  TFindPatternF dialog(machine_.State.Regs, this);
  if (!RunFind(dialog)) return;
  Find(dialog.Pattern(), dialog.FromCursor(), dialog.Forward());
}

void TMemoryDumpForm::OpenBlockDialog(bool save) {
  const QPoint at = frameGeometry().topLeft() + QPoint(20, 20);
  if (save) {
    TSaveMemoryBlockF dialog(machine_, store_, this);
    // A marked block is what the user means to save; else the last fields stand.
    if (view_.Anchor != view_.Cursor) dialog.SetBlock(view_.BlockStart(), view_.BlockEnd());
    dialog.move(at);
    dialog.exec();
  } else {
    TLoadMemoryBlockF dialog(machine_, store_, this);
    dialog.move(at);
    if (RunLoad(dialog) && MemoryChanged) MemoryChanged();
  }
  update();
}

void TMemoryDumpForm::BuildMenu() {
  bar_ = new QMenuBar(this);
  QMenu* view = bar_->addMenu(QStringLiteral("&View"));
  auto* layouts = new QActionGroup(this);
  const char* names[] = {"&Bytes", "&Chars", "Comple&x", "&Words", "Big &Pixels", "S&mall Pixels"};
  for (int i = 0; i < kDumpLayoutCount; ++i) {
    QAction* item = view->addAction(QString::fromLatin1(names[i]));
    item->setCheckable(true);
    item->setChecked(i == 0);
    layouts->addAction(item);
    layoutItems_.push_back(item);
    connect(item, &QAction::triggered, this, [this, i] { SetLayout(static_cast<DumpLayout>(i)); });
  }
  view->addSeparator();
  QAction* status = view->addAction(QStringLiteral("Status &Bar"));
  status->setCheckable(true);
  status->setChecked(true);
  statusItem_ = status;
  connect(status, &QAction::toggled, this, [this](bool on) { SetStatusBarShown(on); });
  QMenu* pages = bar_->addMenu(QStringLiteral("&Page"));
  connect(pages->addAction(QStringLiteral("&Z80 Memory")), &QAction::triggered, this,
          [this] { SelectPage(-1); });
  for (int i = 0; i < 8; ++i) {
    connect(pages->addAction(QStringLiteral("Page &%1").arg(i)), &QAction::triggered, this,
            [this, i] { SelectPage(i); });
  }
  pages->addAction(QStringLiteral("&User Page..."))->setEnabled(false);
  // The keys are handled by the panel itself; the menus only show them.
  const auto item = [this](QWidget* menu, const char* text, const QKeySequence& keys, auto run) {
    auto* action = new QAction(QString::fromLatin1(text), menu);
    menu->addAction(action);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, this, run);
    return action;
  };
  // Edit mode is a caption of its own, naming the mode a click switches to.
  editItem_ =
      item(bar_, "&Edit Mode", QKeySequence(Qt::Key_Return), [this] { SetEditMode(!editMode_); });
  QMenu* tools = bar_->addMenu(QStringLiteral("&Tools"));
  item(tools, "&Copy", QKeySequence(Qt::CTRL | Qt::Key_Insert), [this] { CopyBlock(); });
  item(tools, "&Find...", QKeySequence(Qt::CTRL | Qt::Key_F), [this] { AskFind(); });
  item(tools, "Find &Next", QKeySequence(Qt::CTRL | Qt::Key_N), [this] { FindNext(); });
  item(tools, "&Go to Address...", QKeySequence(), [this] { AskGoTo(); });
  tools->addSeparator();
  item(tools, "&Load from file...", QKeySequence(Qt::CTRL | Qt::Key_L),
       [this] { OpenBlockDialog(false); });
  item(tools, "&Save to file...", QKeySequence(Qt::CTRL | Qt::Key_S),
       [this] { OpenBlockDialog(true); });
}

}  // namespace vantrel
