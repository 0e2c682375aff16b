#include "ui/TGoToAddressForm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Settings.h"
#include "debugger/Evaluator.h"
#include "debugger/NumberText.h"

namespace vantrel {

TGoToAddressForm::TGoToAddressForm(SettingsStore& store, const Z80Registers& regs,
                                   const SymbolTable* symbols, QWidget* parent)
    : QDialog(parent), store_(store), regs_(regs), symbols_(symbols) {
  setWindowTitle(QStringLiteral("Enter Addres to Position to"));
  history_ = new QComboBox(this);
  history_->setObjectName(QStringLiteral("HistoryBox"));
  history_->setEditable(true);
  history_->setInsertPolicy(QComboBox::NoInsert);
  history_->setMinimumContentsLength(20);
  for (const std::string& entry : LoadGoToHistory(store_)) {
    history_->addItem(QString::fromStdString(entry));
  }
  result_ = new QLabel(QStringLiteral("#0000"), this);
  result_->setObjectName(QStringLiteral("ResultLabel"));
  go_ = new QPushButton(QStringLiteral("Go to"), this);
  go_->setDefault(true);
  go_->setEnabled(false);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);

  auto* row = new QHBoxLayout;
  row->addWidget(history_, 1);
  row->addWidget(new QLabel(QStringLiteral("="), this));
  row->addWidget(result_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(go_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(buttons);

  connect(history_, &QComboBox::editTextChanged, this, &TGoToAddressForm::Evaluate);
  connect(go_, &QPushButton::clicked, this, &TGoToAddressForm::Accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

TGoToAddressForm::~TGoToAddressForm() {
  std::vector<std::string> history;
  for (int i = 0; i < history_->count(); ++i)
    history.push_back(history_->itemText(i).toStdString());
  SaveGoToHistory(store_, history);
}

void TGoToAddressForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (history_->count() > 0) history_->setCurrentIndex(0);
  Evaluate(history_->currentText());
  history_->lineEdit()->selectAll();
  history_->setFocus();
}

void TGoToAddressForm::Evaluate(const QString& text) {
  QPalette palette = history_->palette();
  QPalette resultPalette = result_->palette();
  try {
    address_ = static_cast<uint16_t>(EvaluateExpression(text.toStdString(), regs_, symbols_));
    result_->setText(QString::fromStdString("#" + HexWord(address_)));
    resultPalette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Base, QWidget::palette().color(QPalette::Base));
    go_->setEnabled(true);
  } catch (const ExpressionError&) {
    // The evaluator's own message is not shown: the box's colour says where the fault is.
    result_->setText(QStringLiteral("Error!"));
    resultPalette.setColor(QPalette::WindowText, Qt::red);
    palette.setColor(QPalette::Base, Qt::yellow);
    go_->setEnabled(false);
  }
  result_->setPalette(resultPalette);
  history_->setPalette(palette);
  if (history_->lineEdit()) history_->lineEdit()->setPalette(palette);
}

void TGoToAddressForm::Accept() {
  const QString text = history_->currentText();
  const uint16_t address = address_;  // reordering the list passes other texts by
  const int found = history_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (found >= 0) history_->removeItem(found);
  history_->insertItem(0, text);
  while (history_->count() > static_cast<int>(kGoToHistorySize)) {
    history_->removeItem(history_->count() - 1);
  }
  history_->setCurrentIndex(0);
  address_ = address;
  accept();
}

}  // namespace vantrel
