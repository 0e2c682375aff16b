// The main window offscreen: its commands, the debugger views it keeps, and the keys that
// reach the machine through the screen window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QTableWidget>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "TestData.h"
#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "ui/StackPanel.h"
#include "ui/TMainForm.h"
#include "ui/TSaveSnapF.h"
#include "ui/TScreenPanel.h"

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
  }
  void TearDown() override {
    if (form) form->close();
  }

  Machine& M() { return form->GetMachine(); }
  // A key as X11 delivers it: evdev code + 8 as the native scan code.
  void Key(QWidget* target, QEvent::Type type, int qtKey, quint32 evdev) {
    QKeyEvent event(type, qtKey, Qt::NoModifier, evdev + 8, 0, 0);
    QApplication::sendEvent(target, &event);
  }

  MemorySettingsStore store;
  std::unique_ptr<TMainForm> form;
};

TEST_F(TMainFormTest, MenusCarryTheirCaptionsAndShortcuts) {
  const struct {
    const char* name;
    const char* caption;
    QKeySequence shortcut;
  } expected[] = {
      {"RunMI", "&Run", QKeySequence(Qt::Key_F9)},
      {"DebuggerMI", "Debugger", QKeySequence(Qt::Key_Escape)},
      {"StepOverMI", "&Step Over", QKeySequence(Qt::Key_F8)},
      {"TraceIntoMI", "&Trace Into", QKeySequence(Qt::Key_F7)},
      {"RunUntilReturnMI", "Run &Until Return", QKeySequence(Qt::SHIFT | Qt::Key_F8)},
      {"ResetMI", "Rese&t", QKeySequence(Qt::Key_F12)},
      {"LoadSnapshotMI", "Load &Snapshot...", QKeySequence(Qt::Key_F3)},
      {"QuickSaveMI", "&QuickSave Snapshot", QKeySequence(Qt::ALT | Qt::Key_F3)},
      {"MinimizeMI", "Minimize", QKeySequence(Qt::ALT | Qt::Key_Space)},
      {"MemoryPanelMI", "Hide &Memory Panel", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_M)},
  };
  for (const auto& e : expected) {
    const QAction* action = form->Command(QString::fromLatin1(e.name));
    ASSERT_NE(action, nullptr) << e.name;
    EXPECT_EQ(action->text().toStdString(), e.caption);
    EXPECT_EQ(action->shortcut(), e.shortcut) << e.name;
  }
  EXPECT_EQ(form->windowTitle().toStdString(), "Vantrel v0.30b");
  QStringList menus;
  for (QAction* menu : form->menuBar()->actions()) menus << menu->text();
  EXPECT_EQ(menus.join(QLatin1Char(' ')).toStdString(), "&File &Debug &View &Options &Help");
  // Stopped: the debugger commands are on, "Debugger" (stop) is off; unbuilt ones are off.
  EXPECT_TRUE(form->Command(QStringLiteral("RunMI"))->isEnabled());
  EXPECT_FALSE(form->Command(QStringLiteral("DebuggerMI"))->isEnabled());
  EXPECT_FALSE(form->Command(QStringLiteral("LoadTapeMI"))->isEnabled());
}

TEST_F(TMainFormTest, ShortcutKeysReachTheirCommands) {
  form->show();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  M().State.Regs.PC = 0x1234;
  QTest::keyClick(form.get(), Qt::Key_F12);  // Reset
  EXPECT_EQ(M().State.Regs.PC, 0);
  QTest::keyClick(form.get(), Qt::Key_F7);  // Trace Into: one instruction
  EXPECT_NE(M().State.Regs.PC, 0);
  QTest::keyClick(form.get(), Qt::Key_F9);  // Run
  EXPECT_TRUE(form->Emulation().Alive());
  form->Emulation().StopEmulation();
}

TEST_F(TMainFormTest, RunAndStopSwitchTheCommandsAndTheKeyHandling) {
  form->Command(QStringLiteral("RunMI"))->trigger();
  EXPECT_TRUE(form->Emulation().Alive());
  EXPECT_FALSE(form->Command(QStringLiteral("RunMI"))->isEnabled());
  EXPECT_TRUE(form->Command(QStringLiteral("DebuggerMI"))->isEnabled());
  EXPECT_TRUE(form->KeyHandling().Running());
  form->Command(QStringLiteral("DebuggerMI"))->trigger();
  form->Emulation().StopEmulation();
  EXPECT_FALSE(form->Emulation().Alive());
  EXPECT_TRUE(form->Command(QStringLiteral("RunMI"))->isEnabled());
  EXPECT_FALSE(form->KeyHandling().Running());
}

TEST_F(TMainFormTest, ResetIn48kModeShowsThePagingLatch) {
  M().State.StartMode = 0;
  form->Command(QStringLiteral("ResetMI"))->trigger();
  EXPECT_EQ(form->PagingLabel()->text().toStdString(), "00110000");
  EXPECT_FALSE(form->PagingLabel()->toolTip().isEmpty());
  EXPECT_EQ(M().State.Regs.PC, 0);
}

TEST_F(TMainFormTest, StackViewPutsSpOnTheSixthRowAndWraps) {
  M().State.Regs.SP = 0x0004;
  M().Mem.PokeByte(0x0004, 0x34);  // ROM: the write goes nowhere, the read shows the ROM
  form->RefreshDebugViews();
  StackPanel* stack = form->Stack();
  EXPECT_EQ(stack->Position(), 0xFFFA);
  EXPECT_EQ(stack->Grid()->item(0, 0)->text().toStdString(), "FFFA");
  EXPECT_EQ(stack->Grid()->item(5, 0)->text().toStdString(), "0004");
  EXPECT_TRUE(stack->Grid()->item(5, 0)->font().bold());
  EXPECT_FALSE(stack->Grid()->item(4, 0)->font().bold());
  EXPECT_EQ(AlignStackPosition(0x1001, 0x0004), 0x1002) << "SP's parity is kept";
  EXPECT_EQ(AlignStackPosition(0xFFFF, 0x0004), 0x0000);
}

TEST_F(TMainFormTest, KeysTypedAtTheScreenWindowReachTheMatrixWhileRunning) {
  QWidget* screen = &form->ScreenPanel();
  form->KeyHandling().SetRunning(true);
  form->KeyHandling().SetFocused(true);
  Key(screen, QEvent::KeyPress, Qt::Key_Minus, 12);  // MINUS: SYMBOL SHIFT + J
  EXPECT_EQ(M().Keys.ReadKeyboardPort(0xBFFE), 0xB7);
  EXPECT_EQ(M().Keys.ReadKeyboardPort(0x7FFE), 0xBD);
  Key(screen, QEvent::KeyRelease, Qt::Key_Minus, 12);
  EXPECT_EQ(M().Keys.ReadKeyboardPort(0x00FE), 0xBF);
  // Escape with the screen window's menu open only closes the menu.
  M().State.Running = true;
  form->Requests().ScreenMenuOpen = true;
  Key(screen, QEvent::KeyPress, Qt::Key_Escape, 1);
  EXPECT_FALSE(form->Requests().ScreenMenuOpen.load());
  EXPECT_TRUE(M().State.Running.load());
  Key(screen, QEvent::KeyRelease, Qt::Key_Escape, 1);
  Key(screen, QEvent::KeyPress, Qt::Key_Escape, 1);
  EXPECT_FALSE(M().State.Running.load());
  form->KeyHandling().SetRunning(false);
}

TEST_F(TMainFormTest, CloseRequestFromTheKeysClosesOnceAndSavesThePosition) {
  form->move(123, 77);
  form->Requests().CloseMainWindow = true;
  form->Idle();
  EXPECT_FALSE(form->isVisible());
  const MainWindowSettings saved = LoadMainWindowSettings(store);
  EXPECT_EQ(saved.Position.X, form->x());
  EXPECT_EQ(saved.Position.Y, form->y());
}

// Snapshots through the main window: loading stops the machine and either runs it or
// refreshes the views; failures are shown and leave it stopped; quick saves are written
// between two instructions also while the machine runs.
class TMainFormSnapshots : public TMainFormTest {
 protected:
  void SetUp() override {
    TMainFormTest::SetUp();
    if (IsSkipped() || !form) return;
    form->ShowError = [this](const QString& caption, const QString& text) {
      errors << caption + QStringLiteral("|") + text;
    };
  }
  void Stop() {
    M().State.Running.store(false);
    form->Emulation().StopEmulation();
    QCoreApplication::processEvents();
  }
  QStringList errors;
  test::TempDir dir;
};

TEST_F(TMainFormSnapshots, LoadingStopsRefreshesOrRuns) {
  VANTREL_REQUIRE_TESTDATA(sna, "snapshots/p48k.sna");
  form->Command(QStringLiteral("RunMI"))->trigger();
  ASSERT_TRUE(form->Emulation().Alive());
  ASSERT_TRUE(form->LoadSnapshotFile(QString::fromStdString(sna.string()), false));
  EXPECT_FALSE(form->Emulation().Alive());
  EXPECT_EQ(M().State.Regs.PC, 0x0038);  // popped from the saved stack
  EXPECT_EQ(form->PagingLabel()->text(), "00110000");
  EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char(';')).toStdString();

  ASSERT_TRUE(form->LoadSnapshotFile(QString::fromStdString(sna.string()), true));
  EXPECT_TRUE(form->Emulation().Alive());
  Stop();
}

TEST_F(TMainFormSnapshots, FailuresAreShownAndLeaveTheMachineStopped) {
  form->Command(QStringLiteral("RunMI"))->trigger();
  const QString missing = QString::fromStdString((dir.path() / "absent.sna").string());
  EXPECT_FALSE(form->LoadSnapshotFile(missing, true));
  EXPECT_FALSE(form->Emulation().Alive());
  const std::filesystem::path odd = dir.path() / "game.z80x";
  std::ofstream(odd) << "data";
  EXPECT_FALSE(form->LoadSnapshotFile(QString::fromStdString(odd.string()), true));
  ASSERT_EQ(errors.size(), 2);
  EXPECT_EQ(errors[0].toStdString(), "Error!|Can't load snapshot file.");
  EXPECT_EQ(errors[1].toStdString(),
            "  Snapshot loading error!|File " + odd.string() + " has unsupported format!");
}

TEST_F(TMainFormSnapshots, QuickSaveWritesWhetherStoppedOrRunning) {
  const std::filesystem::path stopped = dir.path() / "stopped.sna";
  form->SaveSnapDialog().SetSnapshotName(QString::fromStdString(stopped.string()));
  form->QuickSaveSnapshot();
  ASSERT_TRUE(std::filesystem::exists(stopped));
  EXPECT_EQ(std::filesystem::file_size(stopped), 131103u);  // 128K is the first-run type

  const std::filesystem::path running = dir.path() / "running.sna";
  form->SaveSnapDialog().SetSnapshotName(QString::fromStdString(running.string()));
  form->Command(QStringLiteral("RunMI"))->trigger();
  form->QuickSaveSnapshot();
  for (int i = 0; i < 200 && !std::filesystem::exists(running); ++i) {
    QTest::qWait(10);
  }
  EXPECT_TRUE(std::filesystem::exists(running));
  Stop();
  EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char(';')).toStdString();
}

TEST(CommandLineFileTest, ExtensionDecidesWhatAFileIs) {
  EXPECT_EQ(ClassifyCommandLineFile(QStringLiteral("game.tzx")), CommandLineFile::kTape);
  EXPECT_EQ(ClassifyCommandLineFile(QStringLiteral("GAME.TAP")), CommandLineFile::kTape);
  EXPECT_EQ(ClassifyCommandLineFile(QStringLiteral("a.Z80")), CommandLineFile::kSnapshot);
  EXPECT_EQ(ClassifyCommandLineFile(QStringLiteral("disk.$b")), CommandLineFile::kDisk);
  EXPECT_EQ(ClassifyCommandLineFile(QStringLiteral("d.scl")), CommandLineFile::kDisk);
  EXPECT_EQ(ClassifyCommandLineFile(QStringLiteral("readme.txt")), CommandLineFile::kNone);
  EXPECT_EQ(ClassifyCommandLineFile(QStringLiteral("noextension")), CommandLineFile::kNone);
}

}  // namespace
}  // namespace vantrel
