#include "ui/TFindPatternF.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "debugger/MemoryBlocks.h"
#include "debugger/NumberText.h"

namespace vantrel {

namespace {

constexpr size_t kHintBytes = 20;

QGroupBox* Choice(QWidget* parent, const char* title, const char* first, const char* second,
                  QRadioButton** secondButton) {
  auto* box = new QGroupBox(QString::fromLatin1(title), parent);
  auto* layout = new QVBoxLayout(box);
  auto* a = new QRadioButton(QString::fromLatin1(first), box);
  auto* b = new QRadioButton(QString::fromLatin1(second), box);
  a->setChecked(true);
  layout->addWidget(a);
  layout->addWidget(b);
  *secondButton = b;
  return box;
}

}  // namespace

TFindPatternF::TFindPatternF(const Z80Registers& regs, QWidget* parent)
    : QDialog(parent), regs_(regs) {
  setWindowTitle(QStringLiteral("Find Pattern"));
  auto* layout = new QVBoxLayout(this);
  text_ = new QLineEdit(this);
  hint_ = new QLabel(this);
  layout->addWidget(text_);
  layout->addWidget(hint_);
  auto* options = new QHBoxLayout;
  options->addWidget(Choice(this, "Origin", "&Entire Scope", "&From Cursor", &fromCursor_));
  options->addWidget(Choice(this, "Direction", "Forwar&d", "&Backward", &backward_));
  layout->addLayout(options);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  find_ = buttons->addButton(QStringLiteral("Find"), QDialogButtonBox::AcceptRole);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(text_, &QLineEdit::textChanged, this, [this] { Evaluate(); });
  Evaluate();
}

bool TFindPatternF::FromCursor() const {
  return fromCursor_->isChecked();
}

bool TFindPatternF::Forward() const {
  return !backward_->isChecked();
}

void TFindPatternF::Evaluate() {
  std::string error;
  const auto bytes = ParseSearchPattern(text_->text().toStdString(), regs_, &error);
  if (!bytes) {
    pattern_.clear();
    hint_->setText(QStringLiteral(" Error!"));
    hint_->setStyleSheet(QStringLiteral("color: red"));
    hint_->setToolTip(QString::fromStdString(error));
    find_->setEnabled(false);
    return;
  }
  pattern_ = *bytes;
  QString hint;
  for (size_t i = 0; i < pattern_.size() && i < kHintBytes; ++i) {
    hint += QStringLiteral("#") + QString::fromStdString(HexByte(pattern_[i])) + QLatin1Char(' ');
  }
  hint_->setText(hint);
  hint_->setStyleSheet(QString());
  hint_->setToolTip(QString());
  find_->setEnabled(true);
}

}  // namespace vantrel
