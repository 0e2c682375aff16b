#include "ui/TMainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/Settings.h"
#include "debugger/BreakpointText.h"
#include "media/FileTypes.h"
#include "platform/QtKeyboard.h"
#include "platform/SdlGamepad.h"
#include "platform/SdlSoundOutput.h"
#include "ui/DiskCommands.h"
#include "ui/KeysGrid.h"
#include "ui/MouseCapture.h"
#include "ui/StackPanel.h"
#include "ui/TBreakpointsF.h"
#include "ui/TCPUStoppedF.h"
#include "ui/TConfigForm.h"
#include "ui/TCpuF.h"
#include "ui/TDAsmF.h"
#include "ui/THistoryF.h"
#include "ui/TLoadSnapForm.h"
#include "ui/TMemoryDumpForm.h"
#include "ui/TSaveSnapF.h"
#include "ui/TScreenPanel.h"
#include "ui/TTapeReader.h"
#include "ui/TVG93F.h"
#include "ui/TWatchesF.h"
#include "ui/WindowPlacement.h"

namespace vantrel {

namespace {

// Prompt enough for a person, and rare enough to leave the program asleep between frames.
constexpr int kIdleIntervalMs = 50;
// A frame this close to the next round does it: frames come every 20 ms.
constexpr int kIdleEarlyMs = 10;

QString Binary8(uint8_t value) {
  return QStringLiteral("%1").arg(value, 8, 2, QLatin1Char('0'));
}

}  // namespace

TMainForm::TMainForm(SettingsStore& store, FileResolver romResolver, QWidget* parent)
    : QMainWindow(parent),
      store_(store),
      app_(store, *this, romResolver),
      keys_(app_.Emulation(), requests_),
      fileResolver_{romResolver.StartDirectory, romResolver.ProgramDirectory, {}} {
  setWindowTitle(QStringLiteral("Vantrel v0.30b"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  Machine& machine = app_.GetMachine();
  keys_.SetKeyboardStateReader(ReadKeyboardState);

  auto* central = new QWidget(this);
  auto* columns = new QHBoxLayout(central);
  columns->setContentsMargins(4, 4, 4, 4);
  auto* left = new QVBoxLayout;
  auto* paging = new QHBoxLayout;
  paging->addWidget(new QLabel(QStringLiteral("Port #7FFD:"), central));
  label7ffd_ = new QLabel(QStringLiteral("00000000"), central);
  label7ffd_->setObjectName(QStringLiteral("Label7FFD"));
  paging->addWidget(label7ffd_);
  paging->addStretch();
  left->addLayout(paging);
  left->addStretch();
  auto* keysPanel = new QWidget(central);
  keysPanel->setObjectName(QStringLiteral("KeysPanel"));
  auto* keysLayout = new QVBoxLayout(keysPanel);
  keysLayout->setContentsMargins(0, 0, 0, 0);
  keysLayout->addWidget(new QLabel(QStringLiteral("Keyboard"), keysPanel));
  keysGrid_ = new KeysGrid(machine.Keys, keysPanel);
  keysLayout->addWidget(keysGrid_);
  left->addWidget(keysPanel);
  columns->addLayout(left);
  stack_ = new StackPanel(machine.Mem, central);
  stack_->setObjectName(QStringLiteral("StackPanel"));
  columns->addWidget(stack_);
  setCentralWidget(central);
  recent_.Load(store_);
  vg93_ = new TVG93F(store_, this);
  BuildMenus();
  // The stack panel's room stays while it is hidden, so running does not shrink the window.
  QSizePolicy stackPolicy = stack_->sizePolicy();
  stackPolicy.setRetainSizeWhenHidden(true);
  stack_->setSizePolicy(stackPolicy);
  KeepWidth();
  // Not resizable: the contents decide the size.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  RestorePosition(*this, {app_.MainWindow().Position.X, app_.MainWindow().Position.Y});
  setAcceptDrops(true);

  screen_ = std::make_unique<TScreenPanel>(machine, store_, requests_);
  BuildDebuggerWindows();
  screen_->KeyHandler = [this](uint8_t code, bool pressed) { keys_.KeyEvent(code, pressed); };
  screen_->FocusHandler = [this](bool active) {
    // Full screen covers the desktop: its keys are the emulator's even where the window
    // system never reports the window active (no window manager).
    keys_.SetFocused(active || screen_->FullScreenActive());
    if (active) {
      // Releases that went to no window while the focus moved (the Alt of Alt+Enter as
      // the window manager turns the window full screen) are read back from the server.
      keys_.Resync();
      CaptureMouse();
    }
  };
  screen_->MachineRunning = [this] { return app_.Emulation().Alive(); };
  screen_->FramesPerSecond = [this] {
    return app_.Emulation().Loop.Timer.CurrentFramesPerSecond();
  };
  screen_->FileDropped = [this](const QString& fileName) { OpenCommandLineFile(fileName); };
  screen_->LoadDiskAndRun = [this] { LoadDiskAndRunCommand(); };
  screen_->CanOpenFile = [](const QString& fileName) {
    return ClassifyCommandLineFile(fileName) != CommandLineFile::kNone;
  };
  screen_->SetBorderSizes(BorderPresetSizes(store_, app_.Hardware().BorderPreset));
  // First run: the screen window goes beside the main window rather than on top of it.
  if (!store_.ReadInteger("Environment\\ScreenPanel", "X Position")) {
    screen_->move(frameGeometry().right() + 8, y());
  }

  config_ = std::make_unique<TConfigForm>(store_, std::move(romResolver), this);
  loadSnap_ = std::make_unique<TLoadSnapForm>(store_, this);
  saveSnap_ = std::make_unique<TSaveSnapF>(store_, this);
  tapeReader_ = std::make_unique<TTapeReader>(machine, store_, this);
  QAction* tapePanel = Command(QStringLiteral("TapeReaderPanelMI"));
  tapePanel->setCheckable(true);
  tapeReader_->VisibilityChanged = [tapePanel](bool shown) { tapePanel->setChecked(shown); };
  tapeReader_->BeforeDialog = [this] {
    requests_.FullScreen.store(false, std::memory_order_relaxed);
    ApplyFullScreen();
    ReleaseMouse();
  };
  disasm_ = std::make_unique<TDAsmF>(machine, store_);
  memory_->Symbols = &disasm_->Symbols();
  memory_->MemoryChanged = [this] { disasm_->MemoryChanged(); };
  disasm_->PcChanged = [this] { RefreshDebugViews(); };
  disasm_->ShowStatus = [this](const QString& text) { statusBar()->showMessage(text); };
  // Breakpoints where the code is: the lines show the list, a double click or F5 toggles.
  disasm_->MarkAt = [this](uint16_t address) { return breakpoints_->ExecutionMark(address); };
  disasm_->ToggleBreakpoint = [this](uint16_t address) {
    if (!breakpoints_->ToggleExecution(address)) {
      statusBar()->showMessage(QStringLiteral("The breakpoint list is full."));
    }
  };
  breakpoints_->SetEvaluationContext(&machine.Mem, &disasm_->Symbols());
  cpu_->Symbols = &disasm_->Symbols();
  const WatchesPanelSettings watchSettings = LoadWatchesPanelSettings(store_);
  watches_ = std::make_unique<TWatchesF>(machine, watchSettings.Expressions, this);
  watches_->Symbols = &disasm_->Symbols();
  watches_->Changed = [this] { SaveWatches(); };
  watches_->Closed = [this] { Command(QStringLiteral("WatchesPanelMI"))->setChecked(false); };
  watches_->setVisible(watchSettings.Enabled);
  Command(QStringLiteral("WatchesPanelMI"))->setChecked(watchSettings.Enabled);
  history_ = std::make_unique<THistoryF>(this);
  history_->Symbols = &disasm_->Symbols();
  history_->GoBack = [this](uint64_t step) { GoBackInHistory(step); };
  history_->Closed = [this] { Command(QStringLiteral("HistoryPanelMI"))->setChecked(false); };
  app_.SetKeepHistory(app_.MainWindow().KeepHistory);
  // First run: below the main window rather than over its menus.
  if (!store_.ReadInteger("Environment\\Disassembler Panel", "X Position")) {
    disasm_->move(x(), frameGeometry().bottom() + 8);
  }
  disasm_->EnabledChanged = [this](bool shown) {
    Command(QStringLiteral("DisassemblerPanelMI"))->setChecked(shown);
  };
  Command(QStringLiteral("DisassemblerPanelMI"))->setChecked(disasm_->Enabled());
  // The run commands' keys work while the panel has the focus, as in the main window.
  for (const char* name : {"RunMI", "StepOverMI", "TraceIntoMI", "RunToNextLineMI", "RunToCursorMI",
                           "RunUntilReturnMI", "ResetMI"}) {
    disasm_->addAction(Command(QString::fromLatin1(name)));
  }
  ShowError = [this](const QString& caption, const QString& text) {
    QMessageBox::critical(this, caption, text);
  };
  disks_ = std::make_unique<DiskCommands>(app_, this);
  disks_->ShowError = [this](const QString& caption, const QString& text) {
    if (ShowError) ShowError(caption, text);
  };
  disks_->BeforeDialogs = [this] {
    requests_.FullScreen.store(false, std::memory_order_relaxed);
    ApplyFullScreen();
    ReleaseMouse();
    keys_.SetFocused(false);
  };
  disks_->AfterDialogs = [this] {
    if (!app_.Emulation().Alive()) return;
    keys_.SetFocused(screen_->isActiveWindow());
    CaptureMouse();
  };
  disks_->Opened = [this](const QString& file) {
    recent_.Add(file);
    RebuildRecentMenu();
  };
  // Without a sound device the machine is paced by the 20 ms timer instead.
  soundOutput_ = std::make_unique<SdlSoundOutput>();
  RunLoop& loop = app_.Emulation().Loop;
  if (soundOutput_->Active()) loop.Output = soundOutput_.get();
  gamepad_ = std::make_unique<SdlGamepad>();
  padDriver_ = std::make_unique<GamepadDriver>(app_.GetMachine().Joystick, app_.GetMachine().Keys);
  padDriver_->SetMapping(app_.Hardware().Gamepad);
  if (gamepad_->Available()) {
    // Runs only while a pad is open; the idle round looks for one otherwise.
    padTimer_ = new QTimer(this);
    padTimer_->setObjectName(QStringLiteral("GamepadReadTimer"));
    connect(padTimer_, &QTimer::timeout, this, &TMainForm::PollGamepad);
    padClock_.start();
    PollGamepad();
  }
  capture_ = new MouseCapture(screen_.get(), this);
  connect(capture_, &MouseCapture::Released, this,
          [&loop] { loop.MouseCaptured.store(false, std::memory_order_relaxed); });
  mouseDriver_.Configure(app_.Hardware().KempstonMouse);
  // Read once per frame on the emulation thread; the capture's sums are atomics.
  loop.PollMouse = [this](KempstonMouse& mouse) {
    mouseDriver_.Poll(*capture_, mouse, keys_.AltMode());
  };

  qApp->installEventFilter(this);
  idle_ = new QTimer(this);
  connect(idle_, &QTimer::timeout, this, &TMainForm::Idle);
  idle_->start(kIdleIntervalMs);
  // While frames come, the idle work rides on them and the timer, restarted by each
  // round, never fires: one wake-up of this thread fewer every round.
  screen_->FrameShown = [this] {
    if (idle_->remainingTime() <= kIdleEarlyMs) Idle();
  };
}

TMainForm::~TMainForm() {
  qApp->removeEventFilter(this);
  ShutDown();
}

QAction* TMainForm::AddCommand(QMenu* menu, const char* name, const QString& caption,
                               const QKeySequence& shortcut, std::function<void()> handler) {
  auto* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  if (handler) {
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
  } else {
    action->setEnabled(false);  // arrives with a later feature
  }
  commands_[action->objectName()] = action;
  return action;
}

QAction* TMainForm::Command(const QString& name) const {
  const auto it = commands_.find(name);
  return it == commands_.end() ? nullptr : it->second;
}

void TMainForm::BuildMenus() {
  TEmulThread& emulation = app_.Emulation();
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  AddCommand(file, "LoadSnapshotMI", QStringLiteral("Load &Snapshot..."), Qt::Key_F3,
             [this] { LoadSnapshotCommand(); });
  AddCommand(file, "SaveSnapshotMI", QStringLiteral("Save Snapshot..."), {}, [this] {
    if (saveSnap_->exec() == QDialog::Accepted) QuickSaveSnapshot();
  });
  AddCommand(file, "QuickSaveMI", QStringLiteral("&QuickSave Snapshot"),
             QKeySequence(Qt::ALT | Qt::Key_F3), [this] { QuickSaveSnapshot(); });
  file->addSeparator();
  AddCommand(file, "LoadTapeMI", QStringLiteral("Load &Tape Image..."), {},
             [this] { LoadTapeCommand(); });
  AddCommand(file, "LoadTapeRunMI", QStringLiteral("Load Tape && &Run..."), {},
             [this] { LoadTapeAndRunCommand(); });
  AddCommand(file, "CreateDiskMI", QStringLiteral("Create New Disk..."),
             QKeySequence(Qt::ALT | Qt::Key_F2), [this] { disks_->CreateDiskCommand(); });
  AddCommand(file, "LoadDiskMI", QStringLiteral("Load &Disk..."), Qt::Key_F2,
             [this] { disks_->LoadDiskCommand(); });
  AddCommand(file, "SaveDiskMI", QStringLiteral("Save Disk As..."), {},
             [this] { disks_->SaveDiskAsCommand(); });
  AddDriveCommands(file);
  file->addSeparator();
  recentMenu_ = file->addMenu(QStringLiteral("Recent files"));
  recentMenu_->setObjectName(QStringLiteral("RecentFilesMI"));
  RebuildRecentMenu();
  file->addSeparator();
  AddCommand(file, "MinimizeMI", QStringLiteral("Minimize"), QKeySequence(Qt::ALT | Qt::Key_Space),
             [this] { Minimize(); });
  AddCommand(file, "ExitMI", QStringLiteral("E&xit"), {}, [this] { close(); });

  QMenu* debug = menuBar()->addMenu(QStringLiteral("&Debug"));
  AddCommand(debug, "RunMI", QStringLiteral("&Run"), Qt::Key_F9,
             [this, &emulation] { StartRun([&emulation] { emulation.Run(); }); });
  AddCommand(debug, "DebuggerMI", QStringLiteral("Debugger"), Qt::Key_Escape,
             [&emulation] { emulation.RequestStop(); });
  AddCommand(debug, "StepOverMI", QStringLiteral("&Step Over"), Qt::Key_F8,
             [this, &emulation] { StartRun([&emulation] { emulation.StepOver(); }); });
  AddCommand(debug, "TraceIntoMI", QStringLiteral("&Trace Into"), Qt::Key_F7,
             [&emulation] { emulation.TraceInto(); });
  AddCommand(debug, "StepBackMI", QStringLiteral("Step &Back"), QKeySequence(Qt::CTRL | Qt::Key_F7),
             [this] { StepBackCommand(); });
  // Targets from the disassembler panel's cursor line.
  AddCommand(debug, "RunToNextLineMI", QStringLiteral("Run to Next &Line"),
             QKeySequence(Qt::SHIFT | Qt::Key_F7), [this, &emulation] {
               const uint16_t target = disasm_->NextLineAddress();
               StartRun([&emulation, target] { emulation.RunTo(target); });
             });
  AddCommand(debug, "RunToCursorMI", QStringLiteral("Run to &Cursor"), Qt::Key_F4,
             [this, &emulation] {
               const uint16_t target = disasm_->CurrentAddress();
               StartRun([&emulation, target] { emulation.RunTo(target); });
             });
  AddCommand(debug, "RunUntilReturnMI", QStringLiteral("Run &Until Return"),
             QKeySequence(Qt::SHIFT | Qt::Key_F8),
             [this, &emulation] { StartRun([&emulation] { emulation.RunUntilReturn(); }); });
  QAction* fastTape = AddCommand(debug, "FastTapeLoadingMI", QStringLiteral("&Fast Tape Loading"),
                                 {}, [this] { SetFastTapeLoading(!FastTapeLoading()); });
  fastTape->setCheckable(true);
  fastTape->setChecked(FastTapeLoading());
  QAction* keepHistory = AddCommand(debug, "KeepHistoryMI", QStringLiteral("Keep &History"), {},
                                    [this] { SetKeepHistory(!app_.MainWindow().KeepHistory); });
  keepHistory->setCheckable(true);
  keepHistory->setChecked(app_.MainWindow().KeepHistory);
  debug->addSeparator();
  AddCommand(debug, "ResetMI", QStringLiteral("Rese&t"), Qt::Key_F12,
             [&emulation] { emulation.Reset(); });
  QAction* rewind = AddCommand(debug, "RewindMI", QStringLiteral("Re&wind"), Qt::Key_F11,
                               [this] { RewindCommand(); });
  // Held over the screen window too, where the keys otherwise go to the machine.
  rewind->setShortcutContext(Qt::ApplicationShortcut);
  AddCommand(debug, "BreakpointsMI", QStringLiteral("&Breakpoints..."), {}, [this] {
    breakpoints_->show();
    breakpoints_->raise();
  });

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  AddCommand(view, "CpuPanelMI", QStringLiteral("&CPU Panel"),
             QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C), [this] {
               cpuPanelShown_ = !cpuPanelShown_;
               Command(QStringLiteral("CpuPanelMI"))->setChecked(cpuPanelShown_);
               cpu_->setVisible(cpuPanelShown_);
             });
  Command(QStringLiteral("CpuPanelMI"))->setCheckable(true);
  Command(QStringLiteral("CpuPanelMI"))->setChecked(cpuPanelShown_);
  AddCommand(view, "DisassemblerPanelMI", QStringLiteral("&Disassembeler Panel"),
             QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D),
             [this] { disasm_->SetEnabled(!disasm_->Enabled()); })
      ->setCheckable(true);
  AddCommand(view, "WatchesPanelMI", QStringLiteral("&Watches Panel"),
             QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_W),
             [this] {
               const bool shown = !watches_->isVisible();
               watches_->setVisible(shown);
               Command(QStringLiteral("WatchesPanelMI"))->setChecked(shown);
               if (shown) watches_->Refresh();
               SaveWatches();
             })
      ->setCheckable(true);
  AddCommand(view, "HistoryPanelMI", QStringLiteral("&History Panel"),
             QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_H),
             [this] {
               const bool shown = !history_->isVisible();
               history_->setVisible(shown);
               Command(QStringLiteral("HistoryPanelMI"))->setChecked(shown);
               if (shown) RefreshHistory();
             })
      ->setCheckable(true);
  AddCommand(view, "MemoryPanelMI", QStringLiteral("Hide &Memory Panel"),
             QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_M), [this] {
               memoryPanelShown_ = !memoryPanelShown_;
               Command(QStringLiteral("MemoryPanelMI"))->setChecked(memoryPanelShown_);
               memory_->setVisible(memoryPanelShown_);
             });
  Command(QStringLiteral("MemoryPanelMI"))->setCheckable(true);
  Command(QStringLiteral("MemoryPanelMI"))->setChecked(memoryPanelShown_);
  AddCommand(view, "TapeReaderPanelMI", QStringLiteral("&Tape Reader Panel"),
             QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T), [this] { ToggleTapeReader(); });
  QAction* beta128 = AddCommand(view, "Beta128PanelMI", QStringLiteral("&Beta128 Panel"),
                                QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_B), [this] {
                                  vg93_->setVisible(!vg93_->isVisible());
                                  // The running machine is not read from here.
                                  if (!app_.Emulation().Alive()) RefreshDebugViews();
                                });
  beta128->setCheckable(true);
  beta128->setChecked(vg93_->isVisible());

  QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
  const char* pages[][2] = {
      {"VideoMI", "&Video..."}, {"PortsMI", "&Ports..."},  {"StartupMI", "Start&up..."},
      {"RomsMI", "&ROM's..."},  {"TrDosMI", "TR-&DOS..."}, {"MemoryMI", "&Memory..."},
      {"MouseMI", "M&ouse..."}, {"SoundMI", "&Sound..."},  {"JoystickMI", "&Joystick..."}};
  for (int i = 0; i < TConfigForm::kPageCount; ++i) {
    AddCommand(options, pages[i][0], QString::fromLatin1(pages[i][1]), {},
               [this, i] { OpenOptions(i); });
  }

  options->addSeparator();
  QAction* fastDisk =
      AddCommand(options, "FastDiskMI", QStringLiteral("Fast Disk Access"), {},
                 [this] { SetFastDiskAccess(!app_.Hardware().StartUp.FastDiskAccess); });
  fastDisk->setCheckable(true);
  fastDisk->setChecked(app_.Hardware().StartUp.FastDiskAccess);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  AddCommand(help, "AboutMI", QStringLiteral("&About..."), {}, [this] {
    QMessageBox::about(this, QStringLiteral("About Vantrel"),
                       QStringLiteral("Vantrel v0.30b\nZX Spectrum 48K/128K, Pentagon and "
                                      "Scorpion emulator with a machine-level debugger."));
  });
  SetRunCommandsEnabled(true);
}

namespace {

constexpr std::string_view kCpuPanelKey = "Environment\\CpuPanel";
constexpr std::string_view kMemoryPanelKey = "Environment\\Memory Dump Panel";

}  // namespace

void TMainForm::BuildDebuggerWindows() {
  Machine& machine = app_.GetMachine();
  cpu_ = std::make_unique<TCpuF>(machine, this);
  breakpoints_ = std::make_unique<TBreakpointsF>(machine.State.Regs, this);
  memory_ = std::make_unique<TMemoryDumpForm>(machine, store_, this);
  cpu_->ShowInMemory = [this](uint16_t address) { memory_->GoToAddress(address); };
  // Visibility and place persist; a missing or mistyped value keeps the default.
  const auto read = [this](std::string_view key, std::string_view name, int fallback) {
    return store_.ReadInteger(key, name).value_or(fallback);
  };
  const auto place = [this](QWidget& window, std::string_view key) {
    const auto x = store_.ReadInteger(key, "X Position");
    const auto y = store_.ReadInteger(key, "Y Position");
    if (x && y) RestorePosition(window, {*x, *y});
  };
  cpuPanelShown_ = read(kCpuPanelKey, "Enabled", 1) != 0;
  place(*cpu_, kCpuPanelKey);
  memoryPanelShown_ = read(kMemoryPanelKey, "Enabled", 1) != 0;
  memory_->resize(std::clamp(read(kMemoryPanelKey, "Width", 390), 120, 4000),
                  std::clamp(read(kMemoryPanelKey, "Height", 245), 60, 4000));
  place(*memory_, kMemoryPanelKey);
  memory_->SetStatusBarShown(read(kMemoryPanelKey, "Status Bar", 1) != 0);
  const int layout = read(kMemoryPanelKey, "View Mode", 0);
  if (layout >= 0 && layout < kDumpLayoutCount) memory_->SetLayout(static_cast<DumpLayout>(layout));
  Command(QStringLiteral("CpuPanelMI"))->setChecked(cpuPanelShown_);
  Command(QStringLiteral("MemoryPanelMI"))->setChecked(memoryPanelShown_);
  // The list reaches the machine between two of its steps.
  breakpoints_->Changed = [this, &machine](const std::vector<Breakpoint>& entries) {
    machine.Apply([&machine, entries] { machine.SetBreakpoints(entries); });
    if (disasm_) disasm_->BreakpointsChanged();
  };
}

void TMainForm::RebuildRecentMenu() {
  recentMenu_->clear();
  const QStringList& files = recent_.Files();
  for (int i = 0; i < files.size(); ++i) {
    const QString fileName = files[i];
    QAction* item = recentMenu_->addAction(
        QStringLiteral("&%1 %2").arg((i + 1) % 10).arg(QFileInfo(fileName).fileName()));
    item->setToolTip(fileName);
    connect(item, &QAction::triggered, this, [this, fileName] { OpenCommandLineFile(fileName); });
  }
  recentMenu_->setEnabled(!files.isEmpty());
}

void TMainForm::KeepWidth() {
  // The whole menu bar and the whole caption, whatever the window manager's title font:
  // a bold caption plus room for the icon and three buttons is a safe guess.
  QFont captionFont = font();
  captionFont.setBold(true);
  const int caption = QFontMetrics(captionFont).horizontalAdvance(windowTitle()) + 140;
  const int menus = menuBar()->sizeHint().width();
  centralWidget()->setMinimumWidth(std::max(caption, menus));
}

void TMainForm::SetRunCommandsEnabled(bool stopped) {
  // The Options pages change port decoding and memory paging, the CPU and memory panels
  // registers and memory, all of which the running machine uses without locks: they are
  // open only while it is stopped.
  for (const char* name : {"RunMI",      "StepOverMI",    "TraceIntoMI",     "RunUntilReturnMI",
                           "ResetMI",    "VideoMI",       "PortsMI",         "StartupMI",
                           "RomsMI",     "TrDosMI",       "MemoryMI",        "MouseMI",
                           "SoundMI",    "RunToCursorMI", "RunToNextLineMI", "DisassemblerPanelMI",
                           "CpuPanelMI", "MemoryPanelMI", "Beta128PanelMI",  "StepBackMI"}) {
    Command(QString::fromLatin1(name))->setEnabled(stopped);
  }
  Command(QStringLiteral("DebuggerMI"))->setEnabled(!stopped);
}

void TMainForm::StartRun(const std::function<void()>& start) {
  // A quit signal may close the window while a dialog's own loop runs: nothing restarts.
  if (shutDown_) return;
  activeBeforeRun_ = QApplication::activeWindow();
  start();
  // A Step Over that only traced has already refreshed the views.
  if (app_.Emulation().Alive()) PrepareForRun();
}

void TMainForm::PrepareForRun() {
  // The controller's view is read only while the machine stands: while it runs the view
  // would show a state long gone.
  if (!preparedForRun_) vg93ShownBeforeRun_ = vg93_->isVisible();
  preparedForRun_ = true;
  statusBar()->clearMessage();
  cpu_->hide();
  memory_->hide();
  vg93_->hide();
  SetRunCommandsEnabled(false);
  stack_->hide();
  disasm_->hide();  // its text would be stale at once
  if (history_->isVisible()) history_->Refresh(nullptr, true);
  keys_.SetRunning(true);
  keys_.SetFocused(true);
  screen_->raise();
  screen_->activateWindow();
  screen_->setFocus();
  CaptureMouse();
}

void TMainForm::RestoreAfterRun() {
  preparedForRun_ = false;
  ReleaseMouse();
  // The debugger must be seen: a run that ends at full screen (a breakpoint, the CPU
  // stopped dialog) comes back to the window.
  requests_.FullScreen.store(false, std::memory_order_relaxed);
  ApplyFullScreen();
  keys_.SetRunning(false);
  SetRunCommandsEnabled(true);
  stack_->show();
  if (disasm_->Enabled()) disasm_->show();
  cpu_->setVisible(cpuPanelShown_);
  memory_->setVisible(memoryPanelShown_);
  if (vg93ShownBeforeRun_) vg93_->show();
  vg93ShownBeforeRun_ = false;
  if (activeBeforeRun_ != nullptr) activeBeforeRun_->activateWindow();
}

void TMainForm::RefreshDebugViews() {
  Machine& machine = app_.GetMachine();
  machine.State.UpdateTacktsMeter();
  machine.ApplyUnseen([&machine] { machine.Screen.RefreshScreen(machine.State.Regs.Tackts); });
  // The caption names a Sinclair timing, which changes what every program sees.
  const MachineTiming timing = machine.Timing();
  setWindowTitle(timing == MachineTiming::Default
                     ? QStringLiteral("Vantrel v0.30b")
                     : QStringLiteral("Vantrel v0.30b - %1 timing")
                           .arg(QString::fromLatin1(TimingName(timing))));
  stack_->ShowStack(machine.State.Regs.SP);
  cpu_->Refresh();
  memory_->update();
  label7ffd_->setText(Binary8(machine.Mem.Port7FFD));
  label7ffd_->setToolTip(QString::fromStdString(PagingReport(machine.Mem.Port7FFD)));
  keysGrid_->update();
  disasm_->FollowPc();
  watches_->Refresh();
  RefreshHistory();
  Command(QStringLiteral("Beta128PanelMI"))->setChecked(vg93_->isVisible());
  if (vg93_->isVisible()) vg93_->Refresh(machine.Disk.Controller);
}

void TMainForm::SetFastDiskAccess(bool on) {
  // Only pacing changes, so this may flip while the machine runs.
  app_.Hardware().StartUp.FastDiskAccess = on;
  app_.Emulation().Loop.FastDiskAccess.store(on, std::memory_order_relaxed);
  Command(QStringLiteral("FastDiskMI"))->setChecked(on);
}

void TMainForm::PostTermination(std::function<void()> handler) {
  QMetaObject::invokeMethod(
      this, [handler = std::move(handler)] { handler(); }, Qt::QueuedConnection);
}

void TMainForm::ProcessEvents() {
  // The termination handler arrives as an event, which ends the wait.
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TMainForm::RunFinished() {
  if (preparedForRun_) RestoreAfterRun();
  RefreshDebugViews();
  const BreakHit& hit = app_.GetMachine().Breaks().LastHit();
  if (hit.Index >= 0) statusBar()->showMessage(QString::fromStdString(BreakHitText(hit)));
}

bool TMainForm::StartUp(const QString& commandLineFile) {
  RestoreAfterRun();
  Application::StartUpResult result;
  for (;;) {
    result = app_.StartUp();
    const RomCheckResult& roms = result.roms;
    if (!roms.ShowMessage) break;
    // The panels stand beside the box: show them the machine the ROMs just reset, not the
    // zeroed memory they were laid out over before.
    if (!app_.Emulation().Alive()) RefreshDebugViews();  // before the box
    const QString caption = QString::fromStdString(roms.caption);
    const QString text = QString::fromStdString(roms.message);
    // OK: choose the ROM files on the Options dialog's ROM page, then try again.
    if (QMessageBox::warning(this, caption, text, QMessageBox::Ok | QMessageBox::Cancel) !=
        QMessageBox::Ok) {
      break;
    }
    OpenOptions(TConfigForm::kRomsPage);
  }
  if (result.outcome == Application::StartUpOutcome::kRomsMissing) return false;
  // Before a run starts: the screen window, not the tape window, must end up with the keys.
  if (tapeReader_->StoredShown()) tapeReader_->SetShown(true);
  if (result.outcome == Application::StartUpOutcome::kRunning) {
    activeBeforeRun_ = this;
    PrepareForRun();
  } else {
    RefreshDebugViews();
  }
  disks_->ReopenAtStartUp(ClassifyCommandLineFile(commandLineFile) == CommandLineFile::kDisk);
  disasm_->ReloadSymbols();
  // After the run has started, which clears the status line; what the file on the
  // command line has to say comes later and replaces it.
  if (result.roms.outcome == RomCheckOutcome::kReadyWithoutTrDos) {
    statusBar()->showMessage(QString::fromStdString(result.roms.message));
  }
  if (!commandLineFile.isEmpty()) OpenCommandLineFile(commandLineFile);
  return true;
}

void TMainForm::RaiseWindows() {
  if (isMinimized()) showNormal();
  screen_->show();
  screen_->raise();
  raise();
  activateWindow();
  // While the machine runs the keys belong to the picture.
  if (app_.Emulation().Alive()) screen_->activateWindow();
}

void TMainForm::Idle() {
  if (shutDown_) return;
  idle_->start(kIdleIntervalMs);
  if (padTimer_ && !padTimer_->isActive() && padPolling_.LookDue(padClock_.elapsed())) {
    PollGamepad();
  }
  Machine& machine = app_.GetMachine();
  if (minimizePending_ && !app_.Emulation().Alive()) {
    minimizePending_ = false;
    showMinimized();
  }
  // An answer still waiting for its frame end leaves the flag up: ask only once.
  if (machine.State.Running.load(std::memory_order_relaxed) && !cpuStoppedShowing_ &&
      machine.State.CpuStoppedRequest.load(std::memory_order_acquire) == kCpuStoppedNone &&
      machine.State.CpuStopped.load(std::memory_order_relaxed)) {
    ShowCpuStopped();
  }
  // Requests raised by keys while the screen window has the focus.
  if (requests_.CloseMainWindow.exchange(false, std::memory_order_relaxed)) close();
  ApplyFullScreen();
  const bool captureRequested = requests_.MouseCaptureRequested.load(std::memory_order_relaxed);
  if (captureRequested != captureRequestSeen_) {
    captureRequestSeen_ = captureRequested;
    if (captureRequested) {
      CaptureMouse();
    } else {
      ReleaseMouse();
    }
  }
  if (requests_.RestoreMainWindow.exchange(false, std::memory_order_relaxed)) {
    showNormal();
    raise();
    activateWindow();
  }
  if (requests_.LoadSnapshot.exchange(false, std::memory_order_relaxed)) LoadSnapshotCommand();
  if (requests_.QuickSaveSnapshot.exchange(false, std::memory_order_relaxed)) {
    QuickSaveSnapshot();
  }
  if (requests_.LoadDisk.exchange(false, std::memory_order_relaxed)) disks_->LoadDiskCommand();
  if (requests_.TapeReaderPanel.exchange(false, std::memory_order_relaxed)) {
    ToggleTapeReader();
    screen_->activateWindow();
  }
  screen_->UpdateScreenCaption();
}

bool TMainForm::OpenOptions(int page) {
  ReleaseMouse();
  SyncMouseSwapSetting();
  config_->Load({app_.Hardware(), screen_->CurrentSettings(), screen_->GetBorderSizes()});
  config_->ShowPage(page);
  if (config_->exec() != QDialog::Accepted) return false;
  ApplyOptions(*config_);
  return true;
}

void TMainForm::ApplyOptions(const TConfigForm& form) {
  const TConfigForm::Values values = form.Result();
  const HardwareSettings old = app_.Hardware();
  app_.ApplyHardwareSettings(values.Hardware);
  Command(QStringLiteral("FastTapeLoadingMI"))->setChecked(FastTapeLoading());
  mouseDriver_.Configure(values.Hardware.KempstonMouse);
  padDriver_->SetMapping(values.Hardware.Gamepad);
  if (values.Hardware.Rom48k.FileName != old.Rom48k.FileName ||
      values.Hardware.Rom128k.FileName != old.Rom128k.FileName ||
      values.Hardware.RomDos.FileName != old.RomDos.FileName) {
    // A slot that fails keeps its old image; the start-up check reports what is missing.
    app_.LoadRoms();
  }
  ScreenPanelSettings screen = values.Screen;
  screen.Position = screen_->CurrentSettings().Position;
  screen_->ApplySettings(screen);
  screen_->SetBorderSizes(values.Border);
  SetFastDiskAccess(values.Hardware.StartUp.FastDiskAccess);
  RefreshDebugViews();
}

void TMainForm::SyncMouseSwapSetting() {
  // Alt+click flips the swap on the emulation thread; the stored setting follows it.
  app_.Hardware().KempstonMouse.SwapButtons = mouseDriver_.SwapButtons();
}

void TMainForm::CaptureMouse() {
  const Machine& machine = app_.GetMachine();
  const bool wanted = requests_.MouseCaptureRequested.load(std::memory_order_relaxed);
  const bool place =
      screen_->FullScreenActive() ||
      (screen_->isActiveWindow() && machine.Mouse.Enabled.load(std::memory_order_relaxed));
  if (!wanted || !place || !app_.Emulation().Alive()) return;
  const bool captured = capture_->Capture();
  app_.Emulation().Loop.MouseCaptured.store(captured, std::memory_order_relaxed);
}

void TMainForm::ReleaseMouse() {
  capture_->Release();
  app_.Emulation().Loop.MouseCaptured.store(false, std::memory_order_relaxed);
}

void TMainForm::ApplyFullScreen() {
  const bool wanted = requests_.FullScreen.load(std::memory_order_relaxed);
  if (wanted == fullScreenApplied_) return;
  fullScreenApplied_ = wanted;
  if (wanted) {
    if (const auto error = screen_->EnterFullScreen()) {
      fullScreenApplied_ = false;
      requests_.FullScreen.store(false, std::memory_order_relaxed);
      ReportFullScreenError(*error);
      return;
    }
    // The mouse belongs to the emulated machine at full screen; the user's own choice
    // comes back on leaving.
    captureRequestBeforeFullScreen_ =
        requests_.MouseCaptureRequested.exchange(true, std::memory_order_relaxed);
    captureRequestSeen_ = true;
    keys_.SetFocused(true);
    CaptureMouse();
  } else {
    ReleaseMouse();
    screen_->LeaveFullScreen();
    keys_.SetFocused(screen_->isActiveWindow());
    requests_.MouseCaptureRequested.store(captureRequestBeforeFullScreen_,
                                          std::memory_order_relaxed);
    captureRequestSeen_ = captureRequestBeforeFullScreen_;
    if (captureRequestSeen_) CaptureMouse();
  }
}

void TMainForm::ReportFullScreenError(const FullScreenError& error) {
  // The machine stops and the window stays: a display problem must not end the session.
  app_.Emulation().RequestStop();
  QMessageBox box(QMessageBox::Critical, kFullScreenErrorCaption, FullScreenErrorText(error),
                  QMessageBox::Ok, this);
  box.exec();
}

void TMainForm::ShowCpuStopped() {
  TCPUStoppedF dialog(store_, this);
  if (dialog.DontShowAgain()) return;  // the machine stays on its HALT
  cpuStoppedShowing_ = true;
  const int answer = dialog.exec();
  cpuStoppedShowing_ = false;
  TEmulThread& emulation = app_.Emulation();
  switch (answer) {
    case TCPUStoppedF::kReset: emulation.StoppedCpuReset(); break;
    case TCPUStoppedF::kReanimate: emulation.StoppedCpuReanimate(); break;
    default: emulation.StoppedCpuDebugger(); break;  // also closing the dialog
  }
}

void TMainForm::Minimize() {
  // Stop first; the window is minimised once the run has ended.
  app_.Emulation().RequestStop();
  minimizePending_ = true;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  // Alt+F4 anywhere in the program closes the main window, once.
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F4 && (key->modifiers() & Qt::AltModifier)) {
      if (!closing_) close();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A changed disk is not dropped silently; the question needs a stopped machine, which
  // runs on when the user keeps the program.
  if (!shutDown_ && disks_->AnyModified()) {
    TEmulThread& emulation = app_.Emulation();
    const bool wasRunning = emulation.Alive();
    emulation.StopEmulation();
    if (!disks_->ConfirmExit()) {
      event->ignore();
      if (wasRunning) StartRun([&emulation] { emulation.Run(); });
      return;
    }
  }
  closing_ = true;
  ShutDown();
  event->accept();
  screen_->hide();
  // Not quit(): Qt 6 asks every window to close first and gives up when one refuses, as
  // the screen window does. With no event loop running (a window driven without the
  // program's loop) there is nothing to end, and exit() would make every later modal
  // dialog's loop return at once.
  if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

void TMainForm::ShutDown() {
  if (shutDown_) return;
  shutDown_ = true;
  if (idle_ != nullptr) idle_->stop();
  requests_.FullScreen.store(false, std::memory_order_relaxed);
  ApplyFullScreen();
  ReleaseMouse();
  app_.Emulation().StopEmulation();
  SyncMouseSwapSetting();
  keys_.SetRunning(false);
  const QPoint position = StoredPosition(*this);
  app_.MainWindow().Position = {position.x(), position.y()};
  app_.ShutDown();  // stops the timer, writes the main window and hardware settings
  screen_->SaveSettings();
  tapeReader_->SaveSettings();
  disasm_->SaveSettings();
  SaveWatches();
  vg93_->SaveSettings(vg93_->isVisible() || vg93ShownBeforeRun_);
  recent_.Save(store_);
  const QPoint cpuAt = StoredPosition(*cpu_);
  store_.WriteFlag(kCpuPanelKey, "Enabled", cpuPanelShown_);
  store_.WriteInteger(kCpuPanelKey, "X Position", cpuAt.x());
  store_.WriteInteger(kCpuPanelKey, "Y Position", cpuAt.y());
  const QPoint memoryAt = StoredPosition(*memory_);
  store_.WriteFlag(kMemoryPanelKey, "Enabled", memoryPanelShown_);
  store_.WriteInteger(kMemoryPanelKey, "X Position", memoryAt.x());
  store_.WriteInteger(kMemoryPanelKey, "Y Position", memoryAt.y());
  store_.WriteFlag(kMemoryPanelKey, "Status Bar", memory_->StatusBarShown());
  store_.WriteInteger(kMemoryPanelKey, "View Mode",
                      static_cast<int>(memory_->View().Geometry.Layout));
  store_.WriteInteger(kMemoryPanelKey, "Width", memory_->width());
  store_.WriteInteger(kMemoryPanelKey, "Height", memory_->height());
  app_.GetMachine().Screen.SetPresenter(nullptr);
}

void TMainForm::PollGamepad() {
  padDriver_->Update(gamepad_->Poll());
  const int interval = GamepadPolling::ReadInterval(gamepad_->Connected());
  if (interval == 0) {
    padTimer_->stop();
  } else if (!padTimer_->isActive()) {
    padTimer_->start(interval);
  }
}

void TMainForm::SaveWatches() {
  SaveWatchesPanelSettings(store_, {watches_->Watches().Texts(), watches_->isVisible()});
}

// ---------------------------------------------------------------------------------------
// Tapes started the way a user would: a reset, then the keys that run the ROM's loader.

}  // namespace vantrel
