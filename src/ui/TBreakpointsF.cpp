#include "ui/TBreakpointsF.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "debugger/BreakpointText.h"
#include "debugger/Evaluator.h"

namespace vantrel {

namespace {

constexpr int kRowHeight = 15;
constexpr int kColumns = 6;
constexpr int kVisibleRows = 7;
// Values that cannot be used are shown on a yellow ground.
void MarkBad(QWidget* widget, bool bad) {
  QPalette palette;
  if (bad) palette.setColor(QPalette::Base, Qt::yellow);
  widget->setPalette(palette);
}

}  // namespace

TBreakpointsF::TBreakpointsF(const Z80Registers& regs, QWidget* parent)
    : QWidget(parent, Qt::Tool), regs_(regs) {
  setWindowTitle(QStringLiteral("Breakpoints"));
  auto* layout = new QVBoxLayout(this);
  list_ = new QTableWidget(0, kColumns, this);
  list_->setHorizontalHeaderLabels({QString(), QStringLiteral("\u2116"), QStringLiteral("Type"),
                                    QStringLiteral("Argument"), QStringLiteral("Pass"),
                                    QStringLiteral("Condition")});
  const int widths[] = {16, 22, 25 + 45, 70, 40, 120};
  for (int c = 0; c < kColumns; ++c) list_->setColumnWidth(c, widths[c]);
  list_->horizontalHeader()->setStretchLastSection(true);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setFixedHeight(kRowHeight * (kVisibleRows + 1) + 6);
  layout->addWidget(list_);
  connect(list_, &QTableWidget::currentCellChanged, this, [this](int row) {
    if (!editing_ && row >= 0) Select(row);
  });

  auto* form = new QGridLayout;
  type_ = new QComboBox(this);
  for (int t = 0; t < kBreakTypeCount; ++t) {
    type_->addItem(QString::fromLatin1(BreakTypeName(static_cast<BreakType>(t))));
  }
  argumentLabel_ = new QLabel(QStringLiteral("Address:"), this);
  argument_ = new QLineEdit(this);
  pass_ = new QLineEdit(this);
  form->addWidget(new QLabel(QStringLiteral("Type:"), this), 0, 0);
  form->addWidget(type_, 0, 1);
  form->addWidget(argumentLabel_, 1, 0);
  form->addWidget(argument_, 1, 1);
  form->addWidget(new QLabel(QStringLiteral("Pass:"), this), 2, 0);
  form->addWidget(pass_, 2, 1);
  condition_ = new QLineEdit(this);
  condition_->setObjectName(QStringLiteral("ConditionEdit"));
  condition_->setPlaceholderText(QStringLiteral("always, or e.g. A=#10 && [HL]>3"));
  conditionError_ = new QLabel(this);
  QPalette red = conditionError_->palette();
  red.setColor(QPalette::WindowText, Qt::red);
  conditionError_->setPalette(red);
  form->addWidget(new QLabel(QStringLiteral("Condition:"), this), 3, 0);
  form->addWidget(condition_, 3, 1);
  form->addWidget(conditionError_, 4, 1);
  layout->addLayout(form);
  connect(condition_, &QLineEdit::textChanged, this, [this] { Validate(); });
  connect(type_, &QComboBox::currentIndexChanged, this, [this] { Validate(); });
  connect(argument_, &QLineEdit::textChanged, this, [this] { Validate(); });
  connect(pass_, &QLineEdit::textChanged, this, [this] { Validate(); });

  auto* buttons = new QHBoxLayout;
  const auto button = [this, buttons](const char* text, void (TBreakpointsF::*action)()) {
    auto* b = new QPushButton(QString::fromLatin1(text), this);
    connect(b, &QPushButton::clicked, this, action);
    buttons->addWidget(b);
    return b;
  };
  add_ = button("&Add", &TBreakpointsF::AddEntry);
  edit_ = button("&Edit", &TBreakpointsF::EditEntry);
  save_ = button("Save", &TBreakpointsF::SaveEntry);
  cancel_ = button("Cancel", &TBreakpointsF::CancelEdit);
  delete_ = button("&Delete", &TBreakpointsF::DeleteEntry);
  disable_ = new QPushButton(QStringLiteral("Di&sable"), this);
  enable_ = new QPushButton(QStringLiteral("E&nable"), this);
  connect(disable_, &QPushButton::clicked, this, [this] { SetSelectedEnabled(false); });
  connect(enable_, &QPushButton::clicked, this, [this] { SetSelectedEnabled(true); });
  buttons->addWidget(disable_);
  buttons->addWidget(enable_);
  layout->addLayout(buttons);
  SetEditing(false);
}

void TBreakpointsF::Select(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) index = entries_.empty() ? -1 : 0;
  selected_ = index;
  if (selected_ >= 0) {
    ShowEntry(entries_[static_cast<size_t>(selected_)]);
    list_->setCurrentCell(selected_, 0);
  }
  SetEditing(false);
}

void TBreakpointsF::ShowEntry(const Breakpoint& entry) {
  type_->setCurrentIndex(static_cast<int>(entry.Type));
  const std::string argument = BreakArgumentText(entry);
  argument_->setText(entry.Argument == kBreakAny || argument.empty()
                         ? QString()
                         : QString::fromStdString(argument));
  pass_->setText(entry.Pass > 1 ? QString::number(entry.Pass) : QString());
  condition_->setText(QString::fromStdString(entry.ConditionText));
}

void TBreakpointsF::SetEditing(bool editing) {
  editing_ = editing;
  type_->setEnabled(editing);
  argument_->setEnabled(editing);
  pass_->setEnabled(editing);
  condition_->setEnabled(editing);
  cancel_->setEnabled(editing);
  add_->setEnabled(!editing && entries_.size() < Breakpoints::kMaxEntries);
  const bool chosen = !editing && selected_ >= 0;
  edit_->setEnabled(chosen);
  delete_->setEnabled(chosen);
  disable_->setEnabled(chosen && entries_[static_cast<size_t>(selected_)].Enabled);
  enable_->setEnabled(chosen && !entries_[static_cast<size_t>(selected_)].Enabled);
  Validate();
}

void TBreakpointsF::Validate() {
  const int type = type_->currentIndex();
  MarkBad(type_, type < 0);
  const auto kind = static_cast<BreakType>(type < 0 ? 0 : type);
  if (kind == BreakType::Execution || kind == BreakType::WriteMemory ||
      kind == BreakType::ReadMemory) {
    argumentLabel_->setText(QStringLiteral("Address:"));
  } else if (kind == BreakType::WritePort || kind == BreakType::ReadPort) {
    argumentLabel_->setText(QStringLiteral("Port:"));
  } else {
    argumentLabel_->setText(QStringLiteral("Tackts:"));
  }
  const bool hasArgument = kind != BreakType::Interrupt && kind != BreakType::Nmi;
  argumentLabel_->setVisible(hasArgument);
  argument_->setVisible(hasArgument);

  bool valid = type >= 0;
  pending_ = Breakpoint{kind, kBreakAny, 0, true};
  const QString argument = argument_->text().trimmed();
  bool argumentValid = true;
  if (hasArgument && !argument.isEmpty()) {
    try {
      const int32_t value = EvaluateExpression(argument.toStdString(), regs_, symbols_, mem_);
      pending_.Argument =
          kind == BreakType::TimePass ? static_cast<uint32_t>(value) : static_cast<uint16_t>(value);
    } catch (const ExpressionError&) {
      argumentValid = false;
    }
  }
  if (kind == BreakType::TimePass && (argument.isEmpty() || pending_.Argument == 0)) {
    argumentValid = false;
  }
  MarkBad(argument_, editing_ && !argumentValid);
  bool passValid = true;
  if (!pass_->text().trimmed().isEmpty()) {
    try {
      pending_.Pass = static_cast<uint32_t>(
          EvaluateExpression(pass_->text().toStdString(), regs_, symbols_, mem_));
    } catch (const ExpressionError&) {
      passValid = false;
    }
  }
  MarkBad(pass_, editing_ && !passValid);
  // Parsed as typed; a failure while running (a division by zero) stops the machine.
  std::string why;
  const bool conditionValid =
      SetBreakCondition(pending_, condition_->text().toStdString(), symbols_, &why);
  MarkBad(condition_, editing_ && !conditionValid);
  conditionError_->setText(editing_ && !conditionValid ? QString::fromStdString(why) : QString());
  valid = valid && argumentValid && passValid && conditionValid;
  save_->setEnabled(editing_ && valid);
}

void TBreakpointsF::AddEntry() {
  if (editing_ || entries_.size() >= Breakpoints::kMaxEntries) return;
  editingIndex_ = -1;
  type_->setCurrentIndex(-1);
  argument_->clear();
  pass_->clear();
  condition_->clear();
  SetEditing(true);
}

void TBreakpointsF::EditEntry() {
  if (editing_ || selected_ < 0) return;
  editingIndex_ = selected_;
  SetEditing(true);
}

void TBreakpointsF::SaveEntry() {
  Validate();
  if (!editing_ || !save_->isEnabled()) return;
  int index = editingIndex_;
  if (index < 0) {
    entries_.push_back(pending_);
    index = static_cast<int>(entries_.size()) - 1;
  } else {
    pending_.Enabled = entries_[static_cast<size_t>(index)].Enabled;
    entries_[static_cast<size_t>(index)] = pending_;
  }
  editing_ = false;
  Publish();
  Select(index);
}

void TBreakpointsF::CancelEdit() {
  editing_ = false;
  Select(selected_);
}

void TBreakpointsF::DeleteEntry() {
  if (editing_ || selected_ < 0) return;
  entries_.erase(entries_.begin() + selected_);
  Publish();
  Select(std::min(selected_, static_cast<int>(entries_.size()) - 1));
}

void TBreakpointsF::SetSelectedEnabled(bool enabled) {
  if (editing_ || selected_ < 0) return;
  entries_[static_cast<size_t>(selected_)].Enabled = enabled;
  Publish();
  Select(selected_);
}

void TBreakpointsF::Publish() {
  FillList();
  if (Changed) Changed(entries_);
}

void TBreakpointsF::FillList() {
  list_->setRowCount(static_cast<int>(entries_.size()));
  const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
  for (int row = 0; row < static_cast<int>(entries_.size()); ++row) {
    const Breakpoint& entry = entries_[static_cast<size_t>(row)];
    // The marks of the disassembler's lines: a full dot enabled, a ring disabled.
    const QString texts[kColumns] = {
        entry.Enabled ? QStringLiteral("\u25CF") : QStringLiteral("\u25CB"),
        QString::number(row + 1),
        QString::fromLatin1(BreakTypeName(entry.Type)),
        QString::fromStdString(BreakArgumentText(entry)),
        entry.Pass > 1 ? QString::number(entry.Pass) : QString(),
        QString::fromStdString(entry.ConditionText)};
    for (int column = 0; column < kColumns; ++column) {
      auto* item = new QTableWidgetItem(texts[column]);
      if (column == 0) item->setForeground(QColor(200, 0, 0));
      if (!entry.Enabled && column > 0) item->setForeground(grey);
      list_->setItem(row, column, item);
    }
  }
}

void TBreakpointsF::SetEvaluationContext(const Memory* mem, const SymbolTable* symbols) {
  mem_ = mem;
  symbols_ = symbols;
}

bool TBreakpointsF::ToggleExecution(uint16_t address) {
  if (editing_) CancelEdit();
  const auto at = [address](const Breakpoint& entry) {
    return entry.Type == BreakType::Execution && entry.Argument == address;
  };
  if (std::erase_if(entries_, at) == 0) {
    if (entries_.size() >= Breakpoints::kMaxEntries) return false;
    entries_.push_back(Breakpoint{BreakType::Execution, address});
  }
  Publish();
  Select(selected_);
  return true;
}

BreakMark TBreakpointsF::ExecutionMark(uint16_t address) const {
  BreakMark mark = BreakMark::None;
  for (const Breakpoint& entry : entries_) {
    if (entry.Type != BreakType::Execution || entry.Argument != address) continue;
    if (entry.Enabled) return BreakMark::Enabled;
    mark = BreakMark::Disabled;
  }
  return mark;
}

void TBreakpointsF::closeEvent(QCloseEvent* event) {
  if (editing_) CancelEdit();
  QWidget::closeEvent(event);
}

}  // namespace vantrel
