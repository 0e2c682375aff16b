#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <variant>
#include <vector>

#include "app/Application.h"
#include "app/TKeyThread.h"
#include "input/Gamepad.h"
#include "input/GamepadPolling.h"
#include "input/KempstonMouseDriver.h"
#include "media/SnapshotLoader.h"
#include "ui/RecentFiles.h"

class QLabel;
class QMenu;
class QTimer;

namespace vantrel {

struct FullScreenError;
class KeysGrid;
class MouseCapture;
class StackPanel;
class TConfigForm;
class DiskCommands;
class TLoadSnapForm;
class TSaveSnapF;
class SdlGamepad;
class SdlSoundOutput;
class TBreakpointsF;
class TCPUStoppedF;
class TDAsmF;
class TWatchesF;
class THistoryF;
class TCpuF;
class TMemoryDumpForm;
class TScreenPanel;
class TTapeReader;
class TVG93F;

// What a file named on the command line is, by its extension (case ignored).
enum class CommandLineFile { kNone, kTape, kSnapshot, kDisk };
CommandLineFile ClassifyCommandLineFile(const QString& fileName);

// The control centre while the machine is stopped: menus, the paging label, the stack
// and the on-screen keyboard. It owns the machine (through Application), the key
// handling and the screen window, runs the start-up and shutdown order, and carries out
// the requests keys raise while the screen window has the focus.
class TMainForm : public QMainWindow, public RunHost {
  Q_OBJECT
 public:
  TMainForm(SettingsStore& store, FileResolver romResolver, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The start-up routine, once the windows are shown: ROMs, reset, then the file named on
  // the command line or "On Start run". False when the program must end (no ROMs).
  bool StartUp(const QString& commandLineFile = {});
  // Opens a file as if it had been named on the command line: by its extension. Also
  // the way in for dropped files, recent files and files another copy hands over.
  void OpenCommandLineFile(const QString& fileName);
  // Shows the main and screen windows in front (a second copy was started).
  void RaiseWindows();
  const RecentFiles& Recent() const { return recent_; }

  void RefreshDebugViews();
  void PrepareForRun();
  void RestoreAfterRun();

  Machine& GetMachine() { return app_.GetMachine(); }
  TEmulThread& Emulation() { return app_.Emulation(); }
  KeyRequests& Requests() { return requests_; }
  TKeyThread& KeyHandling() { return keys_; }
  TScreenPanel& ScreenPanel() { return *screen_; }
  TDAsmF& Disassembler() { return *disasm_; }
  // A menu command by its object name ("RunMI", "ResetMI", ...), for tests and wiring.
  QAction* Command(const QString& name) const;
  QLabel* PagingLabel() const { return label7ffd_; }
  StackPanel* Stack() const { return stack_; }
  TVG93F& Beta128View() { return *vg93_; }
  // "Fast Disk Access": the setting, the run loop's flag and the menu's check mark.
  void SetFastDiskAccess(bool on);
  TCpuF& CpuPanel() { return *cpu_; }
  THistoryF& HistoryPanel() { return *history_; }
  TBreakpointsF& BreakpointsWindow() { return *breakpoints_; }
  TMemoryDumpForm& MemoryPanel() { return *memory_; }
  // The idle work: full screen, requests, the CPU stopped dialog, the caption.
  void Idle();

  // "Options" on one of its pages; true when it was closed with OK and its values are
  // now in force.
  bool OpenOptions(int page);
  TConfigForm& Options() { return *config_; }
  // The emulated mouse: captured only while the machine runs, the program is active and
  // the screen window has the focus (or is full screen) and the user asked for it.
  void CaptureMouse();
  void ReleaseMouse();
  MouseCapture& Capture() { return *capture_; }
  // Full screen as the key requests ask; a failure is reported and the window stays.
  void ApplyFullScreen();

  // "Load &Snapshot...": stops the machine, asks for the file and loads it.
  void LoadSnapshotCommand();
  // Loads a snapshot file (resolved like other files); on success the machine runs or
  // stays stopped with fresh views, on failure it stays stopped and the reason is shown.
  bool LoadSnapshotFile(const QString& fileName, bool runAfterLoad);
  // "&QuickSave Snapshot": the name from the save dialog's settings, written between two
  // steps of the machine, whether it runs or not.
  void QuickSaveSnapshot();
  TLoadSnapForm& LoadSnapDialog() { return *loadSnap_; }
  TSaveSnapF& SaveSnapDialog() { return *saveSnap_; }
  // "Load &Disk...", "Save Disk As...", "Create New Disk..." and the disk in drive A.
  DiskCommands& Disks() { return *disks_; }
  // "Load Disk && Run...": asks for a disk, then LoadDiskAndRun.
  void LoadDiskAndRunCommand();
  // Opens the disk into drive A (asking about a changed disk first), resets into TR-DOS
  // with 128K and boots it; a disk without a boot file gets its catalogue listed.
  void LoadDiskAndRun(const QString& fileName);
  // "Load Tape && &Run...": asks for a tape, then LoadTapeAndRun.
  void LoadTapeAndRunCommand();
  // Inserts the tape, resets into the start mode (its BASIC, for TR-DOS modes) and types
  // what starts the ROM's loader, running the machine if it was stopped. A refused file
  // is shown and changes nothing.
  bool LoadTapeAndRun(const QString& fileName);
  // "&Fast Tape Loading": maximum speed while the tape plays (the Startup page's box).
  bool FastTapeLoading();
  void SetFastTapeLoading(bool on);
  // "&Tape Reader Panel" and "Load &Tape Image..." (the tape reader's file dialog).
  TTapeReader& TapeReader() { return *tapeReader_; }
  void ToggleTapeReader();
  void LoadTapeCommand();
  // Shows a failure (snapshot refusals and the like): caption and text.
  std::function<void(const QString& caption, const QString& text)> ShowError;

  // RunHost: the emulation thread's hand-over to this window's thread.
  void PostTermination(std::function<void()> handler) override;
  void ProcessEvents() override;
  void RunFinished() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  // "Load Disk && Run..." and the "Drives" menu: each drive's load, save and write
  // protection; the Beta128 view's write-protect boxes.
  void AddDriveCommands(QMenu* file);
  QAction* AddCommand(QMenu* menu, const char* name, const QString& caption,
                      const QKeySequence& shortcut, std::function<void()> handler);
  // Starts a run through `start` and prepares the windows if a thread now runs.
  void StartRun(const std::function<void()>& start);
  void SetRunCommandsEnabled(bool stopped);
  void ShowCpuStopped();
  void Minimize();
  void ShutDown();
  void ApplyOptions(const TConfigForm& form);
  void ReportFullScreenError(const FullScreenError& error);
  void SyncMouseSwapSetting();
  void WriteSnapshot(const QString& fileName,
                     const std::variant<std::vector<uint8_t>, SnapshotError>& image);
  void RebuildRecentMenu();
  void BuildDebuggerWindows();
  void KeepWidth();
  // "Rewind": one capture back per 200 ms while the key repeats; the run goes on once
  // the key has been let go (no repeat for a while).
  void RewindCommand();
  void RewindReleased();
  // "Step Back" and the History panel's Go Back Here, while the machine stands.
  void StepBackCommand();
  void GoBackInHistory(uint64_t step);
  void SetKeepHistory(bool keep);
  void RefreshHistory();

  SettingsStore& store_;
  KeyRequests requests_;
  Application app_;
  TKeyThread keys_;
  std::unique_ptr<TScreenPanel> screen_;
  std::unique_ptr<TConfigForm> config_;
  std::unique_ptr<TLoadSnapForm> loadSnap_;
  std::unique_ptr<TSaveSnapF> saveSnap_;
  std::unique_ptr<DiskCommands> disks_;
  std::unique_ptr<TTapeReader> tapeReader_;
  std::unique_ptr<TDAsmF> disasm_;
  std::unique_ptr<TWatchesF> watches_;
  void SaveWatches();
  std::unique_ptr<THistoryF> history_;
  std::unique_ptr<TCpuF> cpu_;
  std::unique_ptr<TBreakpointsF> breakpoints_;
  std::unique_ptr<TMemoryDumpForm> memory_;
  bool cpuPanelShown_ = true;
  bool memoryPanelShown_ = true;
  bool vg93ShownBeforeRun_ = false;  // the controller's view, hidden while the machine runs
  std::unique_ptr<SdlSoundOutput> soundOutput_;
  // The first game pad, read on this thread: by padTimer_ while one is open, looked for
  // from the idle round otherwise (padPolling_).
  std::unique_ptr<SdlGamepad> gamepad_;
  std::unique_ptr<GamepadDriver> padDriver_;
  QTimer* padTimer_ = nullptr;  // none when SDL has no game controller subsystem
  GamepadPolling padPolling_;
  QElapsedTimer padClock_;
  void PollGamepad();
  FileResolver fileResolver_;  // snapshots and other user files
  KempstonMouseDriver mouseDriver_;
  MouseCapture* capture_ = nullptr;
  bool captureRequestSeen_ = false;  // MouseCaptureRequested as last acted on
  bool fullScreenApplied_ = false;   // FullScreen as last acted on
  bool captureRequestBeforeFullScreen_ = false;
  std::map<QString, QAction*> commands_;
  QLabel* label7ffd_ = nullptr;
  StackPanel* stack_ = nullptr;
  TVG93F* vg93_ = nullptr;
  KeysGrid* keysGrid_ = nullptr;
  QTimer* idle_ = nullptr;
  QTimer* rewindRelease_ = nullptr;
  qint64 lastRewindStep_ = -1;  // ms on rewindClock_
  QElapsedTimer rewindClock_;
  bool rewindResume_ = false;
  QMenu* recentMenu_ = nullptr;
  RecentFiles recent_;
  QWidget* activeBeforeRun_ = nullptr;
  bool preparedForRun_ = false;
  bool minimizePending_ = false;
  bool cpuStoppedShowing_ = false;
  bool closing_ = false;
  bool shutDown_ = false;
};

}  // namespace vantrel
