#include <QStatusBar>
#include <QTimer>

#include "ui/TDAsmF.h"
#include "ui/THistoryF.h"
#include "ui/TMainForm.h"

// Going back in time: the rewind captures while running, the step history while stopped.
namespace vantrel {

void TMainForm::RewindCommand() {
  // A held key repeats faster than the steps go: one step per 200 ms.
  constexpr qint64 kStepMs = 200;
  // Longer than the keyboard's delay before it repeats: the key is let go after that.
  constexpr int kReleaseMs = 600;
  if (!rewindRelease_) {
    rewindClock_.start();
    rewindRelease_ = new QTimer(this);
    rewindRelease_->setSingleShot(true);
    connect(rewindRelease_, &QTimer::timeout, this, [this] { RewindReleased(); });
  }
  rewindRelease_->start(kReleaseMs);
  const qint64 now = rewindClock_.elapsed();
  if (lastRewindStep_ >= 0 && now - lastRewindStep_ < kStepMs) return;
  lastRewindStep_ = now;
  TEmulThread& emulation = app_.Emulation();
  if (emulation.Alive()) {
    rewindResume_ = true;
    emulation.StopEmulation();
  }
  RewindBuffer& rewind = app_.Rewind();
  if (rewind.StepBack(app_.GetMachine())) {
    RefreshDebugViews();
    statusBar()->showMessage(QStringLiteral("Rewind: %1 s back").arg(rewind.Stepped()));
  } else {
    statusBar()->showMessage(rewind.Seconds() == 0 ? QStringLiteral("Rewind is off (Options)")
                                                   : QStringLiteral("Rewind: no older capture"));
  }
}

void TMainForm::RewindReleased() {
  lastRewindStep_ = -1;
  if (!rewindResume_) return;
  rewindResume_ = false;
  TEmulThread& emulation = app_.Emulation();
  StartRun([&emulation] { emulation.Run(); });
}

void TMainForm::StepBackCommand() {
  if (app_.Emulation().Alive()) return;  // the history is the running thread's
  StepHistory* history = app_.History();
  if (!history) {
    statusBar()->showMessage(QStringLiteral("No history is kept (Debug menu, Keep History)"));
    return;
  }
  const std::string failure = history->StepBack(app_.GetMachine());
  if (!failure.empty()) {
    statusBar()->showMessage(QString::fromStdString(failure));
    return;
  }
  RefreshDebugViews();
}

void TMainForm::GoBackInHistory(uint64_t step) {
  StepHistory* history = app_.History();
  if (app_.Emulation().Alive() || !history) return;
  const uint64_t back = history->Executed() - step;
  const std::string failure = history->GoBackTo(app_.GetMachine(), step);
  if (!failure.empty()) {
    statusBar()->showMessage(QString::fromStdString(failure));
    return;
  }
  statusBar()->showMessage(QStringLiteral("Back %1 instructions").arg(back));
  RefreshDebugViews();
}

void TMainForm::SetKeepHistory(bool keep) {
  app_.MainWindow().KeepHistory = keep;
  app_.SetKeepHistory(keep);
  Command(QStringLiteral("KeepHistoryMI"))->setChecked(keep);
  RefreshHistory();
}

void TMainForm::RefreshHistory() {
  if (!history_->isVisible()) return;
  const bool running = app_.Emulation().Alive();
  StepHistory* history = app_.History();
  if (history && !running) {
    const std::string failure = history->Complete(app_.GetMachine());
    if (!failure.empty()) statusBar()->showMessage(QString::fromStdString(failure));
  }
  history_->Refresh(history, running);
}

}  // namespace vantrel
