#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "app/RomImages.h"
#include "app/RomNavigator.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vantrel {

// "ROM Loading Navigator": opens a ROM file, lists its 16 KB pages by catalogue name and
// hands chosen pages to the settings dialog's ROM slots. The paging logic is RomNavigator;
// this window only shows it.
class TRomNavigatorForm : public QDialog {
  Q_OBJECT
 public:
  explicit TRomNavigatorForm(FileResolver resolver, QWidget* parent = nullptr);

  // Called by "Select" for its one slot and by "Auto select all pages" for each slot that
  // got a page; the reference is "file:page" with the file as typed.
  std::function<void(RomSlot slot, const std::string& reference)> SlotChosen;

  // The directory the "..." file dialog starts in (the 48K slot's remembered path); the
  // dialog updates it when a file is picked.
  void SetDefaultPath(const QString& path) { defaultPath_ = path; }
  const QString& DefaultPath() const { return defaultPath_; }

  const RomNavigator& Navigator() const { return navigator_; }

  QLineEdit* FileEdit() const { return fileEdit_; }
  QPushButton* BrowseButton() const { return browseButton_; }
  QListWidget* ImagesList() const { return imagesList_; }
  QGroupBox* InfoGroup() const { return infoGroup_; }
  QLabel* CrcLabel() const { return crcLabel_; }
  QLineEdit* DescriptionEdit() const { return descriptionEdit_; }
  QComboBox* DefaultPageCombo() const { return defaultPageCombo_; }
  QComboBox* InPageCombo() const { return inPageCombo_; }
  QPushButton* SaveInfoButton() const { return saveInfoButton_; }
  QPushButton* SelectButton() const { return selectButton_; }
  QPushButton* AutoSelectButton() const { return autoSelectButton_; }
  QPushButton* CloseButton() const { return closeButton_; }

 private:
  void Browse();
  void Rescan();
  void ShowPage(int row);
  void SelectPage();
  void AutoSelectAll();
  void Report(RomSlot slot, const std::string& reference);

  FileResolver resolver_;
  RomNavigator navigator_;
  QString defaultPath_;
  int shownKind_ = kRomKindUnknown;

  QLineEdit* fileEdit_;
  QPushButton* browseButton_;
  QListWidget* imagesList_;
  QGroupBox* infoGroup_;
  QLabel* crcLabel_;
  QLineEdit* descriptionEdit_;
  QComboBox* defaultPageCombo_;
  QComboBox* inPageCombo_;
  QPushButton* saveInfoButton_;
  QPushButton* selectButton_;
  QPushButton* autoSelectButton_;
  QPushButton* closeButton_;
};

}  // namespace vantrel
