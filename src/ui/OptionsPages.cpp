#include "ui/OptionsPages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "machine/Rewind.h"
#include "sound/Volume.h"

namespace vantrel {

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string S(const QString& text) {
  return text.toStdString();
}

QPushButton* BrowseButtonFor(QWidget* parent) {
  auto* button = new QPushButton(QStringLiteral("..."), parent);
  button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 12);
  return button;
}

}  // namespace

OpenFileFunction DefaultOpenFileFunction(QWidget* parent) {
  return [parent](const QString& title, const QString& directory, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, directory, filter);
  };
}

// ---------------------------------------------------------------------------------------

StartupOptionsPage::StartupOptionsPage(QWidget* parent) : QWidget(parent) {
  auto* page = new QVBoxLayout(this);
  auto* layout = new QHBoxLayout();
  page->addLayout(layout);
  fastTape_ = new QCheckBox(QStringLiteral("Fast tape loading"), this);
  fastTape_->setToolTip(QStringLiteral("Run at maximum speed while the tape plays"));
  instantTape_ = new QCheckBox(QStringLiteral("Instant Tape Loading"), this);
  instantTape_->setObjectName(QStringLiteral("InstantTapeCB"));
  instantTape_->setToolTip(
      QStringLiteral("The ROM loader takes standard blocks straight from the tape"));
  auto* tapeRow = new QHBoxLayout();
  tapeRow->addWidget(fastTape_);
  tapeRow->addWidget(instantTape_);
  tapeRow->addStretch();
  page->addLayout(tapeRow);
  // The seconds of rewind kept while running, and what they cost.
  auto* rewindRow = new QHBoxLayout();
  page->addLayout(rewindRow);
  rewindRow->addWidget(new QLabel(QStringLiteral("Rewind kept:"), this));
  rewind_ = new QComboBox(this);
  rewind_->setObjectName(QStringLiteral("RewindCB"));
  for (int seconds : kRewindSeconds) {
    rewind_->addItem(seconds == 0 ? QStringLiteral("Off")
                                  : QStringLiteral("%1 seconds").arg(seconds));
  }
  rewindRow->addWidget(rewind_);
  rewindMemory_ = new QLabel(this);
  rewindMemory_->setObjectName(QStringLiteral("RewindMemoryLabel"));
  rewindRow->addWidget(rewindMemory_);
  rewindRow->addStretch();
  connect(rewind_, &QComboBox::currentIndexChanged, this, [this] { ShowRewindMemory(); });
  page->addStretch();
  layout->addWidget(new QLabel(QStringLiteral("On Start run"), this));
  mode_ = new QComboBox(this);
  for (std::string_view name : kStartUpModeNames) mode_->addItem(Q(name));
  layout->addWidget(mode_);
  layout->addWidget(new QLabel(QStringLiteral("in"), this));
  reset_ = new QComboBox(this);
  for (std::string_view name : kStartUpResetNames) reset_->addItem(Q(name));
  layout->addWidget(reset_);
  fastDisk_ = new QCheckBox(QStringLiteral("Fast disk access"), this);
  fastDisk_->setObjectName(QStringLiteral("FastDiskCB"));
  layout->addWidget(fastDisk_);
  layout->addStretch();
}

void StartupOptionsPage::Load(const HardwareSettings& settings) {
  mode_->setCurrentIndex(std::min<int>(settings.StartUp.Mode, mode_->count() - 1));
  reset_->setCurrentIndex(std::min<int>(settings.StartUp.Reset, reset_->count() - 1));
  fastTape_->setChecked(settings.StartUp.FastTapeLoading);
  instantTape_->setChecked(settings.StartUp.InstantTapeLoading);
  fastDisk_->setChecked(settings.StartUp.FastDiskAccess);
  model_ = settings.Memory;
  rewind_->setCurrentIndex(std::min<int>(settings.StartUp.Rewind, rewind_->count() - 1));
  ShowRewindMemory();
}

void StartupOptionsPage::ModelChosen(MemoryModel model) {
  model_ = model;
  ShowRewindMemory();
}

void StartupOptionsPage::ShowRewindMemory() {
  const int index = std::max(rewind_->currentIndex(), 0);
  const size_t bytes =
      RewindBuffer::EstimateBytes(kRewindSeconds[static_cast<size_t>(index)], model_);
  rewindMemory_->setText(
      bytes == 0
          ? QString()
          : QStringLiteral("about %1 MB of memory with a disk").arg((bytes + (1 << 19)) >> 20));
}

void StartupOptionsPage::Store(HardwareSettings& settings) const {
  settings.StartUp.Mode = static_cast<uint8_t>(std::max(mode_->currentIndex(), 0));
  settings.StartUp.Reset = static_cast<uint8_t>(std::max(reset_->currentIndex(), 0));
  settings.StartUp.FastTapeLoading = fastTape_->isChecked();
  settings.StartUp.InstantTapeLoading = instantTape_->isChecked();
  settings.StartUp.FastDiskAccess = fastDisk_->isChecked();
  settings.StartUp.Rewind = static_cast<uint8_t>(std::max(rewind_->currentIndex(), 0));
}

// ---------------------------------------------------------------------------------------

RomsOptionsPage::RomsOptionsPage(QWidget* parent) : QWidget(parent) {
  auto* grid = new QGridLayout(this);
  const QString labels[kRomSlotCount] = {QStringLiteral("48k Basic ROM:"),
                                         QStringLiteral("128k Basic ROM:"),
                                         QStringLiteral("TR-DOS ROM:")};
  for (int i = 0; i < kRomSlotCount; ++i) {
    auto* label = new QLabel(labels[i], this);
    edits_[i] = new QLineEdit(this);
    label->setBuddy(edits_[i]);
    browse_[i] = BrowseButtonFor(this);
    grid->addWidget(label, i, 0);
    grid->addWidget(edits_[i], i, 1);
    grid->addWidget(browse_[i], i, 2);
    const auto slot = static_cast<RomSlot>(i);
    connect(browse_[i], &QPushButton::clicked, this, [this, slot] { Browse(slot); });
  }
  navigator_ = new QPushButton(QStringLiteral("ROM Navigator"), this);
  grid->addWidget(navigator_, kRomSlotCount, 1, Qt::AlignLeft);
  grid->setRowStretch(kRomSlotCount + 1, 1);
  connect(navigator_, &QPushButton::clicked, this, [this] {
    if (NavigatorRequested) NavigatorRequested();
  });
  OpenFile = DefaultOpenFileFunction(this);
}

void RomsOptionsPage::Load(const HardwareSettings& settings) {
  const RomFileSetting* slots[kRomSlotCount] = {&settings.Rom48k, &settings.Rom128k,
                                                &settings.RomDos};
  for (size_t i = 0; i < kRomSlotCount; ++i) {
    edits_[i]->setText(QString::fromStdString(slots[i]->FileName));
    defaultPaths_[i] = QString::fromStdString(slots[i]->DefaultPath);
  }
}

void RomsOptionsPage::Store(HardwareSettings& settings) const {
  RomFileSetting* slots[kRomSlotCount] = {&settings.Rom48k, &settings.Rom128k, &settings.RomDos};
  for (size_t i = 0; i < kRomSlotCount; ++i) {
    // An emptied edit means the slot's default, as an empty stored name does.
    const QString text = edits_[i]->text().trimmed();
    slots[i]->FileName = text.isEmpty() ? std::string(kDefaultRomReferences[i]) : S(text);
    slots[i]->DefaultPath = S(defaultPaths_[i]);
  }
}

void RomsOptionsPage::SetReference(RomSlot slot, const QString& reference) {
  edits_[Index(slot)]->setText(reference);
}

QString RomsOptionsPage::Reference(RomSlot slot) const {
  return edits_[Index(slot)]->text();
}

void RomsOptionsPage::Browse(RomSlot slot) {
  if (!OpenFile) return;
  const QString file = OpenFile(QStringLiteral("Select ROM image file for loading"),
                                defaultPaths_[Index(slot)], QStringLiteral("ROM Image (*.Rom)"));
  if (file.isEmpty()) return;
  defaultPaths_[Index(slot)] = QFileInfo(file).absolutePath();
  // A whole file names its first page, which is what a plain path means.
  edits_[Index(slot)]->setText(file);
}

// ---------------------------------------------------------------------------------------

TrDosOptionsPage::TrDosOptionsPage(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  enabled_ = new QCheckBox(QStringLiteral("Enabled"), this);
  portAccess_ = new QCheckBox(QStringLiteral("Enable DOS ports access from Basic "), this);
  noDiskImageError_ =
      new QCheckBox(QStringLiteral("Don't show 'Disk Image Error' on Startup"), this);
  layout->addWidget(enabled_);
  layout->addWidget(portAccess_);
  layout->addWidget(noDiskImageError_);

  auto* boot = new QHBoxLayout;
  auto* label = new QLabel(QStringLiteral("Add boot:"), this);
  bootFile_ = new QLineEdit(this);
  label->setBuddy(bootFile_);
  bootBrowse_ = BrowseButtonFor(this);
  boot->addWidget(label);
  boot->addWidget(bootFile_, 1);
  boot->addWidget(bootBrowse_);
  layout->addLayout(boot);
  auto* where = new QHBoxLayout;
  bootTrd_ = new QCheckBox(QStringLiteral("in TRD"), this);
  bootScl_ = new QCheckBox(QStringLiteral("in SCL"), this);
  where->addWidget(bootTrd_);
  where->addWidget(bootScl_);
  where->addStretch();
  layout->addLayout(where);
  layout->addStretch();

  OpenFile = DefaultOpenFileFunction(this);
  connect(bootBrowse_, &QPushButton::clicked, this, [this] {
    if (!OpenFile) return;
    const QString file =
        OpenFile(QStringLiteral("Select boot file"), QFileInfo(bootFile_->text()).absolutePath(),
                 QStringLiteral("SCL or Hobeta files (*.Scl *.$?);;SCL package files (*.Scl);;"
                                "Hobeta files (*.$?)"));
    if (!file.isEmpty()) bootFile_->setText(file);
  });
}

void TrDosOptionsPage::Load(const HardwareSettings& settings) {
  const TrDosSetting& t = settings.TrDos;
  enabled_->setChecked(t.Enabled);
  portAccess_->setChecked(t.PortAccess);
  noDiskImageError_->setChecked(t.NoDiskImageError);
  bootFile_->setText(QString::fromStdString(t.BootFileName));
  bootTrd_->setChecked(t.BootTrd);
  bootScl_->setChecked(t.BootScl);
}

void TrDosOptionsPage::Store(HardwareSettings& settings) const {
  TrDosSetting& t = settings.TrDos;
  t.Enabled = enabled_->isChecked();
  t.PortAccess = portAccess_->isChecked();
  t.NoDiskImageError = noDiskImageError_->isChecked();
  t.BootFileName = S(bootFile_->text());
  t.BootTrd = bootTrd_->isChecked();
  t.BootScl = bootScl_->isChecked();
}

// ---------------------------------------------------------------------------------------

MemoryOptionsPage::MemoryOptionsPage(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(QStringLiteral(" Memory Model "), this);
  auto* inner = new QVBoxLayout(group);
  models_ = new QButtonGroup(this);
  for (int i = 0; i < kMemoryModelCount; ++i) {
    auto* button =
        new QRadioButton(QString::fromLatin1(MemoryModelName(static_cast<MemoryModel>(i))), group);
    models_->addButton(button, i);
    inner->addWidget(button);
  }
  layout->addWidget(group);
  // Beside the model: the machine's timing, the default frame or a Sinclair ULA's.
  auto* timingRow = new QHBoxLayout();
  auto* timingLabel = new QLabel(QStringLiteral("Sinclair Timing"), this);
  timing_ = new QComboBox(this);
  for (const std::string_view name : kTimingChoiceNames) {
    timing_->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
  }
  timingLabel->setBuddy(timing_);
  timingRow->addWidget(timingLabel);
  timingRow->addWidget(timing_, 1);
  layout->addLayout(timingRow);
  layout->addStretch();
}

void MemoryOptionsPage::Load(const HardwareSettings& settings) {
  if (QAbstractButton* button = models_->button(static_cast<int>(settings.Memory))) {
    button->setChecked(true);
  }
  timing_->setCurrentIndex(static_cast<int>(settings.SinclairTiming));
}

void MemoryOptionsPage::Store(HardwareSettings& settings) const {
  const int id = models_->checkedId();
  if (id >= 0 && id < kMemoryModelCount) settings.Memory = static_cast<MemoryModel>(id);
  const int timing = timing_->currentIndex();
  if (timing >= 0 && timing < kTimingChoiceCount) {
    settings.SinclairTiming = static_cast<TimingChoice>(timing);
  }
}

// ---------------------------------------------------------------------------------------

SoundOptionsPage::SoundOptionsPage(QWidget* parent) : QWidget(parent) {
  auto* grid = new QGridLayout(this);
  const QString names[3] = {QStringLiteral("Speaker"), QStringLiteral("Tape In"),
                            QStringLiteral("Tape Out")};
  for (int i = 0; i < 3; ++i) {
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setRange(0, kMaxVolume);
    slider->setPageStep(1);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(1);
    volumes_[i] = slider;
    grid->addWidget(new QLabel(names[i], this), i, 0);
    grid->addWidget(slider, i, 1);
    connect(slider, &QSlider::valueChanged, this,
            [this, i](int position) { VolumeMoved(i, position); });
  }
  synchDelay_ = new QSlider(Qt::Horizontal, this);
  synchDelay_->setRange(0, kMaxSynchDelay);
  synchDelay_->setSingleStep(10);
  synchDelay_->setPageStep(10);
  synchDelay_->setTickPosition(QSlider::TicksBelow);
  synchDelay_->setTickInterval(10);
  // Moves in steps of ten samples, however it is dragged.
  connect(synchDelay_, &QSlider::valueChanged, this, [this](int value) {
    const int stepped = (value + 5) / 10 * 10;
    if (stepped != value) synchDelay_->setValue(std::min<int>(stepped, kMaxSynchDelay));
  });
  grid->addWidget(new QLabel(QStringLiteral("Synch Delay"), this), 3, 0);
  grid->addWidget(synchDelay_, 3, 1);
  stereo_ = new QComboBox(this);
  for (std::string_view name : kStereoLayoutNames) {
    stereo_->addItem(QString::fromLatin1(name.data(), static_cast<int>(name.size())));
  }
  grid->addWidget(new QLabel(QStringLiteral("Stereo"), this), 4, 0);
  grid->addWidget(stereo_, 4, 1);
  turboSound_ = new QCheckBox(QStringLiteral("TurboSound (two AY)"), this);
  grid->addWidget(turboSound_, 5, 0, 1, 2);
  grid->setRowStretch(6, 1);
}

void SoundOptionsPage::ModelChosen(MemoryModel model) {
  turboSound_->setEnabled(TurboSoundModel(model));
}

void SoundOptionsPage::VolumeMoved(int index, int position) {
  const int free = DistinctVolumePosition(position, volumes_[(index + 1) % 3]->value(),
                                          volumes_[(index + 2) % 3]->value());
  if (free != position) volumes_[index]->setValue(free);
}

void SoundOptionsPage::Load(const HardwareSettings& settings) {
  const VolumeSetting& v = settings.Volume;
  // Stored positions are already distinct; loading must not let the rule move them.
  const int positions[3] = {v.Speaker, v.TapeIn, v.TapeOut};
  for (int i = 0; i < 3; ++i) {
    const QSignalBlocker block(volumes_[i]);
    volumes_[i]->setValue(positions[i]);
  }
  const QSignalBlocker block(synchDelay_);
  synchDelay_->setValue(v.SynchDelay);
  stereo_->setCurrentIndex(v.Stereo);
  turboSound_->setChecked(v.TurboSound);
  ModelChosen(settings.Memory);
}

void SoundOptionsPage::Store(HardwareSettings& settings) const {
  VolumeSetting& v = settings.Volume;
  v.Speaker = static_cast<uint8_t>(volumes_[0]->value());
  v.TapeIn = static_cast<uint8_t>(volumes_[1]->value());
  v.TapeOut = static_cast<uint8_t>(volumes_[2]->value());
  v.SynchDelay = static_cast<uint8_t>(synchDelay_->value());
  v.Stereo = static_cast<uint8_t>(std::max(0, stereo_->currentIndex()));
  v.TurboSound = turboSound_->isChecked();
}

}  // namespace vantrel
