#include "platform/QuitSignals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace vantrel {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The handler's only way to the object: a plain descriptor, set once before the handlers.
std::atomic<int> writeEnd{-1};

void OnSignal(int number) {
  const int saved = errno;
  const int fd = writeEnd.load(std::memory_order_relaxed);
  const unsigned char byte = static_cast<unsigned char>(number);
  if (fd >= 0 && ::write(fd, &byte, 1) < 0) {
    // Full or closed: the program is already on its way out.
  }
  // A second signal while the program is closing (a stuck shutdown) ends it at once.
  ::signal(number, SIG_DFL);
  errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
  if (writeEnd.load() >= 0) return;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0) {
    qWarning("Cannot create the signal socket pair; signals end the program at once");
    return;
  }
  // A burst of signals must never block the handler.
  ::fcntl(fds_[0], F_SETFL, O_NONBLOCK);
  ::fcntl(fds_[1], F_SETFL, O_NONBLOCK);
  writeEnd.store(fds_[1]);
  notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::Drain);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int number : kSignals) ::sigaction(number, &action, nullptr);
}

QuitSignals::~QuitSignals() {
  if (notifier_ == nullptr) return;
  for (const int number : kSignals) ::signal(number, SIG_DFL);
  writeEnd.store(-1);
  ::close(fds_[0]);
  ::close(fds_[1]);
}

void QuitSignals::Drain() {
  unsigned char bytes[16];
  ssize_t count;
  int last = 0;
  while ((count = ::read(fds_[0], bytes, sizeof bytes)) > 0) last = bytes[count - 1];
  if (last != 0) Q_EMIT Requested(last);
}

}  // namespace vantrel
