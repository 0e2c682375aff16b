#include <SDL.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <functional>

#include "MachineFixture.h"
#include "TempDir.h"
#include "TestData.h"
#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "debugger/NumberText.h"
#include "ui/DiskCommands.h"
#include "ui/MouseCapture.h"
#include "ui/OptionsPages.h"
#include "ui/PortsOptionsPage.h"
#include "ui/StackPanel.h"
#include "ui/TBreakpointsF.h"
#include "ui/TConfigForm.h"
#include "ui/TCpuF.h"
#include "ui/THistoryF.h"
#include "ui/TMainForm.h"
#include "ui/TMemoryDumpForm.h"
#include "ui/TSaveSnapF.h"
#include "ui/TScreenPanel.h"
#include "ui/TTapeReader.h"
#include "ui/UiTest.h"
#include "ui/VideoOptionsPage.h"

namespace vantrel {
namespace {

class TMainFormTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path roms = test::TestDataDir() / "roms";
    if (!std::filesystem::exists(roms / "Pentagon.Rom")) {
      GTEST_SKIP() << "test data not found (roms/Pentagon.Rom): set VANTREL_TESTDATA";
    }
    // The default references name pages of Pentagon.Rom, found in the start directory.
    form = std::make_unique<TMainForm>(store, FileResolver{roms, roms, {}});
    ASSERT_TRUE(form->StartUp());
    form->ShowError = [this](const QString& caption, const QString& text) {
      errors << caption + '|' + text;
    };
  }
  void TearDown() override {
    if (form) form->close();
  }

  Machine& M() { return form->GetMachine(); }
  QAction* Command(const char* name) { return form->Command(QString::fromLatin1(name)); }
  void Stop() {
    M().State.Running.store(false);
    form->Emulation().StopEmulation();
    QCoreApplication::processEvents();
  }
  // A key as X11 delivers it: evdev code + 8 as the native scan code.
  void Key(QEvent::Type type, int qtKey, quint32 evdev) {
    QKeyEvent event(type, qtKey, Qt::NoModifier, evdev + 8, 0, 0);
    QApplication::sendEvent(&form->ScreenPanel(), &event);
  }
  // Runs `open`, which shows `dialog` modally, and `answer` once the dialog is open: events
  // handled before it opens must not take the answer, and the timer ends with this call,
  // so it never fires into a later test.
  void WhenOpen(const QWidget& dialog, const std::function<void()>& answer,
                const std::function<void()>& open) {
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      if (!dialog.isVisible()) return;
      timer.stop();
      answer();
    });
    timer.start(0);
    open();
  }
  // Opens the Options dialog through a menu item, lets `edit` change it and closes it.
  void Options(const char* item, const std::function<void(TConfigForm&)>& edit, bool ok) {
    TConfigForm& options = form->Options();
    WhenOpen(
        options,
        [&] {
          edit(options);
          (ok ? options.OkButton() : options.CancelButton())->click();
        },
        [&] { Command(item)->trigger(); });
  }
  QString File(const char* name) { return QString::fromStdString((dir.path() / name).string()); }

  MemorySettingsStore store;
  std::unique_ptr<TMainForm> form;
  QStringList errors;
  test::TempDir dir;
};

TEST_F(TMainFormTest, ShortcutKeysAndCommandsRunStopAndResetTheMachine) {
  EXPECT_FALSE(Command("DebuggerMI")->isEnabled());  // stopped: "Debugger" (stop) is off
  form->show();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  M().State.Regs.PC = 0x1234;
  QTest::keyClick(form.get(), Qt::Key_F12);  // Reset
  EXPECT_EQ(M().State.Regs.PC, 0);
  QTest::keyClick(form.get(), Qt::Key_F7);  // Trace Into: one instruction
  EXPECT_NE(M().State.Regs.PC, 0);
  QTest::keyClick(form.get(), Qt::Key_F9);  // Run
  EXPECT_TRUE(form->Emulation().Alive() && form->KeyHandling().Running());
  // No Options and no panel that edits the machine while it runs.
  for (const char* item :
       {"RunMI", "VideoMI", "PortsMI", "RomsMI", "SoundMI", "CpuPanelMI", "MemoryPanelMI"}) {
    EXPECT_FALSE(Command(item)->isEnabled()) << item;
  }
  EXPECT_FALSE(form->CpuPanel().isVisible() || form->MemoryPanel().isVisible());
  Command("DebuggerMI")->trigger();
  form->Emulation().StopEmulation();
  QCoreApplication::processEvents();
  EXPECT_FALSE(form->Emulation().Alive() || form->KeyHandling().Running());
  EXPECT_TRUE(Command("RunMI")->isEnabled() && Command("MouseMI")->isEnabled() &&
              Command("CpuPanelMI")->isEnabled() && Command("MemoryPanelMI")->isEnabled());
  // The stop refreshed the panels shown again.
  EXPECT_TRUE(form->CpuPanel().isVisible() && form->MemoryPanel().isVisible());
  EXPECT_EQ(form->CpuPanel().Field(0)->text().toStdString(), "PC " + HexWord(M().State.Regs.PC));

  M().State.StartMode = 0;  // a 48K reset shows the paging latch locked
  Command("ResetMI")->trigger();
  EXPECT_EQ(form->PagingLabel()->text(), "00110000");
  EXPECT_EQ(M().State.Regs.PC, 0);
}

TEST_F(TMainFormTest, ABreakpointStopsTheRunAndNamesItselfInTheStatusText) {
  TBreakpointsF& list = form->BreakpointsWindow();
  list.AddEntry();
  list.TypeBox()->setCurrentIndex(static_cast<int>(BreakType::Execution));
  list.ArgumentEdit()->setText(QStringLiteral("#38"));
  list.SaveEntry();
  Command("RunMI")->trigger();
  // The first interrupt after the ROM's EI runs the routine at #0038.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Emulation().Alive(); }, 10000));
  EXPECT_EQ(M().State.Regs.PC, 0x0038);
  EXPECT_EQ(form->statusBar()->currentMessage(), "Breakpoint 1: Execution #0038");
  EXPECT_TRUE(Command("RunMI")->isEnabled());
}

// Step Back undoes traced instructions one at a time; the History panel lists them with
// their registers and goes back to the one chosen; without Keep History nothing is kept.
TEST_F(TMainFormTest, StepBackAndTheHistoryPanelGoBackToTracedInstructions) {
  Z80Registers& r = M().State.Regs;
  M().Apply([&] {
    // LD A,1 / INC A / INC A / JR $
    const uint8_t code[] = {0x3E, 0x01, 0x3C, 0x3C, 0x18, 0xFE};
    for (size_t i = 0; i < sizeof code; ++i) M().Mem.PokeByte(0x8000 + i, code[i]);
    r.PC = 0x8000;
    r.IFF1 = 0;
  });
  ASSERT_TRUE(Command("KeepHistoryMI")->isChecked()) << "on by default";
  EXPECT_EQ(Command("StepBackMI")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F7));
  for (int i = 0; i < 3; ++i) Command("TraceIntoMI")->trigger();
  ASSERT_EQ(r.PC, 0x8004);
  ASSERT_EQ(r.A(), 3);
  Command("StepBackMI")->trigger();
  EXPECT_EQ(r.PC, 0x8003);
  EXPECT_EQ(r.A(), 2);
  EXPECT_EQ(form->CpuPanel().Field(0)->text().toStdString(), "PC 8003") << "the views follow";

  Command("HistoryPanelMI")->trigger();
  THistoryF& panel = form->HistoryPanel();
  ASSERT_TRUE(panel.isVisible());
  QAbstractItemModel& rows = *panel.Table()->model();
  ASSERT_GE(rows.rowCount(), 2);
  const int last = rows.rowCount() - 1;
  EXPECT_EQ(rows.index(last, 2).data().toString(), "8002");
  EXPECT_EQ(rows.index(last, 3).data().toString(), "3C");
  EXPECT_EQ(rows.index(last, 4).data().toString(), "INC A");
  EXPECT_EQ(rows.index(last, 5).data().toString().left(2), "01") << "A before it";
  EXPECT_EQ(rows.index(last, 0).data().toString(), "-1");
  panel.Table()->selectRow(last - 1);  // LD A,1
  panel.GoBackButton()->click();
  EXPECT_EQ(r.PC, 0x8000);
  EXPECT_EQ(panel.Table()->model()->rowCount(), last - 1);

  Command("KeepHistoryMI")->trigger();
  EXPECT_FALSE(Command("KeepHistoryMI")->isChecked());
  Command("TraceIntoMI")->trigger();
  Command("StepBackMI")->trigger();
  EXPECT_EQ(r.PC, 0x8002) << "nothing was kept";
  EXPECT_EQ(form->statusBar()->currentMessage(), "No history is kept (Debug menu, Keep History)");
  EXPECT_EQ(panel.Note()->text(), "No history is kept (Debug menu, Keep History)");
}

// After a run the History panel lists what ran: the views refreshed at the stop change
// nothing the program sees, so they do not cut the history.
TEST_F(TMainFormTest, TheHistoryOfARunIsShownWhenItStops) {
  Command("RunMI")->trigger();
  QTest::qWait(400);
  Stop();
  Command("HistoryPanelMI")->trigger();
  THistoryF& panel = form->HistoryPanel();
  ASSERT_TRUE(panel.isVisible());
  EXPECT_GT(panel.Table()->model()->rowCount(), 1000) << panel.Note()->text().toStdString();
  const uint16_t pc = M().State.Regs.PC;
  Command("StepBackMI")->trigger();
  Command("TraceIntoMI")->trigger();
  EXPECT_EQ(M().State.Regs.PC, pc) << "back one and forward one";
}

TEST_F(TMainFormTest, RunUntilReturnStopsAtAReturnAddressOfZero) {
  Z80Registers& r = M().State.Regs;
  M().Mem.PokeByte(0x8000, 0xC9);  // RET to 0
  M().Mem.PokeWord(0xBFFE, 0x0000);
  r.PC = 0x8000;
  r.SP = 0xBFFE;
  Command("RunUntilReturnMI")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Emulation().Alive(); }, 10000));
  EXPECT_EQ(r.PC, 0);
  EXPECT_EQ(r.SP, 0xC000);
  EXPECT_TRUE(Command("RunMI")->isEnabled());
}

TEST_F(TMainFormTest, OptionsOkAppliesAndCancelLeavesEverythingAsItWas) {
  const auto portsAndMemory = [](TConfigForm& options) {
    options.Ports()->JoystickEnabled()->setChecked(false);
    options.Memory()->Models()->button(4)->setChecked(true);
    EXPECT_EQ(options.Pages()->currentWidget(), options.Ports());
  };
  Options("PortsMI", portsAndMemory, false);
  EXPECT_TRUE(M().Ports.Settings.JoystickEnabled);
  EXPECT_EQ(M().Mem.Model, MemoryModel::Spectrum128k);
  Options("PortsMI", portsAndMemory, true);
  EXPECT_FALSE(M().Ports.Settings.JoystickEnabled);
  EXPECT_EQ(M().Mem.Model, MemoryModel::Scorpion256k);
  // Screen settings reach the screen window.
  Options(
      "VideoMI", [](TConfigForm& o) { o.Video()->DoubleSizeBox()->setChecked(false); }, true);
  EXPECT_FALSE(form->ScreenPanel().DoubleSize());
}

// A main window closed with no event loop running (as tests and scripts drive it) must not
// leave Qt ending every later modal dialog at once.
TEST_F(TMainFormTest, AClosedWindowLeavesLaterDialogsWorking) {
  const std::filesystem::path roms = test::TestDataDir() / "roms";
  MemorySettingsStore otherStore;
  {
    TMainForm other(otherStore, FileResolver{roms, roms, {}});
    ASSERT_TRUE(other.StartUp());
    other.close();
  }
  Options(
      "PortsMI", [](TConfigForm& o) { o.Ports()->JoystickEnabled()->setChecked(false); }, true);
  EXPECT_FALSE(M().Ports.Settings.JoystickEnabled);
}

TEST_F(TMainFormTest, FullScreenTakesTheMouseAndGivesTheChoiceBack) {
  KeyRequests& requests = form->Requests();
  Command("RunMI")->trigger();
  requests.FullScreen.store(true);
  form->Idle();
  ASSERT_TRUE(form->ScreenPanel().FullScreenActive());
  EXPECT_TRUE(requests.MouseCaptureRequested && form->Capture().Captured() &&
              form->Emulation().Loop.MouseCaptured);
  // Escape at full screen stops the machine and clears the request.
  requests.FullScreen.store(false);
  form->Idle();
  EXPECT_FALSE(form->ScreenPanel().FullScreenActive() || requests.MouseCaptureRequested ||
               form->Capture().Captured() || form->Emulation().Loop.MouseCaptured);
  Stop();
}

TEST_F(TMainFormTest, StackViewPutsSpOnTheSixthRowAndWraps) {
  M().State.Regs.SP = 0x0004;
  form->RefreshDebugViews();
  StackPanel* stack = form->Stack();
  EXPECT_EQ(stack->Position(), 0xFFFA);
  EXPECT_EQ(stack->Grid()->item(0, 0)->text() + stack->Grid()->item(5, 0)->text(), "FFFA0004");
  EXPECT_TRUE(stack->Grid()->item(5, 0)->font().bold() &&
              !stack->Grid()->item(4, 0)->font().bold());
  EXPECT_EQ(AlignStackPosition(0x1001, 0x0004), 0x1002) << "SP's parity is kept";
}

TEST_F(TMainFormTest, KeysTypedAtTheScreenWindowReachTheMatrixWhileRunning) {
  form->KeyHandling().SetRunning(true);
  form->KeyHandling().SetFocused(true);
  Key(QEvent::KeyPress, Qt::Key_Minus, 12);  // MINUS: SYMBOL SHIFT + J
  EXPECT_EQ(M().Keys.ReadKeyboardPort(0xBFFE), 0xB7);
  EXPECT_EQ(M().Keys.ReadKeyboardPort(0x7FFE), 0xBD);
  Key(QEvent::KeyRelease, Qt::Key_Minus, 12);
  EXPECT_EQ(M().Keys.ReadKeyboardPort(0x00FE), 0xBF);
  // Escape with the screen window's menu open only closes the menu.
  M().State.Running = true;
  form->Requests().ScreenMenuOpen = true;
  Key(QEvent::KeyPress, Qt::Key_Escape, 1);
  EXPECT_FALSE(form->Requests().ScreenMenuOpen.load());
  EXPECT_TRUE(M().State.Running.load());
  Key(QEvent::KeyRelease, Qt::Key_Escape, 1);
  Key(QEvent::KeyPress, Qt::Key_Escape, 1);
  EXPECT_FALSE(M().State.Running.load());
  form->KeyHandling().SetRunning(false);
}

// Loading stops the machine and either runs it or refreshes the views; failures are shown
// and leave it stopped.
TEST_F(TMainFormTest, SnapshotLoadingStopsRefreshesOrRunsAndShowsFailures) {
  VANTREL_REQUIRE_TESTDATA(sna, "snapshots/p48k.sna");
  Command("RunMI")->trigger();
  ASSERT_TRUE(form->Emulation().Alive());
  ASSERT_TRUE(form->LoadSnapshotFile(QString::fromStdString(sna.string()), false));
  EXPECT_FALSE(form->Emulation().Alive());
  EXPECT_EQ(M().State.Regs.PC, 0x0038);  // popped from the saved stack
  EXPECT_EQ(form->PagingLabel()->text(), "00110000");
  ASSERT_TRUE(form->LoadSnapshotFile(QString::fromStdString(sna.string()), true));
  EXPECT_TRUE(form->Emulation().Alive());
  EXPECT_TRUE(errors.isEmpty()) << errors.join(';').toStdString();

  EXPECT_FALSE(form->LoadSnapshotFile(File("absent.sna"), true));
  EXPECT_FALSE(form->Emulation().Alive());
  std::ofstream(dir.path() / "game.z80x") << "data";
  EXPECT_FALSE(form->LoadSnapshotFile(File("game.z80x"), true));
  EXPECT_EQ(errors, (QStringList{"Error!|Can't load snapshot file.",
                                 "  Snapshot loading error!|File " + File("game.z80x") +
                                     " has unsupported format!"}));
}

// Quick saves are written between two instructions also while the machine runs.
TEST_F(TMainFormTest, QuickSaveWritesWhetherStoppedOrRunning) {
  form->SaveSnapDialog().SetSnapshotName(File("stopped.sna"));
  form->QuickSaveSnapshot();
  ASSERT_TRUE(std::filesystem::exists(dir.path() / "stopped.sna"));
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "stopped.sna"), 131103u);  // 128K first

  const std::filesystem::path running = dir.path() / "running.sna";
  form->SaveSnapDialog().SetSnapshotName(File("running.sna"));
  Command("RunMI")->trigger();
  form->QuickSaveSnapshot();
  for (int i = 0; i < 200 && !std::filesystem::exists(running); ++i) QTest::qWait(10);
  EXPECT_TRUE(std::filesystem::exists(running));
  Stop();
  EXPECT_TRUE(errors.isEmpty()) << errors.join(';').toStdString();
}

// F2 puts the chosen disk in (a refused one changes nothing and is shown), "Save Disk As..."
// writes it back byte for byte, and "Create New Disk..." saves a blank one under the name.
TEST_F(TMainFormTest, DiskCommandsLoadSaveAndCreateDisks) {
  VANTREL_REQUIRE_TESTDATA(trd, "disk-trdos/UMT2_3.TRD");
  DiskCommands& disks = form->Disks();
  QString chosen;
  disks.OpenFile = [&](const QString&, const QString&, const QString&) { return chosen; };
  const auto saveAs = [&](const char* command, const char* name) {
    WhenOpen(
        disks.SaveDialog(),
        [&] {
          disks.SaveDialog().SetFileName(File(name));
          disks.SaveDialog().SaveButton()->click();
        },
        [&] { Command(command)->trigger(); });
  };
  chosen = QString::fromStdString(trd.string());
  Command("LoadDiskMI")->trigger();
  const FloppyDisk* loaded = M().Disks[0].get();
  chosen = uitest::WriteFile(dir.path() / "bad.fdi", {'F', 'D', 'X'});
  Command("LoadDiskMI")->trigger();
  EXPECT_EQ(M().Disks[0].get(), loaded);
  EXPECT_EQ(
      errors,
      QStringList{" Invalid Disk Image!|Can't open Disk Image File! Unsupported file format..."});
  saveAs("SaveDiskMI", "copy.trd");
  EXPECT_EQ(test::ReadBytes(dir.path() / "copy.trd"), test::ReadBytes(trd));
  saveAs("CreateDiskMI", "blank.udi");
  EXPECT_NE(M().Disks[0].get(), loaded);
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "blank.udi"), 16 + 160 * 7035 + 4u);
  form->close();
  EXPECT_EQ(LoadMainWindowSettings(store).DiskAFileName, File("blank.udi").toStdString());
  EXPECT_EQ(LoadMainWindowSettings(store).DiskDefaultPath, dir.path().string());
}

// A disk named on the command line boots in TR-DOS with 128K. One the machine has written
// to is first saved (Yes, through the save dialog), dropped (No) or kept (Cancel), and so
// is leaving the program.
TEST_F(TMainFormTest, AChangedDiskIsSavedDroppedOrKeptBeforeAnotherComesIn) {
  VANTREL_REQUIRE_TESTDATA(disks, "disk-trdos");
  const auto open = [&](const char* name, bool boots) {
    form->OpenCommandLineFile(QString::fromStdString((disks / name).string()));
    EXPECT_EQ(form->Emulation().Alive(), boots);
    EXPECT_EQ(M().State.StartMode, kStartTrDos | kStart128k);
    Stop();
  };
  SaveChangesAnswer answer{};
  form->Disks().AskSaveChanges = [&] { return answer; };
  const std::filesystem::path kept = dir.path() / "kept.trd";
  for (const SaveChangesAnswer a :
       {SaveChangesAnswer::Yes, SaveChangesAnswer::No, SaveChangesAnswer::Cancel}) {
    SCOPED_TRACE(static_cast<int>(a));
    open("UMT2_3.SCL", true);
    const FloppyDisk* before = M().Disks[0].get();
    M().Disks[0]->SetModified();
    answer = a;
    WhenOpen(
        form->Disks().SaveDialog(),
        [&] {
          form->Disks().SaveDialog().SetFileName(File("kept.trd"));
          form->Disks().SaveDialog().SaveButton()->click();
        },
        [&] { open("UMT2_3.$B", a != SaveChangesAnswer::Cancel); });
    EXPECT_EQ(M().Disks[0].get() == before, a == SaveChangesAnswer::Cancel);
    EXPECT_EQ(std::filesystem::remove(kept), a == SaveChangesAnswer::Yes);
  }
  EXPECT_TRUE(M().Disks[0]->Modified());
  EXPECT_FALSE(form->close());  // Cancel
  answer = SaveChangesAnswer::No;
  EXPECT_TRUE(form->close());
}

TEST_F(TMainFormTest, StartUpReopensTheDiskAndNoDiskImageErrorKeepsAMissingOneQuiet) {
  const std::filesystem::path roms = test::TestDataDir() / "roms";
  for (const bool quiet : {false, true}) {
    MemorySettingsStore own;
    MainWindowSettings window;
    window.DiskAFileName = File("gone.trd").toStdString();
    SaveMainWindowSettings(own, window);
    HardwareSettings hardware;
    hardware.TrDos.NoDiskImageError = quiet;
    SaveHardwareSettings(own, hardware);
    TMainForm second(own, FileResolver{roms, roms, {}});
    QStringList shown;
    second.ShowError = [&](const QString& caption, const QString& text) {
      shown << caption + '|' + text;
    };
    ASSERT_TRUE(second.StartUp());
    EXPECT_EQ(shown, quiet ? QStringList()
                           : QStringList{" Disk Image Error!|Can't open Disk Image File! Invalid "
                                         "file name or file location..."});
    second.close();
  }
}

// Without a TR-DOS ROM (as with the free ROMs alone) the machine starts, running or not,
// and the status line says why disks do nothing; no box stops the start.
TEST_F(TMainFormTest, StartUpWithoutTrDosRomRunsWithANote) {
  const std::filesystem::path roms = test::TestDataDir() / "roms";
  for (const int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    MemorySettingsStore own;
    HardwareSettings hardware;
    hardware.RomDos.FileName = "no-such-trdos.rom";
    hardware.StartUp.Mode = mode;
    SaveHardwareSettings(own, hardware);
    TMainForm second(own, FileResolver{roms, roms, {}});
    ASSERT_TRUE(second.StartUp());
    EXPECT_EQ(second.Emulation().Alive(), mode == 1);
    EXPECT_EQ(second.statusBar()->currentMessage(),
              "The TR-DOS interface stays off until a TR-DOS ROM image is chosen.");
    // A disk opened then is in the drive, and the user is told why nothing reads it.
    const std::filesystem::path trd = test::TestDataFile("disk-trdos/UMT2_3.TRD");
    if (!trd.empty()) {
      QStringList shown;
      second.ShowError = [&](const QString& caption, const QString& text) {
        shown << caption + '|' + text;
      };
      second.OpenCommandLineFile(QString::fromStdString(trd.string()));
      EXPECT_EQ(shown, QStringList{"Warning!|The TR-DOS interface stays off until a TR-DOS ROM "
                                   "image is chosen."});
    }
    second.GetMachine().State.Running.store(false);
    second.Emulation().StopEmulation();
    second.close();
  }
}

TEST_F(TMainFormTest, CommandLineTapeRunsAndThePanelTogglesFromMenuKeysAndClose) {
  const std::filesystem::path tape = test::TestDataFile("software/nirvana.tap");
  if (tape.empty()) GTEST_SKIP() << "test data not found (software/nirvana.tap)";
  form->OpenCommandLineFile(QString::fromStdString(tape.string()));
  EXPECT_TRUE(form->Emulation().Alive());
  Stop();  // the insertion queued for the running machine has happened by now
  EXPECT_EQ(M().Tape.Tape().Kind, TapeKind::Tap);
  // The window names the file by its absolute path, with any ".." resolved.
  EXPECT_EQ(form->TapeReader().LocationEdit()->text(),
            QFileInfo(QString::fromStdString(tape.string())).absoluteFilePath());
  EXPECT_TRUE(Command("LoadTapeMI")->isEnabled());

  QAction* panel = Command("TapeReaderPanelMI");
  panel->trigger();
  EXPECT_TRUE(form->TapeReader().isVisible() && panel->isChecked());
  form->Requests().TapeReaderPanel.store(true);  // Alt+T at the screen window
  form->Idle();
  EXPECT_FALSE(form->TapeReader().isVisible() || panel->isChecked());
  panel->trigger();
  form->TapeReader().close();
  EXPECT_FALSE(form->TapeReader().isVisible() || panel->isChecked());
}

TEST(CommandLineFileTest, ExtensionDecidesWhatAFileIs) {
  const std::pair<const char*, CommandLineFile> cases[] = {
      {"game.tzx", CommandLineFile::kTape},   {"GAME.TAP", CommandLineFile::kTape},
      {"a.Z80", CommandLineFile::kSnapshot},  {"disk.$b", CommandLineFile::kDisk},
      {"d.scl", CommandLineFile::kDisk},      {"readme.txt", CommandLineFile::kNone},
      {"noextension", CommandLineFile::kNone}};
  for (const auto& [name, kind] : cases) {
    EXPECT_EQ(ClassifyCommandLineFile(QString::fromLatin1(name)), kind) << name;
  }
}

TEST_F(TMainFormTest, LoadTapeAndRunResetsAndTypesUntilTheRomLoaderStartsTheTape) {
  VANTREL_REQUIRE_TESTDATA(tape, "software/nirvana.tap");
  EXPECT_FALSE(form->LoadTapeAndRun(File("absent.tap")));
  EXPECT_EQ(errors, QStringList{"Tape Reader|Error! Tape image file not found!"});
  M().State.NormalSpeed = false;
  Command("RunMI")->trigger();
  ASSERT_TRUE(form->LoadTapeAndRun(QString::fromStdString(tape.string())));
  EXPECT_TRUE(test::WaitFor([&] { return M().Tape.Playing(); }));
  Stop();
  Command("FastTapeLoadingMI")->trigger();
  Options(
      "StartupMI", [](TConfigForm& f) { f.Startup()->FastTapeCheck()->click(); }, true);
  EXPECT_TRUE(Command("FastTapeLoadingMI")->isChecked() && form->Emulation().Loop.FastTapeLoading);
  // "Instant Tape Loading" beside it reaches the tape deck.
  EXPECT_TRUE(M().Tape.InstantLoading());
  Options(
      "StartupMI", [](TConfigForm& f) { f.Startup()->InstantTapeCheck()->click(); }, true);
  EXPECT_FALSE(M().Tape.InstantLoading());
}

// "Load Tape && Run" shares the autoload: with the free ROM pair, whose BASIC takes
// keywords letter by letter and whose 128K ROM has no menu, the tape's BASIC loader still
// arrives where the ROM keeps the program (PROG), in the 48K and the 128K mode.
TEST_F(TMainFormTest, LoadTapeAndRunLoadsWithTheFreeRoms) {
  VANTREL_REQUIRE_TESTDATA(tape, "software/nirvana.tap");
  VANTREL_REQUIRE_TESTDATA(opense, "roms/opense.rom");
  VANTREL_REQUIRE_TESTDATA(stub, "roms/opense-stub.rom");
  const test::Bytes tap = test::ReadBytes(tape);
  const size_t loader = 2 + 19 + 2 + 1;  // the second block's data, after its flag
  ASSERT_GT(tap.size(), loader + 54);
  const std::filesystem::path roms = test::TestDataDir() / "roms";
  for (const uint8_t mode : {uint8_t{0}, uint8_t{kStart128k}}) {
    SCOPED_TRACE(static_cast<int>(mode));
    MemorySettingsStore own;
    HardwareSettings hardware;
    hardware.Rom48k.FileName = opense.string();
    hardware.Rom128k.FileName = stub.string();
    hardware.StartUp.Reset = mode;
    SaveHardwareSettings(own, hardware);
    TMainForm second(own, FileResolver{roms, roms, {}});
    ASSERT_TRUE(second.StartUp());
    Machine& m = second.GetMachine();
    m.State.NormalSpeed = false;
    second.Command(QStringLiteral("RunMI"))->trigger();
    ASSERT_TRUE(second.LoadTapeAndRun(QString::fromStdString(tape.string())));
    EXPECT_TRUE(test::WaitFor([&] { return m.Tape.Playing(); }));
    // The whole tape, at maximum speed while it plays.
    for (int i = 0; i < 12 && !test::WaitFor([&] { return !m.Tape.Playing(); }); ++i) {
    }
    m.State.Running.store(false);
    second.Emulation().StopEmulation();
    const uint16_t prog = m.Mem.PeekWord(23635);
    test::Bytes program;
    for (uint16_t i = 0; i < 54; ++i) program.push_back(m.Mem.PeekByte(prog + i));
    EXPECT_EQ(program, test::Bytes(tap.begin() + loader, tap.begin() + loader + 54));
    second.close();
  }
}

// "Load Disk && Run..." boots a disk into TR-DOS with 128K, and one without a boot file
// stops at the prompt with its catalogue listed; the Drive menu reaches drive B.
TEST_F(TMainFormTest, LoadDiskAndRunListsADiskWithoutBootAndDriveBTakesItsOwnDisk) {
  VANTREL_REQUIRE_TESTDATA(disks, "disk-trdos");
  DiskCommands& commands = form->Disks();
  QString chosen = QString::fromStdString((disks / "UMT2_3.TRD").string());
  commands.OpenFile = [&](const QString&, const QString&, const QString&) { return chosen; };
  Command("LoadDiskBMI")->trigger();
  ASSERT_TRUE(M().Disks[1]);
  const FloppyDisk* inB = M().Disks[1].get();
  M().State.NormalSpeed = false;
  chosen = QString::fromStdString((disks / "success-expanded.udi").string());
  Command("LoadDiskRunMI")->trigger();
  EXPECT_TRUE(form->Emulation().Alive());
  Stop();
  // The rest of the boot and the typing, on this thread through the same loop.
  form->Emulation().Loop.RunFrames(700, std::nullopt, {});
  const std::string screen = test::ScreenText(M());
  EXPECT_NE(screen.find("1 File(s)"), std::string::npos) << screen;
  EXPECT_EQ(M().Disks[1].get(), inB);
  form->close();
  const MainWindowSettings stored = LoadMainWindowSettings(store);
  EXPECT_EQ(stored.DiskBToDFileNames[0], (disks / "UMT2_3.TRD").string());
  EXPECT_EQ(stored.DiskAFileName, chosen.toStdString());
}

// No pad plugged in: the window thread runs no timer for pads (the idle round looks for
// one), so it wakes no more often than without pad support.
TEST_F(TMainFormTest, WithoutAPadOnlyTheIdleRoundRuns) {
  std::vector<int> running;  // the intervals of the window's running timers
  for (const QTimer* timer : form->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (timer->isActive()) running.push_back(timer->interval());
  }
  EXPECT_EQ(running, std::vector<int>{50});
}

// A pad plugged in while the program runs (SDL's virtual joystick, described as a game
// controller) is found and read every frame until it is unplugged.
TEST_F(TMainFormTest, APadPluggedInIsReadUntilUnplugged) {
  auto* read = form->findChild<QTimer*>(QStringLiteral("GamepadReadTimer"));
  if (!read) GTEST_SKIP() << "SDL's game controller subsystem is not available";
  EXPECT_FALSE(read->isActive());
  const auto waitFor = [](const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
  };
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = SDL_CONTROLLER_AXIS_MAX;
  desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  ASSERT_GE(index, 0) << SDL_GetError();
  SDL_Joystick* device = SDL_JoystickOpen(index);
  ASSERT_NE(device, nullptr) << SDL_GetError();
  const SDL_JoystickID id = SDL_JoystickInstanceID(device);
  SDL_JoystickSetVirtualButton(device, SDL_CONTROLLER_BUTTON_DPAD_UP, 1);
  EXPECT_TRUE(waitFor([&] { return M().Joystick.State.load() == 0x08; }));
  EXPECT_TRUE(read->isActive());
  EXPECT_EQ(read->interval(), GamepadPolling::kReadIntervalMs);

  SDL_JoystickClose(device);
  for (int i = 0; i < SDL_NumJoysticks(); ++i) {
    if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
  }
  EXPECT_TRUE(waitFor([&] { return !read->isActive(); }));
  EXPECT_EQ(M().Joystick.State.load(), 0);
}

}  // namespace
}  // namespace vantrel
