#include "ui/THistoryF.h"

#include <QAbstractTableModel>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "debugger/Disassembler.h"
#include "debugger/NumberText.h"
#include "machine/StepHistory.h"

namespace vantrel {

// The history's steps as rows, oldest first; read only while the machine stands.
class HistoryModel : public QAbstractTableModel {
 public:
  enum Column {
    kStep,
    kTackts,
    kAddress,
    kBytes,
    kCode,
    kAF,
    kBC,
    kDE,
    kHL,
    kIX,
    kIY,
    kSP,
    kCount
  };

  explicit HistoryModel(QObject* parent) : QAbstractTableModel(parent) {}

  void Show(const StepHistory* history, const SymbolTable* symbols) {
    beginResetModel();
    history_ = history;
    symbols_ = symbols;
    first_ = history ? history->Oldest() : 0;
    rows_ = history ? static_cast<int>(history->Executed() - first_) : 0;
    endResetModel();
  }
  uint64_t StepOf(int row) const { return first_ + static_cast<uint64_t>(row); }

  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : rows_; }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : kCount;
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    static const char* const names[kCount] = {"Step", "T",  "Addr", "Bytes", "Instruction", "AF",
                                              "BC",   "DE", "HL",   "IX",    "IY",          "SP"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kCount) {
      return {};
    }
    return QString::fromLatin1(names[section]);
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !history_ || index.row() < 0 || index.row() >= rows_) return {};
    const uint64_t step = StepOf(index.row());
    const HistoryEntry& e = history_->At(step);
    const Z80Registers& r = e.Before;
    const auto word = [](uint16_t value) { return QString::fromStdString(HexWord(value)); };
    switch (index.column()) {
      // Counted back from the present: -1 is the instruction Step Back undoes.
      case kStep: return QString::number(static_cast<qlonglong>(step - history_->Executed()));
      case kTackts: return QString::number(r.Tackts);
      case kAddress: return word(r.PC);
      case kBytes:
      case kCode: {
        if (e.Interrupt) return index.column() == kCode ? QStringLiteral("(interrupt)") : QString();
        // The bytes as they ran, whatever the memory holds now.
        const ByteSource bytes = [&e, pc = r.PC](uint16_t address) {
          return e.Bytes[static_cast<uint16_t>(address - pc) & 3];
        };
        const DisassembledLine line = Disassemble(bytes, r.PC, kNumberHex, symbols_);
        if (index.column() == kCode) return QString::fromStdString(line.Text);
        QString text;
        for (int i = 0; i < line.Length; ++i) {
          if (i) text += QLatin1Char(' ');
          text += QString::fromStdString(HexByte(line.Bytes[static_cast<size_t>(i)]));
        }
        return text;
      }
      case kAF: return word(r.AF.Get());
      case kBC: return word(r.BC.Get());
      case kDE: return word(r.DE.Get());
      case kHL: return word(r.HL.Get());
      case kIX: return word(r.IX.Get());
      case kIY: return word(r.IY.Get());
      case kSP: return word(r.SP);
      default: return {};
    }
  }

 private:
  const StepHistory* history_ = nullptr;
  const SymbolTable* symbols_ = nullptr;
  uint64_t first_ = 0;
  int rows_ = 0;
};

THistoryF::THistoryF(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle(QStringLiteral("History"));
  setObjectName(QStringLiteral("HistoryPanel"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  auto* top = new QHBoxLayout();
  note_ = new QLabel(this);
  note_->setObjectName(QStringLiteral("HistoryNote"));
  top->addWidget(note_, 1);
  goBack_ = new QPushButton(QStringLiteral("&Go Back Here"), this);
  goBack_->setObjectName(QStringLiteral("GoBackButton"));
  goBack_->setToolTip(QStringLiteral("Put the machine back as it stood before this instruction"));
  top->addWidget(goBack_);
  layout->addLayout(top);

  model_ = new HistoryModel(this);
  table_ = new QTableView(this);
  table_->setModel(model_);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(18);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  QFont font(QStringLiteral("Courier New"), 10);
  font.setStyleHint(QFont::Monospace);
  table_->setFont(font);
  const int widths[HistoryModel::kCount] = {64, 56, 44, 92, 150, 44, 44, 44, 44, 44, 44, 44};
  for (int c = 0; c < HistoryModel::kCount; ++c) table_->setColumnWidth(c, widths[c]);
  layout->addWidget(table_);
  connect(table_, &QTableView::doubleClicked, this, [this] { GoBackToCurrent(); });
  connect(goBack_, &QPushButton::clicked, this, [this] { GoBackToCurrent(); });
  resize(760, 320);
  Refresh(nullptr, false);
}

THistoryF::~THistoryF() = default;

void THistoryF::Refresh(const StepHistory* history, bool running) {
  if (running) {
    // The rows would be read while the emulation thread writes them.
    model_->Show(nullptr, Symbols);
    note_->setText(QStringLiteral("Running: the history is shown when the machine stops"));
  } else if (!history) {
    model_->Show(nullptr, Symbols);
    note_->setText(QStringLiteral("No history is kept (Debug menu, Keep History)"));
  } else {
    model_->Show(history, Symbols);
    note_->setText(QStringLiteral("%1 instructions kept").arg(model_->rowCount({})));
    table_->scrollToBottom();
    if (model_->rowCount({}) > 0) table_->selectRow(model_->rowCount({}) - 1);
  }
  goBack_->setEnabled(model_->rowCount({}) > 0);
}

uint64_t THistoryF::StepOfRow(int row) const {
  return model_->StepOf(row);
}

void THistoryF::GoBackToCurrent() {
  const QModelIndex current = table_->currentIndex();
  if (!current.isValid() || !GoBack) return;
  GoBack(model_->StepOf(current.row()));
}

void THistoryF::closeEvent(QCloseEvent* event) {
  if (Closed) Closed();
  QWidget::closeEvent(event);
}

}  // namespace vantrel
