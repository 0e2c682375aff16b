#pragma once

#include <QWidget>

#include "app/Settings.h"

class QAction;
class QCheckBox;
class QMenu;

namespace vantrel {

class PortDecodeEdit;

// The Options dialog's "Ports" page: the keyboard and Kempston joystick decodes, and what
// reads of ports nobody answers return.
class PortsOptionsPage : public QWidget {
  Q_OBJECT
 public:
  explicit PortsOptionsPage(QWidget* parent = nullptr);

  void Load(const HardwareSettings& settings);
  // Writes Keyboard, KempstonJoystick and AttributePort only.
  void Store(HardwareSettings& settings) const;

  QCheckBox* KeyboardEnabled() const { return keyboardEnabled_; }
  PortDecodeEdit* KeyboardDecode() const { return keyboardDecode_; }
  QCheckBox* JoystickEnabled() const { return joystickEnabled_; }
  PortDecodeEdit* JoystickDecode() const { return joystickDecode_; }
  QCheckBox* AttributeEnabled() const { return attributeEnabled_; }
  QCheckBox* AttributeAllUnused() const { return attributeAllUnused_; }
  // The pop-up menu of both decode editors.
  QMenu* DecodeMenu() const { return decodeMenu_; }
  QAction* DefaultJoystickAction() const { return defaultJoystick_; }
  QAction* DefaultKeyboardAction() const { return defaultKeyboard_; }

 private:
  void UpdateEnabling();

  QCheckBox* keyboardEnabled_;
  PortDecodeEdit* keyboardDecode_;
  QCheckBox* joystickEnabled_;
  PortDecodeEdit* joystickDecode_;
  QCheckBox* attributeEnabled_;
  QCheckBox* attributeAllUnused_;
  QMenu* decodeMenu_;
  QAction* defaultJoystick_;
  QAction* defaultKeyboard_;
};

}  // namespace vantrel
