#include "ui/TRomNavigatorForm.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

namespace vantrel {
namespace {

QComboBox* MakeKindCombo(QWidget* parent, const char* name) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(QString::fromLatin1(name));
  for (std::string_view kind : kRomPageKinds) {
    combo->addItem(QString::fromUtf8(kind.data(), static_cast<qsizetype>(kind.size())));
  }
  combo->setCurrentIndex(-1);
  return combo;
}

QPushButton* MakeButton(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(QString::fromLatin1(text), parent);
  button->setObjectName(QString::fromLatin1(name));
  // Enter in the file edit must not pick a page or close the window.
  button->setAutoDefault(false);
  return button;
}

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TRomNavigatorForm::TRomNavigatorForm(FileResolver resolver, QWidget* parent)
    : QDialog(parent), resolver_(std::move(resolver)) {
  setObjectName(QStringLiteral("RomNavigatorForm"));
  setWindowTitle(QStringLiteral("ROM Loading Navigator"));

  auto* layout = new QVBoxLayout(this);

  auto* fileLabel = new QLabel(QStringLiteral("ROM File:"), this);
  fileLabel->setObjectName(QStringLiteral("RomFileLabel"));
  layout->addWidget(fileLabel);
  auto* fileRow = new QHBoxLayout;
  fileEdit_ = new QLineEdit(this);
  fileEdit_->setObjectName(QStringLiteral("RomFileEdit"));
  fileLabel->setBuddy(fileEdit_);
  browseButton_ = MakeButton("...", "BrowseButton", this);
  fileRow->addWidget(fileEdit_, 1);
  fileRow->addWidget(browseButton_);
  layout->addLayout(fileRow);

  auto* listLabel = new QLabel(QStringLiteral("ROM images inside:"), this);
  listLabel->setObjectName(QStringLiteral("RomImagesLabel"));
  layout->addWidget(listLabel);
  imagesList_ = new QListWidget(this);
  imagesList_->setObjectName(QStringLiteral("RomImagesList"));
  listLabel->setBuddy(imagesList_);
  layout->addWidget(imagesList_, 1);

  infoGroup_ = new QGroupBox(QStringLiteral(" ROM image info "), this);
  infoGroup_->setObjectName(QStringLiteral("RomInfoGroup"));
  auto* info = new QGridLayout(infoGroup_);
  auto addLabel = [&](const char* text, const char* name, int row, int column) {
    auto* label = new QLabel(QString::fromLatin1(text), infoGroup_);
    label->setObjectName(QString::fromLatin1(name));
    info->addWidget(label, row, column);
    return label;
  };
  addLabel("CRC:", "CrcCaption", 0, 0);
  crcLabel_ = new QLabel(QStringLiteral("#0000"), infoGroup_);
  crcLabel_->setObjectName(QStringLiteral("CrcLabel"));
  crcLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  info->addWidget(crcLabel_, 0, 1);
  QLabel* descriptionLabel = addLabel("Description:", "DescriptionCaption", 1, 0);
  descriptionEdit_ = new QLineEdit(infoGroup_);
  descriptionEdit_->setObjectName(QStringLiteral("DescriptionEdit"));
  descriptionLabel->setBuddy(descriptionEdit_);
  info->addWidget(descriptionEdit_, 1, 1, 1, 3);
  addLabel("Default page:", "DefaultPageCaption", 2, 0);
  defaultPageCombo_ = MakeKindCombo(infoGroup_, "DefaultPageCombo");
  info->addWidget(defaultPageCombo_, 2, 1);
  addLabel("in page", "InPageCaption", 2, 2);
  inPageCombo_ = MakeKindCombo(infoGroup_, "InPageCombo");
  info->addWidget(inPageCombo_, 2, 3);
  auto* infoButtons = new QHBoxLayout;
  saveInfoButton_ = MakeButton("Save info", "SaveInfoButton", infoGroup_);
  selectButton_ = MakeButton("Select", "SelectButton", infoGroup_);
  infoButtons->addStretch(1);
  infoButtons->addWidget(saveInfoButton_);
  infoButtons->addWidget(selectButton_);
  info->addLayout(infoButtons, 3, 0, 1, 4);
  layout->addWidget(infoGroup_);

  auto* buttons = new QHBoxLayout;
  autoSelectButton_ = MakeButton("Auto select all pages", "AutoSelectButton", this);
  closeButton_ = MakeButton("Close", "CloseButton", this);
  buttons->addWidget(autoSelectButton_);
  buttons->addStretch(1);
  buttons->addWidget(closeButton_);
  layout->addLayout(buttons);

  connect(fileEdit_, &QLineEdit::textChanged, this, [this] { Rescan(); });
  connect(browseButton_, &QPushButton::clicked, this, [this] { Browse(); });
  connect(imagesList_, &QListWidget::currentRowChanged, this, [this](int row) { ShowPage(row); });
  // The catalogue kind is a fact about the page, not a choice: undo any pick.
  connect(defaultPageCombo_, &QComboBox::activated, this,
          [this] { defaultPageCombo_->setCurrentIndex(shownKind_); });
  connect(selectButton_, &QPushButton::clicked, this, [this] { SelectPage(); });
  connect(autoSelectButton_, &QPushButton::clicked, this, [this] { AutoSelectAll(); });
  connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);

  Rescan();
}

void TRomNavigatorForm::Browse() {
  QFileDialog dialog(this, QStringLiteral("Select ROM image file for loading"), defaultPath_);
  dialog.setObjectName(QStringLiteral("RomFileDialog"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  // Linux file names are case-sensitive; ROM files come as .rom as often as .Rom.
  dialog.setNameFilter(QStringLiteral("ROM Image (*.Rom *.rom *.ROM)"));
  dialog.setDefaultSuffix(QStringLiteral("Rom"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString file = dialog.selectedFiles().constFirst();
  defaultPath_ = QFileInfo(file).absolutePath();
  fileEdit_->setText(file);  // scans through textChanged
}

void TRomNavigatorForm::Rescan() {
  navigator_.Scan(fileEdit_->text().toStdString(), resolver_);

  QPalette palette;  // the inherited colours
  if (!navigator_.FileFound()) palette.setColor(QPalette::Base, Qt::yellow);
  fileEdit_->setPalette(palette);

  {
    const QSignalBlocker block(imagesList_);
    imagesList_->clear();
    for (const RomPageItem& item : navigator_.Items()) {
      imagesList_->addItem(ToQString(item.text));
    }
  }
  const bool listed = navigator_.PagesListed();
  infoGroup_->setEnabled(listed);
  autoSelectButton_->setEnabled(navigator_.AutoSelectEnabled());
  if (listed && imagesList_->count() > 0) {
    const QSignalBlocker block(imagesList_);
    imagesList_->setCurrentRow(0);
  }
  // An error line is shown, not selected: it has nothing to describe.
  ShowPage(listed ? imagesList_->currentRow() : -1);
}

void TRomNavigatorForm::ShowPage(int row) {
  const RomPageInfo info = row < 0 ? RomPageInfo{} : navigator_.ShowPage(static_cast<size_t>(row));
  crcLabel_->setText(ToQString(info.ChecksumText));
  descriptionEdit_->setText(ToQString(info.description));
  shownKind_ = info.kind;
  defaultPageCombo_->setCurrentIndex(info.kind);
  inPageCombo_->setCurrentIndex(info.kind);
  selectButton_->setEnabled(info.SelectEnabled);
}

void TRomNavigatorForm::SelectPage() {
  const int row = imagesList_->currentRow();
  if (row >= 0) {
    if (auto assignment =
            navigator_.Select(static_cast<size_t>(row), inPageCombo_->currentIndex())) {
      Report(assignment->slot, assignment->reference);
    }
  }
  accept();  // hides, even when the chosen kind has no slot
}

void TRomNavigatorForm::AutoSelectAll() {
  const auto slots = navigator_.AutoSelectAll();
  for (size_t slot = 0; slot < slots.size(); ++slot) {
    if (slots[slot]) Report(static_cast<RomSlot>(slot), *slots[slot]);
  }
  accept();
}

void TRomNavigatorForm::Report(RomSlot slot, const std::string& reference) {
  if (SlotChosen) SlotChosen(slot, reference);
}

}  // namespace vantrel
