#include "ui/TLoadSnapForm.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "app/SettingsStore.h"
#include "media/FileTypes.h"
#include "media/SnapshotLoader.h"
#include "ui/TScreenPanel.h"

namespace vantrel {
namespace {

constexpr std::string_view kSettingsKey = "Environment\\Snapshot";

const QString kSnapshotFilter = QString::fromStdString(OpenFileFilter(FileKind::Snapshot));

const QString kSna = QStringLiteral("SNA");
const QString kZ80 = QStringLiteral("Z80");
const QString kSzx = QStringLiteral("SZX");

// The Z80 header bytes the loader reads before any memory: 30 for version 1; for versions
// 2 and 3 the length word at 30 and the fields through the port #7FFD value at 35.
constexpr qint64 kZ80BaseHeader = 30;
constexpr qint64 kZ80LengthEnd = 32;
constexpr qint64 kZ80ExtraFieldsEnd = 36;

// The extension's first three letters, upper-cased: "Z80X" passes as "Z80" here, and the
// loader, which compares the whole extension, refuses it with its own message.
QString FormatOf(const QString& fileName) {
  const std::string extension = FileExtension(fileName.toStdString());
  if (extension.empty()) return {};
  return QString::fromStdString(extension.substr(1, 3));
}

QString SnaVersionOf(qint64 size) {
  if (size == static_cast<qint64>(kSna48Size)) return QStringLiteral("48k");
  if (size == static_cast<qint64>(kSna128Size) || size == static_cast<qint64>(kSna128LongSize)) {
    return QStringLiteral("128k");
  }
  return {};
}

// Whether `head` (the file's first bytes, up to kZ80LengthEnd) and the file size hold every
// header field the Z80 loader needs; the memory blocks are the loader's to check.
bool Z80HeaderComplete(const QByteArray& head, qint64 size) {
  if (size < kZ80BaseHeader) return false;
  const auto byte = [&head](int offset) { return static_cast<uint8_t>(head[offset]); };
  const bool version1 = (byte(6) | byte(7)) != 0;  // PC is stored only by version 1
  if (version1) return true;
  if (size < kZ80LengthEnd) return false;
  const qint64 extraLength = byte(30) | (byte(31) << 8);
  return size >= std::max(kZ80LengthEnd + extraLength, kZ80ExtraFieldsEnd);
}

void ShowProblem(QLabel* label, const QString& text) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::red);
  label->setPalette(palette);
  label->setText(text);
}

QPushButton* MakeButton(const QString& text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

}  // namespace

LoadSnapFormSettings ReadLoadSnapFormSettings(const SettingsStore& store) {
  LoadSnapFormSettings s;
  GroupReader(store, kSettingsKey)
      .Text("Location", s.Location)
      .Text("File Name", s.FileName)
      .Text("Default Dir", s.DefaultDir)
      .Integer("X Position", s.Position.X)
      .Integer("Y Position", s.Position.Y);
  return s;
}

void WriteLoadSnapFormSettings(SettingsStore& store, const LoadSnapFormSettings& s) {
  GroupWriter(store, kSettingsKey)
      .Text("Location", s.Location)
      .Text("File Name", s.FileName)
      .Text("Default Dir", s.DefaultDir)
      .Integer("X Position", s.Position.X)
      .Integer("Y Position", s.Position.Y);
}

TLoadSnapForm::TLoadSnapForm(SettingsStore& store, QWidget* parent)
    : QDialog(parent), store_(store) {
  setObjectName(QStringLiteral("LoadSnapForm"));
  setWindowTitle(QStringLiteral("Load Snapshot"));

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  auto* locationLabel = new QLabel(QStringLiteral("&Snapshot File:"), this);
  locationLabel->setObjectName(QStringLiteral("LocationLabel"));
  layout->addWidget(locationLabel);
  auto* locationRow = new QHBoxLayout;
  locationEdit_ = new QLineEdit(this);
  locationEdit_->setObjectName(QStringLiteral("LocationEdit"));
  locationEdit_->setMinimumWidth(320);
  locationLabel->setBuddy(locationEdit_);
  selectFileButton_ = MakeButton(QStringLiteral("&..."), "SelectFileButton", this);
  selectFileButton_->setAutoDefault(false);
  locationRow->addWidget(locationEdit_, 1);
  locationRow->addWidget(selectFileButton_);
  layout->addLayout(locationRow);

  informationGroup_ = new QGroupBox(QStringLiteral(" Information "), this);
  informationGroup_->setObjectName(QStringLiteral("InformationGroup"));
  auto* information = new QGridLayout(informationGroup_);
  auto addRow = [&](const char* caption, const char* name, int row) {
    information->addWidget(new QLabel(QString::fromLatin1(caption), informationGroup_), row, 0);
    auto* value = new QLabel(informationGroup_);
    value->setObjectName(QString::fromLatin1(name));
    information->addWidget(value, row, 1);
    return value;
  };
  sizeLabel_ = addRow("File size:", "SizeLabel", 0);
  formatLabel_ = addRow("Format:", "FormatLabel", 1);
  versionLabel_ = addRow("Version:", "VersionLabel", 2);
  information->setColumnStretch(1, 1);
  layout->addWidget(informationGroup_);

  auto* buttons = new QHBoxLayout;
  loadRunButton_ = MakeButton(QStringLiteral("Load && &Run"), "LoadRunButton", this);
  loadRunButton_->setDefault(true);
  loadButton_ = MakeButton(QStringLiteral("Load && &Debug"), "LoadButton", this);
  loadButton_->setAutoDefault(false);
  cancelButton_ = MakeButton(QStringLiteral("Cancel"), "CancelButton", this);
  cancelButton_->setAutoDefault(false);
  buttons->addStretch(1);
  buttons->addWidget(loadRunButton_);
  buttons->addWidget(loadButton_);
  buttons->addWidget(cancelButton_);
  layout->addLayout(buttons);

  OpenFile = DefaultOpenFileFunction(this);
  connect(locationEdit_, &QLineEdit::textChanged, this, [this] { UpdateInformation(); });
  connect(selectFileButton_, &QPushButton::clicked, this, [this] { SelectFile(); });
  connect(loadRunButton_, &QPushButton::clicked, this, [this] { Close(true); });
  connect(loadButton_, &QPushButton::clicked, this, [this] { Close(false); });
  connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

  const LoadSnapFormSettings settings = ReadLoadSnapFormSettings(store_);
  openFileName_ = QString::fromStdString(settings.FileName);
  defaultDir_ = QString::fromStdString(settings.DefaultDir);
  if (const QScreen* desktop = QGuiApplication::primaryScreen()) {
    move(FitScreenPanelPosition(settings.Position, desktop->geometry()));
  } else {
    move(settings.Position.X, settings.Position.Y);
  }
  {
    // One update below for any stored text, the empty one included.
    const QSignalBlocker block(locationEdit_);
    locationEdit_->setText(QString::fromStdString(settings.Location));
  }
  UpdateInformation();
}

TLoadSnapForm::~TLoadSnapForm() {
  SaveSettings();
}

QString TLoadSnapForm::FileName() const {
  return locationEdit_->text();
}

void TLoadSnapForm::SetFileName(const QString& fileName) {
  locationEdit_->setText(fileName);
}

void TLoadSnapForm::SaveSettings() const {
  LoadSnapFormSettings settings;
  settings.Location = locationEdit_->text().toStdString();
  settings.FileName = openFileName_.toStdString();
  settings.DefaultDir = defaultDir_.toStdString();
  settings.Position = {x(), y()};
  WriteLoadSnapFormSettings(store_, settings);
}

void TLoadSnapForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The dialog lives for the whole run: the file may have come or gone since it was typed.
  UpdateInformation();
  locationEdit_->setFocus();
}

void TLoadSnapForm::SelectFile() {
  if (!OpenFile) return;
  const QString start =
      openFileName_.isEmpty() ? defaultDir_ : QDir(defaultDir_).filePath(openFileName_);
  const QString chosen = OpenFile(QStringLiteral("Open Snapshot"), start, kSnapshotFilter);
  if (chosen.isEmpty()) return;
  openFileName_ = chosen;
  defaultDir_ = QFileInfo(chosen).absolutePath();
  locationEdit_->setText(chosen);
  locationEdit_->setFocus();
}

void TLoadSnapForm::UpdateInformation() {
  for (QLabel* label : {sizeLabel_, formatLabel_, versionLabel_}) {
    label->clear();
    label->setPalette(QPalette());
  }
  // Enabled only at the end, when every check has passed.
  loadRunButton_->setEnabled(false);
  loadButton_->setEnabled(false);

  const QString name = locationEdit_->text();
  if (name.isEmpty()) return;
  if (!QFileInfo::exists(name)) {
    ShowProblem(sizeLabel_, QStringLiteral("Not found"));
    return;
  }
  const QString format = FormatOf(name);
  if (format != kSna && format != kZ80 && format != kSzx) {
    ShowProblem(formatLabel_, QStringLiteral("Unknown"));
    return;
  }
  formatLabel_->setText(format);

  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) {
    ShowProblem(sizeLabel_, QStringLiteral("Unreadable"));
    return;
  }
  const qint64 size = file.size();
  sizeLabel_->setText(QString::number(size));

  if (format == kSna) {
    const QString version = SnaVersionOf(size);
    if (version.isEmpty()) {
      ShowProblem(versionLabel_, QStringLiteral("Unknown"));
      return;
    }
    versionLabel_->setText(version);
  } else if (format == kSzx) {
    // The header's signature and version; the chunks are the loader's to check.
    const QByteArray head = file.read(6);
    if (head.size() < 6 || !head.startsWith("ZXST")) {
      ShowProblem(versionLabel_, QStringLiteral("Unknown"));
      return;
    }
    versionLabel_->setText(QStringLiteral("%1.%2").arg(int(head[4])).arg(int(head[5])));
  } else {
    const QByteArray head = file.read(kZ80LengthEnd);
    if (head.size() < std::min(size, kZ80LengthEnd)) {
      ShowProblem(sizeLabel_, QStringLiteral("Unreadable"));
      return;
    }
    // The version stays unnamed; only a header cut short is shown.
    if (!Z80HeaderComplete(head, size)) {
      ShowProblem(versionLabel_, QStringLiteral("Unknown"));
      return;
    }
  }
  loadRunButton_->setEnabled(true);
  loadButton_->setEnabled(true);
}

void TLoadSnapForm::Close(bool run) {
  runAfterLoad_ = run;
  accept();
}

}  // namespace vantrel
