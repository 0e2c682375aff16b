// The CPU panel, its register editor and the breakpoint window, offscreen.
#include <QMenuBar>

#include "MachineFixture.h"
#include "TempDir.h"
#include "app/SettingsStore.h"
#include "debugger/Symbols.h"
#include "machine/EmulThread.h"
#include "machine/Machine.h"
#include "ui/TBreakpointsF.h"
#include "ui/TCpuF.h"
#include "ui/TFindPatternF.h"
#include "ui/TLoadMemoryBlockF.h"
#include "ui/TMemoryDumpForm.h"
#include "ui/TSaveMemoryBlockF.h"
#include "ui/UiTest.h"

namespace vantrel {
namespace {

TEST(CpuPanel, ChangesStayBoldUntilARefreshWithoutThem) {
  Machine m{1};
  TCpuF panel(m);
  panel.Refresh();
  m.State.Regs.AF.Set(0x1240);  // A and Z changed
  panel.Refresh();
  EXPECT_EQ(panel.Field(2)->text(), "AF 1240");
  EXPECT_TRUE(panel.Field(2)->font().bold());
  EXPECT_TRUE(panel.Field(19)->font().bold());  // Z=1
  EXPECT_FALSE(panel.Field(0)->font().bold());
  panel.Refresh();
  EXPECT_FALSE(panel.Field(2)->font().bold());
  EXPECT_FALSE(panel.Field(19)->font().bold());
  // A double click on C=0 sets the carry and the AF field shows it.
  panel.FieldDoubleClicked(25, 5);
  EXPECT_EQ(panel.Field(2)->text(), "AF 1241");
  EXPECT_TRUE(panel.Field(2)->font().bold());
}

TEST(CpuPanel, RegisterEditorPreviewsErrorsAndStoresModulo65536) {
  Machine m{1};
  TCpuF panel(m);
  const struct {
    const char* Typed;
    const char* Preview;
    bool Ok;
  } cases[] = {{"#12345", "#2345", true}, {"HL+1", "#0001", true}, {"#G", "Error!", false}};
  for (const auto& c : cases) {
    panel.RunEditor = [&](RegisterEditor& editor) {
      EXPECT_EQ(editor.windowTitle(), "Register editor - BC");
      editor.Edit()->setText(QString::fromLatin1(c.Typed));
      EXPECT_EQ(editor.Preview()->text(), c.Preview) << c.Typed;
      EXPECT_EQ(editor.OkButton()->isEnabled(), c.Ok) << c.Typed;
      EXPECT_EQ(uitest::Yellow(editor.Edit()), !c.Ok) << c.Typed;
      return c.Ok;
    };
    m.State.Regs.BC.Set(0x7777);
    panel.FieldDoubleClicked(4, 40);
    EXPECT_EQ(m.State.Regs.BC.Get(), c.Ok ? std::stoi(c.Preview + 1, nullptr, 16) : 0x7777);
  }
  // On the register's name the memory panel is positioned instead.
  int shown = -1;
  panel.ShowInMemory = [&](uint16_t address) { shown = address; };
  panel.FieldDoubleClicked(4, 10);
  EXPECT_EQ(shown, 0x7777);
}

TEST(CpuPanel, ColumnsStandApartAtAnyFontSize) {
  Machine m{1};
  TCpuF panel(m);
  panel.show();
  for (int size : {7, 10, 16, 26}) {
    panel.setFont(QFont(QStringLiteral("Monospace"), size));
    panel.Refresh();
    m.State.Regs.AF.Set(static_cast<uint16_t>(m.State.Regs.AF.Get() ^ 0xFFFF));  // some bold
    m.State.Regs.AltAF ^= 0xFFFF;
    panel.Refresh();
    panel.layout()->activate();
    // Where each field's text ends, in the font it is drawn in.
    const auto textEnd = [&](const QLabel* label) {
      return label->x() + QFontMetrics(label->font()).horizontalAdvance(label->text());
    };
    for (int i = 0; i < kCpuFieldCount; ++i) {
      const QLabel* a = panel.Field(i);
      EXPECT_EQ(a->font().pointSize(), size) << i;
      EXPECT_LE(textEnd(a), a->geometry().right() + 1) << size << " " << a->text().toStdString();
      for (int j = 0; j < kCpuFieldCount; ++j) {
        const QLabel* b = panel.Field(j);
        if (b->y() != a->y() || b->x() <= a->x()) continue;  // not further along its row
        // A character's width between a field's text and the next one in its row.
        const int gap = QFontMetrics(a->font()).horizontalAdvance(QLatin1Char('0'));
        EXPECT_GE(b->x() - textEnd(a), gap)
            << size << ": " << a->text().toStdString() << "|" << b->text().toStdString();
      }
    }
  }
}

TEST(BreakpointWindow, EntriesAreValidatedSavedDisabledAndDeleted) {
  Machine m{1};
  TBreakpointsF window(m.State.Regs);
  std::vector<Breakpoint> published;
  window.Changed = [&](const std::vector<Breakpoint>& entries) { published = entries; };
  window.AddEntry();
  EXPECT_FALSE(window.SaveButton()->isEnabled());  // no type chosen
  window.TypeBox()->setCurrentIndex(static_cast<int>(BreakType::TimePass));
  EXPECT_EQ(window.ArgumentLabel()->text(), "Tackts:");
  EXPECT_FALSE(window.SaveButton()->isEnabled());  // Time Pass needs an argument
  window.ArgumentEdit()->setText(QStringLiteral("70000"));
  window.PassEdit()->setText(QStringLiteral("2+1"));
  ASSERT_TRUE(window.SaveButton()->isEnabled());
  window.SaveEntry();
  window.AddEntry();
  window.TypeBox()->setCurrentIndex(static_cast<int>(BreakType::WritePort));
  window.ArgumentEdit()->setText(QStringLiteral("#FE"));
  window.SaveEntry();
  ASSERT_EQ(published.size(), 2u);
  EXPECT_EQ(window.List()->item(0, 4)->text(), "3");
  EXPECT_EQ(window.List()->item(1, 3)->text(), "#FE");
  window.SetSelectedEnabled(false);
  EXPECT_FALSE(published[1].Enabled);
  window.Select(0);
  window.DeleteEntry();
  ASSERT_EQ(published.size(), 1u);
  EXPECT_EQ(published[0].Type, BreakType::WritePort);
}

// The condition is checked as it is typed, with the evaluator's message; the entry keeps
// it. The disassembler's toggle adds and removes execution entries, and the marks follow.
TEST(BreakpointWindow, ConditionsAreCheckedAsTypedAndTogglesMarkLines) {
  Machine m{1};
  TBreakpointsF window(m.State.Regs);
  const SymbolTable symbols = SymbolTable::Parse("8000 main\n");
  window.SetEvaluationContext(&m.Mem, &symbols);
  std::vector<Breakpoint> published;
  window.Changed = [&](const std::vector<Breakpoint>& entries) { published = entries; };
  window.AddEntry();
  window.TypeBox()->setCurrentIndex(static_cast<int>(BreakType::Execution));
  window.ArgumentEdit()->setText(QStringLiteral("main+3"));
  const std::pair<const char*, const char*> typed[] = {
      {"A=#10 && [HL", "Not found close bracket!"},
      {"a==", "Hint: Dec 0, Hex #0, Bin %0"},
      {"a = main", ""},
      {"1/0", ""},  // fails only when it runs
      {"  ", ""},
      {"b <> 3 && {hl} > 3", ""},
  };
  for (const auto& [text, error] : typed) {
    window.ConditionEdit()->setText(QString::fromLatin1(text));
    EXPECT_EQ(window.ConditionError()->text().toStdString(), error) << text;
    EXPECT_EQ(window.SaveButton()->isEnabled(), *error == '\0') << text;
  }
  window.SaveEntry();
  ASSERT_EQ(published.size(), 1u);
  EXPECT_EQ(published[0].Argument, 0x8003u);
  EXPECT_EQ(published[0].ConditionText, "b <> 3 && {hl} > 3");
  EXPECT_TRUE(published[0].Condition);
  EXPECT_EQ(window.List()->item(0, 5)->text(), "b <> 3 && {hl} > 3");
  window.EditEntry();
  EXPECT_EQ(window.ConditionEdit()->text(), "b <> 3 && {hl} > 3");
  window.CancelEdit();

  EXPECT_EQ(window.ExecutionMark(0x8003), BreakMark::Enabled);
  EXPECT_EQ(window.ExecutionMark(0x9000), BreakMark::None);
  EXPECT_TRUE(window.ToggleExecution(0x9000));
  ASSERT_EQ(published.size(), 2u);
  EXPECT_EQ(published[1].Argument, 0x9000u);
  EXPECT_EQ(window.ExecutionMark(0x9000), BreakMark::Enabled);
  window.Select(1);
  window.SetSelectedEnabled(false);
  EXPECT_EQ(window.ExecutionMark(0x9000), BreakMark::Disabled);
  EXPECT_EQ(window.List()->item(1, 0)->text(), QStringLiteral("\u25CB"));
  EXPECT_EQ(window.List()->item(0, 0)->text(), QStringLiteral("\u25CF"));
  EXPECT_TRUE(window.ToggleExecution(0x9000));  // a disabled entry goes as well
  EXPECT_EQ(published.size(), 1u);
  EXPECT_EQ(window.ExecutionMark(0x9000), BreakMark::None);
  EXPECT_TRUE(window.ToggleExecution(0x8003));
  EXPECT_TRUE(published.empty());
}

TEST(MemoryPanel, LayoutsKeysEditingAndPageViews) {
  Machine m{1};
  MemorySettingsStore store;
  TMemoryDumpForm panel(m, store);
  panel.resize(390, 245 + panel.MenuBar()->height());
  const int pages[kDumpLayoutCount] = {288, 486, 180, 324, 54, 216};  // 18 rows
  for (int layout = 0; layout < kDumpLayoutCount; ++layout) {
    panel.SetLayout(static_cast<DumpLayout>(layout));
    EXPECT_EQ(panel.View().Geometry.PageBytes(), pages[layout]) << layout;
  }
  panel.SetLayout(DumpLayout::Bytes);
  panel.GoToAddress(0x1000);
  QTest::keyClick(&panel, Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(&panel, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(panel.StatusText(), "Block: S=1000=04096, E=1002=04098, L=0003=00003");

  panel.GoToAddress(0x8000);
  m.Mem.PokeByte(0x8000, 0x00);
  QTest::keyClick(&panel, Qt::Key_Return);
  QTest::keyClicks(&panel, QStringLiteral("3f"));
  EXPECT_EQ(m.Mem.PeekByte(0x8000), 0x3F);
  EXPECT_EQ(panel.View().Cursor, 0x8001);
  QStringList captions;
  for (const QAction* caption : panel.MenuBar()->actions()) captions << caption->text();
  EXPECT_EQ(captions.join(','), "&View,&Page,View &Mode,&Tools");
  panel.MenuBar()->actions()[2]->trigger();
  EXPECT_FALSE(panel.EditMode());
  // Scrolling down a row when the cursor leaves the last one.
  QTest::keyClick(&panel, Qt::Key_Down);
  EXPECT_EQ(panel.View().Top, 0x8000);
  for (int i = 0; i < 17; ++i) QTest::keyClick(&panel, Qt::Key_Down);
  EXPECT_EQ(panel.View().Top, 0x8010);

  panel.SelectPage(3);
  EXPECT_EQ(panel.windowTitle(), "Memory [Page3]");
  QTest::keyClick(&panel, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(panel.View().Cursor, 49152);
  m.Mem.Bank(3)[5] = 0xAB;
  panel.GoToAddress(5);  // below the page view: raised to its start
  QTest::keyClick(&panel, Qt::Key_Right);
  QTest::keyClick(&panel, Qt::Key_Right);
  QTest::keyClick(&panel, Qt::Key_Right);
  QTest::keyClick(&panel, Qt::Key_Right);
  QTest::keyClick(&panel, Qt::Key_Right);
  EXPECT_TRUE(panel.StatusText().contains("=AB=171=10101011")) << panel.StatusText().toStdString();

  // Ctrl+F: the hint shows the bytes or a red error; a match becomes the block.
  panel.SelectPage(-1);
  for (int i = 0; i < 4; ++i) m.Mem.PokeByte(static_cast<uint16_t>(0x9000 + i), "AB\x02\x01"[i]);
  panel.RunFind = [](TFindPatternF& dialog) {
    dialog.PatternEdit()->setText(QStringLiteral("\"AB"));
    EXPECT_EQ(dialog.Hint()->text(), " Error!");
    EXPECT_FALSE(dialog.FindButton()->isEnabled());
    dialog.PatternEdit()->setText(QStringLiteral("\"AB\" 258"));
    EXPECT_EQ(dialog.Hint()->text(), "#41 #42 #02 #01 ");
    return dialog.FindButton()->isEnabled();
  };
  QTest::keyClick(&panel, Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(test::Ints(panel.View().Cursor, panel.View().Anchor), test::Ints(0x9000, 0x9003));
}

// A 128K machine with bank 1 at #C000: a view of page 6 reads, edits, copies and finds in
// bank 6, and the bank the processor sees is left alone.
TEST(MemoryPanel, PageViewsReadAndWriteTheirOwnPage) {
  Machine m{1};
  m.Mem.WritePort7FFD(0x01);
  ASSERT_EQ(m.Mem.TopBank(), 1);
  uint8_t* page = m.Mem.Bank(6);
  uint8_t* mapped = m.Mem.Bank(1);
  for (size_t i = 0; i < Memory::kBankSize; ++i) page[i] = mapped[i] = 0;
  page[0x10] = 0x12;
  page[0x11] = 0x34;
  mapped[0x10] = 0x99;
  page[0x3FFF] = 0xAB;  // a pattern across the page's end, which wraps to the page's start
  page[0x0000] = 0xCD;
  mapped[0x0200] = 0xEE;  // only in the mapped bank
  MemorySettingsStore store;
  TMemoryDumpForm panel(m, store);
  panel.resize(390, 245 + panel.MenuBar()->height());
  panel.SelectPage(6);
  panel.GoToAddress(0xC010);
  QTest::keyClick(&panel, Qt::Key_Return);
  QTest::keyClicks(&panel, QStringLiteral("5"));
  EXPECT_EQ(page[0x10], 0x52);  // the high nibble over the page's own low one
  QTest::keyClicks(&panel, QStringLiteral("a"));
  EXPECT_EQ(test::Ints(page[0x10], mapped[0x10], m.Mem.PeekByte(0xC010)),
            test::Ints(0x5A, 0x99, 0x99));
  QTest::keyClick(&panel, Qt::Key_Return);
  panel.GoToAddress(0xC010);
  QTest::keyClick(&panel, Qt::Key_Right, Qt::ShiftModifier);
  panel.CopyBlock();
  EXPECT_EQ(QApplication::clipboard()->text(), "5A 34");

  int notFound = 0;
  panel.NotFound = [&] { ++notFound; };
  ASSERT_TRUE(panel.Find({0xAB, 0xCD}, false, false));
  EXPECT_EQ(test::Ints(panel.View().Cursor, panel.View().Anchor), test::Ints(0xFFFF, 0xC000));
  QTest::keyClick(&panel, Qt::Key_Right);  // past the page's end: its start
  EXPECT_EQ(panel.View().Cursor, 0xC000);
  EXPECT_FALSE(panel.Find({0xEE}, false, true));
  EXPECT_EQ(notFound, 1);
  panel.SelectPage(-1);  // the processor's view finds the mapped bank's byte
  ASSERT_TRUE(panel.Find({0xEE}, false, false));
  EXPECT_EQ(panel.View().Cursor, 0xC200);
}

TEST(MemoryPanel, TheScrollBarMovesTheViewAndLeavesTheBlock) {
  Machine m{1};
  MemorySettingsStore store;
  TMemoryDumpForm panel(m, store);
  panel.resize(390, 245 + panel.MenuBar()->height());
  panel.GoToAddress(0x4000);
  QTest::keyClick(&panel, Qt::Key_Right, Qt::ShiftModifier);
  auto* bar = panel.findChild<QScrollBar*>();
  ASSERT_NE(bar, nullptr);
  for (int top : {0x5000, 0x6010, 0x3000}) {
    bar->setSliderDown(true);
    bar->setSliderPosition(top);  // as a drag moves the thumb
    bar->setSliderDown(false);
    EXPECT_EQ(test::Ints(panel.View().Top, panel.View().Cursor, panel.View().Anchor),
              test::Ints(top, 0x4001, 0x4000));
  }
  EXPECT_EQ(panel.StatusText(), "Block: S=4000=16384, E=4001=16385, L=0002=00002");
}

TEST(MemoryBlockDialogs, FieldsComeBackAndAMissingFileIsNamed) {
  Machine m{1};
  MemorySettingsStore store;
  {
    TLoadMemoryBlockF load(m, store);
    load.FileEdit()->setText(QStringLiteral("/no/such/block.bin"));
    EXPECT_EQ(load.FileHint()->text(), "Selected file not found!");
    EXPECT_EQ(load.Status()->text(), "You must select binary file for loading!");
    load.StartEdit()->setText(QStringLiteral("#C000"));
    load.reject();
    TSaveMemoryBlockF save(m, store);
    save.StartEdit()->setText(QStringLiteral("#C000"));
    save.EndEdit()->setText(QStringLiteral("#FFFF"));
    save.reject();
  }
  const TLoadMemoryBlockF load(m, store);
  EXPECT_EQ(load.FileEdit()->text(), "/no/such/block.bin");
  EXPECT_EQ(load.StartEdit()->text(), "#C000");
  const TSaveMemoryBlockF save(m, store);
  EXPECT_EQ(save.LengthEdit()->text(), "16384");
}

// While the emulation thread runs, the panels change nothing themselves: register and
// flag edits are refused, memory edits and a loaded block wait for the next frame end.
// (Also run under ThreadSanitizer.)
TEST(PanelsWhileRunning, EditsAreRefusedOrWaitForTheFrameEnd) {
  Machine m{1};
  test::MakeIdle(m);
  // DI, then LD A,(#9000) / JR back: the thread reads the byte the panel edits, and
  // changes neither F nor BC.
  test::Load(m, 0x8000, {0xF3, 0x3A, 0x00, 0x90, 0x18, 0xFB});
  m.Mem.PokeByte(0x9000, 0x00);
  m.State.Regs.AF.Set(0x0000);
  m.State.Regs.BC.Set(0x7777);
  const test::TempDir dir;
  const QString block = uitest::WriteFile(dir.path() / "block.bin", {0xC9, 0xC3, 0x01});
  MemorySettingsStore store;
  TMemoryDumpForm memory(m, store);
  TCpuF cpu(m);
  cpu.Refresh();
  int editorRuns = 0;
  cpu.RunEditor = [&](RegisterEditor&) { return ++editorRuns > 0; };
  int changes = 0;
  memory.MemoryChanged = [&] { ++changes; };
  memory.RunLoad = [&](TLoadMemoryBlockF& dialog) {
    dialog.FileEdit()->setText(block);
    dialog.StartEdit()->setText(QStringLiteral("#9100"));
    return dialog.LoadButton()->isEnabled() && dialog.LoadBlock();
  };
  HeadlessRunHost host;
  TEmulThread emulation(m, host);
  emulation.Run();
  ASSERT_TRUE(test::WaitFor([&] { return m.State.FrameCount.load() >= 2; }));

  memory.GoToAddress(0x9000);
  QTest::keyClick(&memory, Qt::Key_Return);
  QTest::keyClicks(&memory, QStringLiteral("3f"));
  QTest::keyClick(&memory, Qt::Key_L, Qt::ControlModifier);
  cpu.FieldDoubleClicked(25, 5);  // C=0
  cpu.FieldDoubleClicked(13, 5);  // IFF1
  cpu.FieldDoubleClicked(4, 40);  // BC: the editor
  cpu.Refresh();
  const uint32_t frames = m.State.FrameCount.load();
  ASSERT_TRUE(test::WaitFor([&] { return m.State.FrameCount.load() >= frames + 2; }));
  emulation.StopEmulation();

  EXPECT_EQ(test::Ints(m.Mem.PeekByte(0x9000), m.Mem.PeekByte(0x9100), m.Mem.PeekByte(0x9102)),
            test::Ints(0x3F, 0xC9, 0x01));
  EXPECT_EQ(changes, 3);  // two nibbles and the block
  EXPECT_EQ(test::Ints(m.State.Regs.F(), m.State.Regs.IFF1, m.State.Regs.BC.Get(), editorRuns),
            test::Ints(0x00, 0, 0x7777, 0));
  // Stopped, the same double click toggles the flag.
  cpu.FieldDoubleClicked(25, 5);
  EXPECT_EQ(m.State.Regs.F(), 0x01);
}

}  // namespace
}  // namespace vantrel
