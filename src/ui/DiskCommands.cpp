#include "ui/DiskCommands.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>

#include "app/Application.h"
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
  AskSaveChanges = [window] {
    switch (QMessageBox::question(
        window, window->windowTitle(), QStringLiteral("Save the changes to the disk in drive A?"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes)) {
      case QMessageBox::Yes: return SaveChangesAnswer::Yes;
      case QMessageBox::No: return SaveChangesAnswer::No;
      default: return SaveChangesAnswer::Cancel;
    }
  };
}

DiskCommands::~DiskCommands() = default;

DiskDrive& DiskCommands::Drive() {
  return app_.Drive();
}

void DiskCommands::Show(const DiskError& error) {
  if (ShowError && ShowsDiskError(error, app_.Hardware().TrDos)) {
    ShowError(FromStd(error.Caption), QString::fromUtf8(error.what()));
  }
}

void DiskCommands::ReleaseThen(std::function<void()> proceed) {
  const auto ask = [this] {
    if (BeforeDialogs) BeforeDialogs();
    const SaveChangesAnswer answer = AskSaveChanges();
    if (AfterDialogs) AfterDialogs();
    return answer;
  };
  ReleaseDisk(
      Drive().Modified(), ask,
      [this](std::function<void()> saved) {
        SaveThroughDialog(TSaveDiskF::Mode::kSaveAs, std::move(saved));
      },
      std::move(proceed));
}

void DiskCommands::LoadDiskCommand() {
  ReleaseThen([this] {
    if (BeforeDialogs) BeforeDialogs();
    MainWindowSettings& settings = app_.MainWindow();
    const QString stored = FromStd(settings.DiskAFileName);
    const QString start =
        settings.DiskDefaultPath.empty()
            ? stored
            : QDir(FromStd(settings.DiskDefaultPath)).filePath(QFileInfo(stored).fileName());
    const QString filter =
        QString::fromStdString(OpenFileFilterByType(FileKind::Disk, "All Supported Files"));
    QString chosen = OpenFile ? OpenFile(kOpenTitle, start, filter) : QString();
    if (!chosen.isEmpty()) {
      if (QFileInfo(chosen).suffix().isEmpty() && !QFileInfo::exists(chosen)) chosen += ".Trd";
      settings.DiskDefaultPath = QFileInfo(chosen).absolutePath().toStdString();
      OpenDiskFile(chosen);
    }
    if (AfterDialogs) AfterDialogs();
  });
}

void DiskCommands::OpenDiskCommand(const QString& fileName, std::function<void()> opened) {
  ReleaseThen([this, fileName, opened = std::move(opened)] {
    if (OpenDiskFile(fileName) && opened) opened();
  });
}

bool DiskCommands::OpenDiskFile(const QString& fileName) {
  app_.MainWindow().DiskAFileName = fileName.toStdString();
  DiskOpenOptions options = DiskOpenOptionsFrom(app_.Hardware().TrDos);
  options.Prompts.Ask = [](std::string_view text, std::string_view caption) {
    return QMessageBox::question(nullptr, FromStd(std::string(caption)), FromStd(std::string(text)),
                                 QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
  };
  options.Prompts.Warn = [this](const DiskError& warning) { Show(warning); };
  try {
    if (!Drive().Open(fileName.toStdString(), options)) return false;
  } catch (const DiskError& refusal) {
    Show(refusal);
    return false;
  }
  if (Opened) Opened(QFileInfo(fileName).absoluteFilePath());
  return true;
}

void DiskCommands::ReopenAtStartUp(bool commandLineNamesDisk) {
  if (const auto file = DiskToReopen(app_.MainWindow(), commandLineNamesDisk)) {
    OpenDiskFile(QString::fromStdString(file->string()));
  }
}

void DiskCommands::SaveDiskAsCommand() {
  SaveThroughDialog(TSaveDiskF::Mode::kSaveAs, nullptr);
}

void DiskCommands::CreateDiskCommand() {
  ReleaseThen([this] { SaveThroughDialog(TSaveDiskF::Mode::kCreate, nullptr); });
}

void DiskCommands::SaveThroughDialog(TSaveDiskF::Mode mode, std::function<void()> saved) {
  if (BeforeDialogs) BeforeDialogs();
  TSaveDiskF& dialog = *saveDialog_;
  dialog.SetMode(mode);
  dialog.SetWriteProtected(mode == TSaveDiskF::Mode::kSaveAs && Drive().WriteProtected());
  dialog.SetFileName(FromStd(app_.MainWindow().DiskAFileName));
  const bool accepted = dialog.exec() == QDialog::Accepted;
  if (AfterDialogs) AfterDialogs();
  if (!accepted) return;
  if (mode == TSaveDiskF::Mode::kCreate) Drive().CreateBlank();
  const QString fileName = dialog.FileName();
  const auto post = [this](std::function<void()> write) {
    QMetaObject::invokeMethod(window_, std::move(write), Qt::QueuedConnection);
  };
  Drive().Save(fileName.toStdString(), dialog.WriteProtected(), post,
               [this, fileName, saved](const std::optional<DiskError>& failure) {
                 if (failure) {
                   Show(*failure);
                   return;
                 }
                 app_.MainWindow().DiskAFileName = fileName.toStdString();
                 if (saved) saved();
               });
}

bool DiskCommands::ConfirmExit() {
  bool proceed = false;
  ReleaseThen([&proceed] { proceed = true; });
  return proceed;
}

}  // namespace vantrel
