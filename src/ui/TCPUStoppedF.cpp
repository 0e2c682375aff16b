#include "ui/TCPUStoppedF.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Settings.h"

namespace vantrel {

TCPUStoppedF::TCPUStoppedF(SettingsStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  setWindowTitle(QStringLiteral("Warning!"));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(
      QStringLiteral("CPU stopped! Interrupts disabled and HALT instruction encountered."), this));
  auto* buttons = new QHBoxLayout;
  const struct {
    const char* text;
    Answer answer;
  } choices[] = {{"&Debugger", kDebugger}, {"&Reset", kReset}, {"Re&animate", kReanimate}};
  for (const auto& choice : choices) {
    auto* button = new QPushButton(QString::fromLatin1(choice.text), this);
    const Answer answer = choice.answer;
    connect(button, &QPushButton::clicked, this, [this, answer] { done(answer); });
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
  dontShow_ = new QCheckBox(QStringLiteral("Do&n't show this message again"), this);
  dontShow_->setChecked(LoadEnvironmentSettings(store_).DisableStoppedCpu);
  layout->addWidget(dontShow_);
}

TCPUStoppedF::~TCPUStoppedF() {
  EnvironmentSettings settings = LoadEnvironmentSettings(store_);
  settings.DisableStoppedCpu = dontShow_->isChecked();
  SaveEnvironmentSettings(store_, settings);
}

bool TCPUStoppedF::DontShowAgain() const {
  return dontShow_->isChecked();
}

}  // namespace vantrel
