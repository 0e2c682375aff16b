#pragma once

#include <QDialog>

class QCheckBox;

namespace vantrel {

class SettingsStore;

// Shown while the machine runs on a HALT with interrupts disabled: the processor can
// never leave it, so the user chooses how to go on.
class TCPUStoppedF : public QDialog {
  Q_OBJECT
 public:
  enum Answer { kDebugger = 1, kReset = 2, kReanimate = 3 };

  explicit TCPUStoppedF(SettingsStore& store, QWidget* parent = nullptr);
  ~TCPUStoppedF() override;
  // "Don't show this message again", as last saved.
  bool DontShowAgain() const;

 private:
  SettingsStore& store_;
  QCheckBox* dontShow_;
};

}  // namespace vantrel
