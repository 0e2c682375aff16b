#include "ui/JoystickOptionsPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "input/KeyMatrix.h"

namespace vantrel {

namespace {

QString Text(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

// The key's name as its keycap reads.
QString KeyName(int key) {
  switch (key) {
    case kKeyEnter: return QStringLiteral("ENTER");
    case kKeyCapsShift: return QStringLiteral("CAPS SHIFT");
    case kKeySymbolShift: return QStringLiteral("SYMBOL SHIFT");
    case kKeySpace: return QStringLiteral("SPACE");
    default: return QString(QChar::fromLatin1(kKeyLabels[key]));
  }
}

}  // namespace

JoystickOptionsPage::JoystickOptionsPage(QWidget* parent) : QWidget(parent) {
  auto* grid = new QGridLayout(this);
  drives_ = new QComboBox(this);
  drives_->addItems({QStringLiteral("Kempston joystick"), QStringLiteral("Spectrum keys")});
  grid->addWidget(new QLabel(QStringLiteral("Game pad drives"), this), 0, 0);
  grid->addWidget(drives_, 0, 1, 1, 3);
  for (int c = 0; c < kPadControlCount; ++c) {
    auto* box = new QComboBox(this);
    box->addItem(QStringLiteral("(none)"), -1);
    for (int k = 0; k < kKeyCount; ++k) box->addItem(KeyName(k), k);
    keys_[c] = box;
    // Two columns of label and key.
    const int row = 1 + c % 6, column = c / 6 * 2;
    grid->addWidget(new QLabel(Text(kPadControlNames[c]), this), row, column);
    grid->addWidget(box, row, column + 1);
  }
  auto* presetRow = new QHBoxLayout();
  for (size_t p = 0; p < presets_.size(); ++p) {
    presets_[p] = new QPushButton(Text(kGamepadPresetNames[p]), this);
    presetRow->addWidget(presets_[p]);
    connect(presets_[p], &QPushButton::clicked, this,
            [this, p] { Show(GamepadPresetMapping(static_cast<GamepadPreset>(p))); });
  }
  grid->addLayout(presetRow, 7, 0, 1, 4);
  grid->setRowStretch(8, 1);
  connect(drives_, &QComboBox::currentIndexChanged, this, [this] { UpdateEnabling(); });
}

void JoystickOptionsPage::Show(const GamepadMapping& mapping) {
  drives_->setCurrentIndex(mapping.UseKeys ? 1 : 0);
  for (int c = 0; c < kPadControlCount; ++c) {
    const int index = keys_[c]->findData(static_cast<int>(mapping.Keys[c]));
    keys_[c]->setCurrentIndex(index < 0 ? 0 : index);
  }
  UpdateEnabling();
}

void JoystickOptionsPage::UpdateEnabling() {
  const bool keys = drives_->currentIndex() == 1;
  for (QComboBox* box : keys_) box->setEnabled(keys);
}

void JoystickOptionsPage::Load(const HardwareSettings& settings) {
  Show(settings.Gamepad);
}

void JoystickOptionsPage::Store(HardwareSettings& settings) const {
  GamepadMapping& m = settings.Gamepad;
  m.UseKeys = drives_->currentIndex() == 1;
  for (int c = 0; c < kPadControlCount; ++c) {
    m.Keys[c] = static_cast<int8_t>(keys_[c]->currentData().toInt());
  }
}

}  // namespace vantrel
