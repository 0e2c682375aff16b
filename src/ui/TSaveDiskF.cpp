#include "ui/TSaveDiskF.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <array>

#include "disk/DiskImageFiles.h"
#include "media/FileTypes.h"

namespace vantrel {
namespace {

struct FormatRow {
  const char* Name;       // in the format list and the file dialog
  const char* Extension;  // given to the name
};
constexpr std::array<FormatRow, 4> kFormats{{{"TRD Disk Image", ".trd"},
                                             {"FDI Disk Image", ".fdi"},
                                             {"UDI Disk Image", ".udi"},
                                             {"SCL Disk Image", ".scl"}}};

// One line per format, then all of them: the "All Disk Images" line is the one offered
// first.
QString BrowseFilter() {
  QString filter, all;
  for (const FormatRow& row : kFormats) {
    const FileType* type = FindFileType(std::string("x") + row.Extension);
    const QString patterns =
        QString::fromLatin1(type->Patterns.data(), static_cast<qsizetype>(type->Patterns.size()));
    filter += QString::fromLatin1(row.Name) + " (" + patterns + ");;";
    all += (all.isEmpty() ? "" : " ") + patterns;
  }
  return filter + "All Disk Images (" + all + ")";
}

bool DefaultAskOverwriteDisk(const QString& question) {
  return QMessageBox::question(nullptr, QStringLiteral("Confirm overwriting"), question,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace

TSaveDiskF::TSaveDiskF(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("SaveDiskF"));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  auto* grid = new QGridLayout;
  fileNameE_ = new QLineEdit(this);
  fileNameE_->setObjectName(QStringLiteral("FileNameE"));
  fileNameE_->setMinimumWidth(320);
  browse_ = new QPushButton(QStringLiteral("..."), this);
  browse_->setObjectName(QStringLiteral("BrowseB"));
  browse_->setAutoDefault(false);
  formatCB_ = new QComboBox(this);
  formatCB_->setObjectName(QStringLiteral("FormatCB"));
  for (const FormatRow& row : kFormats) formatCB_->addItem(QString::fromLatin1(row.Name));
  descriptionE_ = new QLineEdit(this);
  descriptionE_->setObjectName(QStringLiteral("DescriptionE"));
  existsL_ = new QLabel(this);
  const std::array<std::pair<const char*, QWidget*>, 3> rows{
      {{"File Name:", fileNameE_}, {"Format:", formatCB_}, {"Description:", descriptionE_}}};
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(QString::fromLatin1(rows[i].first), this);
    label->setBuddy(rows[i].second);
    grid->addWidget(label, i, 0);
    grid->addWidget(rows[i].second, i, 1);
  }
  grid->addWidget(browse_, 0, 2);
  grid->addWidget(existsL_, 1, 2);
  layout->addLayout(grid);
  lossL_ = new QLabel(this);
  lossL_->setObjectName(QStringLiteral("LossL"));
  lossL_->setWordWrap(true);
  lossL_->setVisible(false);
  layout->addWidget(lossL_);
  writeProtectCB_ = new QCheckBox(QStringLiteral("Write Protected"), this);
  writeProtectCB_->setObjectName(QStringLiteral("WriteProtectCB"));
  layout->addWidget(writeProtectCB_);
  auto* buttons = new QHBoxLayout;
  save_ = new QPushButton(this);
  save_->setObjectName(QStringLiteral("SaveB"));
  save_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("CancelB"));
  cancel_->setAutoDefault(false);
  buttons->addStretch(1);
  buttons->addWidget(save_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);

  SaveFile = [this](const QString& title, const QString& directory, const QString& filter) {
    const int allLine = static_cast<int>(kFormats.size());
    QString all = filter.section(QStringLiteral(";;"), allLine, allLine);
    QString chosen = QFileDialog::getSaveFileName(this, title, directory, filter, &all);
    if (!chosen.isEmpty() && QFileInfo(chosen).suffix().isEmpty()) chosen += ".Trd";
    return chosen;
  };
  AskOverwrite = DefaultAskOverwriteDisk;
  connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
  connect(fileNameE_, &QLineEdit::editingFinished, this, [this] { Validate(); });
  connect(formatCB_, &QComboBox::currentIndexChanged, this, [this] { Validate(); });
  connect(save_, &QPushButton::clicked, this, [this] { SaveClicked(); });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  SetMode(Mode::kSaveAs);
  Validate();
}

void TSaveDiskF::SetMode(Mode mode) {
  const QString title = mode == Mode::kCreate ? QStringLiteral("Create Disk Image")
                                              : QStringLiteral("Save Disk Image As");
  setWindowTitle(title);
  save_->setText(mode == Mode::kCreate ? title : QStringLiteral("Save Disk Image"));
}

void TSaveDiskF::SetFileName(const QString& name) {
  fileNameE_->setText(name);
  // The format list follows a savable extension.
  const QSignalBlocker quiet(formatCB_);
  switch (DiskFormatOf(name.toStdString()).value_or(DiskFormat::Hobeta)) {
    case DiskFormat::Trd: formatCB_->setCurrentIndex(kTrd); break;
    case DiskFormat::Fdi: formatCB_->setCurrentIndex(kFdi); break;
    case DiskFormat::Udi: formatCB_->setCurrentIndex(kUdi); break;
    case DiskFormat::Scl: formatCB_->setCurrentIndex(kScl); break;
    default: break;
  }
  // UDI keeps every track as it is: proposed when the chosen format would lose something.
  if (!losses_.isEmpty() && (ChosenFormat() == kTrd || ChosenFormat() == kScl))
    formatCB_->setCurrentIndex(kUdi);
  Validate();
}

QString TSaveDiskF::FileName() const {
  return fileNameE_->text();
}

TSaveDiskF::Format TSaveDiskF::ChosenFormat() const {
  return static_cast<Format>(formatCB_->currentIndex());
}

void TSaveDiskF::SetTrdLosses(const std::vector<std::string>& losses) {
  losses_.clear();
  for (const std::string& loss : losses) losses_ << QString::fromStdString(loss);
  Validate();
}

QString TSaveDiskF::LossWarning() const {
  return lossL_->isHidden() ? QString() : lossL_->text();
}

void TSaveDiskF::SetWriteProtected(bool on) {
  writeProtectCB_->setChecked(on);
}

bool TSaveDiskF::WriteProtected() const {
  return writeProtectCB_->isChecked();
}

void TSaveDiskF::Browse() {
  const QString chosen =
      SaveFile ? SaveFile(QStringLiteral("Save Disk Image As"), FileName(), BrowseFilter())
               : QString();
  if (chosen.isEmpty()) return;
  SetFileName(chosen);
}

void TSaveDiskF::Validate() {
  // FDI files have a description field (saved empty all the same).
  descriptionE_->setEnabled(ChosenFormat() == kFdi);
  exists_ = false;
  QString name = fileNameE_->text().trimmed();
  bool usable = !name.isEmpty();
  if (usable) {
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > name.lastIndexOf(QLatin1Char('/'))) name.truncate(dot);
    name += QString::fromLatin1(kFormats[ChosenFormat()].Extension);
    fileNameE_->setText(name);
    exists_ = QFileInfo::exists(name);
    if (!exists_) {
      // Only a name where a file can be made is offered; the test file goes again.
      QFile probe(name);
      usable = probe.open(QIODevice::WriteOnly | QIODevice::NewOnly);
      if (usable) probe.remove();
    } else {
      usable = !QFileInfo(name).isDir();
    }
  }
  existsL_->setText(exists_ ? QStringLiteral("File exists") : QString());
  const bool lossy = !losses_.isEmpty() && (ChosenFormat() == kTrd || ChosenFormat() == kScl);
  lossL_->setText(
      lossy ? QStringLiteral("A %1 file cannot keep all of this disk. It would lose:\n- ")
                      .arg(ChosenFormat() == kTrd ? QStringLiteral("TRD") : QStringLiteral("SCL")) +
                  losses_.join(QStringLiteral("\n- ")) +
                  QStringLiteral("\nChoose UDI Disk Image to keep everything.")
            : QString());
  lossL_->setVisible(lossy);
  save_->setEnabled(usable);
}

void TSaveDiskF::SaveClicked() {
  Validate();
  if (!save_->isEnabled()) return;
  if (exists_ && AskOverwrite &&
      !AskOverwrite(QStringLiteral("File '") + FileName() +
                    QStringLiteral("' already exist! Do you want overwrite it?"))) {
    return;  // the dialog stays open
  }
  accept();
}

}  // namespace vantrel
