#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "media/SnapshotSaver.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace vantrel {

class SettingsStore;

// "Environment\Save Snapshot Dialog", one group.
struct SaveSnapFSettings {
  bool NameGenerator = true;
  bool FileOverwrite = false;
  SnaVariant SnapshotType = SnaVariant::Sna128k;
  std::string SnapshotName;
  std::string LastFileName;  // preset in the file dialog
  bool operator==(const SaveSnapFSettings&) const = default;
};

SaveSnapFSettings ReadSaveSnapFSettings(const SettingsStore& store);
void WriteSaveSnapFSettings(SettingsStore& store, const SaveSnapFSettings& settings);

// Asks the user for a file to write: (title, starting directory or file, filter) -> the
// chosen file, empty when cancelled.
using SaveFileFunction =
    std::function<QString(const QString& title, const QString& directory, const QString& filter)>;
SaveFileFunction DefaultSaveFileFunction(QWidget* parent);

// Asks whether an existing file may be replaced; true for yes.
using AskOverwriteFunction = std::function<bool(const QString& question)>;
// Yes and No buttons, question icon, no owner window.
bool DefaultAskOverwrite(const QString& question);

// "File '<name>' already exist!\nDo you want overwrite it?"
QString OverwriteQuestion(const QString& fileName);

// "Save Snapshot to File": the name, variant and quick-save options. It lives for the whole
// run and keeps what was typed whether it closes with "Save Snapshot" or Cancel; the quick
// save reads it without showing it. Writing the file is the caller's.
class TSaveSnapF : public QDialog {
  Q_OBJECT
 public:
  // Reads the settings; the destructor writes them back.
  explicit TSaveSnapF(SettingsStore& store, QWidget* parent = nullptr);
  ~TSaveSnapF() override;

  SnaVariant Variant() const;
  bool NameGenerator() const;
  bool Overwrite() const;
  QString SnapshotName() const;
  void SetSnapshotName(const QString& name);

  // The quick save's file name. A free name is taken as it is. A taken one, with the name
  // generator ticked, moves the name edit on to the next free generated name (which then
  // stays for later saves); without the generator it is replaced when "Overwrite Old
  // Files" is ticked or AskOverwrite says yes. nullopt: save nothing (an empty name, or
  // the user declined).
  std::optional<QString> ChooseSnapshotFileName();

  // "..." asks through this; tests put in their own so no modal dialog opens.
  SaveFileFunction SaveFile;
  AskOverwriteFunction AskOverwrite = DefaultAskOverwrite;

  void SaveSettings() const;

  QLineEdit* SnapNameE() const { return snapNameE_; }
  QComboBox* SnapTypeCB() const { return snapTypeCB_; }
  QCheckBox* NameGenCB() const { return nameGenCB_; }
  QCheckBox* OverwriteCB() const { return overwriteCB_; }
  QPushButton* Button1() const { return button1_; }
  QPushButton* BitBtn2() const { return bitBtn2_; }
  QPushButton* BitBtn1() const { return bitBtn1_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Browse();
  void UpdateOverwriteEnabled();

  SettingsStore& store_;
  QString lastFileName_;

  QLineEdit* snapNameE_;
  QComboBox* snapTypeCB_;
  QCheckBox* nameGenCB_;
  QCheckBox* overwriteCB_;
  QPushButton* button1_;
  QPushButton* bitBtn2_;
  QPushButton* bitBtn1_;
};

}  // namespace vantrel
