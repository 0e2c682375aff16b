#include "ui/TTzxMessager.h"

#include <QFont>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace vantrel {

TTzxMessager::TTzxMessager(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName(QStringLiteral("TzxMessager"));
  setWindowTitle(QStringLiteral("  TZX Message"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  text_ = new QPlainTextEdit(this);
  text_->setObjectName(QStringLiteral("MessageText"));
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont courier(QStringLiteral("Courier"));
  courier.setStyleHint(QFont::TypeWriter);
  text_->setFont(courier);
  layout->addWidget(text_);
  resize(420, 160);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  timer_ = new QTimer(this);
  timer_->setInterval(1000);
  connect(timer_, &QTimer::timeout, this, &TTzxMessager::Tick);
}

void TTzxMessager::ShowMessage(const QString& text, int seconds) {
  seconds_ = seconds;
  // A message that waits for the user must not be hidden by an earlier one's countdown.
  if (seconds_ != 0) {
    timer_->start();
  } else {
    timer_->stop();
  }
  text_->clear();
  text_->setPlainText(QString(text).replace(QLatin1Char('\r'), QLatin1Char('\n')));
  show();
}

void TTzxMessager::Tick() {
  if (seconds_ == 0 || --seconds_ != 0) return;
  timer_->stop();
  hide();
}

}  // namespace vantrel
