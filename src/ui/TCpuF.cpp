#include "ui/TCpuF.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include "debugger/Evaluator.h"
#include "debugger/NumberText.h"
#include "debugger/Symbols.h"
#include "machine/Machine.h"

namespace vantrel {

namespace {

// A press this close to a register field's left edge is on the register's name.
constexpr int kNameWidth = 25;
constexpr int kFirstFlagField = 18;
constexpr int kIff1Field = 13;
constexpr int kIff2Field = 14;
constexpr int kRegisterFields = 12;

}  // namespace

RegisterEditor::RegisterEditor(const QString& name, uint16_t value, const Z80Registers& regs,
                               QWidget* parent, const SymbolTable* symbols, const Memory* mem)
    : QDialog(parent), regs_(regs), symbols_(symbols), mem_(mem), value_(value) {
  setWindowTitle(QStringLiteral("Register editor - ") + name);
  auto* layout = new QVBoxLayout(this);
  edit_ = new QLineEdit(QStringLiteral("#") + QString::fromStdString(HexWord(value)), this);
  preview_ = new QLabel(this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  layout->addWidget(edit_);
  layout->addWidget(preview_);
  layout->addWidget(buttons);
  connect(edit_, &QLineEdit::textChanged, this, [this] { Evaluate(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  Evaluate();
}

void RegisterEditor::Evaluate() {
  try {
    value_ = static_cast<uint16_t>(
        EvaluateExpression(edit_->text().toStdString(), regs_, symbols_, mem_));
    preview_->setText(QStringLiteral("#") + QString::fromStdString(HexWord(value_)));
    preview_->setStyleSheet(QStringLiteral("color: black"));
    edit_->setPalette(QPalette());
    ok_->setEnabled(true);
  } catch (const ExpressionError&) {
    preview_->setText(QStringLiteral("Error!"));
    preview_->setStyleSheet(QStringLiteral("color: red"));
    QPalette yellow;
    yellow.setColor(QPalette::Base, Qt::yellow);
    edit_->setPalette(yellow);
    ok_->setEnabled(false);
  }
}

TCpuF::TCpuF(Machine& machine, QWidget* parent) : QWidget(parent, Qt::Tool), machine_(machine) {
  setWindowTitle(QStringLiteral("Z80 CPU"));
  auto* grid = new QGridLayout(this);
  grid_ = grid;
  grid->setVerticalSpacing(2);
  for (int i = 0; i < kCpuFieldCount; ++i) {
    auto* label =
        new QLabel(QString::fromLatin1(CpuFields()[static_cast<size_t>(i)].Template), this);
    label->installEventFilter(this);
    labels_[static_cast<size_t>(i)] = label;
    // Register pairs side by side with their alternates; then time, interrupts, flags.
    if (i < kRegisterFields) {
      grid->addWidget(label, i / 2, i % 2);
    } else if (i < kFirstFlagField) {
      grid->addWidget(label, 6 + (i - kRegisterFields) / 2, (i - kRegisterFields) % 2);
    } else if (i < kCpuFieldCount - 1) {
      grid->addWidget(label, 9 + (i - kFirstFlagField) / 4, 2 + (i - kFirstFlagField) % 4);
    } else {
      grid->addWidget(label, 11, 0, 1, 2);
    }
  }
  pcSymbol_ = new QLabel(this);
  pcSymbol_->setObjectName(QStringLiteral("PcSymbol"));
  grid->addWidget(pcSymbol_, 12, 0, 1, 6);
  QFont font(QStringLiteral("Courier New"), 10);
  font.setStyleHint(QFont::Monospace);
  setFont(font);
  ApplyFont();
}

bool TCpuF::Running() const {
  return machine_.State.EmulThreadAlive.load(std::memory_order_relaxed);
}

QFont TCpuF::FieldFont(bool bold) const {
  QFont field = font();
  field.setBold(bold);
  return field;
}

void TCpuF::ApplyFont() {
  // Columns from the font's own metrics, whatever font the desktop substitutes: a field
  // is as wide as its bold text, and a character's width keeps neighbours apart.
  const QFontMetrics bold(FieldFont(true));
  grid_->setHorizontalSpacing(bold.horizontalAdvance(QLatin1Char('0')));
  for (size_t i = 0; i < labels_.size(); ++i) {
    labels_[i]->setFont(FieldFont(highlighted_[i]));
    labels_[i]->setMinimumWidth(
        bold.horizontalAdvance(QString::fromLatin1(CpuFields()[i].Template)));
  }
}

void TCpuF::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) ApplyFont();
}

void TCpuF::Refresh() {
  // The registers belong to the emulation thread while it runs.
  if (Running()) return;
  Z80Registers& r = machine_.State.Regs;
  r.R = static_cast<uint8_t>((r.R & 0x7F) | r.R7);
  for (int i = 0; i < kCpuFieldCount; ++i) UpdateField(i);
  const std::string name = Symbols ? Symbols->NameAt(r.PC) : std::string();
  pcSymbol_->setText(name.empty() ? QString()
                                  : QStringLiteral("PC at ") + QString::fromStdString(name));
}

void TCpuF::UpdateField(int index) {
  const auto i = static_cast<size_t>(index);
  const uint32_t value = CpuFieldValue(index, machine_.State);
  QLabel* label = labels_[i];
  if (!shown_[i] || value != shadow_[i]) {
    // The first refresh fills the text without calling it a change.
    const bool changed = shown_[i];
    shown_[i] = true;
    shadow_[i] = value;
    label->setText(QString::fromStdString(CpuFieldText(index, value, machine_.State.TacktsPerInt)));
    highlighted_[i] = changed;
  } else {
    highlighted_[i] = false;
  }
  label->setFont(FieldFont(highlighted_[i]));
}

void TCpuF::FieldDoubleClicked(int index, int x) {
  if (Running()) {
    QApplication::beep();
    return;
  }
  Z80Registers& r = machine_.State.Regs;
  if (index >= kFirstFlagField && index < kCpuFieldCount - 1) {
    r.AF.Low ^= CpuFields()[static_cast<size_t>(index)].FlagMask;
  } else if (index == kIff1Field) {
    r.IFF1 = r.IFF1 ? 0 : 1;
  } else if (index == kIff2Field) {
    r.IFF2 = r.IFF2 ? 0 : 1;
  } else if (index < kRegisterFields) {
    const auto value = static_cast<uint16_t>(CpuFieldValue(index, machine_.State));
    if (x < kNameWidth) {
      if (ShowInMemory) ShowInMemory(value);
      return;
    }
    RegisterEditor editor(QString::fromStdString(CpuFieldRegisterName(index)), value, r, this,
                          Symbols, &machine_.Mem);
    editor.move(frameGeometry().right() + 4, frameGeometry().top());
    if (!RunEditor(editor)) return;
    SetCpuFieldRegister(index, machine_.State, editor.Value());
  } else {
    return;
  }
  // The step history replays nothing across an edit.
  machine_.NoteExternalChange();
  Refresh();
}

bool TCpuF::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    for (int i = 0; i < kCpuFieldCount; ++i) {
      if (watched == labels_[static_cast<size_t>(i)]) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        FieldDoubleClicked(i, static_cast<int>(mouse->position().x()));
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace vantrel
