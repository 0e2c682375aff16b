#include "ui/PortDecodeEdit.h"

#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace vantrel {

namespace {

constexpr int kGapChar = 8;  // the blank between the high and the low byte

}  // namespace

PortDecodeEdit::PortDecodeEdit(QWidget* parent) : QWidget(parent) {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  // Courier's glyphs are about 0.6 em wide: 12 px keeps them inside an 8-px cell.
  font.setPixelSize(12);
  setFont(font);
  setFixedSize(kTextLength * kCharWidth + 2 * kMargin, QFontMetrics(font).height() + 2 * kMargin);
  setToolTip(tr("Click a bit to cycle it: - (ignored), 0, 1"));
}

void PortDecodeEdit::SetDecode(uint16_t mask, uint16_t bits) {
  if (mask == mask_ && bits == bits_) return;
  mask_ = mask;
  bits_ = bits;
  update();
  Q_EMIT DecodeChanged();
}

QString PortDecodeEdit::Text() const {
  QString text;
  text.reserve(kTextLength);
  for (int bit = 15; bit >= 0; --bit) {
    if (bit == 7) text += QLatin1Char(' ');
    const uint16_t flag = static_cast<uint16_t>(1u << bit);
    if (!(mask_ & flag)) {
      text += QLatin1Char('-');
    } else {
      text += QLatin1Char((bits_ & flag) ? '1' : '0');
    }
  }
  return text;
}

int PortDecodeEdit::BitAtPixel(int x) {
  if (x < 0) return -1;
  const int character = x / kCharWidth;
  if (character < kGapChar) return 15 - character;
  if (character == kGapChar || character >= kTextLength) return -1;
  return kTextLength - 1 - character;
}

void PortDecodeEdit::CycleBit(int bit) {
  const auto flag = static_cast<uint16_t>(1u << bit);
  uint16_t mask = mask_;
  uint16_t bits = bits_;
  if (!(mask & flag)) {
    mask |= flag;  // ignored -> must be 0
    bits &= static_cast<uint16_t>(~flag);
  } else if (!(bits & flag)) {
    bits |= flag;  // 0 -> 1
  } else {
    mask &= static_cast<uint16_t>(~flag);  // 1 -> ignored
    bits &= static_cast<uint16_t>(~flag);
  }
  SetDecode(mask, bits);
}

void PortDecodeEdit::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const bool enabled = isEnabled();
  painter.fillRect(rect(), palette().color(enabled ? QPalette::Base : QPalette::Button));
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  painter.setPen(palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::Text));
  const QString text = Text();
  const int textHeight = height() - 2 * kMargin;
  for (int i = 0; i < kTextLength; ++i) {
    const QRect cell(kMargin + i * kCharWidth, kMargin, kCharWidth, textHeight);
    painter.drawText(cell, Qt::AlignCenter, text.mid(i, 1));
  }
}

void PortDecodeEdit::mousePressEvent(QMouseEvent* event) {
  // A disabled widget gets no mouse events from Qt; the check covers events sent directly.
  if (!isEnabled() || event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  const QPoint point = event->position().toPoint() - QPoint(kMargin, kMargin);
  if (point.y() < 0 || point.y() >= height() - 2 * kMargin) return;
  const int bit = BitAtPixel(point.x());
  if (bit >= 0) CycleBit(bit);
}

void PortDecodeEdit::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

}  // namespace vantrel
