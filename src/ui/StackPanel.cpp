#include "ui/StackPanel.h"

#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/Memory.h"

namespace vantrel {

namespace {

constexpr int kRows = 16;

QString Hex4(uint16_t value) {
  return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

StackPanel::StackPanel(const Memory& memory, QWidget* parent) : QWidget(parent), memory_(memory) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  layout->addWidget(new QLabel(QStringLiteral("Stack"), this));
  auto* row = new QHBoxLayout;
  row->setSpacing(0);
  grid_ = new QTableWidget(kRows, 2, this);
  grid_->setObjectName(QStringLiteral("SGrid"));
  grid_->horizontalHeader()->hide();
  grid_->verticalHeader()->hide();
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QFont font(QStringLiteral("Courier New"), 10);
  font.setStyleHint(QFont::TypeWriter);
  grid_->setFont(font);
  const int lineHeight = QFontMetrics(font).height();
  grid_->verticalHeader()->setDefaultSectionSize(lineHeight);
  grid_->verticalHeader()->setMinimumSectionSize(lineHeight);
  // Room for four digits plus the cell's own margins, whatever font stands in for Courier.
  const int columnWidth = QFontMetrics(font).horizontalAdvance(QStringLiteral("FFFF")) + 16;
  grid_->setColumnWidth(0, columnWidth);
  grid_->setColumnWidth(1, columnWidth);
  grid_->setFixedSize(2 * columnWidth + 2, kRows * lineHeight + 2);
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < 2; ++c) grid_->setItem(r, c, new QTableWidgetItem);
  }
  scroll_ = new QScrollBar(Qt::Vertical, this);
  scroll_->setObjectName(QStringLiteral("StackSB"));
  scroll_->setRange(0, 65535);
  scroll_->setSingleStep(2);
  scroll_->setPageStep(32);
  scroll_->setFixedHeight(grid_->height());
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
    const uint16_t aligned = AlignStackPosition(value, sp_);
    if (aligned != value) {
      const QSignalBlocker block(scroll_);
      scroll_->setValue(aligned);
    }
    position_ = aligned;
    Fill();
  });
  row->addWidget(grid_);
  row->addWidget(scroll_);
  layout->addLayout(row);
}

void StackPanel::ShowStack(uint16_t sp) {
  sp_ = sp;
  position_ = StackViewStart(sp);
  {
    const QSignalBlocker block(scroll_);
    scroll_->setValue(position_);
  }
  Fill();
}

void StackPanel::Fill() {
  for (int r = 0; r < kRows; ++r) {
    const auto address = static_cast<uint16_t>(position_ + 2 * r);
    QFont font = grid_->font();
    font.setBold(address == sp_);
    QTableWidgetItem* addressItem = grid_->item(r, 0);
    QTableWidgetItem* valueItem = grid_->item(r, 1);
    addressItem->setText(Hex4(address));
    valueItem->setText(Hex4(memory_.PeekWord(address)));
    addressItem->setFont(font);
    valueItem->setFont(font);
  }
}

}  // namespace vantrel
