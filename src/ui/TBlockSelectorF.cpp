#include "ui/TBlockSelectorF.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace vantrel {

TBlockSelectorF::TBlockSelectorF(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(QStringLiteral("BlockSelectorF"));
  setWindowTitle(QStringLiteral("Select tape part for loading"));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("SelectionListLB"));
  layout->addWidget(list_);
  auto* buttons = new QHBoxLayout;
  continue_ = new QPushButton(QStringLiteral("Continue"), this);
  continue_->setObjectName(QStringLiteral("ContinueButton"));
  continue_->setDefault(true);
  stop_ = new QPushButton(QStringLiteral("Stop Tape"), this);
  stop_->setObjectName(QStringLiteral("StopTapeButton"));
  buttons->addWidget(continue_);
  buttons->addWidget(stop_);
  layout->addLayout(buttons);
  connect(continue_, &QPushButton::clicked, this, &QDialog::accept);
  connect(stop_, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  resize(360, 220);
}

int TBlockSelectorF::Choose(const std::vector<std::string>& texts) {
  list_->clear();
  for (const std::string& text : texts) list_->addItem(QString::fromStdString(text));
  list_->setCurrentRow(0);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  if (exec() != QDialog::Accepted) return kNoChoice;
  const int row = list_->currentRow();
  return row < 0 || row >= kNoChoice ? kNoChoice : row;
}

}  // namespace vantrel
