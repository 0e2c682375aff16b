// The ROM Loading Navigator offscreen: what it lists for real and broken ROM files, what
// the info group shows, and the slot references it hands out.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "TestData.h"
#include "app/RomCatalogue.h"
#include "ui/TRomNavigatorForm.h"

namespace vantrel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint16_t PageChecksum(const Bytes& file, size_t page) {
  return RomChecksum(std::span(file).subspan(page * kRomPageSize, kRomPageSize));
}

QString Q(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

class RomNavigatorFormTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    form = std::make_unique<TRomNavigatorForm>(FileResolver{TempDir(), TempDir(), {}});
    form->SlotChosen = [this](RomSlot slot, const std::string& reference) {
      chosen.emplace_back(slot, reference);
    };
  }

  std::filesystem::path TempDir() const { return temp.path().toStdString(); }

  std::filesystem::path WriteTemp(const char* name, const Bytes& bytes) {
    const std::filesystem::path path = TempDir() / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  // Typed character by character, as the user does: every keystroke rescans.
  void Type(const QString& text) {
    form->FileEdit()->clear();
    QTest::keyClicks(form->FileEdit(), text);
  }

  QStringList ListTexts() const {
    QStringList texts;
    for (int row = 0; row < form->ImagesList()->count(); ++row) {
      texts << form->ImagesList()->item(row)->text();
    }
    return texts;
  }

  void ClickRow(int row) {
    QListWidget* list = form->ImagesList();
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
  }

  bool Yellow() const { return form->FileEdit()->palette().color(QPalette::Base) == Qt::yellow; }
  // Select lives in the info group, which is disabled as a whole when no pages are listed.
  bool SelectUsable() const { return form->SelectButton()->isEnabled(); }

  QTemporaryDir temp;
  std::unique_ptr<TRomNavigatorForm> form;
  std::vector<std::pair<RomSlot, std::string>> chosen;
};

TEST_F(RomNavigatorFormTest, ShowsItsCaptionAndControls) {
  EXPECT_EQ(form->windowTitle(), "ROM Loading Navigator");
  const std::pair<const char*, const char*> texts[] = {
      {"BrowseButton", "..."},    {"SaveInfoButton", "Save info"},
      {"SelectButton", "Select"}, {"AutoSelectButton", "Auto select all pages"},
      {"CloseButton", "Close"},
  };
  for (const auto& [name, text] : texts) {
    auto* button = form->findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    EXPECT_EQ(button->text(), QString::fromLatin1(text));
  }
  const std::pair<const char*, const char*> labels[] = {
      {"RomFileLabel", "ROM File:"},
      {"RomImagesLabel", "ROM images inside:"},
      {"CrcCaption", "CRC:"},
      {"DescriptionCaption", "Description:"},
      {"DefaultPageCaption", "Default page:"},
      {"InPageCaption", "in page"},
  };
  for (const auto& [name, text] : labels) {
    auto* label = form->findChild<QLabel*>(QString::fromLatin1(name));
    ASSERT_NE(label, nullptr) << name;
    EXPECT_EQ(label->text(), QString::fromLatin1(text));
  }
  EXPECT_EQ(form->InfoGroup()->title(), " ROM image info ");
  EXPECT_EQ(form->CrcLabel()->text(), "#0000");
  for (QComboBox* combo : {form->DefaultPageCombo(), form->InPageCombo()}) {
    ASSERT_EQ(combo->count(), 8);
    EXPECT_EQ(combo->itemText(0), "48k Basic");
    EXPECT_EQ(combo->itemText(3), "ATM CP/M BIOS");
    EXPECT_EQ(combo->itemText(7), "ATM User 4");
  }
  // Nothing typed yet: nothing found, nothing to choose.
  EXPECT_TRUE(Yellow());
  EXPECT_EQ(form->ImagesList()->count(), 0);
  EXPECT_FALSE(SelectUsable());
  EXPECT_FALSE(form->AutoSelectButton()->isEnabled());
}

TEST_F(RomNavigatorFormTest, PentagonRomListsItsThreePagesByCatalogueName) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  const Bytes file = ReadFile(rom);
  ASSERT_EQ(file.size(), 3 * kRomPageSize);
  Type(Q(rom));

  QStringList expected;
  for (size_t page = 0; page < 3; ++page) {
    const RomIdentity identity = IdentifyRom(PageChecksum(file, page));
    ASSERT_TRUE(identity.Known()) << page;
    expected << QString::fromUtf8(identity.description.data(), identity.description.size());
  }
  EXPECT_EQ(ListTexts(), expected);
  EXPECT_FALSE(Yellow());
  EXPECT_TRUE(form->InfoGroup()->isEnabled());
  EXPECT_TRUE(form->AutoSelectButton()->isEnabled());
  // The first page is chosen at once: the Pentagon's 128K editor ROM.
  EXPECT_EQ(form->ImagesList()->currentRow(), 0);
  EXPECT_EQ(form->CrcLabel()->text().toStdString(), FormatChecksum(PageChecksum(file, 0)));
  EXPECT_EQ(form->DefaultPageCombo()->currentText(), "128k Basic");
  EXPECT_TRUE(SelectUsable());
}

TEST_F(RomNavigatorFormTest, ChoosingALineShowsItsChecksumDescriptionAndKind) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  const Bytes file = ReadFile(rom);
  Type(Q(rom));
  ASSERT_EQ(form->ImagesList()->count(), 3);

  const char* kinds[] = {"128k Basic", "48k Basic", "TR-DOS"};
  for (int row : {2, 1, 0}) {
    SCOPED_TRACE(row);
    ClickRow(row);
    ASSERT_EQ(form->ImagesList()->currentRow(), row);
    const RomIdentity identity = IdentifyRom(PageChecksum(file, row));
    EXPECT_EQ(form->CrcLabel()->text().toStdString(), FormatChecksum(PageChecksum(file, row)));
    EXPECT_EQ(form->DescriptionEdit()->text().toStdString(), identity.description);
    EXPECT_EQ(form->DefaultPageCombo()->currentText(), kinds[row]);
    EXPECT_EQ(form->InPageCombo()->currentText(), kinds[row]);
    EXPECT_TRUE(SelectUsable());
  }

  // The catalogue kind is not the user's to change; the target slot is.
  form->show();
  ClickRow(1);
  QTest::keyClick(form->DefaultPageCombo(), Qt::Key_Down);
  EXPECT_EQ(form->DefaultPageCombo()->currentIndex(), kRomKind48kBasic);
  QTest::keyClick(form->InPageCombo(), Qt::Key_Down);
  EXPECT_EQ(form->InPageCombo()->currentIndex(), kRomKind128kBasic);
}

TEST_F(RomNavigatorFormTest, SelectHandsTheChosenPageToTheSlotOfInPage) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  const std::string path = rom.string();
  form->show();
  Type(Q(rom));

  ClickRow(1);  // the 48K BASIC page goes to its own slot by default
  QTest::mouseClick(form->SelectButton(), Qt::LeftButton);
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0].first, RomSlot::k48kBasic);
  EXPECT_EQ(chosen[0].second, path + ":1");
  EXPECT_FALSE(form->isVisible());

  // Any page may go to any slot the user picks.
  form->show();
  ClickRow(2);
  form->InPageCombo()->setCurrentIndex(kRomKind128kBasic);
  QTest::mouseClick(form->SelectButton(), Qt::LeftButton);
  ASSERT_EQ(chosen.size(), 2u);
  EXPECT_EQ(chosen[1].first, RomSlot::k128kBasic);
  EXPECT_EQ(chosen[1].second, path + ":2");

  // Kinds without a slot assign nothing, yet the window still goes away.
  form->show();
  ClickRow(0);
  form->InPageCombo()->setCurrentIndex(kRomKindAtmCpmBios);
  QTest::mouseClick(form->SelectButton(), Qt::LeftButton);
  EXPECT_EQ(chosen.size(), 2u);
  EXPECT_FALSE(form->isVisible());
}

TEST_F(RomNavigatorFormTest, AutoSelectFillsEverySlotFromTheFile) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  const std::string path = rom.string();
  form->show();
  Type(Q(rom));
  QTest::mouseClick(form->AutoSelectButton(), Qt::LeftButton);

  const std::vector<std::pair<RomSlot, std::string>> expected = {
      {RomSlot::k48kBasic, path + ":1"},
      {RomSlot::k128kBasic, path + ":0"},
      {RomSlot::kTrDos, path + ":2"},
  };
  EXPECT_EQ(chosen, expected);
  const auto fromNavigator = form->Navigator().AutoSelectAll();
  for (const auto& [slot, reference] : chosen) {
    EXPECT_EQ(fromNavigator[static_cast<size_t>(slot)], reference);
  }
  EXPECT_FALSE(form->isVisible());
}

TEST_F(RomNavigatorFormTest, ARelativeNameIsFoundThroughTheResolverAndKeptAsTyped) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  // The start directory holds the ROM, as it does when the program runs beside it.
  form = std::make_unique<TRomNavigatorForm>(FileResolver{rom.parent_path(), TempDir(), {}});
  form->SlotChosen = [this](RomSlot slot, const std::string& reference) {
    chosen.emplace_back(slot, reference);
  };
  Type(QStringLiteral("Pentagon.Rom"));
  ASSERT_EQ(form->ImagesList()->count(), 3);
  EXPECT_FALSE(Yellow());
  QTest::mouseClick(form->AutoSelectButton(), Qt::LeftButton);
  ASSERT_EQ(chosen.size(), 3u);
  EXPECT_EQ(chosen[0].second, "Pentagon.Rom:1");
}

TEST_F(RomNavigatorFormTest, FilesOfPartialPagesShowOnlyInvalidSize) {
  for (size_t size : {kRomPageSize + 1, size_t{0}, kRomPageSize - 1}) {
    SCOPED_TRACE(size);
    const std::filesystem::path path = WriteTemp("odd.rom", Bytes(size, 0xF3));
    form->FileEdit()->clear();
    form->FileEdit()->setText(Q(path));
    EXPECT_EQ(ListTexts(), QStringList{"Invalid Size"});
    // The file exists, so the edit keeps its colour; there is simply no page to use.
    EXPECT_FALSE(Yellow());
    EXPECT_FALSE(form->InfoGroup()->isEnabled());
    EXPECT_FALSE(SelectUsable());
    EXPECT_FALSE(form->AutoSelectButton()->isEnabled());
    EXPECT_EQ(form->CrcLabel()->text(), "#0000");
  }
}

TEST_F(RomNavigatorFormTest, AnUnknownPageCannotBeSelectedAndStopsAutoSelect) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  Bytes file = ReadFile(rom);
  file.resize(kRomPageSize);  // the 128K editor ROM, then a page no catalogue knows
  const Bytes unknown(kRomPageSize, 0x5A);
  ASSERT_FALSE(IdentifyRom(RomChecksum(unknown)).Known());
  file.insert(file.end(), unknown.begin(), unknown.end());
  const std::filesystem::path path = WriteTemp("mixed.rom", file);
  form->show();
  Type(Q(path));

  ASSERT_EQ(form->ImagesList()->count(), 2);
  EXPECT_EQ(form->ImagesList()->item(1)->text(), "Unknown ROM");
  EXPECT_FALSE(form->AutoSelectButton()->isEnabled());
  EXPECT_TRUE(SelectUsable());  // the first page is known

  ClickRow(1);
  EXPECT_EQ(form->CrcLabel()->text().toStdString(), FormatChecksum(RomChecksum(unknown)));
  EXPECT_EQ(form->DescriptionEdit()->text(), "Unknown ROM");
  EXPECT_EQ(form->DefaultPageCombo()->currentIndex(), -1);
  EXPECT_EQ(form->InPageCombo()->currentIndex(), -1);
  EXPECT_FALSE(SelectUsable());
  // Even a click the button ignores must not hand the page out.
  QTest::mouseClick(form->SelectButton(), Qt::LeftButton);
  EXPECT_TRUE(chosen.empty());
  EXPECT_TRUE(form->isVisible());

  ClickRow(0);
  EXPECT_TRUE(SelectUsable());
}

TEST_F(RomNavigatorFormTest, AMissingFileTurnsTheEditYellowAndEmptiesTheList) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  Type(Q(rom));
  ASSERT_EQ(form->ImagesList()->count(), 3);
  const QColor normal = form->FileEdit()->palette().color(QPalette::Base);

  // One more character names a file that is not there.
  QTest::keyClick(form->FileEdit(), Qt::Key_X);
  EXPECT_TRUE(Yellow());
  EXPECT_EQ(form->ImagesList()->count(), 0);
  EXPECT_FALSE(form->InfoGroup()->isEnabled());
  EXPECT_FALSE(SelectUsable());
  EXPECT_FALSE(form->AutoSelectButton()->isEnabled());
  EXPECT_EQ(form->CrcLabel()->text(), "#0000");
  EXPECT_TRUE(form->DescriptionEdit()->text().isEmpty());

  // A directory is not a ROM file either.
  form->FileEdit()->setText(Q(TempDir()));
  EXPECT_TRUE(Yellow());
  EXPECT_EQ(form->ImagesList()->count(), 0);

  // Taking the character back finds the file again and restores the colour.
  form->FileEdit()->setText(Q(rom) + "x");
  QTest::keyClick(form->FileEdit(), Qt::Key_Backspace);
  EXPECT_EQ(form->ImagesList()->count(), 3);
  EXPECT_EQ(form->FileEdit()->palette().color(QPalette::Base), normal);
}

TEST_F(RomNavigatorFormTest, CloseHidesWithoutChoosing) {
  VANTREL_REQUIRE_TESTDATA(rom, "roms/Pentagon.Rom");
  form->show();
  Type(Q(rom));
  QTest::mouseClick(form->CloseButton(), Qt::LeftButton);
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(chosen.empty());
}

}  // namespace
}  // namespace vantrel
