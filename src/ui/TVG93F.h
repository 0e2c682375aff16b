#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;

namespace vantrel {

class SettingsStore;
class Vg93Controller;

// Tool tip texts of the view's values.
std::string ByteHint(uint8_t value);  // hexadecimal, decimal, binary, character
std::string CommandHint(uint8_t command);
std::string StatusHint(uint8_t status, uint8_t command);
std::string SystemHint(uint8_t system);
std::string RequestHint(uint8_t requests);

// The "Beta128" debug view: the controller's registers, the interface's system register
// and request lines, and the drive. Refreshed with the other debugger views while the
// machine stands; it only peeks, so reading the status here clears no interrupt.
class TVG93F : public QWidget {
  Q_OBJECT
 public:
  TVG93F(SettingsStore& store, QWidget* parent = nullptr);
  ~TVG93F() override;

  void Refresh(const Vg93Controller& controller);
  // The value label of a field by its caption ("DR", "STR", "Drive TR", ...).
  QLabel* Value(const QString& name) const;
  // `shown`: whether the view is open, even if a run hides it just now.
  void SaveSettings(bool shown);

  // Each drive's write protection: read at every refresh (nullopt for an empty drive,
  // whose box is disabled) and changed by the drive's box.
  std::function<std::optional<bool>(int drive)> DriveWriteProtected;
  std::function<void(int drive, bool on)> SetDriveWriteProtected;
  QCheckBox* WriteProtectBox(int drive) const { return protect_[drive]; }
  QGroupBox* DriveBox() const { return driveBox_; }

 private:
  QLabel* AddField(QGridLayout* grid, int row, const QString& name, const QString& hint,
                   const QString& key);

  SettingsStore& store_;
  QGroupBox* driveBox_ = nullptr;
  std::array<QCheckBox*, 4> protect_{};
};

}  // namespace vantrel
