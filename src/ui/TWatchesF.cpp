#include "ui/TWatchesF.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include "machine/Machine.h"

namespace vantrel {

TWatchesF::TWatchesF(Machine& machine, std::vector<std::string> expressions, QWidget* parent)
    : QWidget(parent, Qt::Tool), machine_(machine), watches_(std::move(expressions)) {
  setWindowTitle(QStringLiteral("Watches"));
  setObjectName(QStringLiteral("WatchesPanel"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  table_ = new QTableWidget(0, 2, this);
  table_->setHorizontalHeaderLabels({QStringLiteral("Expression"), QStringLiteral("Value")});
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(18);
  table_->setColumnWidth(0, 160);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
  QFont font(QStringLiteral("Courier New"), 10);
  font.setStyleHint(QFont::Monospace);
  table_->setFont(font);
  layout->addWidget(table_);
  connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (!filling_ && item->column() == 0) TextEdited(item->row());
  });
  resize(300, 200);
  Fill();
}

void TWatchesF::Refresh() {
  // Registers and memory belong to the emulation thread while it runs.
  if (machine_.State.EmulThreadAlive.load(std::memory_order_relaxed)) return;
  watches_.Refresh(machine_.State.Regs, &machine_.Mem, Symbols);
  Fill();
}

void TWatchesF::Fill() {
  filling_ = true;
  const auto& rows = watches_.Rows();
  // The rows, then the empty one that adds.
  table_->setRowCount(static_cast<int>(rows.size()) + 1);
  for (int r = 0; r <= static_cast<int>(rows.size()); ++r) {
    const bool adder = r == static_cast<int>(rows.size());
    auto* text = new QTableWidgetItem(
        adder ? QString() : QString::fromStdString(rows[static_cast<size_t>(r)].Text));
    if (adder) text->setToolTip(QStringLiteral("Type an expression here to add a watch"));
    auto* value = new QTableWidgetItem(
        adder ? QString()
              : QString::fromStdString(WatchList::ValueText(rows[static_cast<size_t>(r)])));
    value->setFlags(value->flags() & ~Qt::ItemIsEditable);
    if (!adder) {
      const WatchList::Row& row = rows[static_cast<size_t>(r)];
      QFont bold = table_->font();
      bold.setBold(row.Changed);
      value->setFont(bold);
      if (!row.Value) value->setForeground(Qt::red);
    }
    table_->setItem(r, 0, text);
    table_->setItem(r, 1, value);
  }
  filling_ = false;
}

void TWatchesF::TextEdited(int row) {
  const std::string text = table_->item(row, 0)->text().trimmed().toStdString();
  const auto index = static_cast<size_t>(row);
  if (index >= watches_.Rows().size()) {
    if (text.empty() || !watches_.Add(text)) return Fill();
  } else if (text.empty()) {
    watches_.Remove(index);
  } else {
    watches_.Edit(index, text);
  }
  if (Changed) Changed();
  // Fill from the queue: the table is still inside the item's edit.
  QMetaObject::invokeMethod(
      this,
      [this] {
        Refresh();
        Fill();
      },
      Qt::QueuedConnection);
}

void TWatchesF::keyPressEvent(QKeyEvent* event) {
  const int row = table_->currentRow();
  if (event->key() == Qt::Key_Delete && row >= 0 &&
      row < static_cast<int>(watches_.Rows().size())) {
    watches_.Remove(static_cast<size_t>(row));
    if (Changed) Changed();
    Fill();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TWatchesF::closeEvent(QCloseEvent* event) {
  if (Closed) Closed();
  QWidget::closeEvent(event);
}

}  // namespace vantrel
