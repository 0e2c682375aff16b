#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>

#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "video/BorderSize.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace vantrel {

// The flash phase is counted in presented frames at 25 a second: the page shows the
// blink rate in hertz, 25 / FlashFrequency.
//
// The frames per phase for a typed rate. Text that is no number, or a rate of zero or
// less, means 5 Hz; rates above 25 Hz are taken as 25 Hz (one frame per phase).
int32_t FlashFrequencyFromHertz(const QString& text);
// The rate for `flashFrequency` frames per phase, with a few significant digits.
QString FlashHertzText(int32_t flashFrequency);

// The Options dialog's "Video" page: screen window options, full-screen mode and the
// visible border with its presets. Load fills the controls and Store hands their values
// back; nothing is applied to a window by the page. Saving or deleting a user border
// preset writes the store at once.
class VideoOptionsPage : public QWidget {
  Q_OBJECT
 public:
  explicit VideoOptionsPage(SettingsStore& store, QWidget* parent = nullptr);

  // `borderPreset` indexes the preset list (the built-ins, then the user presets in
  // ListBorderPresets order); an index off the list selects nothing and shows `current`.
  // A user preset shows `current` too: those are the sizes in force.
  void Load(const ScreenPanelSettings& screen, int32_t borderPreset, const BorderSizes& current);
  // Writes the page's fields of `screen` and leaves the others. `borderPreset` is -1
  // when the preset name is no list entry. A size whose edit holds no valid value is left
  // as it was; the dialog only stores a Valid() page.
  void Store(ScreenPanelSettings& screen, int32_t& borderPreset, BorderSizes& sizes) const;
  // Every border size in range and a preset name given.
  bool Valid() const;

  QCheckBox* ShowFpsBox() const { return showFps_; }
  QCheckBox* DoubleSizeBox() const { return doubleSize_; }
  QCheckBox* GrayPaletteBox() const { return grayPalette_; }
  QLineEdit* FlashEdit() const { return flashEdit_; }
  QGroupBox* FullScreenGroup() const { return fullScreenGroup_; }
  QComboBox* VideoModeCombo() const { return videoMode_; }
  QCheckBox* DirectMemoryBox() const { return directMemory_; }
  QCheckBox* InterlacedBox() const { return interlaced_; }
  QCheckBox* DirectDrawBox() const { return directDraw_; }
  QGroupBox* BorderGroup() const { return borderGroup_; }
  QLineEdit* LeftEdit() const { return edits_[kLeft]; }
  QLineEdit* RightEdit() const { return edits_[kRight]; }
  QLineEdit* UpperEdit() const { return edits_[kUpper]; }
  QLineEdit* LowerEdit() const { return edits_[kLower]; }
  QCheckBox* HorizontalSymmetric() const { return horizontal_; }
  QCheckBox* VerticalSymmetric() const { return vertical_; }
  QComboBox* PresetCombo() const { return presetCombo_; }
  QPushButton* PresetButton() const { return presetButton_; }

 Q_SIGNALS:
  void ValidityChanged(bool valid);

 private:
  enum Side { kLeft, kRight, kUpper, kLower, kSideCount };

  std::optional<int32_t> SizeValue(Side side) const;
  bool SizesValid() const;
  void SetSizes(const BorderSizes& sizes);
  std::optional<BorderSizes> Sizes() const;

  // Rebuilds the preset list from the store, keeping the typed name.
  void FillPresetList();
  int PresetIndex() const;
  // Fills the edits from the entry the preset name names, locking them for a built-in.
  void ApplyPreset();
  void UpdateEnabling();
  void SaveOrDeletePreset();
  // Colours, the preset button and the validity signal.
  void Refresh();

  SettingsStore& store_;
  bool presetsLocked_ = false;
  bool nameRefused_ = false;  // the store turned the typed name down
  bool valid_ = true;         // as last reported through ValidityChanged
  // Hertz text is rounded: an untouched edit gives back the loaded frequency exactly.
  int32_t loadedFlash_ = 10;
  QString loadedFlashText_;

  QCheckBox* showFps_;
  QCheckBox* doubleSize_;
  QCheckBox* grayPalette_;
  QLineEdit* flashEdit_;
  QGroupBox* fullScreenGroup_;
  QComboBox* videoMode_;
  QCheckBox* directMemory_;
  QCheckBox* interlaced_;
  QCheckBox* directDraw_;
  QGroupBox* borderGroup_;
  std::array<QLineEdit*, kSideCount> edits_{};
  QCheckBox* horizontal_;
  QCheckBox* vertical_;
  QComboBox* presetCombo_;
  QPushButton* presetButton_;
};

}  // namespace vantrel
