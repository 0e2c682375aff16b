#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "ui/TSaveSnapF.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantrel {

// "Save Disk Image As": the file name, the format (TRD, FDI, UDI or SCL) and the write
// protection of the disk to save. Told what a TRD would lose of the disk, it proposes UDI
// and, while TRD or SCL is chosen, says what would be lost. In its create mode the same dialog
// names the file a new blank disk is saved to. Writing the file is the caller's. Created once and
// reused.
class TSaveDiskF : public QDialog {
  Q_OBJECT
 public:
  enum class Mode { kSaveAs, kCreate };
  enum Format { kTrd, kFdi, kUdi, kScl };

  explicit TSaveDiskF(QWidget* parent = nullptr);

  void SetMode(Mode mode);
  // Puts the name into the edit and validates it (its extension follows the format).
  void SetFileName(const QString& name);
  QString FileName() const;
  Format ChosenFormat() const;
  // What a TRD file could not keep of the disk to save (none: nothing is lost). Set before
  // the name: a name of a format that loses something is then proposed as UDI.
  void SetTrdLosses(const std::vector<std::string>& losses);
  // The warning shown, empty when none is.
  QString LossWarning() const;
  void SetWriteProtected(bool on);
  bool WriteProtected() const;
  // Whether the validated name is a file that exists (saving asks before replacing it).
  bool Exists() const { return exists_; }

  // "..." asks through SaveFile; the overwrite question through AskOverwrite. Tests put in
  // their own so no modal dialog opens.
  SaveFileFunction SaveFile;
  AskOverwriteFunction AskOverwrite;

  QLineEdit* FileNameE() const { return fileNameE_; }
  QComboBox* FormatCB() const { return formatCB_; }
  QLineEdit* DescriptionE() const { return descriptionE_; }
  QCheckBox* WriteProtectCB() const { return writeProtectCB_; }
  QPushButton* BrowseButton() const { return browse_; }
  QPushButton* SaveButton() const { return save_; }
  QPushButton* CancelButton() const { return cancel_; }

 private:
  void Browse();
  // Gives the name the format's extension, then enables the save button when the file
  // exists or can be created.
  void Validate();
  void SaveClicked();

  bool exists_ = false;
  QLineEdit* fileNameE_;
  QComboBox* formatCB_;
  QLineEdit* descriptionE_;
  QCheckBox* writeProtectCB_;
  QLabel* existsL_;
  QLabel* lossL_;
  QStringList losses_;
  QPushButton* browse_;
  QPushButton* save_;
  QPushButton* cancel_;
};

}  // namespace vantrel
