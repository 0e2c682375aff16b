// The snapshot dialogs offscreen: what the load dialog shows and allows for real, broken
// and missing files, how the save dialog picks the quick-save name, and the settings of both.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdint>
#include <fstream>
#include <memory>
#include <vector>

#include "TestData.h"
#include "app/SettingsStore.h"
#include "ui/TLoadSnapForm.h"
#include "ui/TSaveSnapF.h"

namespace vantrel {
namespace {

using Bytes = std::vector<uint8_t>;

bool IsRed(const QLabel* label) {
  return label->palette().color(QPalette::WindowText) == Qt::red;
}

class SnapshotDialogsTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp.isValid()); }

  QString Write(const QString& name, const Bytes& bytes) {
    const QString path = temp.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  // The load dialog's three values, and whether both load buttons are enabled.
  struct Shown {
    QString size, format, version;
    bool enabled;
  };
  static Shown Info(const TLoadSnapForm& form) {
    const bool run = form.LoadRunButton()->isEnabled();
    EXPECT_EQ(run, form.LoadButton()->isEnabled());
    return {form.SizeLabel()->text(), form.FormatLabel()->text(), form.VersionLabel()->text(), run};
  }

  QTemporaryDir temp;
  MemorySettingsStore store;
};

// A Z80 version 2/3 header (PC 0 at offset 6, the additional length at 30), cut or padded
// to `size` bytes.
Bytes Z80Header(uint16_t extraLength, size_t size) {
  Bytes bytes(32, 0);
  bytes[30] = static_cast<uint8_t>(extraLength);
  bytes[31] = static_cast<uint8_t>(extraLength >> 8);
  bytes.resize(size);
  return bytes;
}

TEST_F(SnapshotDialogsTest, LoadButtonsFollowExistenceAndTheExtensionsFirstThreeLetters) {
  TLoadSnapForm form(store);
  EXPECT_EQ(form.windowTitle(), "Load Snapshot");
  EXPECT_EQ(form.LoadRunButton()->text(), "Load && &Run");
  EXPECT_EQ(form.LoadButton()->text(), "Load && &Debug");
  EXPECT_TRUE(form.LoadRunButton()->isDefault());
  const Shown empty = Info(form);
  EXPECT_FALSE(empty.enabled);
  EXPECT_EQ(empty.size, "");  // an empty edit is not "Not found"

  form.SetFileName(Write("game.sna", Bytes(49179)));
  Shown shown = Info(form);
  EXPECT_TRUE(shown.enabled);
  EXPECT_EQ(shown.size, "49179");
  EXPECT_EQ(shown.format, "SNA");
  EXPECT_EQ(shown.version, "48k");

  // The dialog looks at three letters; the loader refuses .Z80X later with its own message.
  form.SetFileName(Write("Game.z80x", Bytes(30, 1)));
  shown = Info(form);
  EXPECT_TRUE(shown.enabled);
  EXPECT_EQ(shown.format, "Z80");
  EXPECT_EQ(shown.version, "");

  for (const char* name : {"game.tap", "game", "game.sn"}) {
    form.SetFileName(Write(name, Bytes(49179)));
    shown = Info(form);
    EXPECT_FALSE(shown.enabled) << name;
    EXPECT_EQ(shown.format, "Unknown") << name;
    EXPECT_TRUE(IsRed(form.FormatLabel())) << name;
    EXPECT_EQ(shown.size, "") << name;
  }
}

TEST_F(SnapshotDialogsTest, LoadDialogDescribesTheRealSnapshots) {
  VANTREL_REQUIRE_TESTDATA(sna48, "snapshots/p48k.sna");
  VANTREL_REQUIRE_TESTDATA(sna128, "snapshots/p128.sna");
  VANTREL_REQUIRE_TESTDATA(z80v3, "snapshots/p48k.z80");
  VANTREL_REQUIRE_TESTDATA(z80v2, "snapshots/kempston_mouse_interface_driver.z80");
  TLoadSnapForm form(store);
  struct Case {
    std::filesystem::path file;
    const char *size, *format, *version;
  };
  for (const Case& c : {Case{sna48, "49179", "SNA", "48k"}, Case{sna128, "131103", "SNA", "128k"},
                        Case{z80v3, "1310", "Z80", ""}, Case{z80v2, "7787", "Z80", ""}}) {
    form.SetFileName(QString::fromStdString(c.file.string()));
    const Shown shown = Info(form);
    EXPECT_TRUE(shown.enabled) << c.file;
    EXPECT_EQ(shown.size, c.size) << c.file;
    EXPECT_EQ(shown.format, c.format) << c.file;
    EXPECT_EQ(shown.version, c.version) << c.file;
    EXPECT_FALSE(IsRed(form.SizeLabel()) || IsRed(form.VersionLabel())) << c.file;
  }
}

TEST_F(SnapshotDialogsTest, LoadDialogRefusesMissingTruncatedAndUnreadableFiles) {
  TLoadSnapForm form(store);
  form.SetFileName(temp.filePath("absent.sna"));
  Shown shown = Info(form);
  EXPECT_FALSE(shown.enabled);
  EXPECT_EQ(shown.size, "Not found");
  EXPECT_TRUE(IsRed(form.SizeLabel()));

  form.SetFileName(Write("cut.sna", Bytes(49178)));
  shown = Info(form);
  EXPECT_FALSE(shown.enabled);
  EXPECT_EQ(shown.size, "49178");
  EXPECT_EQ(shown.format, "SNA");
  EXPECT_EQ(shown.version, "Unknown");
  EXPECT_TRUE(IsRed(form.VersionLabel()));
  EXPECT_FALSE(IsRed(form.SizeLabel()));

  // Z80 headers cut short: inside the 30 bytes, before the length word, and inside the
  // additional header that the length word announces.
  for (const auto& [name, bytes] :
       {std::pair{"v1.z80", Bytes(29, 1)}, std::pair{"v2.z80", Z80Header(23, 31)},
        std::pair{"v3.z80", Z80Header(54, 32 + 53)}}) {
    form.SetFileName(Write(name, bytes));
    shown = Info(form);
    EXPECT_FALSE(shown.enabled) << name;
    EXPECT_EQ(shown.version, "Unknown") << name;
  }
  form.SetFileName(Write("v3ok.z80", Z80Header(54, 32 + 54)));
  EXPECT_TRUE(Info(form).enabled);

  ASSERT_TRUE(QDir(temp.path()).mkdir("folder.sna"));
  form.SetFileName(temp.filePath("folder.sna"));
  shown = Info(form);
  EXPECT_FALSE(shown.enabled);
  EXPECT_EQ(shown.size, "Unreadable");

  // A good file again takes every red away.
  form.SetFileName(Write("good.sna", Bytes(147487)));
  shown = Info(form);
  EXPECT_TRUE(shown.enabled);
  EXPECT_EQ(shown.version, "128k");
  EXPECT_FALSE(IsRed(form.SizeLabel()) || IsRed(form.FormatLabel()) || IsRed(form.VersionLabel()));
}

TEST_F(SnapshotDialogsTest, EachLoadButtonAcceptsWithItsRunFlag) {
  TLoadSnapForm form(store);
  form.SetFileName(Write("game.sna", Bytes(49179)));
  form.LoadRunButton()->click();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_TRUE(form.RunAfterLoad());
  form.LoadButton()->click();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_FALSE(form.RunAfterLoad());
  form.CancelButton()->click();
  EXPECT_EQ(form.result(), QDialog::Rejected);
  EXPECT_EQ(form.FileName(), temp.filePath("game.sna"));
}

TEST_F(SnapshotDialogsTest, SelectFileStartsWhereTheLastChoiceWasAndRemembersTheNext) {
  const QString chosen = Write("pick.z80", Bytes(30, 1));
  {
    WriteLoadSnapFormSettings(store, {"", "old.sna", "/somewhere", {20, 20}});
    TLoadSnapForm form(store);
    QString start, filter;
    QString answer;  // cancelled first
    form.OpenFile = [&](const QString&, const QString& directory, const QString& f) {
      start = directory;
      filter = f;
      return answer;
    };
    form.SelectFileButton()->click();
    EXPECT_EQ(start, "/somewhere/old.sna");
    EXPECT_TRUE(filter.contains("*.Sna") && filter.contains("*.Z80") && filter.contains("(*)"));
    EXPECT_EQ(form.FileName(), "");

    answer = chosen;
    form.SelectFileButton()->click();
    EXPECT_EQ(form.FileName(), chosen);
    EXPECT_TRUE(Info(form).enabled);
  }
  const LoadSnapFormSettings saved = ReadLoadSnapFormSettings(store);
  EXPECT_EQ(saved.Location, chosen.toStdString());
  EXPECT_EQ(saved.FileName, chosen.toStdString());
  EXPECT_EQ(saved.DefaultDir, temp.path().toStdString());
}

TEST_F(SnapshotDialogsTest, LoadDialogSettingsRoundTripAndKeepTheDialogOnTheDesktop) {
  const LoadSnapFormSettings stored{
      Write("a.sna", Bytes(49179)).toStdString(), "a.sna", "/d", {60, 70}};
  WriteLoadSnapFormSettings(store, stored);
  {
    TLoadSnapForm form(store);
    EXPECT_EQ(form.FileName().toStdString(), stored.Location);
    EXPECT_TRUE(Info(form).enabled);  // the stored text is described at once
    EXPECT_EQ(form.pos(), QPoint(60, 70));
  }
  EXPECT_EQ(ReadLoadSnapFormSettings(store), stored);

  // The offscreen desktop is far smaller than this.
  WriteLoadSnapFormSettings(store, {"", "", "", {100000, 100000}});
  EXPECT_EQ(TLoadSnapForm(store).pos(), QPoint(20, 20));

  // One missing value gives the whole group its first-run state.
  MemorySettingsStore partial;
  partial.WriteText("Environment\\Snapshot", "Location", "x.sna");
  EXPECT_EQ(ReadLoadSnapFormSettings(partial), LoadSnapFormSettings{});
}

TEST_F(SnapshotDialogsTest, ShowingTheLoadDialogFocusesTheEditAndLooksAtTheFileAgain) {
  TLoadSnapForm form(store);
  const QString file = Write("gone.sna", Bytes(49179));
  form.SetFileName(file);
  ASSERT_TRUE(Info(form).enabled);
  ASSERT_TRUE(QFile::remove(file));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  EXPECT_EQ(QApplication::focusWidget(), form.LocationEdit());
  EXPECT_EQ(form.SizeLabel()->text(), "Not found");
  EXPECT_FALSE(form.LoadRunButton()->isEnabled());
}

TEST_F(SnapshotDialogsTest, SaveDialogStartsWithItsDefaultsAndTiesOverwriteToTheGenerator) {
  TSaveSnapF form(store);
  EXPECT_EQ(form.windowTitle(), "Save Snapshot to File");
  ASSERT_EQ(form.SnapTypeCB()->count(), 2);
  EXPECT_EQ(form.SnapTypeCB()->itemText(0), "Sna format 48k");
  EXPECT_EQ(form.SnapTypeCB()->itemText(1), "Sna format 128k");
  EXPECT_EQ(form.Variant(), SnaVariant::Sna128k);
  EXPECT_TRUE(form.NameGenerator());
  EXPECT_FALSE(form.Overwrite());
  EXPECT_FALSE(form.OverwriteCB()->isEnabled());

  form.NameGenCB()->setChecked(false);
  EXPECT_TRUE(form.OverwriteCB()->isEnabled());
  form.NameGenCB()->setChecked(true);
  EXPECT_FALSE(form.OverwriteCB()->isEnabled());

  form.BitBtn2()->click();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  form.BitBtn1()->click();
  EXPECT_EQ(form.result(), QDialog::Rejected);
}

TEST_F(SnapshotDialogsTest, SaveDialogSettingsRoundTrip) {
  const SaveSnapFSettings stored{false, true, SnaVariant::Sna48k, "/s/x_004.sna", "/s/last.sna"};
  WriteSaveSnapFSettings(store, stored);
  {
    TSaveSnapF form(store);
    EXPECT_FALSE(form.NameGenerator());
    EXPECT_TRUE(form.Overwrite());
    EXPECT_TRUE(form.OverwriteCB()->isEnabled());  // updated after reading
    EXPECT_EQ(form.Variant(), SnaVariant::Sna48k);
    EXPECT_EQ(form.SnapshotName(), "/s/x_004.sna");
  }
  EXPECT_EQ(ReadSaveSnapFSettings(store), stored);

  // A type index past the list fails the group.
  store.WriteInteger("Environment\\Save Snapshot Dialog", "SnapshotType", 2);
  EXPECT_EQ(ReadSaveSnapFSettings(store), SaveSnapFSettings{});
}

TEST_F(SnapshotDialogsTest, BrowseAddsTheDefaultExtensionAndRemembersTheFile) {
  TSaveSnapF form(store);
  form.SetSnapshotName("typed.sna");
  QString start, answer = temp.filePath("saved");
  form.SaveFile = [&](const QString&, const QString& directory, const QString&) {
    start = directory;
    return answer;
  };
  form.Button1()->click();
  EXPECT_EQ(start, "typed.sna");  // nothing chosen before
  EXPECT_EQ(form.SnapshotName(), temp.filePath("saved.Sna"));

  answer = temp.filePath("other.sna");
  form.Button1()->click();
  EXPECT_EQ(start, temp.filePath("saved.Sna"));
  EXPECT_EQ(form.SnapshotName(), answer);

  answer.clear();  // cancelled
  form.Button1()->click();
  EXPECT_EQ(form.SnapshotName(), temp.filePath("other.sna"));
}

TEST_F(SnapshotDialogsTest, ChooseNameWithTheGeneratorMovesToTheNextFreeNumber) {
  TSaveSnapF form(store);
  int asked = 0;
  form.AskOverwrite = [&](const QString&) { return ++asked, true; };
  form.OverwriteCB()->setChecked(true);  // disabled and ignored while the generator is on

  form.SetSnapshotName(temp.filePath("free.sna"));
  EXPECT_EQ(form.ChooseSnapshotFileName(), temp.filePath("free.sna"));

  Write("x_009.sna", {});
  Write("x_010.sna", {});
  form.SetSnapshotName(temp.filePath("x_009.sna"));
  EXPECT_EQ(form.ChooseSnapshotFileName(), temp.filePath("x_011.sna"));
  EXPECT_EQ(form.SnapshotName(), temp.filePath("x_011.sna"));  // later saves count on

  Write("game.sna", {});
  form.SetSnapshotName(temp.filePath("game.sna"));
  EXPECT_EQ(form.ChooseSnapshotFileName(), temp.filePath("game_001.sna"));
  EXPECT_EQ(asked, 0);

  form.SetSnapshotName("");
  EXPECT_EQ(form.ChooseSnapshotFileName(), std::nullopt);
}

TEST_F(SnapshotDialogsTest, ChooseNameWithoutTheGeneratorAsksUnlessOverwriteIsTicked) {
  TSaveSnapF form(store);
  form.NameGenCB()->setChecked(false);
  std::vector<QString> questions;
  bool answer = false;
  form.AskOverwrite = [&](const QString& question) {
    questions.push_back(question);
    return answer;
  };

  const QString taken = Write("taken.sna", {});
  form.SetSnapshotName(taken);
  EXPECT_EQ(form.ChooseSnapshotFileName(), std::nullopt);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], "File '" + taken + "' already exist!\nDo you want overwrite it?");

  answer = true;
  EXPECT_EQ(form.ChooseSnapshotFileName(), taken);
  EXPECT_EQ(questions.size(), 2u);

  form.OverwriteCB()->setChecked(true);
  answer = false;
  EXPECT_EQ(form.ChooseSnapshotFileName(), taken);
  EXPECT_EQ(questions.size(), 2u);

  form.SetSnapshotName(temp.filePath("new.sna"));
  form.OverwriteCB()->setChecked(false);
  EXPECT_EQ(form.ChooseSnapshotFileName(), temp.filePath("new.sna"));
  EXPECT_EQ(questions.size(), 2u);
  EXPECT_EQ(form.SnapshotName(), temp.filePath("new.sna"));
}

}  // namespace
}  // namespace vantrel
