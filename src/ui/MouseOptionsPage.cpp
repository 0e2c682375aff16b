#include "ui/MouseOptionsPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

namespace vantrel {

MouseOptionsPage::MouseOptionsPage(QWidget* parent)
    : QWidget(parent),
      enabled_(new QCheckBox(tr("Enabled"), this)),
      swapButtons_(new QCheckBox(tr("Swap Left and Right Buttons"), this)),
      wheelSupport_(new QCheckBox(tr("Mouse Wheel Support"), this)),
      wheelDirection_(new QCheckBox(tr("Invert Wheel Direction"), this)) {
  setObjectName(QStringLiteral("MouseOptionsPage"));
  enabled_->setObjectName(QStringLiteral("MouseEnabled"));
  swapButtons_->setObjectName(QStringLiteral("MouseSwapButtons"));
  wheelSupport_->setObjectName(QStringLiteral("MouseWheelSupport"));
  wheelDirection_->setObjectName(QStringLiteral("MouseWheelDirection"));

  auto* group = new QGroupBox(tr("Kempston Mouse"), this);
  auto* groupLayout = new QVBoxLayout(group);
  for (QCheckBox* box : {enabled_, swapButtons_, wheelSupport_, wheelDirection_}) {
    groupLayout->addWidget(box);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addStretch();

  connect(enabled_, &QCheckBox::toggled, this, &MouseOptionsPage::UpdateEnabling);
  connect(wheelSupport_, &QCheckBox::toggled, this, &MouseOptionsPage::UpdateEnabling);
  Load(HardwareSettings{});
}

void MouseOptionsPage::UpdateEnabling() {
  const bool mouse = enabled_->isChecked();
  swapButtons_->setEnabled(mouse);
  wheelSupport_->setEnabled(mouse);
  wheelDirection_->setEnabled(mouse && wheelSupport_->isChecked());
}

void MouseOptionsPage::Load(const HardwareSettings& settings) {
  const KempstonMouseSetting& mouse = settings.KempstonMouse;
  enabled_->setChecked(mouse.Enabled);
  swapButtons_->setChecked(mouse.SwapButtons);
  wheelSupport_->setChecked(mouse.WheelSupport);
  wheelDirection_->setChecked(mouse.WheelDirection);
  UpdateEnabling();
}

void MouseOptionsPage::Store(HardwareSettings& settings) const {
  settings.KempstonMouse = {enabled_->isChecked(), swapButtons_->isChecked(),
                            wheelSupport_->isChecked(), wheelDirection_->isChecked()};
}

}  // namespace vantrel
