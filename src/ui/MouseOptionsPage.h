#pragma once

#include <QWidget>

#include "app/Settings.h"

class QCheckBox;

namespace vantrel {

// The Options dialog's "Mouse" page: the Kempston mouse and how the host mouse drives it.
class MouseOptionsPage : public QWidget {
  Q_OBJECT
 public:
  explicit MouseOptionsPage(QWidget* parent = nullptr);

  void Load(const HardwareSettings& settings);
  // Writes KempstonMouse only.
  void Store(HardwareSettings& settings) const;

  QCheckBox* Enabled() const { return enabled_; }
  QCheckBox* SwapButtons() const { return swapButtons_; }
  QCheckBox* WheelSupport() const { return wheelSupport_; }
  QCheckBox* WheelDirection() const { return wheelDirection_; }

 private:
  void UpdateEnabling();

  QCheckBox* enabled_;
  QCheckBox* swapButtons_;
  QCheckBox* wheelSupport_;
  QCheckBox* wheelDirection_;
};

}  // namespace vantrel
