#include <utility>

#include "TestData.h"
#include "app/RomCatalogue.h"
#include "ui/TRomNavigatorForm.h"
#include "ui/UiTest.h"

namespace vantrel {
namespace {

using namespace uitest;
using Chosen = std::vector<std::pair<RomSlot, std::string>>;

uint16_t PageChecksum(const Bytes& file, size_t page) {
  return RomChecksum(std::span(file).subspan(page * kRomPageSize, kRomPageSize));
}

class RomNavigatorFormTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    form = std::make_unique<TRomNavigatorForm>(FileResolver{TempDir(), TempDir(), {}});
    form->SlotChosen = [this](RomSlot slot, const std::string& ref) {
      chosen.emplace_back(slot, ref);
    };
  }
  std::filesystem::path TempDir() const { return temp.path().toStdString(); }
  // Typed character by character, as the user does: every keystroke rescans.
  void Type(const QString& text) {
    form->FileEdit()->clear();
    QTest::keyClicks(form->FileEdit(), text);
  }
  void ClickRow(int row) {
    QListWidget* list = form->ImagesList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
  }
  void ClickSelect(int row, int inPage = -2) {
    form->show();
    ClickRow(row);
    if (inPage != -2) form->InPageCombo()->setCurrentIndex(inPage);
    QTest::mouseClick(form->SelectButton(), Qt::LeftButton);
  }
  // The list, then Y for a yellow edit, I for an enabled info group, S and A for usable
  // Select and Auto select buttons, and the checksum shown.
  QString State() const {
    QStringList texts;
    for (int row = 0; row < form->ImagesList()->count(); ++row)
      texts << form->ImagesList()->item(row)->text();
    QString flags;
    if (Yellow(form->FileEdit())) flags += 'Y';
    if (form->InfoGroup()->isEnabled()) flags += 'I';
    if (form->SelectButton()->isEnabled()) flags += 'S';
    if (form->AutoSelectButton()->isEnabled()) flags += 'A';
    return texts.join(',') + ' ' + flags + ' ' + form->CrcLabel()->text();
  }

  QTemporaryDir temp;
  std::unique_ptr<TRomNavigatorForm> form;
  Chosen chosen;
};

TEST_F(RomNavigatorFormTest, PentagonRomListsItsPagesAndShowsEachLineChosen) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  const Bytes file = test::ReadBytes(rom);
  EXPECT_EQ(State(), " Y #0000");  // nothing typed yet: nothing found, nothing to choose
  Type(QString::fromStdString(rom.string()));

  QStringList names;
  for (size_t page = 0; page < 3; ++page) {
    const RomIdentity identity = IdentifyRom(PageChecksum(file, page));
    ASSERT_TRUE(identity.Known()) << page;
    names << QString::fromStdString(std::string(identity.description));
  }
  // The first page is chosen at once: the Pentagon's 128K editor ROM.
  EXPECT_EQ(State(), names.join(',') + " ISA " + FormatChecksum(PageChecksum(file, 0)).c_str());
  const char* kinds[] = {"128k Basic", "48k Basic", "TR-DOS"};
  for (int row : {2, 1, 0}) {
    SCOPED_TRACE(row);
    ClickRow(row);
    EXPECT_TRUE(State().endsWith(FormatChecksum(PageChecksum(file, row)).c_str()));
    EXPECT_EQ(form->DescriptionEdit()->text(), names[row]);
    EXPECT_EQ(form->DefaultPageCombo()->currentText(), kinds[row]);
    EXPECT_EQ(form->InPageCombo()->currentText(), kinds[row]);
  }
}

TEST_F(RomNavigatorFormTest, SelectAutoSelectAndCloseHandOutReferencesAndHide) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  const std::string path = rom.string();
  Type(QString::fromStdString(path));
  ClickSelect(1);  // the 48K BASIC page goes to its own slot by default
  EXPECT_FALSE(form->isVisible());
  ClickSelect(2, kRomKind128kBasic);   // any page may go to any slot the user picks
  ClickSelect(0, kRomKindAtmCpmBios);  // kinds without a slot assign nothing
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(chosen,
            (Chosen{{RomSlot::k48kBasic, path + ":1"}, {RomSlot::k128kBasic, path + ":2"}}));

  chosen.clear();
  form->show();
  QTest::mouseClick(form->CloseButton(), Qt::LeftButton);
  EXPECT_TRUE(form->isHidden() && chosen.empty());
  form->show();
  QTest::mouseClick(form->AutoSelectButton(), Qt::LeftButton);
  EXPECT_EQ(chosen, (Chosen{{RomSlot::k48kBasic, path + ":1"},
                            {RomSlot::k128kBasic, path + ":0"},
                            {RomSlot::kTrDos, path + ":2"}}));
  EXPECT_FALSE(form->isVisible());
}

TEST_F(RomNavigatorFormTest, FilesOfPartialPagesShowOnlyInvalidSize) {
  for (size_t size : {kRomPageSize + 1, size_t{0}, kRomPageSize - 1}) {
    SCOPED_TRACE(size);
    form->FileEdit()->setText(WriteFile(TempDir() / "odd.rom", Bytes(size, 0xF3)));
    // The file exists, so the edit keeps its colour; there is simply no page to use.
    EXPECT_EQ(State(), "Invalid Size  #0000");
    form->FileEdit()->clear();
  }
}

TEST_F(RomNavigatorFormTest, AnUnknownPageCannotBeSelectedAndStopsAutoSelect) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  std::ifstream in(rom, std::ios::binary);
  Bytes file(2 * kRomPageSize, 0x5A);  // the 128K editor ROM, then a page no catalogue knows
  in.read(reinterpret_cast<char*>(file.data()), static_cast<std::streamsize>(kRomPageSize));
  const Bytes unknown(file.begin() + kRomPageSize, file.end());
  ASSERT_FALSE(IdentifyRom(RomChecksum(unknown)).Known());
  Type(WriteFile(TempDir() / "mixed.rom", file));
  const std::string crc0 = FormatChecksum(PageChecksum(file, 0));
  EXPECT_TRUE(State().endsWith(QString(",Unknown ROM IS ") + crc0.c_str()));  // no A

  form->show();
  ClickRow(1);
  EXPECT_EQ(State(), form->ImagesList()->item(0)->text() + ",Unknown ROM I " +
                         FormatChecksum(RomChecksum(unknown)).c_str());
  EXPECT_EQ(form->DefaultPageCombo()->currentIndex() + form->InPageCombo()->currentIndex(), -2);
  // Even a click the button ignores must not hand the page out.
  QTest::mouseClick(form->SelectButton(), Qt::LeftButton);
  EXPECT_TRUE(chosen.empty() && form->isVisible());
}

TEST_F(RomNavigatorFormTest, AMissingFileTurnsTheEditYellowAndEmptiesTheList) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  const QString name = QString::fromStdString(rom.string());
  Type(name);
  ASSERT_EQ(form->ImagesList()->count(), 3);
  QTest::keyClick(form->FileEdit(), Qt::Key_X);  // one more character: no such file
  EXPECT_EQ(State(), " Y #0000");
  EXPECT_TRUE(form->DescriptionEdit()->text().isEmpty());
  form->FileEdit()->setText(QString::fromStdString(TempDir().string()));  // nor a directory
  EXPECT_EQ(State(), " Y #0000");
  // Taking the character back finds the file again and restores the colour.
  form->FileEdit()->setText(name + "x");
  QTest::keyClick(form->FileEdit(), Qt::Key_Backspace);
  EXPECT_TRUE(State().contains(" ISA #"));  // listed, and no longer yellow
}

}  // namespace
}  // namespace vantrel
