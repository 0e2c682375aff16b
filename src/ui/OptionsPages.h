#pragma once

// The Options dialog's simpler pages: start-up, ROM files, TR-DOS, memory model and
// sound. Each fills its controls from the hardware settings (Load) and writes back only
// the values it owns (Store); nothing is applied to the machine until the dialog's OK.

#include <QString>
#include <QWidget>
#include <array>
#include <functional>

#include "app/RomImages.h"
#include "app/Settings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace vantrel {

// Asks the user for a file to open: (title, starting directory, filter) -> the chosen file,
// empty when cancelled. The dialogs use QFileDialog; tests put in their own.
using OpenFileFunction =
    std::function<QString(const QString& title, const QString& directory, const QString& filter)>;
OpenFileFunction DefaultOpenFileFunction(QWidget* parent);

class StartupOptionsPage : public QWidget {
  Q_OBJECT
 public:
  explicit StartupOptionsPage(QWidget* parent = nullptr);
  void Load(const HardwareSettings& settings);
  void Store(HardwareSettings& settings) const;

  QComboBox* ModeCombo() const { return mode_; }    // "On Start run"
  QComboBox* ResetCombo() const { return reset_; }  // "in"
  QCheckBox* FastTapeCheck() const { return fastTape_; }
  QCheckBox* InstantTapeCheck() const { return instantTape_; }
  QCheckBox* FastDiskCheck() const { return fastDisk_; }
  QComboBox* RewindCombo() const { return rewind_; }
  QLabel* RewindMemoryLabel() const { return rewindMemory_; }
  // The memory page's model changed: the rewind cost follows it.
  void ModelChosen(MemoryModel model);

 private:
  void ShowRewindMemory();

  QComboBox* mode_;
  QComboBox* reset_;
  QCheckBox* fastTape_;
  QCheckBox* instantTape_;
  QCheckBox* fastDisk_;
  QComboBox* rewind_;
  QLabel* rewindMemory_;
  MemoryModel model_ = MemoryModel::Spectrum128k;
};

class RomsOptionsPage : public QWidget {
  Q_OBJECT
 public:
  explicit RomsOptionsPage(QWidget* parent = nullptr);
  void Load(const HardwareSettings& settings);
  void Store(HardwareSettings& settings) const;

  // Puts a reference into a slot's edit (the ROM navigator's "Select").
  void SetReference(RomSlot slot, const QString& reference);
  QString Reference(RomSlot slot) const;
  // The directory the 48K slot's file dialog starts in; the navigator shares it.
  QString DefaultPath(RomSlot slot) const { return defaultPaths_[Index(slot)]; }
  void SetDefaultPath(RomSlot slot, const QString& path) { defaultPaths_[Index(slot)] = path; }

  OpenFileFunction OpenFile;
  // "ROM Navigator" pressed.
  std::function<void()> NavigatorRequested;

  QLineEdit* Edit(RomSlot slot) const { return edits_[Index(slot)]; }
  QPushButton* BrowseButton(RomSlot slot) const { return browse_[Index(slot)]; }
  QPushButton* NavigatorButton() const { return navigator_; }

 private:
  static size_t Index(RomSlot slot) { return static_cast<size_t>(slot); }
  void Browse(RomSlot slot);

  std::array<QLineEdit*, kRomSlotCount> edits_{};
  std::array<QPushButton*, kRomSlotCount> browse_{};
  std::array<QString, kRomSlotCount> defaultPaths_;
  QPushButton* navigator_;
};

class TrDosOptionsPage : public QWidget {
  Q_OBJECT
 public:
  explicit TrDosOptionsPage(QWidget* parent = nullptr);
  void Load(const HardwareSettings& settings);
  void Store(HardwareSettings& settings) const;

  OpenFileFunction OpenFile;

  QCheckBox* EnabledBox() const { return enabled_; }
  QCheckBox* PortAccessBox() const { return portAccess_; }
  QCheckBox* NoDiskImageErrorBox() const { return noDiskImageError_; }
  QLineEdit* BootFileEdit() const { return bootFile_; }
  QPushButton* BootBrowseButton() const { return bootBrowse_; }
  QCheckBox* BootTrdBox() const { return bootTrd_; }
  QCheckBox* BootSclBox() const { return bootScl_; }

 private:
  QCheckBox* enabled_;
  QCheckBox* portAccess_;
  QCheckBox* noDiskImageError_;
  QLineEdit* bootFile_;
  QPushButton* bootBrowse_;
  QCheckBox* bootTrd_;
  QCheckBox* bootScl_;
};

class MemoryOptionsPage : public QWidget {
  Q_OBJECT
 public:
  explicit MemoryOptionsPage(QWidget* parent = nullptr);
  void Load(const HardwareSettings& settings);
  void Store(HardwareSettings& settings) const;

  QButtonGroup* Models() const { return models_; }
  QComboBox* Timing() const { return timing_; }

 private:
  QButtonGroup* models_;
  QComboBox* timing_;
};

class SoundOptionsPage : public QWidget {
  Q_OBJECT
 public:
  explicit SoundOptionsPage(QWidget* parent = nullptr);
  void Load(const HardwareSettings& settings);
  void Store(HardwareSettings& settings) const;

  QSlider* Speaker() const { return volumes_[0]; }
  QSlider* TapeIn() const { return volumes_[1]; }
  QSlider* TapeOut() const { return volumes_[2]; }
  QSlider* SynchDelay() const { return synchDelay_; }
  QComboBox* Stereo() const { return stereo_; }
  QCheckBox* TurboSound() const { return turboSound_; }
  // TurboSound is offered only for the models whose boards take a second AY.
  void ModelChosen(MemoryModel model);

 private:
  void VolumeMoved(int index, int position);

  std::array<QSlider*, 3> volumes_{};
  QSlider* synchDelay_;
  QComboBox* stereo_;
  QCheckBox* turboSound_;
};

}  // namespace vantrel
