#include "ui/TSaveDiskF.h"
#include "ui/UiTest.h"

namespace vantrel {
namespace {

using namespace uitest;

// The name always carries the chosen format's extension; the button is offered only for a
// name that exists or can be created (the probe leaves no file behind), and the
// description only for FDI.
TEST(SaveDiskDialogTest, NameFollowsTheFormatTheButtonWhetherTheFileCanBeWrittenAndOverwriteAsks) {
  QTemporaryDir temp;
  TSaveDiskF form;
  const QString old = WriteFile(temp.filePath("old.udi").toStdString(), {1});
  WriteFile(temp.filePath("old.trd").toStdString(), {1});
  const auto at = [&](const char* name) { return temp.filePath(name); };
  const struct {
    QString typed;
    TSaveDiskF::Format format;
    QString shown;
    bool enabled, exists;
  } cases[] = {
      {at("disk"), TSaveDiskF::kFdi, at("disk.fdi"), true, false},
      {at("old.fdi"), TSaveDiskF::kTrd, at("old.trd"), true, true},
      {at("game.scl"), TSaveDiskF::kUdi, at("game.udi"), true, false},
      {at("missing/x"), TSaveDiskF::kTrd, at("missing/x.trd"), false, false},
      {"", TSaveDiskF::kFdi, "", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    form.FileNameE()->setText(c.typed);
    form.FormatCB()->setCurrentIndex(c.format);
    form.FileNameE()->editingFinished();
    EXPECT_EQ(form.FileName(), c.shown);
    EXPECT_EQ(form.SaveButton()->isEnabled(), c.enabled);
    EXPECT_EQ(form.Exists(), c.exists);
    EXPECT_EQ(form.DescriptionE()->isEnabled(), c.format == TSaveDiskF::kFdi);
  }
  EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files), (QStringList{"old.trd", "old.udi"}));

  // "..." puts the chosen name in and the format list follows its extension; an existing
  // file is replaced only after a yes, and No keeps the dialog open.
  form.SetMode(TSaveDiskF::Mode::kCreate);
  EXPECT_EQ(form.windowTitle() + '|' + form.SaveButton()->text(),
            "Create Disk Image|Create Disk Image");
  form.SaveFile = [&](const QString&, const QString&, const QString&) { return old; };
  form.BrowseButton()->click();
  EXPECT_EQ(form.ChosenFormat(), TSaveDiskF::kUdi);
  QStringList questions;
  bool answer = false;
  form.AskOverwrite = [&](const QString& question) {
    questions << question;
    return answer;
  };
  form.SaveButton()->click();
  EXPECT_NE(form.result(), QDialog::Accepted);
  answer = true;
  form.SaveButton()->click();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(questions,
            QStringList(2, "File '" + old + "' already exist! Do you want overwrite it?"));
}

// Told what a TRD would lose, the dialog proposes UDI for a .trd name and, while TRD or
// SCL is chosen, says what would be lost; told nothing, it keeps the name's format.
TEST(SaveDiskDialogTest, LossesOfATrdAreShownAndUdiIsProposed) {
  QTemporaryDir temp;
  TSaveDiskF form;
  const std::vector<std::string> losses = {
      "1 sectors marked as deleted data (first at cylinder 1, side 0, sector 3)"};
  form.SetTrdLosses(losses);
  form.SetFileName(temp.filePath("disk.trd"));
  EXPECT_EQ(form.ChosenFormat(), TSaveDiskF::kUdi);
  EXPECT_EQ(form.FileName(), temp.filePath("disk.udi"));
  EXPECT_EQ(form.LossWarning(), "");
  const struct {
    TSaveDiskF::Format format;
    const char* warning;
  } cases[] = {
      {TSaveDiskF::kTrd,
       "A TRD file cannot keep all of this disk. It would lose:\n- 1 sectors marked as deleted "
       "data (first at cylinder 1, side 0, sector 3)\nChoose UDI Disk Image to keep everything."},
      {TSaveDiskF::kScl, "A SCL file cannot keep all of this disk."},
      {TSaveDiskF::kFdi, ""},
  };
  for (const auto& c : cases) {
    form.FormatCB()->setCurrentIndex(c.format);
    const std::string warning = form.LossWarning().toStdString();
    EXPECT_EQ(warning.substr(0, std::string(c.warning).size()), c.warning) << c.format;
  }
  form.SetTrdLosses({});
  form.SetFileName(temp.filePath("disk.scl"));
  EXPECT_EQ(form.ChosenFormat(), TSaveDiskF::kScl);
  EXPECT_EQ(form.LossWarning(), "");
}

}  // namespace
}  // namespace vantrel
