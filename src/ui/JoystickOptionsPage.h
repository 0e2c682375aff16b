#pragma once

#include <QWidget>
#include <array>

#include "app/Settings.h"

class QComboBox;
class QPushButton;

namespace vantrel {

// The Options dialog's "Joystick" page: what the first game pad drives, the Kempston
// joystick or Spectrum keys, with a key for each pad control and the usual presets.
class JoystickOptionsPage : public QWidget {
  Q_OBJECT
 public:
  explicit JoystickOptionsPage(QWidget* parent = nullptr);

  void Load(const HardwareSettings& settings);
  // Writes Gamepad only.
  void Store(HardwareSettings& settings) const;

  QComboBox* Drives() const { return drives_; }
  QComboBox* KeyOf(PadControl control) const { return keys_[control]; }
  QPushButton* Preset(GamepadPreset preset) const { return presets_[static_cast<int>(preset)]; }

 private:
  void Show(const GamepadMapping& mapping);
  void UpdateEnabling();

  QComboBox* drives_;
  std::array<QComboBox*, kPadControlCount> keys_{};
  std::array<QPushButton*, kGamepadPresetNames.size()> presets_{};
};

}  // namespace vantrel
