#include "ui/TLoadMemoryBlockF.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "debugger/MemoryBlocks.h"
#include "machine/Machine.h"
#include "ui/BlockFileFields.h"

namespace vantrel {

namespace {

QString Number(int32_t value) {
  return QString::number(value);
}

}  // namespace

TLoadMemoryBlockF::TLoadMemoryBlockF(Machine& machine, SettingsStore& store, QWidget* parent)
    : QDialog(parent),
      machine_(machine),
      store_(store),
      settings_(LoadLoadMemoryBlockSettings(store)) {
  setWindowTitle(QStringLiteral("Load Memory Block from File"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  file_ = new QLineEdit(QString::fromStdString(settings_.File.Location), this);
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  auto* location = new QHBoxLayout;
  location->addWidget(file_);
  location->addWidget(browse);
  all_ = new QCheckBox(QStringLiteral("&All File"), this);
  all_->setChecked(settings_.AllFile);
  from_ = new QLineEdit(Number(settings_.FromPosition), this);
  to_ = new QLineEdit(Number(settings_.ToPosition), this);
  length_ = new QLineEdit(Number(settings_.BlockLength), this);
  start_ = new QLineEdit(
      QStringLiteral("#%1").arg(settings_.BlockStart, 4, 16, QLatin1Char('0')).toUpper(), this);
  wrap_ = new QCheckBox(QStringLiteral("&Wrap Around"), this);
  preserveRom_ = new QCheckBox(QStringLiteral("&Preserve ROM Area"), this);
  preserveRom_->setChecked(settings_.RomPreserve);
  wrap_->setChecked(settings_.WrapAround);
  fileHint_ = new QLabel(this);
  form->addRow(QStringLiteral("Location:"), location);
  form->addRow(fileHint_);
  form->addRow(all_);
  form->addRow(QStringLiteral("From:"), from_);
  form->addRow(QStringLiteral("To:"), to_);
  form->addRow(QStringLiteral("Length:"), length_);
  form->addRow(QStringLiteral("Start:"), start_);
  form->addRow(wrap_);
  form->addRow(preserveRom_);
  layout->addLayout(form);
  status_ = new QLabel(this);
  layout->addWidget(status_);
  load_ = new QPushButton(QStringLiteral("&Load"), this);
  layout->addWidget(load_);

  connect(browse, &QPushButton::clicked, this, [this] {
    const QString from = file_->text().trimmed().isEmpty()
                             ? QString::fromStdString(settings_.File.DefaultDir)
                             : file_->text();
    const QString name =
        QFileDialog::getOpenFileName(this, QStringLiteral("Select Binary File"), from,
                                     QStringLiteral("Binary File (*.Bin *.bin);;Any File (*)"));
    if (!name.isEmpty()) file_->setText(name);
  });
  for (QLineEdit* edit : {file_, from_, to_, start_}) {
    connect(edit, &QLineEdit::textChanged, this, [this] { Validate(false); });
  }
  connect(length_, &QLineEdit::textEdited, this, [this] { Validate(true); });
  for (QCheckBox* box : {all_, wrap_}) {
    connect(box, &QCheckBox::toggled, this, [this] { Validate(false); });
  }
  connect(load_, &QPushButton::clicked, this, [this] {
    if (LoadBlock()) accept();
  });
  Validate(false);
}

void TLoadMemoryBlockF::Validate(bool lengthTyped) {
  if (updating_) return;
  const Z80Registers& regs = machine_.State.Regs;
  for (QLineEdit* edit : {from_, to_, length_}) edit->setEnabled(!all_->isChecked());
  const BlockFileProbe probe = ProbeBlockFile(file_->text().trimmed().toStdString());
  fileHint_->setText(probe.Missing ? QStringLiteral("Selected file not found!") : QString());
  const std::optional<uint64_t>& size = probe.Size;
  LoadBlockFields fields{all_->isChecked(),         BlockField(from_, regs),  BlockField(to_, regs),
                         BlockField(length_, regs), BlockField(start_, regs), wrap_->isChecked()};
  const QString message =
      QString::fromStdString(size ? ValidateLoadBlock(fields, size, lengthTyped) : probe.Message);
  // The derived fields are rewritten without counting as typed.
  updating_ = true;
  const auto show = [](QLineEdit* edit, const std::optional<int64_t>& value) {
    if (value && edit->text() != QString::number(*value)) edit->setText(QString::number(*value));
  };
  if (size) {
    if (all_->isChecked()) {
      show(from_, fields.From);
      show(to_, fields.To);
    }
    if (lengthTyped) show(to_, fields.To);
    if (!lengthTyped) show(length_, fields.Length);
  }
  updating_ = false;
  status_->setText(message);
  load_->setEnabled(message.isEmpty());
}

bool TLoadMemoryBlockF::LoadBlock() {
  const Z80Registers& regs = machine_.State.Regs;
  BlockLoad load;
  load.From = static_cast<uint64_t>(BlockField(from_, regs).value_or(0));
  load.Length = static_cast<uint32_t>(BlockField(length_, regs).value_or(0));
  load.Start = static_cast<uint16_t>(BlockField(start_, regs).value_or(0));
  load.PreserveRom = preserveRom_->isChecked();
  auto bytes = ReadMemoryBlock(file_->text().trimmed().toStdString(), load);
  if (!bytes) {
    QMessageBox::critical(this, QStringLiteral(" Error!"),
                          QStringLiteral("Can't load memory block from binary file."));
    return false;
  }
  // The file is read here; the bytes reach a running machine between two of its steps.
  Machine& machine = machine_;
  machine.Apply(
      [&machine, load, bytes = std::move(*bytes)] { StoreMemoryBlock(machine.Mem, load, bytes); });
  return true;
}

void TLoadMemoryBlockF::done(int result) {
  const Z80Registers& regs = machine_.State.Regs;
  // A field left empty or mistyped keeps the value stored before.
  const auto keep = [&](const QLineEdit* edit, int32_t& value, int64_t min, int64_t max) {
    const std::optional<int64_t> typed = BlockField(edit, regs);
    if (typed && *typed >= min && *typed <= max) value = static_cast<int32_t>(*typed);
  };
  RememberBlockFile(settings_.File, file_->text());
  settings_.AllFile = all_->isChecked();
  settings_.RomPreserve = preserveRom_->isChecked();
  settings_.WrapAround = wrap_->isChecked();
  keep(from_, settings_.FromPosition, 0, INT32_MAX);
  keep(to_, settings_.ToPosition, 0, INT32_MAX);
  keep(length_, settings_.BlockLength, 1, 0x10000);
  keep(start_, settings_.BlockStart, 0, 0xFFFF);
  SaveLoadMemoryBlockSettings(store_, settings_);
  QDialog::done(result);
}

}  // namespace vantrel
