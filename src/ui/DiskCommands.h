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

  void LoadDiskCommand();
  void SaveDiskAsCommand();
  void CreateDiskCommand();
  // Asks about a changed disk first, then opens the file; `opened` runs once it is in.
  void OpenDiskCommand(const QString& fileName, std::function<void()> opened = {});
  // The disk last opened or saved, unless the command line names another.
  void ReopenAtStartUp(bool commandLineNamesDisk);
  // Before the program ends, with the machine stopped: false when the user keeps it.
  bool ConfirmExit();

  DiskDrive& Drive();
  TSaveDiskF& SaveDialog() { return *saveDialog_; }

  // Around every dialog: leave full screen, release the mouse and keyboard, and back.
  std::function<void()> BeforeDialogs, AfterDialogs;
  std::function<void(const QString& caption, const QString& text)> ShowError;
  // (title, start file, filter) -> the file chosen, empty when cancelled.
  std::function<QString(const QString&, const QString&, const QString&)> OpenFile;
  std::function<SaveChangesAnswer()> AskSaveChanges;
  std::function<void(const QString& absolutePath)> Opened;  // for the recent files

 private:
  // Opens at once, remembering the name even when the file is refused.
  bool OpenDiskFile(const QString& fileName);
  // The save dialog; on its button the disk (a new blank one in the create mode) is saved
  // and `saved` runs once it is written.
  void SaveThroughDialog(TSaveDiskF::Mode mode, std::function<void()> saved);
  // The save-changes question, then `proceed` unless the user keeps the disk.
  void ReleaseThen(std::function<void()> proceed);
  void Show(const DiskError& error);

  Application& app_;
  QWidget* window_;
  std::unique_ptr<TSaveDiskF> saveDialog_;
};

}  // namespace vantrel
