#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "app/DiskDrive.h"
#include "ui/TSaveDiskF.h"

class QWidget;

namespace vantrel {

class Application;

// The main window's disk commands: "Load &Disk...", "Save Disk As...", "Create New
// Disk...", disks named on the command line, dropped or handed over, the disk reopened at
// start-up, and the question that keeps a changed disk from being dropped silently. They
// run while the machine may be running: the drive swaps disks between two of its steps.
class DiskCommands {
 public:
  DiskCommands(Application& app, QWidget* window);
  ~DiskCommands();

  // Each for a drive, 0 to 3 for A to D.
  void LoadDiskCommand(int drive = 0);
  void SaveDiskAsCommand(int drive = 0);
  void CreateDiskCommand(int drive = 0);
  // Asks about a changed disk first, then opens the file; `opened` runs once it is in.
  void OpenDiskCommand(const QString& fileName, std::function<void()> opened = {}, int drive = 0);
  // The disks last opened or saved, unless the command line names another for drive A.
  void ReopenAtStartUp(bool commandLineNamesDisk);
  // Before the program ends, with the machine stopped: false when the user keeps a disk.
  bool ConfirmExit();
  bool AnyModified();

  DiskDrive& Drive(int drive = 0);
  TSaveDiskF& SaveDialog() { return *saveDialog_; }

  // Around every dialog: leave full screen, release the mouse and keyboard, and back.
  std::function<void()> BeforeDialogs, AfterDialogs;
  std::function<void(const QString& caption, const QString& text)> ShowError;
  // (title, start file, filter) -> the file chosen, empty when cancelled.
  std::function<QString(const QString&, const QString&, const QString&)> OpenFile;
  // About the disk in drive `AskingDrive`.
  std::function<SaveChangesAnswer()> AskSaveChanges;
  int AskingDrive = 0;
  std::function<void(const QString& absolutePath)> Opened;  // for the recent files

 private:
  // Opens at once, remembering the name even when the file is refused.
  bool OpenDiskFile(const QString& fileName, int drive);
  // The save dialog, told what a TRD would lose of the disk; on its button the disk (a new
  // blank one in the create mode) is saved and `saved` runs once it is written.
  void SaveThroughDialog(TSaveDiskF::Mode mode, std::function<void()> saved, int drive);
  void ShowSaveDialog(TSaveDiskF::Mode mode, std::function<void()> saved, int drive);
  // The save-changes question, then `proceed` unless the user keeps the disk.
  void ReleaseThen(std::function<void()> proceed, int drive);
  void Show(const DiskError& error);

  Application& app_;
  QWidget* window_;
  std::unique_ptr<TSaveDiskF> saveDialog_;
};

}  // namespace vantrel
