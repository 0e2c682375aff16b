#pragma once

#include <QObject>

class QSocketNotifier;

namespace vantrel {

// SIGINT, SIGTERM and SIGHUP (Ctrl+C, logout, systemctl stop) become the Qt signal
// Requested on the window thread, so the program ends as Exit ends it: machine stopped,
// settings written. The handler only writes a byte to a socket pair, which is all a
// signal handler may safely do; a notifier on the other end wakes the event loop.
// One object per process; a second one leaves the signals to the first.
class QuitSignals : public QObject {
  Q_OBJECT
 public:
  explicit QuitSignals(QObject* parent = nullptr);
  ~QuitSignals() override;
  bool Installed() const { return notifier_ != nullptr; }

 Q_SIGNALS:
  void Requested(int signalNumber);

 private:
  void Drain();

  int fds_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vantrel
