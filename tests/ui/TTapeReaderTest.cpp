#include "TempDir.h"
#include "TestData.h"
#include "app/Settings.h"
#include "machine/Machine.h"
#include "ui/TBlockSelectorF.h"
#include "ui/TTapeReader.h"
#include "ui/TTzxMessager.h"
#include "ui/UiTest.h"

namespace vantrel {
namespace {

using namespace uitest;

// Text 'A'; a select block of two entries (+1 "P1", +2 "P2"); a data block; a 5-second
// message "Hi"; a data block; text 'A'. Blocks 0..5 start at rows 0, 1, 4, 5, 6, 7.
Bytes SelectTape() {
  Bytes tzx = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20, 0x30, 1, 'A'};
  const Bytes select = {0x28, 12, 0, 2, 1, 0, 2, 'P', '1', 2, 0, 2, 'P', '2'};
  const Bytes data = {0x10, 0xE8, 0x03, 2, 0, 0xFF, 0x00};
  const Bytes message = {0x31, 5, 2, 'H', 'i'};
  const Bytes text = {0x30, 1, 'A'};
  for (const Bytes* part : {&select, &data, &message, &data, &text}) {
    tzx.insert(tzx.end(), part->begin(), part->end());
  }
  return tzx;
}

class TTapeReaderTest : public testing::Test {
 protected:
  void SetUp() override { reader = std::make_unique<TTapeReader>(machine, store); }

  QStringList Rows() const {
    QStringList rows;
    for (int i = 0; i < reader->BlockList()->count(); ++i)
      rows << reader->BlockList()->item(i)->text();
    return rows;
  }
  // Which of Play, Stop, Rewind, Eject can be pressed (shown and enabled), as "PSRE"/"-".
  QString Buttons() const {
    QString state;
    const QPushButton* buttons[] = {reader->PlayButton(), reader->StopButton(),
                                    reader->RewindButton(), reader->EjectButton()};
    for (int i = 0; i < 4; ++i) {
      const bool usable = !buttons[i]->isHidden() && buttons[i]->isEnabled();
      state += usable ? QLatin1Char("PSRE"[i]) : QLatin1Char('-');
    }
    return state;
  }
  bool Red() const { return reader->BlockList()->palette().color(QPalette::Text) == Qt::red; }
  QString Write(const char* name, const Bytes& bytes) {
    return WriteFile(dir.path() / name, bytes);
  }
  static QString Data(const char* relative) {
    return QString::fromStdString(test::TestDataFile(relative).string());
  }

  MemorySettingsStore store;
  Machine machine{1};
  test::TempDir dir;
  std::unique_ptr<TTapeReader> reader;
};

TEST_F(TTapeReaderTest, ListsTapesAndRefusesBadFilesInRed) {
  if (test::TestDataFile("tape-libspectrum-edgecases/standard-tap.tap").empty()) {
    GTEST_SKIP() << "test data not found: set VANTREL_TESTDATA";
  }
  const struct {
    QString location;
    QStringList rows;
    bool loaded;
  } cases[] = {
      {Data("tape-libspectrum-edgecases/standard-tap.tap"),
       {"Header, Program \"Test\", Line #8000, Length #C, Vars #C", "Data Block, Length #C"},
       true},
      {Data("tape-libspectrum-edgecases/trailing-pause-block.tzx"),
       {"Data Block, Length #FFFFFFFF", "Pause: 1000ms"},
       true},
      {Data("tape-libspectrum-edgecases/invalid.tzx"),
       {"Error! Unsupported tape image file format or file corrupt!"},
       false},
      {Data("tape-libspectrum-edgecases/invalid-gdb.tzx"),
       {"Error! invalid-gdb.tzx: TZX block 1 (ID #19) is cut short"},
       false},
      {Data("tape-libspectrum-edgecases/zero-tail.pzx"),
       {"Tape Info", "Nonstandard, Bits #1", "Pulse Sequence, #3 pulses"},
       true},
      {Data("tape-libspectrum-edgecases/invalid-warajevo-blockoffset.tap"),
       {"Error! Unsupported tape image file format or file corrupt!"},
       false},
      {Write("short.wav", Bytes(44)), {"Error! WAV file size too small!"}, false},
      {Write("notes.txt", Bytes(100)), {"Error! Unknown file format, select another file."}, false},
      {Write("x.tap", {}) + "-gone.tap", {"Error! Tape image file not found!"}, false},
      {"", {""}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.location.toStdString());
    reader->LocationEdit()->setText(c.location);
    EXPECT_EQ(Rows(), c.rows);
    EXPECT_EQ(Red(), !c.loaded);
    EXPECT_EQ(Buttons(), c.loaded ? "P--E" : "----");
    EXPECT_EQ(machine.Tape.Tape().Kind == TapeKind::None, !c.loaded);
  }
}

TEST_F(TTapeReaderTest, BlockInfoModesRewriteTheNumbersAndRewind) {
  if (test::TestDataFile("tape-libspectrum-edgecases/standard-tap.tap").empty()) {
    GTEST_SKIP() << "test data not found: set VANTREL_TESTDATA";
  }
  reader->OpenTape(Data("tape-libspectrum-edgecases/standard-tap.tap"));
  reader->PlayButton()->click();
  reader->Tick();
  EXPECT_EQ(Buttons(), "-S--");
  reader->StopButton()->click();  // still on the first block: nothing to rewind
  reader->Tick();
  EXPECT_EQ(Buttons(), "P--E");
  const struct {
    BlockInfoMode mode;
    QStringList rows;
  } cases[] = {
      {BlockInfoMode::Decimal,
       {"Header, Program \"Test\", Line 32768, Length 12, Vars 12", "Data Block, Length 12"}},
      {BlockInfoMode::None, {"Header, Program \"Test\"", "Data Block"}},
      {BlockInfoMode::Hexadecimal,
       {"Header, Program \"Test\", Line #8000, Length #C, Vars #C", "Data Block, Length #C"}},
  };
  for (const auto& c : cases) {
    reader->BlockList()->setCurrentRow(1);  // a click: block 1, Rewind enabled
    EXPECT_EQ(machine.Tape.CurrentBlock(), 1u);
    EXPECT_EQ(Buttons(), "P-RE");
    reader->BlockInfoAction(c.mode)->trigger();
    EXPECT_EQ(Rows(), c.rows);
    EXPECT_TRUE(reader->BlockInfoAction(c.mode)->isChecked());
    EXPECT_EQ(machine.Tape.CurrentBlock(), 0u);
  }
  // Choosing the marked mode again reloads nothing: the chosen block stays.
  reader->BlockList()->setCurrentRow(1);
  reader->BlockInfoAction(BlockInfoMode::Hexadecimal)->trigger();
  EXPECT_EQ(machine.Tape.CurrentBlock(), 1u);

  reader->SaveSettings();
  EXPECT_EQ(LoadTapeReaderSettings(store).Location,
            Data("tape-libspectrum-edgecases/standard-tap.tap").toStdString());
}

// Play through a select block, its dialog, a message and Stop, Rewind and Eject, with the
// window following the player on its timer.
TEST_F(TTapeReaderTest, FollowsThePlayerThroughSelectMessageAndButtons) {
  reader->OpenTape(Write("select.tzx", SelectTape()));
  EXPECT_EQ(Rows().mid(1, 3),
            (QStringList{"Select Block:", QString::fromUtf8(" \u2022P1 (Jump to Block #1)"),
                         QString::fromUtf8(" \u2022P2 (Jump to Block #2)")}));
  reader->BlockList()->setCurrentRow(3);  // the select block's last row picks the block
  EXPECT_EQ(machine.Tape.CurrentBlock(), 1u);
  reader->Tick();
  EXPECT_EQ(reader->BlockList()->currentRow(), 1);  // its first row
  reader->BlockList()->setCurrentRow(4);            // a block's own first row
  EXPECT_EQ(machine.Tape.CurrentBlock(), 2u);
  QTest::keyClick(reader->BlockList(), Qt::Key_Down);  // a whole block on
  EXPECT_EQ(machine.Tape.CurrentBlock(), 3u);
  reader->RewindButton()->click();
  EXPECT_EQ(machine.Tape.CurrentBlock(), 0u);

  reader->PlayButton()->click();  // stops at once at the select block
  EXPECT_FALSE(machine.Tape.Playing());
  QTimer::singleShot(0, [this] {
    TBlockSelectorF& dialog = reader->BlockSelector();
    EXPECT_EQ(dialog.SelectionList()->count(), 2);
    EXPECT_EQ(dialog.SelectionList()->currentRow(), 0);
    dialog.SelectionList()->setCurrentRow(1);
    dialog.ContinueButton()->click();
  });
  reader->Tick();  // the dialog: P2 jumps +2 to the message, which passes to block 4
  ASSERT_TRUE(machine.Tape.Playing());
  reader->Tick();
  EXPECT_EQ(Buttons(), "-S--");
  EXPECT_FALSE(reader->BlockList()->isEnabled() || reader->LocationEdit()->isEnabled() ||
               reader->BlockInfoAction(BlockInfoMode::Decimal)->isEnabled());
  EXPECT_EQ(reader->BlockList()->currentRow(), 6);
  EXPECT_EQ(reader->windowTitle(), "Tape Reader");
  TTzxMessager& messager = reader->Messager();
  EXPECT_TRUE(messager.isVisible());
  EXPECT_EQ(messager.TextBox()->toPlainText(), "Hi");
  for (int tick = 0; tick < 4; ++tick) messager.Tick();
  EXPECT_TRUE(messager.isVisible());
  messager.Tick();
  EXPECT_FALSE(messager.isVisible());
  messager.ShowMessage("Press\rplay", 0);  // stays until closed
  for (int tick = 0; tick < 300; ++tick) messager.Tick();
  EXPECT_TRUE(messager.isVisible());
  EXPECT_EQ(messager.TextBox()->toPlainText(), "Press\nplay");

  reader->StopButton()->click();
  reader->Tick();
  EXPECT_EQ(Buttons(), "P-RE");
  EXPECT_TRUE(reader->BlockList()->isEnabled());
  reader->EjectButton()->click();
  EXPECT_EQ(Rows(), QStringList{""});
  EXPECT_EQ(Buttons(), "----");
  EXPECT_EQ(machine.Tape.Tape().Kind, TapeKind::None);
}

TEST_F(TTapeReaderTest, FollowsATapeInsertedByAnotherCommandToItsEnd) {
  const QString file = Write("other.tzx", SelectTape());
  reader->BlockInfoAction(BlockInfoMode::None)->trigger();
  machine.Tape.InsertTape(LoadTapeImage(file.toStdString(), BlockInfoMode::Decimal));
  reader->Tick();  // fetches a copy of the machine's tape
  reader->Tick();  // shows it, in the window's mode
  EXPECT_EQ(reader->LocationEdit()->text(), file);
  EXPECT_EQ(Rows().value(2), QString::fromUtf8(" \u2022P1"));
  EXPECT_EQ(Buttons(), "P--E");

  machine.Tape.SetCurrentBlock(1);
  reader->PlayButton()->click();
  QTimer::singleShot(0, [this] { reader->BlockSelector().StopButton()->click(); });
  reader->Tick();
  EXPECT_FALSE(machine.Tape.Playing());
  EXPECT_EQ(machine.Tape.CurrentBlock(), 1u);  // stays at the select block

  // Played past its last block, the tape stops and the list keeps that block selected.
  machine.Tape.SetCurrentBlock(4);
  reader->PlayButton()->click();
  for (uint32_t t = machine.State.Regs.Tackts; machine.Tape.Playing() && t < 50'000'000;
       t += 1000) {
    machine.Tape.AdvanceTo(t);
  }
  ASSERT_FALSE(machine.Tape.Playing());
  EXPECT_EQ(machine.Tape.CurrentBlock(), 5u);
  reader->Tick();
  EXPECT_EQ(reader->BlockList()->currentRow(), 7);
}

// "Record" turns the machine's recorder on and off; a recorded block joins the list, and
// "Save Tape As..." writes the tape with the extension of what it holds.
TEST_F(TTapeReaderTest, RecordedBlocksJoinTheTapeAndSaveWithTheirFormat) {
  const QString tzx = Write("select.tzx", SelectTape());
  ASSERT_TRUE(reader->OpenTape(tzx));
  const int rows = reader->BlockList()->count();
  reader->RecordButton()->click();
  EXPECT_TRUE(machine.Recorder.Recording());
  const Bytes block = {0xFF, 7, 7};
  machine.Tape.AppendStandardBlock(block);
  reader->Tick();  // fetches the machine's tape (at once: no thread runs)
  reader->Tick();  // and shows it
  ASSERT_EQ(reader->BlockList()->count(), rows + 1);
  EXPECT_EQ(reader->BlockList()->item(rows)->text(), QStringLiteral("Data Block, Length #1"));

  QString asked;
  reader->AskSaveFileName = [&](const QString&) { return asked; };
  EXPECT_FALSE(reader->SaveTapeAs()) << "cancelled";
  asked = QString::fromStdString((dir.path() / "out.tap").string());
  ASSERT_TRUE(reader->SaveTapeAs());
  Bytes expected = SelectTape();
  expected.insert(expected.end(), {0x10, 0xE8, 0x03, 3, 0, 0xFF, 7, 7});
  EXPECT_EQ(test::ReadBytes(dir.path() / "out.tzx"), expected) << "a select block is no TAP";

  reader->RecordButton()->click();
  EXPECT_FALSE(machine.Recorder.Recording());
}

}  // namespace
}  // namespace vantrel
