#include "ui/TSaveSnapF.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "media/FileTypes.h"

namespace vantrel {
namespace {

constexpr std::string_view kSettingsKey = "Environment\\Save Snapshot Dialog";
constexpr int kVariantCount = kSnaVariantCount;

const QString kSnapshotFilter = QString::fromStdString(SaveFileFilter(FileKind::Snapshot));
const QString kDefaultSuffix = QStringLiteral("Sna");

}  // namespace

SaveSnapFSettings ReadSaveSnapFSettings(const SettingsStore& store) {
  SaveSnapFSettings s;
  GroupReader(store, kSettingsKey)
      .Flag("NameGenerator", s.NameGenerator)
      .Flag("FileOverwrite", s.FileOverwrite)
      .Choice("SnapshotType", s.SnapshotType, kVariantCount)
      .Text("SnapshotName", s.SnapshotName)
      .Text("LastFileName", s.LastFileName);
  return s;
}

void WriteSaveSnapFSettings(SettingsStore& store, const SaveSnapFSettings& s) {
  GroupWriter(store, kSettingsKey)
      .Flag("NameGenerator", s.NameGenerator)
      .Flag("FileOverwrite", s.FileOverwrite)
      .Choice("SnapshotType", s.SnapshotType)
      .Text("SnapshotName", s.SnapshotName)
      .Text("LastFileName", s.LastFileName);
}

SaveFileFunction DefaultSaveFileFunction(QWidget* parent) {
  return [parent](const QString& title, const QString& directory, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, title, directory, filter);
  };
}

bool DefaultAskOverwrite(const QString& question) {
  return QMessageBox::question(nullptr, QStringLiteral("File Duplicate"), question,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes;
}

QString OverwriteQuestion(const QString& fileName) {
  return QStringLiteral("File '") + fileName +
         QStringLiteral("' already exist!\nDo you want overwrite it?");
}

TSaveSnapF::TSaveSnapF(SettingsStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  setObjectName(QStringLiteral("SaveSnapF"));
  setWindowTitle(QStringLiteral("Save Snapshot to File"));

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  auto* nameLabel = new QLabel(QStringLiteral("Snapshot File Name:"), this);
  layout->addWidget(nameLabel);
  auto* nameRow = new QHBoxLayout;
  snapNameE_ = new QLineEdit(this);
  snapNameE_->setObjectName(QStringLiteral("SnapNameE"));
  snapNameE_->setMinimumWidth(320);
  nameLabel->setBuddy(snapNameE_);
  button1_ = new QPushButton(QStringLiteral("..."), this);
  button1_->setObjectName(QStringLiteral("Button1"));
  button1_->setAutoDefault(false);
  nameRow->addWidget(snapNameE_, 1);
  nameRow->addWidget(button1_);
  layout->addLayout(nameRow);

  auto* typeLabel = new QLabel(QStringLiteral("Snapshot type:"), this);
  layout->addWidget(typeLabel);
  snapTypeCB_ = new QComboBox(this);
  snapTypeCB_->setObjectName(QStringLiteral("SnapTypeCB"));
  // In SnaVariant order.
  snapTypeCB_->addItem(QStringLiteral("Sna format 48k"));
  snapTypeCB_->addItem(QStringLiteral("Sna format 128k"));
  snapTypeCB_->addItem(QStringLiteral("Z80 format (version 3)"));
  snapTypeCB_->addItem(QStringLiteral("SZX format"));
  typeLabel->setBuddy(snapTypeCB_);
  layout->addWidget(snapTypeCB_);

  nameGenCB_ = new QCheckBox(QStringLiteral("QuickSave Name Generator"), this);
  nameGenCB_->setObjectName(QStringLiteral("NameGenCB"));
  layout->addWidget(nameGenCB_);
  overwriteCB_ = new QCheckBox(QStringLiteral("Overwrite Old Files"), this);
  overwriteCB_->setObjectName(QStringLiteral("OverwriteCB"));
  layout->addWidget(overwriteCB_);

  auto* buttons = new QHBoxLayout;
  bitBtn2_ = new QPushButton(QStringLiteral("Save Snapshot"), this);
  bitBtn2_->setObjectName(QStringLiteral("BitBtn2"));
  bitBtn2_->setDefault(true);
  bitBtn1_ = new QPushButton(QStringLiteral("Cancel"), this);
  bitBtn1_->setObjectName(QStringLiteral("BitBtn1"));
  bitBtn1_->setAutoDefault(false);
  buttons->addStretch(1);
  buttons->addWidget(bitBtn2_);
  buttons->addWidget(bitBtn1_);
  layout->addLayout(buttons);

  SaveFile = DefaultSaveFileFunction(this);
  connect(nameGenCB_, &QCheckBox::toggled, this, [this] { UpdateOverwriteEnabled(); });
  connect(button1_, &QPushButton::clicked, this, [this] { Browse(); });
  connect(bitBtn2_, &QPushButton::clicked, this, &QDialog::accept);
  connect(bitBtn1_, &QPushButton::clicked, this, &QDialog::reject);

  const SaveSnapFSettings settings = ReadSaveSnapFSettings(store_);
  nameGenCB_->setChecked(settings.NameGenerator);
  overwriteCB_->setChecked(settings.FileOverwrite);
  snapTypeCB_->setCurrentIndex(static_cast<int>(settings.SnapshotType));
  snapNameE_->setText(QString::fromStdString(settings.SnapshotName));
  lastFileName_ = QString::fromStdString(settings.LastFileName);
  UpdateOverwriteEnabled();
}

TSaveSnapF::~TSaveSnapF() {
  SaveSettings();
}

SnaVariant TSaveSnapF::Variant() const {
  // The list's rows are the formats in their stored order.
  return static_cast<SnaVariant>(std::clamp(snapTypeCB_->currentIndex(), 0, kVariantCount - 1));
}

bool TSaveSnapF::NameGenerator() const {
  return nameGenCB_->isChecked();
}

bool TSaveSnapF::Overwrite() const {
  return overwriteCB_->isChecked();
}

QString TSaveSnapF::SnapshotName() const {
  return snapNameE_->text();
}

void TSaveSnapF::SetSnapshotName(const QString& name) {
  snapNameE_->setText(name);
}

std::optional<QString> TSaveSnapF::ChooseSnapshotFileName() {
  QString name = snapNameE_->text();
  if (name.isEmpty()) return std::nullopt;
  // The counter only grows, so this ends at the first number no file has taken.
  while (QFileInfo::exists(name)) {
    if (!NameGenerator()) {
      if (Overwrite() || (AskOverwrite && AskOverwrite(OverwriteQuestion(name)))) return name;
      return std::nullopt;
    }
    name = QString::fromStdString(NextGeneratedName(name.toStdString()));
    snapNameE_->setText(name);
  }
  return name;
}

void TSaveSnapF::SaveSettings() const {
  SaveSnapFSettings settings;
  settings.NameGenerator = NameGenerator();
  settings.FileOverwrite = Overwrite();
  settings.SnapshotType = Variant();
  settings.SnapshotName = snapNameE_->text().toStdString();
  settings.LastFileName = lastFileName_.toStdString();
  WriteSaveSnapFSettings(store_, settings);
}

void TSaveSnapF::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* desktop = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(desktop->availableGeometry().center());
    move(frame.topLeft());
  }
}

void TSaveSnapF::Browse() {
  if (!SaveFile) return;
  const QString start = lastFileName_.isEmpty() ? snapNameE_->text() : lastFileName_;
  QString chosen = SaveFile(QStringLiteral("Save Snapshot As"), start, kSnapshotFilter);
  if (chosen.isEmpty()) return;
  if (QFileInfo(chosen).suffix().isEmpty()) {
    const SnaVariant variant = Variant();
    chosen += QLatin1Char('.') + (variant == SnaVariant::Z80   ? QStringLiteral("z80")
                                  : variant == SnaVariant::Szx ? QStringLiteral("szx")
                                                               : kDefaultSuffix);
  }
  lastFileName_ = chosen;
  snapNameE_->setText(chosen);
}

void TSaveSnapF::UpdateOverwriteEnabled() {
  overwriteCB_->setEnabled(!NameGenerator());
}

}  // namespace vantrel
