#include "ui/VideoOptionsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace vantrel {
namespace {

// The flash phase counts presented frames, and the screen window presents 25 a second.
constexpr double kFramesPerSecond = 25.0;
constexpr double kDefaultFlashHertz = 5.0;
constexpr int kBuiltInCount = static_cast<int>(kBuiltInBorderPresets.size());

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QCheckBox* MakeCheckBox(const char* text, const char* name, QWidget* parent) {
  auto* box = new QCheckBox(QString::fromLatin1(text), parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

QLabel* MakeLabel(const char* text, const char* name, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  if (buddy != nullptr) label->setBuddy(buddy);
  return label;
}

// Bad values are shown on a yellow ground; good ones get the inherited colours back.
void MarkBad(QWidget* widget, bool bad) {
  QPalette palette;
  if (bad) palette.setColor(QPalette::Base, Qt::yellow);
  widget->setPalette(palette);
}

}  // namespace

int32_t FlashFrequencyFromHertz(const QString& text) {
  bool ok = false;
  double hertz = text.trimmed().toDouble(&ok);
  if (!ok || !(hertz > 0)) hertz = kDefaultFlashHertz;  // also turns NaN away
  hertz = std::min(hertz, kFramesPerSecond);            // a phase lasts at least a frame
  const double frames =
      std::min(kFramesPerSecond / hertz, double{std::numeric_limits<int32_t>::max()});
  return std::max<int32_t>(1, static_cast<int32_t>(std::lround(frames)));
}

QString FlashHertzText(int32_t flashFrequency) {
  return QString::number(kFramesPerSecond / std::max<int32_t>(1, flashFrequency), 'g', 4);
}

VideoOptionsPage::VideoOptionsPage(SettingsStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
  setObjectName(QStringLiteral("VideoOptionsPage"));
  auto* layout = new QHBoxLayout(this);

  // Screen window options and full screen on the left.
  auto* windowColumn = new QVBoxLayout;
  showFps_ = MakeCheckBox("Show FPS", "ShowFpsBox", this);
  doubleSize_ = MakeCheckBox("Double Size Window", "DoubleSizeBox", this);
  grayPalette_ = MakeCheckBox("Gray Palette", "GrayPaletteBox", this);
  windowColumn->addWidget(showFps_);
  windowColumn->addWidget(doubleSize_);
  windowColumn->addWidget(grayPalette_);
  flashEdit_ = new QLineEdit(this);
  flashEdit_->setObjectName(QStringLiteral("FlashEdit"));
  windowColumn->addWidget(MakeLabel("Flash Frequency:", "FlashLabel", flashEdit_, this));
  auto* flashRow = new QHBoxLayout;
  flashRow->addWidget(flashEdit_);
  flashRow->addWidget(MakeLabel("Hz", "FlashUnitLabel", nullptr, this));
  flashRow->addStretch(1);
  windowColumn->addLayout(flashRow);

  fullScreenGroup_ = new QGroupBox(QStringLiteral(" Full Screen "), this);
  fullScreenGroup_->setObjectName(QStringLiteral("FullScreenGroup"));
  auto* fullScreen = new QVBoxLayout(fullScreenGroup_);
  videoMode_ = new QComboBox(fullScreenGroup_);
  videoMode_->setObjectName(QStringLiteral("VideoModeCombo"));
  videoMode_->addItems(
      {QStringLiteral("640x480"), QStringLiteral("800x600"), QStringLiteral("1024x768")});
  auto* modeRow = new QHBoxLayout;
  modeRow->addWidget(MakeLabel("Video Mode", "VideoModeLabel", videoMode_, fullScreenGroup_));
  modeRow->addWidget(videoMode_, 1);
  fullScreen->addLayout(modeRow);
  directMemory_ = MakeCheckBox("Direct Memory Write", "DirectMemoryBox", fullScreenGroup_);
  interlaced_ = MakeCheckBox("Interlaced Mode", "InterlacedBox", fullScreenGroup_);
  // A drawing surface this program does not offer: the box exists but is never shown.
  directDraw_ = MakeCheckBox("Use DirectDraw Surface (in testing state now)", "DirectDrawBox",
                             fullScreenGroup_);
  directDraw_->setVisible(false);
  fullScreen->addWidget(directMemory_);
  fullScreen->addWidget(interlaced_);
  fullScreen->addWidget(directDraw_);
  windowColumn->addWidget(fullScreenGroup_);
  windowColumn->addStretch(1);
  layout->addLayout(windowColumn);

  // The visible border on the right.
  borderGroup_ = new QGroupBox(QStringLiteral(" Border Size "), this);
  borderGroup_->setObjectName(QStringLiteral("BorderGroup"));
  auto* border = new QGridLayout(borderGroup_);
  struct SideControl {
    const char* label;
    const char* name;
    int row;
    int column;
  };
  constexpr SideControl kSides[kSideCount] = {
      {"&Left: ", "Left", 0, 0},
      {"&Right: ", "Right", 0, 2},
      {"&Upper: ", "Upper", 1, 0},
      {"Lo&wer: ", "Lower", 1, 2},
  };
  for (int side = 0; side < kSideCount; ++side) {
    const SideControl& control = kSides[side];
    auto* edit = new QLineEdit(borderGroup_);
    edit->setObjectName(QString::fromLatin1(control.name) + QStringLiteral("Edit"));
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    const QString labelName = QString::fromLatin1(control.name) + QStringLiteral("Label");
    border->addWidget(
        MakeLabel(control.label, labelName.toLatin1().constData(), edit, borderGroup_), control.row,
        control.column);
    border->addWidget(edit, control.row, control.column + 1);
    edits_[side] = edit;
  }
  horizontal_ = MakeCheckBox("&Horisontal Symmetric", "HorizontalSymmetric", borderGroup_);
  vertical_ = MakeCheckBox("&Vertical Symmetric", "VerticalSymmetric", borderGroup_);
  border->addWidget(horizontal_, 2, 0, 1, 4);
  border->addWidget(vertical_, 3, 0, 1, 4);
  presetCombo_ = new QComboBox(borderGroup_);
  presetCombo_->setObjectName(QStringLiteral("PresetCombo"));
  presetCombo_->setEditable(true);
  // Names are entered whole: Enter must not add a list entry, and inline completion
  // would pass through built-in names while the user types a new one, reloading sizes.
  presetCombo_->setInsertPolicy(QComboBox::NoInsert);
  presetCombo_->setCompleter(nullptr);
  presetButton_ = new QPushButton(QStringLiteral("&Save"), borderGroup_);
  presetButton_->setObjectName(QStringLiteral("PresetButton"));
  presetButton_->setAutoDefault(false);
  border->addWidget(MakeLabel("&Preset:", "PresetLabel", presetCombo_, borderGroup_), 4, 0);
  border->addWidget(presetCombo_, 4, 1, 1, 2);
  border->addWidget(presetButton_, 4, 3);
  border->setRowStretch(5, 1);
  layout->addWidget(borderGroup_, 1);

  for (QLineEdit* edit : edits_) {
    connect(edit, &QLineEdit::textChanged, this, [this] { Refresh(); });
  }
  // Symmetry keeps the second side a copy of the first; the copy's own textChanged
  // refreshes the colours.
  connect(edits_[kLeft], &QLineEdit::textChanged, this, [this](const QString& text) {
    if (horizontal_->isChecked()) edits_[kRight]->setText(text);
  });
  connect(edits_[kUpper], &QLineEdit::textChanged, this, [this](const QString& text) {
    if (vertical_->isChecked()) edits_[kLower]->setText(text);
  });
  connect(horizontal_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) edits_[kRight]->setText(edits_[kLeft]->text());
    UpdateEnabling();
  });
  connect(vertical_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) edits_[kLower]->setText(edits_[kUpper]->text());
    UpdateEnabling();
  });
  connect(directMemory_, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
  connect(presetCombo_, &QComboBox::editTextChanged, this, [this] { ApplyPreset(); });
  // Choosing the entry already named brings its sizes back after the edits were changed.
  connect(presetCombo_, &QComboBox::activated, this, [this] { ApplyPreset(); });
  connect(presetButton_, &QPushButton::clicked, this, [this] { SaveOrDeletePreset(); });

  const HardwareSettings defaults;
  Load(ScreenPanelSettings{}, defaults.BorderPreset,
       kBuiltInBorderPresets[static_cast<size_t>(defaults.BorderPreset)].Sizes);
}

void VideoOptionsPage::Load(const ScreenPanelSettings& screen, int32_t borderPreset,
                            const BorderSizes& current) {
  showFps_->setChecked(screen.ShowFps);
  doubleSize_->setChecked(screen.DoubleSize);
  grayPalette_->setChecked(screen.GrayPalette);
  loadedFlash_ = std::max<int32_t>(1, screen.FlashFrequency);
  loadedFlashText_ = FlashHertzText(loadedFlash_);
  flashEdit_->setText(loadedFlashText_);
  videoMode_->setCurrentIndex(screen.VideoMode < kVideoModeCount ? screen.VideoMode : 0);
  directMemory_->setChecked(screen.DirectMemory);
  interlaced_->setChecked(screen.Interlaced);

  horizontal_->setChecked(false);
  vertical_->setChecked(false);
  FillPresetList();
  {
    const QSignalBlocker blocker(presetCombo_);
    const bool listed = borderPreset >= 0 && borderPreset < presetCombo_->count();
    presetCombo_->setCurrentIndex(listed ? borderPreset : -1);
    if (!listed) presetCombo_->setEditText(QString());
  }
  ApplyPreset();
  if (!presetsLocked_) SetSizes(current);
  Refresh();
}

void VideoOptionsPage::Store(ScreenPanelSettings& screen, int32_t& borderPreset,
                             BorderSizes& sizes) const {
  screen.ShowFps = showFps_->isChecked();
  screen.DoubleSize = doubleSize_->isChecked();
  screen.GrayPalette = grayPalette_->isChecked();
  const QString flash = flashEdit_->text();
  screen.FlashFrequency = flash == loadedFlashText_ ? loadedFlash_ : FlashFrequencyFromHertz(flash);
  screen.VideoMode = static_cast<uint8_t>(std::max(0, videoMode_->currentIndex()));
  screen.DirectMemory = directMemory_->isChecked();
  screen.Interlaced = interlaced_->isChecked();

  borderPreset = PresetIndex();
  int32_t* fields[kSideCount] = {&sizes.Left, &sizes.Right, &sizes.Upper, &sizes.Lower};
  for (int side = 0; side < kSideCount; ++side) {
    if (const auto value = SizeValue(static_cast<Side>(side))) *fields[side] = *value;
  }
}

bool VideoOptionsPage::Valid() const {
  return SizesValid() && !presetCombo_->currentText().isEmpty();
}

std::optional<int32_t> VideoOptionsPage::SizeValue(Side side) const {
  bool ok = false;
  const int value = edits_[side]->text().trimmed().toInt(&ok);
  const int32_t max = side == kLeft || side == kRight ? kMaxBorderSide : kMaxBorderTopBottom;
  if (!ok || value < 0 || value > max) return std::nullopt;
  return value;
}

bool VideoOptionsPage::SizesValid() const {
  for (int side = 0; side < kSideCount; ++side) {
    if (!SizeValue(static_cast<Side>(side))) return false;
  }
  return true;
}

std::optional<BorderSizes> VideoOptionsPage::Sizes() const {
  if (!SizesValid()) return std::nullopt;
  return BorderSizes{*SizeValue(kLeft), *SizeValue(kRight), *SizeValue(kUpper), *SizeValue(kLower)};
}

void VideoOptionsPage::SetSizes(const BorderSizes& sizes) {
  // A symmetry box would copy one side over the other: it cannot stay on for a preset
  // whose sides differ.
  if (sizes.Left != sizes.Right) horizontal_->setChecked(false);
  if (sizes.Upper != sizes.Lower) vertical_->setChecked(false);
  edits_[kLeft]->setText(QString::number(sizes.Left));
  edits_[kRight]->setText(QString::number(sizes.Right));
  edits_[kUpper]->setText(QString::number(sizes.Upper));
  edits_[kLower]->setText(QString::number(sizes.Lower));
}

void VideoOptionsPage::FillPresetList() {
  const QString name = presetCombo_->currentText();
  const QSignalBlocker blocker(presetCombo_);
  presetCombo_->clear();
  for (const NamedBorderPreset& preset : kBuiltInBorderPresets) {
    presetCombo_->addItem(ToQString(preset.Name));
  }
  for (const std::string& preset : ListBorderPresets(store_)) {
    presetCombo_->addItem(QString::fromStdString(preset));
  }
  // Filling an empty list selects its first entry and clearing it empties the text.
  presetCombo_->setCurrentIndex(presetCombo_->findText(name, Qt::MatchExactly));
  presetCombo_->setEditText(name);
}

int VideoOptionsPage::PresetIndex() const {
  // Exact and case-sensitive, as the store compares names.
  return presetCombo_->findText(presetCombo_->currentText(),
                                Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void VideoOptionsPage::ApplyPreset() {
  nameRefused_ = false;
  const int index = PresetIndex();
  presetsLocked_ = index >= 0 && index < kBuiltInCount;
  if (presetsLocked_) {
    SetSizes(kBuiltInBorderPresets[static_cast<size_t>(index)].Sizes);
  } else if (index >= kBuiltInCount) {
    // A damaged preset leaves the edits as they are, free to be corrected.
    if (const auto sizes = LoadBorderPreset(store_, presetCombo_->currentText().toStdString())) {
      SetSizes(*sizes);
    }
  }
  UpdateEnabling();
  Refresh();
}

void VideoOptionsPage::UpdateEnabling() {
  // The built-in presets are fixed; a symmetric side follows its partner.
  for (QLineEdit* edit : edits_) edit->setEnabled(!presetsLocked_);
  edits_[kRight]->setEnabled(!presetsLocked_ && !horizontal_->isChecked());
  edits_[kLower]->setEnabled(!presetsLocked_ && !vertical_->isChecked());
  horizontal_->setEnabled(!presetsLocked_);
  vertical_->setEnabled(!presetsLocked_);
  interlaced_->setEnabled(directMemory_->isChecked());
}

void VideoOptionsPage::SaveOrDeletePreset() {
  const std::string name = presetCombo_->currentText().toStdString();
  const int index = PresetIndex();
  if (index >= kBuiltInCount) {
    // The name stays typed, so the preset can be saved again at once.
    DeleteBorderPreset(store_, name);
    FillPresetList();
  } else if (index < 0) {
    const auto sizes = Sizes();
    if (!sizes) return;
    if (SaveBorderPreset(store_, name, *sizes)) {
      FillPresetList();
    } else {
      nameRefused_ = true;
    }
  }
  Refresh();
}

void VideoOptionsPage::Refresh() {
  for (int side = 0; side < kSideCount; ++side) {
    MarkBad(edits_[side], !SizeValue(static_cast<Side>(side)));
  }
  const bool valid = Valid();
  MarkBad(presetCombo_->lineEdit(), presetCombo_->currentText().isEmpty() || nameRefused_);

  // Built-in entries can be neither overwritten nor deleted.
  const int index = PresetIndex();
  const bool userPreset = index >= kBuiltInCount;
  presetButton_->setText(userPreset ? QStringLiteral("&Delete") : QStringLiteral("&Save"));
  presetButton_->setEnabled(userPreset || (index < 0 && valid && !nameRefused_));

  if (valid != valid_) {
    valid_ = valid;
    Q_EMIT ValidityChanged(valid);
  }
}

}  // namespace vantrel
