#pragma once

#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

namespace vantrel {

// The "VantrelMutex" lock that keeps a second copy of the program from running: a lock
// file, "VantrelMutex.lock", in the user's runtime directory (the temporary directory when
// there is none). The lock is held from a successful Acquire until the object dies. A lock
// left behind by a copy that crashed is taken over, since its process no longer exists.
// Create it after the QCoreApplication: the lock records the program's name, which is how
// another copy tells a live owner from a reused process id.
class SingleInstance {
 public:
  SingleInstance();
  // The lock file in `directory` instead, for tests.
  explicit SingleInstance(const QString& directory);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this object now holds the lock, false when another holder has it (another
  // copy of the program, or another object of this process). When the lock file cannot be
  // written at all, the failure is logged and the result is true without holding anything:
  // a program that silently never starts would be worse than two copies.
  bool Acquire();
  // Whether this object holds the lock.
  bool Held() const { return held_; }
  const QString& LockFilePath() const { return path_; }

  // The holder listens on a local socket beside the lock ("VantrelMutex.socket") and
  // calls `received` on the window thread with each file another copy hands over (empty
  // when that copy was started without one). False when the socket cannot be set up.
  bool Listen(std::function<void(const QString& fileName)> received);
  // From a copy that did not get the lock: gives `fileName` (absolute, or empty) to the
  // running copy. False when no copy answered within `timeoutMs`.
  bool HandOver(const QString& fileName, int timeoutMs = 3000) const;
  QString SocketPath() const;

  // The longest message accepted, so a stray client cannot make the holder buffer
  // without end.
  static constexpr qint64 kMaxMessageBytes = 64 * 1024;

 private:
  QString path_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer* server_ = nullptr;
  bool held_ = false;
};

}  // namespace vantrel
