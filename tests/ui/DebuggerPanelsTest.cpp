// The CPU panel, its register editor and the breakpoint window, offscreen.
#include <QMenuBar>

#include "MachineFixture.h"
#include "app/SettingsStore.h"
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
  EXPECT_EQ(window.List()->item(0, 3)->text(), "3");
  EXPECT_EQ(window.List()->item(1, 2)->text(), "#FE");
  window.SetSelectedEnabled(false);
  EXPECT_FALSE(published[1].Enabled);
  window.Select(0);
  window.DeleteEntry();
  ASSERT_EQ(published.size(), 1u);
  EXPECT_EQ(published[0].Type, BreakType::WritePort);
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

}  // namespace
}  // namespace vantrel
