#include "ui/TDAsmF.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "debugger/NumberText.h"
#include "machine/Machine.h"
#include "ui/TGoToAddressForm.h"
#include "ui/WindowPlacement.h"

namespace vantrel {

namespace {

constexpr int kMinHeight = 45;
// Before the address: the breakpoint's dot, then the execution point's arrow.
constexpr int kDotWidth = 10;
constexpr int kMarkerWidth = kDotWidth + 12;
constexpr int kMaxLabelChars = 20;

}  // namespace

// The rows themselves: drawing, keys, wheel and clicks.
class CodeRows : public QWidget {
 public:
  explicit CodeRows(TDAsmF& panel) : QWidget(&panel), panel_(panel) {
    setFocusPolicy(Qt::StrongFocus);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(TDAsmF::kRowHeight - 1);
    setFont(font);
    setMinimumWidth(QFontMetrics(font).horizontalAdvance(QLatin1Char('0')) * 48);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QPalette& pal = palette();
    painter.fillRect(rect(), pal.color(QPalette::Base));
    const CodeView& view = panel_.view_;
    const int charWidth = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const uint16_t pc = panel_.machine_.State.Regs.PC;
    const bool decimal = panel_.settings_.ViewMode == kNumberDecimal;
    // Column widths in characters, with one space between columns.
    int labelChars = 0;
    std::vector<QStringList> rows;
    for (int i = 0; i < view.Visible(); ++i) {
      rows.push_back(panel_.RowColumns(i));
      labelChars = std::max<int>(labelChars, static_cast<int>(rows.back()[2].size()));
    }
    const int widths[3] = {panel_.settings_.ViewAddr ? (decimal ? 5 : 4) : 0,
                           panel_.settings_.ViewCode ? (decimal ? 15 : 11) : 0,
                           panel_.settings_.ViewLabels ? std::min(labelChars, kMaxLabelChars) : 0};
    for (int i = 0; i < view.Visible(); ++i) {
      const QRect row(0, i * TDAsmF::kRowHeight, width(), TDAsmF::kRowHeight);
      const bool current = i == view.Current();
      const bool executing = view.LineAddress(i) == pc;
      const BreakMark mark = panel_.RowMark(i);
      QColor text = pal.color(QPalette::Text);
      if (mark == BreakMark::Enabled && !current) {
        painter.fillRect(row, QColor(255, 0, 0, 60));
      }
      if (mark != BreakMark::None) {
        // A full red dot for an enabled entry, a ring for a disabled one.
        const QRectF dot(2, row.center().y() - 3.5, 7, 7);
        painter.setPen(QPen(QColor(200, 0, 0), 1.5));
        painter.setBrush(mark == BreakMark::Enabled ? QBrush(QColor(220, 0, 0)) : QBrush());
        painter.drawEllipse(dot);
      }
      if (current) {
        // The cursor row in the desktop's selection colours, paler without the focus.
        QColor back =
            pal.color(hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
        if (!hasFocus()) back.setAlpha(140);
        painter.fillRect(row, back);
        text = pal.color(QPalette::HighlightedText);
      } else if (executing) {
        QColor back = pal.color(QPalette::Highlight);
        back.setAlpha(80);
        painter.fillRect(row, back);
      }
      if (executing) {
        const int y = row.center().y();
        const QPoint arrow[3] = {
            {kDotWidth + 2, y - 4}, {kMarkerWidth - 3, y}, {kDotWidth + 2, y + 4}};
        painter.setPen(Qt::NoPen);
        painter.setBrush(text);
        painter.drawPolygon(arrow, 3);
      }
      painter.setPen(text);
      int x = kMarkerWidth;
      for (int column = 0; column < 4; ++column) {
        if (column < 3 && widths[column] == 0) continue;
        const QString& cell = rows[static_cast<size_t>(i)][column];
        const int cellWidth = column < 3 ? widths[column] * charWidth : width() - x;
        painter.drawText(QRect(x, row.y(), cellWidth, row.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, cell);
        x += cellWidth + charWidth;
      }
    }
  }

  void keyPressEvent(QKeyEvent* event) override {
    CodeView& view = panel_.view_;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
      case Qt::Key_Up:
      case Qt::Key_Left: view.LineUp(ctrl); break;
      case Qt::Key_Down:
      case Qt::Key_Right: view.LineDown(ctrl); break;
      case Qt::Key_PageUp: view.PageUp(); break;
      case Qt::Key_PageDown: view.PageDown(); break;
      case Qt::Key_Home: view.Home(ctrl); break;
      case Qt::Key_End: view.End(ctrl); break;
      case Qt::Key_Enter: view.JumpImmediate(); break;
      default: QWidget::keyPressEvent(event); return;
    }
    panel_.Changed();
  }

  void wheelEvent(QWheelEvent* event) override {
    const int delta = event->angleDelta().y();
    if (delta < 0) panel_.view_.LineDown(false);
    if (delta > 0) panel_.view_.WheelUp();
    panel_.Changed();
  }

  void mousePressEvent(QMouseEvent* event) override {
    setFocus();
    const int line = static_cast<int>(event->position().y()) / TDAsmF::kRowHeight;
    if (line < panel_.view_.Visible()) panel_.view_.SetCurrent(line);
    update();
  }

  void mouseDoubleClickEvent(QMouseEvent* event) override {
    const int line = static_cast<int>(event->position().y()) / TDAsmF::kRowHeight;
    if (line >= panel_.view_.Visible()) return;
    panel_.view_.SetCurrent(line);
    if (panel_.ToggleBreakpoint) panel_.ToggleBreakpoint(panel_.view_.LineAddress(line));
    update();
  }

  void contextMenuEvent(QContextMenuEvent* event) override {
    panel_.menu_->popup(event->globalPos());
  }
  void focusInEvent(QFocusEvent*) override { update(); }
  void focusOutEvent(QFocusEvent*) override { update(); }

 private:
  TDAsmF& panel_;
};

TDAsmF::TDAsmF(Machine& machine, SettingsStore& store, QWidget* parent)
    : QWidget(parent, Qt::Window),
      machine_(machine),
      store_(store),
      settings_(LoadDisassemblerPanelSettings(store)),
      view_(MemoryBytes(machine.Mem)) {
  setWindowTitle(QStringLiteral("Disassembler"));
  setObjectName(QStringLiteral("DisassemblerPanel"));
  area_ = new CodeRows(*this);
  scroll_ = new QScrollBar(Qt::Vertical, this);
  scroll_->setRange(0, 0xFFFF);
  connect(scroll_, &QScrollBar::actionTriggered, this, &TDAsmF::ScrollAction);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(area_, 1);
  layout->addWidget(scroll_);
  setMinimumHeight(kMinHeight);
  ShowError = [this](const QString& caption, const QString& text) {
    QMessageBox::warning(this, caption, text);
  };
  BuildMenu();
  ApplyView();
  resize(area_->minimumWidth() + scroll_->sizeHint().width(), settings_.Height);
  SnapHeight(settings_.Height);  // a hidden window gets its resize event only when shown
  RestorePosition(*this, {settings_.Position.X, settings_.Position.Y});
  setFocusProxy(area_);
}

TDAsmF::~TDAsmF() = default;

QAction* TDAsmF::AddCommand(QMenu* menu, const char* name, const QString& caption,
                            const QKeySequence& shortcut, std::function<void()> handler) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  if (!shortcut.isEmpty()) {
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);  // the keys work without opening the menu
  }
  connect(action, &QAction::triggered, this, [this, handler = std::move(handler)] {
    handler();
    Changed();
  });
  commands_[action->objectName()] = action;
  return action;
}

QAction* TDAsmF::Command(const QString& name) const {
  const auto it = commands_.find(name);
  return it == commands_.end() ? nullptr : it->second;
}

void TDAsmF::BuildMenu() {
  menu_ = new QMenu(this);
  AddCommand(menu_, "GoToMI", QStringLiteral("&Go to Adress..."),
             QKeySequence(Qt::CTRL | Qt::Key_G), [this] { GoToAddress(); });
  AddCommand(menu_, "ShowExecutionPointMI", QStringLiteral("Show Execution P&oint"),
             QKeySequence(Qt::CTRL | Qt::Key_O), [this] { view_.SetTop(machine_.State.Regs.PC); });
  AddCommand(menu_, "SetPcMI", QStringLiteral("Set PC on Current Li&ne"),
             QKeySequence(Qt::CTRL | Qt::Key_N), [this] { SetPcOnCurrentLine(); });
  menu_->addSeparator();
  AddCommand(menu_, "ToggleBreakpointMI", QStringLiteral("Toggle &Breakpoint"), Qt::Key_F5, [this] {
    if (ToggleBreakpoint) ToggleBreakpoint(view_.CurrentAddress());
  });
  menu_->addSeparator();
  AddCommand(menu_, "JumpImmediateMI", QStringLiteral("Jump Immediate"), Qt::Key_Return,
             [this] { view_.JumpImmediate(); });
  AddCommand(menu_, "JumpBackMI", QStringLiteral("Jump Back"), Qt::Key_Escape,
             [this] { view_.JumpBack(); });
  menu_->addSeparator();
  QMenu* viewMenu = menu_->addMenu(QStringLiteral("View"));
  auto* modes = new QActionGroup(this);
  const auto mode = [this, viewMenu, modes](const char* name, const QString& caption, int value) {
    QAction* action = AddCommand(viewMenu, name, caption, {}, [this, value] {
      settings_.ViewMode = value;
      ApplyView();
    });
    action->setCheckable(true);
    modes->addAction(action);
  };
  mode("DecimalMI", QStringLiteral("Decimal"), kNumberDecimal);
  mode("HexadecimalMI", QStringLiteral("Hexadecimal"), kNumberHex);
  viewMenu->addSeparator();
  const auto column = [this, viewMenu](const char* name, const QString& caption, bool& shown) {
    QAction* action = AddCommand(viewMenu, name, caption, {}, [this, &shown] {
      shown = !shown;
      ApplyView();
    });
    action->setCheckable(true);
  };
  column("AddressMI", QStringLiteral("Address"), settings_.ViewAddr);
  column("CodeMI", QStringLiteral("Code"), settings_.ViewCode);
  column("LabelsMI", QStringLiteral("Labels"), settings_.ViewLabels);
  viewMenu->addAction(QStringLiteral("Coments"))->setEnabled(false);
  menu_->addSeparator();
  AddCommand(menu_, "LoadSymbolsMI", QStringLiteral("Load Symbols..."), {}, [this] {
    const QString fileName = QFileDialog::getOpenFileName(
        this, QStringLiteral("Load Symbols"), QString::fromStdString(settings_.SymbolFile),
        QStringLiteral("Symbol files (*.sym *.lst *.exp *.txt);;All files (*)"));
    if (!fileName.isEmpty()) LoadSymbols(fileName);
  });
}

void TDAsmF::ApplyView() {
  Command(QStringLiteral("DecimalMI"))->setChecked(settings_.ViewMode == kNumberDecimal);
  Command(QStringLiteral("HexadecimalMI"))->setChecked(settings_.ViewMode != kNumberDecimal);
  Command(QStringLiteral("AddressMI"))->setChecked(settings_.ViewAddr);
  Command(QStringLiteral("CodeMI"))->setChecked(settings_.ViewCode);
  Command(QStringLiteral("LabelsMI"))->setChecked(settings_.ViewLabels);
  area_->update();
}

void TDAsmF::Changed() {
  scroll_->setValue(view_.Top());
  area_->update();
}

QStringList TDAsmF::RowColumns(int line) const {
  const uint16_t address = view_.LineAddress(line);
  const uint16_t next = view_.LineAddress(line + 1);
  const int format = settings_.ViewMode;
  const ByteSource bytes = MemoryBytes(machine_.Mem);
  QString code;
  if (settings_.ViewCode) {
    for (uint16_t a = address; a != next; ++a) {
      if (!code.isEmpty()) code += QLatin1Char(' ');
      code += QString::fromStdString(ByteText(bytes(a), format));
    }
  }
  return {settings_.ViewAddr ? QString::fromStdString(WordText(address, format)) : QString(), code,
          settings_.ViewLabels ? QString::fromStdString(symbols_.NameAt(address)) : QString(),
          QString::fromStdString(Disassemble(bytes, address, format, &symbols_).Text)};
}

void TDAsmF::BreakpointsChanged() {
  area_->update();
}

void TDAsmF::SetEnabled(bool enabled) {
  settings_.Enabled = enabled;
  setVisible(enabled);
}

void TDAsmF::closeEvent(QCloseEvent* event) {
  settings_.Enabled = false;
  if (EnabledChanged) EnabledChanged(false);
  QWidget::closeEvent(event);
}

void TDAsmF::SaveSettings() {
  const QPoint position = StoredPosition(*this);
  settings_.Position = {position.x(), position.y()};
  settings_.Height = height();
  SaveDisassemblerPanelSettings(store_, settings_);
}

void TDAsmF::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  SnapHeight(height());
}

void TDAsmF::SnapHeight(int requested) {
  // Whole rows only: the height snaps to the row grid.
  const int snapped = std::max(kMinHeight, requested - requested % kRowHeight + 4);
  if (snapped != height()) resize(width(), snapped);
  view_.SetVisible(snapped / kRowHeight - 2);
  view_.Recompute();
  Changed();
}

void TDAsmF::FollowPc() {
  view_.FollowPc(machine_.State.Regs.PC);
  Changed();
}

void TDAsmF::MemoryChanged() {
  if (machine_.State.EmulThreadAlive.load(std::memory_order_relaxed)) return;
  view_.Recompute();
  area_->update();
}

void TDAsmF::ReloadSymbols() {
  if (!settings_.SymbolFile.empty()) LoadSymbols(QString::fromStdString(settings_.SymbolFile));
}

bool TDAsmF::LoadSymbols(const QString& fileName) {
  try {
    symbols_ = SymbolTable::Load(fileName.toStdString());
  } catch (const SymbolFileError& error) {
    if (ShowError) ShowError(QStringLiteral("Load Symbols"), QString::fromStdString(error.what()));
    return false;
  }
  settings_.SymbolFile = fileName.toStdString();
  area_->update();
  if (ShowStatus) {
    QString text = QStringLiteral("%1 symbols from %2").arg(symbols_.Size()).arg(fileName);
    if (symbols_.SkippedLines() > 0) {
      text += QStringLiteral(", %1 lines skipped").arg(symbols_.SkippedLines());
    }
    ShowStatus(text);
  }
  return true;
}

void TDAsmF::GoToAddress() {
  TGoToAddressForm dialog(store_, machine_.State.Regs, &symbols_, this);
  if (dialog.exec() == QDialog::Accepted) view_.SetTop(dialog.Address());
}

void TDAsmF::SetPcOnCurrentLine() {
  // Registers belong to the emulation thread while it runs.
  if (machine_.State.EmulThreadAlive.load(std::memory_order_relaxed)) return;
  machine_.State.Regs.PC = view_.CurrentAddress();
  machine_.NoteExternalChange();
  if (PcChanged) PcChanged();
}

void TDAsmF::ScrollAction(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: view_.LineDown(false); break;
    case QAbstractSlider::SliderSingleStepSub: view_.LineUp(false); break;
    case QAbstractSlider::SliderPageStepAdd: view_.PageDown(); break;
    case QAbstractSlider::SliderPageStepSub: view_.PageUp(); break;
    case QAbstractSlider::SliderToMinimum: view_.SetTop(0); break;
    case QAbstractSlider::SliderToMaximum: view_.SetTop(0xFFFF); break;
    case QAbstractSlider::SliderMove:
      view_.SetTop(static_cast<uint16_t>(scroll_->sliderPosition()), view_.Current());
      break;
    default: return;
  }
  // The bar shows the top address, whatever step the action would have taken.
  scroll_->setSliderPosition(view_.Top());
  area_->update();
}

}  // namespace vantrel
