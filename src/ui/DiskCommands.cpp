#include "ui/DiskCommands.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>

#include "app/Application.h"
#include "app/RomImages.h"
#include "machine/Machine.h"
#include "media/FileTypes.h"

namespace vantrel {

namespace {

const QString kOpenTitle = QStringLiteral(" Select Disk Image File for Loading");

QString FromStd(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

DiskCommands::DiskCommands(Application& app, QWidget* window)
    : app_(app), window_(window), saveDialog_(std::make_unique<TSaveDiskF>(window)) {
  OpenFile = [window](const QString& title, const QString& start, const QString& filter) {
    return QFileDialog::getOpenFileName(window, title, start, filter);
  };
  AskSaveChanges = [this, window] {
    switch (QMessageBox::question(
        window, window->windowTitle(),
        QStringLiteral("Save the changes to the disk in drive %1?").arg(QChar('A' + AskingDrive)),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes)) {
      case QMessageBox::Yes: return SaveChangesAnswer::Yes;
      case QMessageBox::No: return SaveChangesAnswer::No;
      default: return SaveChangesAnswer::Cancel;
    }
  };
}

DiskCommands::~DiskCommands() = default;

DiskDrive& DiskCommands::Drive(int drive) {
  return app_.Drive(drive);
}

bool DiskCommands::AnyModified() {
  for (int drive = 0; drive < Machine::kDrives; ++drive)
    if (Drive(drive).Modified()) return true;
  return false;
}

void DiskCommands::Show(const DiskError& error) {
  if (ShowError && ShowsDiskError(error, app_.Hardware().TrDos)) {
    ShowError(FromStd(error.Caption), QString::fromUtf8(error.what()));
  }
}

void DiskCommands::ReleaseThen(std::function<void()> proceed, int drive) {
  const auto ask = [this, drive] {
    AskingDrive = drive;
    if (BeforeDialogs) BeforeDialogs();
    const SaveChangesAnswer answer = AskSaveChanges();
    if (AfterDialogs) AfterDialogs();
    return answer;
  };
  ReleaseDisk(
      Drive(drive).Modified(), ask,
      [this, drive](std::function<void()> saved) {
        SaveThroughDialog(TSaveDiskF::Mode::kSaveAs, std::move(saved), drive);
      },
      std::move(proceed));
}

void DiskCommands::LoadDiskCommand(int drive) {
  ReleaseThen(
      [this, drive] {
        if (BeforeDialogs) BeforeDialogs();
        MainWindowSettings& settings = app_.MainWindow();
        const QString stored = FromStd(settings.DiskFileName(drive));
        const QString start =
            settings.DiskDefaultPath.empty()
                ? stored
                : QDir(FromStd(settings.DiskDefaultPath)).filePath(QFileInfo(stored).fileName());
        const QString filter =
            QString::fromStdString(OpenFileFilterByType(FileKind::Disk, "All Supported Files"));
        const QString title =
            drive == 0 ? kOpenTitle
                       : kOpenTitle + QStringLiteral(" into Drive %1").arg(QChar('A' + drive));
        QString chosen = OpenFile ? OpenFile(title, start, filter) : QString();
        if (!chosen.isEmpty()) {
          if (QFileInfo(chosen).suffix().isEmpty() && !QFileInfo::exists(chosen)) chosen += ".Trd";
          settings.DiskDefaultPath = QFileInfo(chosen).absolutePath().toStdString();
          OpenDiskFile(chosen, drive);
        }
        if (AfterDialogs) AfterDialogs();
      },
      drive);
}

void DiskCommands::OpenDiskCommand(const QString& fileName, std::function<void()> opened,
                                   int drive) {
  ReleaseThen(
      [this, fileName, opened = std::move(opened), drive] {
        if (OpenDiskFile(fileName, drive) && opened) opened();
      },
      drive);
}

bool DiskCommands::OpenDiskFile(const QString& fileName, int drive) {
  app_.MainWindow().DiskFileName(drive) = fileName.toStdString();
  DiskOpenOptions options = DiskOpenOptionsFrom(app_.Hardware().TrDos);
  options.Prompts.Ask = [](std::string_view text, std::string_view caption) {
    return QMessageBox::question(nullptr, FromStd(std::string(caption)), FromStd(std::string(text)),
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
  };
  options.Prompts.Warn = [this](const DiskError& warning) { Show(warning); };
  try {
    if (!Drive(drive).Open(fileName.toStdString(), options)) return false;
  } catch (const DiskError& refusal) {
    Show(refusal);
    return false;
  }
  if (Opened) Opened(QFileInfo(fileName).absoluteFilePath());
  // The disk is in the drive, but nothing can read it without the TR-DOS ROM.
  if (!app_.TrDosAvailable() && ShowError) {
    ShowError(FromStd(std::string(kRomWarningCaption)), FromStd(std::string(kTrDosOffText)));
  }
  return true;
}

void DiskCommands::ReopenAtStartUp(bool commandLineNamesDisk) {
  if (const auto file = DiskToReopen(app_.MainWindow(), commandLineNamesDisk)) {
    OpenDiskFile(QString::fromStdString(file->string()), 0);
  }
  for (int drive = 1; drive < Machine::kDrives; ++drive) {
    const std::string& file = app_.MainWindow().DiskFileName(drive);
    if (!file.empty()) OpenDiskFile(FromStd(file), drive);
  }
}

void DiskCommands::SaveDiskAsCommand(int drive) {
  SaveThroughDialog(TSaveDiskF::Mode::kSaveAs, nullptr, drive);
}

void DiskCommands::CreateDiskCommand(int drive) {
  ReleaseThen([this, drive] { SaveThroughDialog(TSaveDiskF::Mode::kCreate, nullptr, drive); },
              drive);
}

void DiskCommands::SaveThroughDialog(TSaveDiskF::Mode mode, std::function<void()> saved,
                                     int drive) {
  if (mode == TSaveDiskF::Mode::kCreate) {
    saveDialog_->SetTrdLosses({});
    ShowSaveDialog(mode, std::move(saved), drive);
    return;
  }
  // A running machine's disk is checked between two of its steps: the dialog opens once
  // the answer is here.
  Drive(drive).CheckSaveLosses(
      [this](std::function<void()> answer) {
        QMetaObject::invokeMethod(window_, std::move(answer), Qt::QueuedConnection);
      },
      [this, mode, saved = std::move(saved), drive](std::vector<std::string> losses) {
        saveDialog_->SetTrdLosses(losses);
        ShowSaveDialog(mode, saved, drive);
      });
}

void DiskCommands::ShowSaveDialog(TSaveDiskF::Mode mode, std::function<void()> saved, int drive) {
  if (BeforeDialogs) BeforeDialogs();
  TSaveDiskF& dialog = *saveDialog_;
  dialog.SetMode(mode);
  dialog.SetWriteProtected(mode == TSaveDiskF::Mode::kSaveAs && Drive(drive).WriteProtected());
  dialog.SetFileName(FromStd(app_.MainWindow().DiskFileName(drive)));
  const bool accepted = dialog.exec() == QDialog::Accepted;
  if (AfterDialogs) AfterDialogs();
  if (!accepted) return;
  if (mode == TSaveDiskF::Mode::kCreate) Drive(drive).CreateBlank();
  const QString fileName = dialog.FileName();
  const auto post = [this](std::function<void()> write) {
    QMetaObject::invokeMethod(window_, std::move(write), Qt::QueuedConnection);
  };
  Drive(drive).Save(fileName.toStdString(), dialog.WriteProtected(), post,
                    [this, fileName, saved, drive](const std::optional<DiskError>& failure) {
                      if (failure) {
                        Show(*failure);
                        return;
                      }
                      app_.MainWindow().DiskFileName(drive) = fileName.toStdString();
                      if (saved) saved();
                    });
}

bool DiskCommands::ConfirmExit() {
  // Each changed disk in turn; the machine stands, so every answer comes at once.
  for (int drive = 0; drive < Machine::kDrives; ++drive) {
    bool proceed = false;
    ReleaseThen([&proceed] { proceed = true; }, drive);
    if (!proceed) return false;
  }
  return true;
}

}  // namespace vantrel
