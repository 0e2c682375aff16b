#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "app/Settings.h"
#include "ui/OptionsPages.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace vantrel {

class SettingsStore;

// "Environment\Snapshot": one group, so a half-written key gives the whole first-run state.
struct LoadSnapFormSettings {
  std::string Location;    // the edit's text
  std::string FileName;    // preset in the file-open dialog
  std::string DefaultDir;  // where the file-open dialog starts
  WindowPosition Position;
  bool operator==(const LoadSnapFormSettings&) const = default;
};

LoadSnapFormSettings ReadLoadSnapFormSettings(const SettingsStore& store);
void WriteLoadSnapFormSettings(SettingsStore& store, const LoadSnapFormSettings& settings);

// "Load Snapshot": picks a snapshot file, shows its size, format and SNA variant, and
// closes with OK through "Load && &Run" or "Load && &Debug". Loading is the caller's.
class TLoadSnapForm : public QDialog {
  Q_OBJECT
 public:
  // Reads the settings; the destructor writes them back.
  explicit TLoadSnapForm(SettingsStore& store, QWidget* parent = nullptr);
  ~TLoadSnapForm() override;

  // Set by "Load && &Run", cleared by "Load && &Debug"; the command line sets it too.
  bool RunAfterLoad() const { return runAfterLoad_; }
  void SetRunAfterLoad(bool run) { runAfterLoad_ = run; }

  QString FileName() const;
  void SetFileName(const QString& fileName);

  // "&..." asks through this; tests put in their own so no modal dialog opens.
  OpenFileFunction OpenFile;

  void SaveSettings() const;

  QLineEdit* LocationEdit() const { return locationEdit_; }
  QPushButton* SelectFileButton() const { return selectFileButton_; }
  QGroupBox* InformationGroup() const { return informationGroup_; }
  QLabel* SizeLabel() const { return sizeLabel_; }
  QLabel* FormatLabel() const { return formatLabel_; }
  QLabel* VersionLabel() const { return versionLabel_; }
  QPushButton* LoadRunButton() const { return loadRunButton_; }
  QPushButton* LoadButton() const { return loadButton_; }
  QPushButton* CancelButton() const { return cancelButton_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void SelectFile();
  void UpdateInformation();
  void Close(bool run);

  SettingsStore& store_;
  bool runAfterLoad_ = false;
  QString openFileName_;
  QString defaultDir_;

  QLineEdit* locationEdit_;
  QPushButton* selectFileButton_;
  QGroupBox* informationGroup_;
  QLabel* sizeLabel_;
  QLabel* formatLabel_;
  QLabel* versionLabel_;
  QPushButton* loadRunButton_;
  QPushButton* loadButton_;
  QPushButton* cancelButton_;
};

}  // namespace vantrel
