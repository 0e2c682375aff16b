#include "ui/PortsOptionsPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QVBoxLayout>

#include "ui/PortDecodeEdit.h"

namespace vantrel {

namespace {

// The menu's defaults are those of a first run.
PortDecodeSetting DefaultJoystick() {
  return HardwareSettings{}.KempstonJoystick;
}
PortDecodeSetting DefaultKeyboard() {
  return HardwareSettings{}.Keyboard;
}

QGroupBox* DecodeGroup(const QString& title, QCheckBox* enabled, PortDecodeEdit* edit,
                       QWidget* parent) {
  auto* group = new QGroupBox(title, parent);
  auto* layout = new QHBoxLayout(group);
  layout->addWidget(enabled);
  layout->addStretch();
  layout->addWidget(edit);
  return group;
}

}  // namespace

PortsOptionsPage::PortsOptionsPage(QWidget* parent)
    : QWidget(parent),
      keyboardEnabled_(new QCheckBox(tr("Enabled"), this)),
      keyboardDecode_(new PortDecodeEdit(this)),
      joystickEnabled_(new QCheckBox(tr("Enabled"), this)),
      joystickDecode_(new PortDecodeEdit(this)),
      attributeEnabled_(new QCheckBox(tr("Enabled"), this)),
      attributeAllUnused_(new QCheckBox(tr("All Unused Ports"), this)),
      decodeMenu_(new QMenu(this)) {
  setObjectName(QStringLiteral("PortsOptionsPage"));
  keyboardEnabled_->setObjectName(QStringLiteral("KeyboardEnabled"));
  keyboardDecode_->setObjectName(QStringLiteral("KeyboardDecode"));
  joystickEnabled_->setObjectName(QStringLiteral("JoystickEnabled"));
  joystickDecode_->setObjectName(QStringLiteral("JoystickDecode"));
  attributeEnabled_->setObjectName(QStringLiteral("AttributeEnabled"));
  attributeAllUnused_->setObjectName(QStringLiteral("AttributeAllUnused"));
  attributeEnabled_->setToolTip(
      tr("Reads of port #FF that no device answers return the attribute under the beam"));
  attributeAllUnused_->setToolTip(tr("Reads of every other unanswered port return it too"));

  auto* attributeGroup = new QGroupBox(tr("Attribute Port (#FF)"), this);
  auto* attributeLayout = new QVBoxLayout(attributeGroup);
  attributeLayout->addWidget(attributeEnabled_);
  attributeLayout->addWidget(attributeAllUnused_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      DecodeGroup(tr("Keyboard, Sound etc. (Port #FE)"), keyboardEnabled_, keyboardDecode_, this));
  layout->addWidget(
      DecodeGroup(tr("Kempston Joystick Port (#1F)"), joystickEnabled_, joystickDecode_, this));
  layout->addWidget(attributeGroup);
  layout->addStretch();

  // Each entry restores its own port, whichever editor was right-clicked.
  defaultJoystick_ = decodeMenu_->addAction(tr("Default &Kempston port decode"), this, [this] {
    joystickDecode_->SetDecode(DefaultJoystick().Mask, DefaultJoystick().Bits);
  });
  defaultKeyboard_ = decodeMenu_->addAction(tr("&Default Keyboard port decode"), this, [this] {
    keyboardDecode_->SetDecode(DefaultKeyboard().Mask, DefaultKeyboard().Bits);
  });
  for (PortDecodeEdit* edit : {keyboardDecode_, joystickDecode_}) {
    edit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(edit, &QWidget::customContextMenuRequested, this,
            [this, edit](const QPoint& pos) { decodeMenu_->popup(edit->mapToGlobal(pos)); });
  }

  for (QCheckBox* box : {keyboardEnabled_, joystickEnabled_, attributeEnabled_}) {
    connect(box, &QCheckBox::toggled, this, &PortsOptionsPage::UpdateEnabling);
  }
  Load(HardwareSettings{});
}

void PortsOptionsPage::UpdateEnabling() {
  keyboardDecode_->setEnabled(keyboardEnabled_->isChecked());
  joystickDecode_->setEnabled(joystickEnabled_->isChecked());
  // Other ports only ever return the attribute when #FF does.
  attributeAllUnused_->setEnabled(attributeEnabled_->isChecked());
}

void PortsOptionsPage::Load(const HardwareSettings& settings) {
  keyboardEnabled_->setChecked(settings.Keyboard.Enabled);
  keyboardDecode_->SetDecode(settings.Keyboard.Mask, settings.Keyboard.Bits);
  joystickEnabled_->setChecked(settings.KempstonJoystick.Enabled);
  joystickDecode_->SetDecode(settings.KempstonJoystick.Mask, settings.KempstonJoystick.Bits);
  attributeEnabled_->setChecked(settings.AttributePort.Enabled);
  attributeAllUnused_->setChecked(settings.AttributePort.AllUnused);
  UpdateEnabling();
}

void PortsOptionsPage::Store(HardwareSettings& settings) const {
  settings.Keyboard = {keyboardDecode_->Mask(), keyboardDecode_->Bits(),
                       keyboardEnabled_->isChecked()};
  settings.KempstonJoystick = {joystickDecode_->Mask(), joystickDecode_->Bits(),
                               joystickEnabled_->isChecked()};
  settings.AttributePort = {attributeEnabled_->isChecked(), attributeAllUnused_->isChecked()};
}

}  // namespace vantrel
