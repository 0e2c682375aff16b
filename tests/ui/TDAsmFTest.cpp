#include <QApplication>
#include <QMessageBox>
#include <map>
#include <memory>

#include "MachineFixture.h"
#include "TempDir.h"
#include "TestData.h"
#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "machine/Machine.h"
#include "ui/TDAsmF.h"
#include "ui/TGoToAddressForm.h"
#include "ui/TMainForm.h"
#include "ui/TMemoryDumpForm.h"
#include "ui/UiTest.h"

namespace vantrel {
namespace {

class TDAsmFTest : public testing::Test {
 protected:
  void SetUp() override {
    test::MakeFlatRam(machine);
    for (int a = 0; a < 0x10000; ++a) machine.Mem.PokeByte(static_cast<uint16_t>(a), 0);
    panel = std::make_unique<TDAsmF>(machine, store);
    panel->ShowError = [this](const QString&, const QString& text) { errors << text; };
    panel->show();
    panel->resize(400, 16 * TDAsmF::kRowHeight);  // 14 lines
  }
  void Poke(uint16_t address, const uitest::Bytes& bytes) {
    for (uint8_t b : bytes) machine.Mem.PokeByte(address++, b);
    panel->View().Recompute();
  }
  std::string Row(int line) { return panel->RowColumns(line).join(QLatin1Char('|')).toStdString(); }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(panel->CodeArea(), static_cast<Qt::Key>(key), modifiers);
  }
  void Trigger(const char* name) { panel->Command(QString::fromLatin1(name))->trigger(); }

  Machine machine;
  MemorySettingsStore store;
  std::unique_ptr<TDAsmF> panel;
  QStringList errors;
  test::TempDir dir;
};

// A double click on a line or Toggle Breakpoint (F5) on the cursor line asks for the
// toggle at that address; lines with an enabled entry show a full dot, disabled a ring.
TEST_F(TDAsmFTest, BreakpointsAreToggledOnLinesAndMarked) {
  std::vector<uint16_t> toggled;
  std::map<uint16_t, BreakMark> marks;
  panel->MarkAt = [&marks](uint16_t address) {
    const auto it = marks.find(address);
    return it == marks.end() ? BreakMark::None : it->second;
  };
  panel->ToggleBreakpoint = [&toggled](uint16_t address) { toggled.push_back(address); };
  Poke(0x8000, {0x21, 0x00, 0x40, 0x18, 0xFE, 0xC9});
  panel->View().SetTop(0x8000);
  QTest::mouseDClick(panel->CodeArea(), Qt::LeftButton, Qt::NoModifier,
                     QPoint(40, TDAsmF::kRowHeight + 5));
  EXPECT_EQ(panel->View().Current(), 1);
  Key(Qt::Key_Down);
  Trigger("ToggleBreakpointMI");
  EXPECT_EQ(toggled, (std::vector<uint16_t>{0x8003, 0x8005}));
  EXPECT_EQ(panel->Command(QStringLiteral("ToggleBreakpointMI"))->shortcut(),
            QKeySequence(Qt::Key_F5));

  marks = {{0x8000, BreakMark::Enabled}, {0x8005, BreakMark::Disabled}};
  panel->View().SetCurrent(5);  // the cursor's colours away from the lines looked at
  panel->BreakpointsChanged();
  EXPECT_EQ(panel->RowMark(0), BreakMark::Enabled);
  EXPECT_EQ(panel->RowMark(1), BreakMark::None);
  EXPECT_EQ(panel->RowMark(2), BreakMark::Disabled);
  // The dot's middle: red when enabled, the ground inside the ring when disabled.
  const QImage picture = panel->CodeArea()->grab().toImage();
  const auto middle = [&picture](int line) {
    return picture.pixelColor(5, line * TDAsmF::kRowHeight + TDAsmF::kRowHeight / 2);
  };
  EXPECT_GT(middle(0).red(), 150);
  EXPECT_LT(middle(0).green(), 80);
  EXPECT_EQ(middle(1), middle(2));
  EXPECT_NE(middle(0), middle(2));
}

TEST_F(TDAsmFTest, ShowsAKnownProgramInBothNumberModesWithSymbols) {
  Poke(0x8000, {0x21, 0x00, 0x40, 0x18, 0xFE, 0xCD, 0x00, 0x80, 0xDD, 0xCB, 0xFE, 0x46, 0xC9});
  EXPECT_EQ(panel->View().Visible(), 14);  // the height snapped to 196: 16 rows less two
  panel->View().SetTop(0x8000);
  const std::vector<std::string> hex = {"8000|21 00 40||LD HL,4000", "8003|18 FE||JR 8003",
                                        "8005|CD 00 80||CALL 8000",
                                        "8008|DD CB FE 46||BIT 0,(IX-02)", "800C|C9||RET"};
  for (size_t i = 0; i < hex.size(); ++i) EXPECT_EQ(Row(static_cast<int>(i)), hex[i]);
  panel->View().SetTop(0x8003);
  Key(Qt::Key_Up);  // steps back over the three-byte LD HL, not into its operand
  EXPECT_EQ(panel->View().Top(), 0x8000);

  Trigger("DecimalMI");
  EXPECT_EQ(Row(1), "32771|024 254||JR 32771");
  Trigger("HexadecimalMI");
  Trigger("CodeMI");  // the code column off
  EXPECT_EQ(Row(0), "8000|||LD HL,4000");
  Trigger("CodeMI");

  const QString symbols = uitest::WriteFile(
      dir.path() / "game.sym",
      {'s', 't', 'a', 'r', 't', ':', ' ', 'E', 'Q', 'U', ' ', '$', '8', '0', '0', '0', '\n'});
  ASSERT_TRUE(panel->LoadSymbols(symbols));
  EXPECT_EQ(Row(0), "8000|21 00 40|start|LD HL,4000");
  EXPECT_EQ(Row(2), "8005|CD 00 80||CALL start");
  // A file that is not a symbol file is refused and the old names stay.
  EXPECT_FALSE(panel->LoadSymbols(uitest::WriteFile(dir.path() / "bad.sym", {0, 1, 2})));
  EXPECT_EQ(errors.size(), 1);
  EXPECT_EQ(panel->Symbols().Find("START"), 0x8000);
  panel->SaveSettings();
  EXPECT_EQ(LoadDisassemblerPanelSettings(store).SymbolFile, symbols.toStdString());
}

TEST_F(TDAsmFTest, KeysPageAndWrapAtTheEndOfMemory) {
  CodeView& view = panel->View();
  Key(Qt::Key_End, Qt::ControlModifier);  // all-zero memory: NOPs back from the wrap
  EXPECT_EQ(view.Top(), 0x10000 - 14);
  EXPECT_EQ(view.Current(), 13);
  Key(Qt::Key_PageDown);  // the last line becomes the top
  EXPECT_EQ(view.Top(), 0xFFFF);
  EXPECT_EQ(view.LineAddress(1), 0x0000);
  EXPECT_EQ(Row(0), "FFFF|00||NOP");
  Key(Qt::Key_Down);  // on the last line: scrolls
  EXPECT_EQ(view.Top(), 0x0000);
  Key(Qt::Key_Up);                       // moves the cursor
  Key(Qt::Key_Up, Qt::ControlModifier);  // scrolls back over the wrap
  EXPECT_EQ(view.Top(), 0xFFFF);
  EXPECT_EQ(view.Current(), 12);
  Key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(view.Top(), 0);
  EXPECT_EQ(view.Current(), 0);
  // An instruction that runs past 0xFFFF continues at 0x0000.
  Poke(0xFFFE, {0xDD, 0x21});
  Poke(0x0000, {0x34, 0x12});
  view.SetTop(0xFFFE);
  EXPECT_EQ(Row(0), "FFFE|DD 21 34 12||LD IX,1234");
  EXPECT_EQ(view.LineAddress(1), 0x0002);
  // The scroll bar's end is 0xFFFF, and it follows the top address.
  panel->ScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(view.Top(), 0xFFFF);
  panel->ScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(view.Current(), 1);
}

TEST_F(TDAsmFTest, JumpsAlongBranchesAndBack) {
  // 8000: CALL 9000; 8003: JR 8000; 9000: RST 38; 9001: JP (HL)
  Poke(0x8000, {0xCD, 0x00, 0x90, 0x18, 0xFB});
  Poke(0x9000, {0xFF, 0xE9});
  CodeView& view = panel->View();
  view.SetTop(0x8000);
  Key(Qt::Key_Down);
  Trigger("JumpImmediateMI");  // JR 8000: on screen, so only the cursor moves
  EXPECT_EQ(view.Top(), 0x8000);
  EXPECT_EQ(view.CurrentAddress(), 0x8000);
  Trigger("JumpImmediateMI");  // CALL 9000: off screen
  EXPECT_EQ(view.Top(), 0x9000);
  Trigger("JumpImmediateMI");  // RST 38
  EXPECT_EQ(view.Top(), 0x0038);
  Key(Qt::Key_Home, Qt::ControlModifier);
  view.SetTop(0x9001);
  Trigger("JumpImmediateMI");  // JP (HL): no target, nothing pushed
  EXPECT_EQ(view.Top(), 0x9001);
  EXPECT_EQ(view.JumpDepth(), 3u);
  for (uint16_t back : {0x9000, 0x8000, 0x8003}) {
    Trigger("JumpBackMI");
    EXPECT_EQ(view.CurrentAddress(), back);
  }
  Trigger("JumpBackMI");  // empty: stays
  EXPECT_EQ(view.CurrentAddress(), 0x8003);
}

TEST_F(TDAsmFTest, AStopInsideALineLaysTheLinesOutFromPc) {
  Poke(0x8000, {0x21, 0x00, 0x40, 0x3C, 0x3C});  // LD HL,4000 / INC A / INC A
  CodeView& view = panel->View();
  view.SetTop(0x8000);
  const struct {
    uint16_t Pc, Top, Current;
  } stops[] = {{0x8003, 0x8000, 1}, {0x8001, 0x8001, 0}, {0x8004, 0x8001, 3}, {0x7000, 0x7000, 0}};
  for (const auto& stop : stops) {
    machine.State.Regs.PC = stop.Pc;
    panel->FollowPc();
    EXPECT_EQ(test::Ints(view.Top(), view.Current(), view.CurrentAddress()),
              test::Ints(stop.Top, stop.Current, stop.Pc))
        << stop.Pc;
  }
}

TEST_F(TDAsmFTest, GoToDialogEvaluatesAndKeepsItsHistory) {
  machine.State.Regs.HL.Set(0x4000);
  {
    TGoToAddressForm dialog(store, machine.State.Regs, nullptr);
    dialog.show();
    EXPECT_EQ(dialog.ResultLabel()->text(), "Error!");  // empty text
    QComboBox* box = dialog.History();
    box->setEditText(QStringLiteral("#12345"));
    EXPECT_EQ(dialog.ResultLabel()->text(), "#2345");
    EXPECT_TRUE(dialog.GoButton()->isEnabled());
    box->setEditText(QStringLiteral("hl+"));
    EXPECT_EQ(dialog.ResultLabel()->text(), "Error!");
    EXPECT_FALSE(dialog.GoButton()->isEnabled());
    EXPECT_TRUE(uitest::Yellow(box->lineEdit()));
    box->setEditText(QStringLiteral("hl+1"));
    dialog.GoButton()->click();
    EXPECT_EQ(dialog.Address(), 0x4001);
  }
  TGoToAddressForm again(store, machine.State.Regs, nullptr);
  again.show();  // the last entry comes back, evaluated
  EXPECT_EQ(again.History()->currentText(), "hl+1");
  EXPECT_EQ(again.ResultLabel()->text(), "#4001");
}

// Lines start at instructions: each next line is the previous one plus its length.
void ExpectLaidOutFromTheCode(TDAsmF& panel, const Memory& memory) {
  const ByteSource bytes = MemoryBytes(memory);
  const CodeView& view = panel.View();
  for (int i = 0; i < view.Visible(); ++i) {
    const uint16_t line = view.LineAddress(i);
    ASSERT_EQ(view.LineAddress(i + 1), static_cast<uint16_t>(line + InstructionLength(bytes, line)))
        << "line " << i << " at " << line;
  }
}

// The whole program: the lines are laid out over the ROM at start-up, and again when a
// memory panel edit changes the code under them.
TEST(TDAsmFInMainWindow, LinesFollowTheCodeFromStartUpAndAfterEdits) {
  const std::filesystem::path roms = test::TestDataDir() / "roms";
  if (!std::filesystem::exists(roms / "Pentagon.Rom")) {
    GTEST_SKIP() << "test data not found (roms/Pentagon.Rom): set VANTREL_TESTDATA";
  }
  MemorySettingsStore store;
  TMainForm form(store, FileResolver{roms, roms, {}});
  form.show();
  ASSERT_TRUE(form.StartUp());
  QCoreApplication::processEvents();
  Machine& m = form.GetMachine();
  TDAsmF& panel = form.Disassembler();
  ASSERT_EQ(m.State.Regs.PC, 0);
  EXPECT_EQ(panel.View().Top(), 0);
  ExpectLaidOutFromTheCode(panel, m.Mem);
  EXPECT_NE(panel.View().LineAddress(3), 3);  // the ROM's code, not one line per byte

  for (uint16_t a = 0x8000; a < 0x8010; ++a) m.Mem.PokeByte(a, 0x00);
  m.State.Regs.PC = 0x8000;
  form.RefreshDebugViews();
  ASSERT_EQ(panel.View().LineAddress(1), 0x8001);
  TMemoryDumpForm& memory = form.MemoryPanel();
  memory.GoToAddress(0x8000);
  QTest::keyClick(&memory, Qt::Key_Return);
  QTest::keyClicks(&memory, QStringLiteral("21"));  // LD HL,0000
  EXPECT_EQ(panel.View().LineAddress(1), 0x8003);
  ExpectLaidOutFromTheCode(panel, m.Mem);
  form.close();
}

// A missing ROM is reported in a box at start-up; the panels beside it already show the
// code of the ROMs that did load (here the 48K ROM, paged in; the 128K ROM is missing).
TEST(TDAsmFInMainWindow, LinesShowTheRomWhileTheStartUpBoxIsOpen) {
  const std::filesystem::path roms = test::TestDataDir() / "roms";
  if (!std::filesystem::exists(roms / "Pentagon.Rom")) {
    GTEST_SKIP() << "test data not found (roms/Pentagon.Rom): set VANTREL_TESTDATA";
  }
  MemorySettingsStore store;
  HardwareSettings hardware;
  hardware.Rom128k.FileName = "no-such-128k.rom";
  SaveHardwareSettings(store, hardware);
  TMainForm form(store, FileResolver{roms, roms, {}});
  form.GetMachine().Mem.WritePort7FFD(0x10);
  form.show();
  // Looks at the panel when the box appears, then answers it with Cancel.
  struct BoxWatch : QObject {
    TMainForm* form = nullptr;
    bool seen = false;
    bool eventFilter(QObject* object, QEvent* event) override {
      if (auto* box = qobject_cast<QMessageBox*>(object); box && event->type() == QEvent::Show) {
        if (!seen) {
          seen = true;
          EXPECT_NE(form->Disassembler().View().LineAddress(3), 3);  // not one line per byte
          ExpectLaidOutFromTheCode(form->Disassembler(), form->GetMachine().Mem);
        }
        QMetaObject::invokeMethod(box, "reject", Qt::QueuedConnection);
      }
      return false;
    }
  } watch;
  watch.form = &form;
  qApp->installEventFilter(&watch);
  EXPECT_FALSE(form.StartUp()) << "Cancel: the machine does not start";
  qApp->removeEventFilter(&watch);
  EXPECT_TRUE(watch.seen);
  form.close();
}

// Run to Cursor in the whole program: the run ends on the cursor line and the panel
// follows the execution point.
TEST(TDAsmFInMainWindow, RunToCursorAndToNextLineStopAtTheLine) {
  const std::filesystem::path roms = test::TestDataDir() / "roms";
  if (!std::filesystem::exists(roms / "Pentagon.Rom")) {
    GTEST_SKIP() << "test data not found (roms/Pentagon.Rom): set VANTREL_TESTDATA";
  }
  MemorySettingsStore store;
  TMainForm form(store, FileResolver{roms, roms, {}});
  ASSERT_TRUE(form.StartUp());
  Machine& m = form.GetMachine();
  m.State.Running.store(false);
  form.Emulation().StopEmulation();
  // 8000: DI; 8001: INC A; 8002: INC B; 8003: JR 8001
  const uint8_t program[] = {0xF3, 0x3C, 0x04, 0x18, 0xFC};
  for (uint16_t i = 0; i < sizeof program; ++i) m.Mem.PokeByte(0x8000 + i, program[i]);
  m.State.Regs.PC = 0x8000;
  form.RefreshDebugViews();
  TDAsmF& panel = form.Disassembler();
  ASSERT_EQ(panel.View().Top(), 0x8000);

  const struct {
    int Line;
    const char* Command;
    uint16_t Stop;
  } runs[] = {{3, "RunToCursorMI", 0x8003}, {1, "RunToNextLineMI", 0x8002}};
  for (const auto& run : runs) {
    panel.View().SetCurrent(run.Line);
    form.Command(QString::fromLatin1(run.Command))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!form.Emulation().Alive(), 5000);
    QCoreApplication::processEvents();
    EXPECT_EQ(m.State.Regs.PC, run.Stop) << run.Command;
    EXPECT_EQ(panel.CurrentAddress(), run.Stop) << run.Command;
  }
  form.close();
}

}  // namespace
}  // namespace vantrel
