#include <QComboBox>
#include <optional>
#include <utility>

#include "TestData.h"
#include "app/SettingsStore.h"
#include "ui/TLoadSnapForm.h"
#include "ui/TSaveSnapF.h"
#include "ui/UiTest.h"

namespace vantrel {
namespace {

using namespace uitest;

// A Z80 version 2/3 header (PC 0 at offset 6, the additional length at 30), cut or padded
// to `size` bytes.
Bytes Z80Header(uint8_t extraLength, size_t size) {
  Bytes bytes(size);
  if (size > 30) bytes[30] = extraLength;
  return bytes;
}

class SnapshotDialogsTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp.isValid()); }

  QString Write(const QString& name, const Bytes& bytes) {
    return WriteFile(temp.filePath(name).toStdString(), bytes);
  }

  // The load dialog's three values joined by '|', and whether both load buttons are
  // enabled. A value is red exactly when it names a problem.
  static std::pair<QString, bool> Info(const TLoadSnapForm& form) {
    const bool run = form.LoadRunButton()->isEnabled();
    EXPECT_EQ(run, form.LoadButton()->isEnabled());
    for (const QLabel* label : {form.SizeLabel(), form.FormatLabel(), form.VersionLabel()}) {
      const bool problem = label->text() == "Not found" || label->text() == "Unknown" ||
                           label->text() == "Unreadable";
      EXPECT_EQ(label->palette().color(QPalette::WindowText) == Qt::red, problem)
          << label->text().toStdString();
    }
    return {form.SizeLabel()->text() + '|' + form.FormatLabel()->text() + '|' +
                form.VersionLabel()->text(),
            run};
  }

  QTemporaryDir temp;
  MemorySettingsStore store;
};

TEST_F(SnapshotDialogsTest, LoadDialogDescribesWrittenMissingAndBrokenFiles) {
  TLoadSnapForm form(store);
  EXPECT_EQ(Info(form), std::pair(QString("||"), false));  // an empty edit is not "Not found"
  ASSERT_TRUE(QDir(temp.path()).mkdir("folder.sna"));
  const struct {
    const char* name;
    std::optional<Bytes> bytes;  // none: not written
    const char* shown;
    bool enabled;
  } cases[] = {
      {"game.sna", Bytes(49179), "49179|SNA|48k", true},
      {"good.sna", Bytes(147487), "147487|SNA|128k", true},
      {"cut.sna", Bytes(49178), "49178|SNA|Unknown", false},
      // The dialog looks at three letters; the loader refuses .Z80X with its own message.
      {"Game.z80x", Bytes(30, 1), "30|Z80|", true},
      {"game.tap", Bytes(49179), "|Unknown|", false},
      {"game", Bytes(49179), "|Unknown|", false},
      {"game.sn", Bytes(49179), "|Unknown|", false},
      {"absent.sna", std::nullopt, "Not found||", false},
      {"folder.sna", std::nullopt, "Unreadable|SNA|", false},
      // Z80 headers cut short: inside the 30 bytes, before the length word, and inside the
      // additional header that the length word announces.
      {"v1.z80", Bytes(29, 1), "29|Z80|Unknown", false},
      {"v2.z80", Z80Header(23, 31), "31|Z80|Unknown", false},
      {"v3.z80", Z80Header(54, 32 + 53), "85|Z80|Unknown", false},
      {"v3ok.z80", Z80Header(54, 32 + 54), "86|Z80|", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    form.SetFileName(c.bytes ? Write(c.name, *c.bytes) : temp.filePath(c.name));
    EXPECT_EQ(Info(form), std::pair(QString(c.shown), c.enabled));
  }
  form.LoadRunButton()->click();  // the last file is usable
  EXPECT_TRUE(form.result() == QDialog::Accepted && form.RunAfterLoad());
  form.LoadButton()->click();
  EXPECT_TRUE(form.result() == QDialog::Accepted && !form.RunAfterLoad());
  // Showing the dialog focuses the edit and looks at the file again.
  ASSERT_TRUE(QFile::remove(temp.filePath("v3ok.z80")));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  EXPECT_EQ(QApplication::focusWidget(), form.LocationEdit());
  EXPECT_EQ(Info(form), std::pair(QString("Not found||"), false));
}

TEST_F(SnapshotDialogsTest, LoadDialogDescribesTheRealSnapshots) {
  VANTREL_REQUIRE_TESTDATA(dir, "snapshots");
  TLoadSnapForm form(store);
  const std::pair<const char*, const char*> cases[] = {
      {"p48k.sna", "49179|SNA|48k"},
      {"p128.sna", "131103|SNA|128k"},
      {"p48k.z80", "1310|Z80|"},
      {"kempston_mouse_interface_driver.z80", "7787|Z80|"}};
  for (const auto& [name, shown] : cases) {
    form.SetFileName(QString::fromStdString((dir / name).string()));
    EXPECT_EQ(Info(form), std::pair(QString(shown), true)) << name;
  }
}

TEST_F(SnapshotDialogsTest, LoadDialogStartsFromItsSettingsAndRemembersTheFileChosen) {
  const QString chosen = Write("pick.z80", Bytes(30, 1));
  WriteLoadSnapFormSettings(store, {chosen.toStdString(), "old.sna", "/somewhere", {60, 70}});
  {
    TLoadSnapForm form(store);
    EXPECT_TRUE(Info(form).second);  // the stored text is described at once
    EXPECT_EQ(form.pos(), QPoint(60, 70));
    QString start, answer;  // cancelled first
    form.OpenFile = [&](const QString&, const QString& directory, const QString&) {
      start = directory;
      return std::exchange(answer, chosen);
    };
    form.SetFileName("");
    form.SelectFileButton()->click();
    EXPECT_EQ(form.FileName(), "");
    form.SelectFileButton()->click();
    EXPECT_EQ(start, "/somewhere/old.sna");
    EXPECT_EQ(form.FileName(), chosen);
  }
  EXPECT_EQ(ReadLoadSnapFormSettings(store),
            (LoadSnapFormSettings{
                chosen.toStdString(), chosen.toStdString(), temp.path().toStdString(), {60, 70}}));
  // The offscreen desktop is far smaller than this.
  WriteLoadSnapFormSettings(store, {"", "", "", {100000, 100000}});
  EXPECT_EQ(TLoadSnapForm(store).pos(), QPoint(20, 20));
}

TEST_F(SnapshotDialogsTest, SaveDialogShowsItsSettingsAndBrowseAddsTheExtension) {
  const SaveSnapFSettings stored{false, true, SnaVariant::Sna48k, "/s/x_004.sna", "/s/last.sna"};
  WriteSaveSnapFSettings(store, stored);
  {
    TSaveSnapF form(store);
    EXPECT_TRUE(form.Overwrite() && form.OverwriteCB()->isEnabled());  // no generator
    EXPECT_EQ(form.Variant(), SnaVariant::Sna48k);
    EXPECT_EQ(form.SnapshotName(), "/s/x_004.sna");
    form.NameGenCB()->setChecked(true);
    EXPECT_FALSE(form.OverwriteCB()->isEnabled());
    QString start;
    form.SaveFile = [&](const QString&, const QString& directory, const QString&) {
      start = directory;
      return temp.filePath("saved");
    };
    form.Button1()->click();
    EXPECT_EQ(start, "/s/last.sna");
    EXPECT_EQ(form.SnapshotName(), temp.filePath("saved.Sna"));
  }
  EXPECT_TRUE(ReadSaveSnapFSettings(store).NameGenerator);
  // A type index past the list fails the group.
  store.WriteInteger("Environment\\Save Snapshot Dialog", "SnapshotType", kSnaVariantCount);
  EXPECT_EQ(ReadSaveSnapFSettings(store), SaveSnapFSettings{});
}

// Each row of the type list is the format saved, its extension and what is remembered.
TEST_F(SnapshotDialogsTest, EveryFormatRowSavesItsOwnFormat) {
  const struct {
    SnaVariant variant;
    const char* suffix;
  } rows[] = {{SnaVariant::Sna48k, "Sna"},
              {SnaVariant::Sna128k, "Sna"},
              {SnaVariant::Z80, "z80"},
              {SnaVariant::Szx, "szx"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.suffix);
    {
      TSaveSnapF form(store);
      auto* list = form.findChild<QComboBox*>(QStringLiteral("SnapTypeCB"));
      ASSERT_NE(list, nullptr);
      ASSERT_EQ(list->count(), kSnaVariantCount);
      list->setCurrentIndex(static_cast<int>(row.variant));
      EXPECT_EQ(form.Variant(), row.variant);
      form.SaveFile = [&](const QString&, const QString&, const QString&) {
        return temp.filePath("game");
      };
      form.Button1()->click();
      EXPECT_EQ(form.SnapshotName(), temp.filePath(QStringLiteral("game.") + row.suffix));
    }
    EXPECT_EQ(ReadSaveSnapFSettings(store).SnapshotType, row.variant);
  }
}

// The numbering itself is the saver's; the dialog asks it until a name is free. Without
// the generator the user is asked unless overwriting is ticked.
TEST_F(SnapshotDialogsTest, ChooseNameCountsOnWithTheGeneratorElseAsksUnlessOverwriteIsTicked) {
  TSaveSnapF form(store);
  std::vector<QString> questions;
  bool answer = true;
  form.AskOverwrite = [&](const QString& question) {
    questions.push_back(question);
    return answer;
  };
  form.OverwriteCB()->setChecked(true);  // disabled and ignored while the generator is on
  Write("x_009.sna", {});
  Write("x_010.sna", {});
  form.SetSnapshotName(temp.filePath("x_009.sna"));
  EXPECT_EQ(form.ChooseSnapshotFileName(), temp.filePath("x_011.sna"));
  EXPECT_EQ(form.SnapshotName(), temp.filePath("x_011.sna"));  // later saves count on
  EXPECT_TRUE(questions.empty());

  form.NameGenCB()->setChecked(false);
  form.OverwriteCB()->setChecked(false);
  const QString taken = temp.filePath("x_009.sna");
  form.SetSnapshotName(taken);
  EXPECT_EQ(form.ChooseSnapshotFileName(), taken);
  answer = false;
  EXPECT_EQ(form.ChooseSnapshotFileName(), std::nullopt);
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[0], "File '" + taken + "' already exist!\nDo you want overwrite it?");
  form.OverwriteCB()->setChecked(true);
  EXPECT_EQ(form.ChooseSnapshotFileName(), taken);
  form.SetSnapshotName("");
  EXPECT_EQ(form.ChooseSnapshotFileName(), std::nullopt);
  EXPECT_EQ(questions.size(), 2u);
}

}  // namespace
}  // namespace vantrel
