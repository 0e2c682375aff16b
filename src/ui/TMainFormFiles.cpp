#include "ui/TMainForm.h"

// The main window's file commands: snapshots, tapes, files from the command line and drops.

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <array>
#include <optional>

#include "app/Application.h"
#include "app/AutoLoad.h"
#include "media/FileTypes.h"
#include "media/SnapshotLoader.h"
#include "media/SnapshotSaver.h"
#include "ui/DiskCommands.h"
#include "ui/TCPUStoppedF.h"
#include "ui/TLoadSnapForm.h"
#include "ui/TSaveSnapF.h"
#include "ui/TScreenPanel.h"
#include "ui/TTapeReader.h"
#include "ui/TVG93F.h"
#include "ui/WindowPlacement.h"

namespace vantrel {

CommandLineFile ClassifyCommandLineFile(const QString& fileName) {
  const FileType* type = FindFileType(fileName.toStdString());
  if (!type) return CommandLineFile::kNone;
  switch (type->Kind) {
    case FileKind::Snapshot: return CommandLineFile::kSnapshot;
    case FileKind::Tape: return CommandLineFile::kTape;
    case FileKind::Disk: return CommandLineFile::kDisk;
  }
  return CommandLineFile::kNone;
}

void TMainForm::OpenCommandLineFile(const QString& fileName) {
  // A snapshot is loaded and run; a tape goes into the tape reader and the machine runs; a
  // disk goes into drive A and the machine boots it in TR-DOS with 128K.
  switch (ClassifyCommandLineFile(fileName)) {
    case CommandLineFile::kSnapshot: LoadSnapshotFile(fileName, true); break;
    case CommandLineFile::kTape: {
      const QString absolute = QFileInfo(fileName).absoluteFilePath();
      if (tapeReader_->OpenTape(absolute)) {
        recent_.Add(absolute);
        RebuildRecentMenu();
      }
      TEmulThread& emulation = app_.Emulation();
      if (!emulation.Alive()) StartRun([&emulation] { emulation.Run(); });
      break;
    }
    case CommandLineFile::kDisk:
      disks_->OpenDiskCommand(fileName, [this] {
        TEmulThread& emulation = app_.Emulation();
        app_.GetMachine().State.StartMode.store(kStartTrDos | kStart128k,
                                                std::memory_order_relaxed);
        emulation.Reset();
        activeBeforeRun_ = this;
        StartRun([&emulation] { emulation.Run(); });
      });
      break;
    default: break;
  }
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  // Only what the program opens: anything else shows the no-drop cursor.
  if (ClassifyCommandLineFile(DroppedFile(event->mimeData())) != CommandLineFile::kNone) {
    event->acceptProposedAction();
  }
}

void TMainForm::dropEvent(QDropEvent* event) {
  const QString fileName = DroppedFile(event->mimeData());
  if (fileName.isEmpty()) return;
  event->acceptProposedAction();
  // Not inside the drop: the loader may show a message box.
  QMetaObject::invokeMethod(
      this, [this, fileName] { OpenCommandLineFile(fileName); }, Qt::QueuedConnection);
}

void TMainForm::LoadSnapshotCommand() {
  requests_.FullScreen.store(false, std::memory_order_relaxed);
  ApplyFullScreen();
  TEmulThread& emulation = app_.Emulation();
  const bool wasRunning = emulation.Alive();
  emulation.StopEmulation();
  ReleaseMouse();
  const QString stored = QString::fromStdString(app_.MainWindow().SnapshotFileName);
  if (loadSnap_->FileName().isEmpty() && !stored.isEmpty()) loadSnap_->SetFileName(stored);
  if (loadSnap_->exec() == QDialog::Accepted) {
    LoadSnapshotFile(loadSnap_->FileName(), loadSnap_->RunAfterLoad());
  } else if (wasRunning) {
    StartRun([&emulation] { emulation.Run(); });
  }
}

bool TMainForm::LoadSnapshotFile(const QString& fileName, bool runAfterLoad) {
  TEmulThread& emulation = app_.Emulation();
  emulation.StopEmulation();
  Machine& machine = app_.GetMachine();
  const std::string name = fileName.toStdString();
  app_.MainWindow().SnapshotFileName = name;
  std::string note;  // what an SZX file held that this machine lacks
  try {
    const auto resolved = fileResolver_.Resolve(name);
    if (!resolved) {
      throw SnapshotError(std::string(kSnapshotReadFailed), kSnapshotReadCaption);
    }
    note = LoadSnapshot(machine, *resolved);
    app_.MainWindow().SnapshotDefaultPath = resolved->parent_path().string();
    recent_.Add(QFileInfo(QString::fromStdString(resolved->string())).absoluteFilePath());
    RebuildRecentMenu();
  } catch (const SnapshotError& refusal) {
    RefreshDebugViews();
    if (ShowError) {
      ShowError(QString::fromStdString(refusal.Caption), QString::fromUtf8(refusal.what()));
    }
    return false;
  }
  // The loader wrote memory behind the renderer's back.
  machine.Screen.RedrawAll();
  if (runAfterLoad) {
    activeBeforeRun_ = this;
    StartRun([&emulation] { emulation.Run(); });
  } else {
    RefreshDebugViews();
  }
  if (!note.empty()) statusBar()->showMessage(QString::fromStdString(note));
  return true;
}

void TMainForm::ToggleTapeReader() {
  tapeReader_->SetShown(!tapeReader_->isVisible());
}

void TMainForm::LoadTapeCommand() {
  // The file dialog needs the desktop.
  tapeReader_->BeforeDialog();
  tapeReader_->SetShown(true);
  tapeReader_->SelectFile();
}

void TMainForm::QuickSaveSnapshot() {
  const std::optional<QString> name = saveSnap_->ChooseSnapshotFileName();
  if (!name) return;
  Machine& machine = app_.GetMachine();
  const SnaVariant variant = saveSnap_->Variant();
  // A model the format cannot name is refused before anything is written.
  const auto image = [&machine, variant]() -> std::variant<std::vector<uint8_t>, SnapshotError> {
    try {
      return MakeSnapshotImage(machine, variant);
    } catch (const SnapshotError& refusal) {
      return refusal;
    }
  };
  if (!app_.Emulation().Alive()) {
    WriteSnapshot(*name, image());
    return;
  }
  // A running machine is read at its next frame end, between two instructions; the
  // window thread then writes the file, so a slow disk never holds the machine.
  machine.Apply([this, image, fileName = *name] {
    auto bytes = std::make_shared<std::variant<std::vector<uint8_t>, SnapshotError>>(image());
    QMetaObject::invokeMethod(
        this, [this, bytes, fileName] { WriteSnapshot(fileName, *bytes); }, Qt::QueuedConnection);
  });
}

void TMainForm::WriteSnapshot(const QString& fileName,
                              const std::variant<std::vector<uint8_t>, SnapshotError>& image) {
  try {
    if (const auto* refusal = std::get_if<SnapshotError>(&image)) throw *refusal;
    WriteReplacing(fileName.toStdString(), std::get<std::vector<uint8_t>>(image));
  } catch (const SnapshotError& failure) {
    if (ShowError) {
      ShowError(QString::fromStdString(failure.Caption), QString::fromUtf8(failure.what()));
    }
  }
}

bool TMainForm::FastTapeLoading() {
  return app_.Hardware().StartUp.FastTapeLoading;
}

void TMainForm::SetFastTapeLoading(bool on) {
  app_.Hardware().StartUp.FastTapeLoading = on;
  app_.Emulation().Loop.FastTapeLoading.store(on, std::memory_order_relaxed);
  Command(QStringLiteral("FastTapeLoadingMI"))->setChecked(on);
}

void TMainForm::LoadTapeAndRunCommand() {
  requests_.FullScreen.store(false, std::memory_order_relaxed);
  ApplyFullScreen();
  const QString fileName =
      QFileDialog::getOpenFileName(this, QStringLiteral("Load Tape && Run"), {},
                                   QString::fromStdString(OpenFileFilter(FileKind::Tape)));
  if (!fileName.isEmpty()) LoadTapeAndRun(fileName);
}

bool TMainForm::LoadTapeAndRun(const QString& fileName) {
  auto tape = std::make_shared<TapeCatalogue>();
  try {
    *tape = LoadTapeImage(fileName.toStdString(), BlockInfoMode::Hexadecimal);
  } catch (const TapeError& refusal) {
    if (ShowError) ShowError(QStringLiteral("Tape Reader"), QString::fromUtf8(refusal.what()));
    return false;
  }
  Machine& machine = app_.GetMachine();
  RunLoop& loop = app_.Emulation().Loop;
  // Between two frames of a running machine, or at once when it is stopped.
  machine.Apply([&machine, &loop, tape] {
    machine.Tape.StopTape();
    machine.Tape.InsertTape(std::move(*tape));
    const uint8_t mode = machine.State.StartMode.load(std::memory_order_relaxed);
    loop.FrameTask = [&machine,
                      typer = StartAutoLoad(machine, mode, AutoLoadMedia::Tape)]() mutable {
      return typer.FrameEnd(machine);
    };
  });
  if (!app_.Emulation().Alive()) {
    activeBeforeRun_ = this;
    TEmulThread& emulation = app_.Emulation();
    StartRun([&emulation] { emulation.Run(); });
  }
  return true;
}

void TMainForm::AddDriveCommands(QMenu* file) {
  AddCommand(file, "LoadDiskRunMI", QStringLiteral("Load Disk && Run..."), {},
             [this] { LoadDiskAndRunCommand(); });
  QMenu* drives = file->addMenu(QStringLiteral("Drive"));
  drives->setObjectName(QStringLiteral("DriveMI"));
  std::array<QAction*, Machine::kDrives> protect{};
  for (int drive = 0; drive < Machine::kDrives; ++drive) {
    const QString letter(QChar('A' + drive));
    QMenu* menu = drives->addMenu(QStringLiteral("Drive ") + letter);
    menu->setObjectName(QStringLiteral("Drive%1MI").arg(letter));
    const std::string load = "LoadDisk" + letter.toStdString() + "MI";
    const std::string save = "SaveDisk" + letter.toStdString() + "MI";
    const std::string wp = "WriteProtect" + letter.toStdString() + "MI";
    AddCommand(menu, load.c_str(), QStringLiteral("Load Disk into Drive %1...").arg(letter), {},
               [this, drive] { disks_->LoadDiskCommand(drive); });
    AddCommand(menu, save.c_str(), QStringLiteral("Save Disk in Drive %1 As...").arg(letter), {},
               [this, drive] { disks_->SaveDiskAsCommand(drive); });
    protect[drive] =
        AddCommand(menu, wp.c_str(), QStringLiteral("Write Protected"), {}, [this, drive] {
          DiskDrive& d = disks_->Drive(drive);
          d.SetWriteProtected(!d.WriteProtected());
        });
    protect[drive]->setCheckable(true);
  }
  // The check marks follow the disks, whatever inserted them.
  connect(drives, &QMenu::aboutToShow, this, [this, protect] {
    for (int drive = 0; drive < Machine::kDrives; ++drive) {
      DiskDrive& d = disks_->Drive(drive);
      protect[drive]->setEnabled(d.HasDisk());
      protect[drive]->setChecked(d.WriteProtected());
    }
  });
  vg93_->DriveWriteProtected = [this](int drive) -> std::optional<bool> {
    DiskDrive& d = disks_->Drive(drive);
    return d.HasDisk() ? std::optional<bool>(d.WriteProtected()) : std::nullopt;
  };
  vg93_->SetDriveWriteProtected = [this](int drive, bool on) {
    disks_->Drive(drive).SetWriteProtected(on);
  };
}

void TMainForm::LoadDiskAndRunCommand() {
  requests_.FullScreen.store(false, std::memory_order_relaxed);
  ApplyFullScreen();
  const QString fileName =
      disks_->OpenFile
          ? disks_->OpenFile(
                QStringLiteral("Load Disk && Run"), {},
                QString::fromStdString(OpenFileFilterByType(FileKind::Disk, "All Supported Files")))
          : QString();
  if (!fileName.isEmpty()) LoadDiskAndRun(fileName);
}

void TMainForm::LoadDiskAndRun(const QString& fileName) {
  disks_->OpenDiskCommand(fileName, [this] {
    Machine& machine = app_.GetMachine();
    RunLoop& loop = app_.Emulation().Loop;
    // Between two frames of a running machine, or at once when it is stopped; the disk
    // queued before it is in drive A by then.
    machine.Apply([&machine, &loop] {
      loop.FrameTask = [&machine, typer = StartAutoLoad(machine, kStartTrDos | kStart128k,
                                                        AutoLoadMedia::Disk)]() mutable {
        return typer.FrameEnd(machine);
      };
    });
    if (!app_.Emulation().Alive()) {
      activeBeforeRun_ = this;
      TEmulThread& emulation = app_.Emulation();
      StartRun([&emulation] { emulation.Run(); });
    }
  });
}

}  // namespace vantrel
