#include "platform/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QtGlobal>

namespace vantrel {

namespace {

QString DefaultDirectory() {
  QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (directory.isEmpty()) directory = QDir::tempPath();
  return directory;
}

}  // namespace

SingleInstance::SingleInstance() : SingleInstance(DefaultDirectory()) {}

SingleInstance::SingleInstance(const QString& directory)
    : path_(QDir(directory).filePath(QStringLiteral("VantrelMutex.lock"))),
      lock_(std::make_unique<QLockFile>(path_)) {
  // A running copy may hold the lock for days; only a dead owner makes it stale, never age.
  lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;  // QLockFile unlocks (and deletes) when held

bool SingleInstance::Acquire() {
  if (held_) return true;
  QDir().mkpath(QFileInfo(path_).absolutePath());
  if (lock_->tryLock(0)) {
    held_ = true;
    return true;
  }
  if (lock_->error() == QLockFile::LockFailedError) return false;
  qWarning("Cannot create the single-instance lock %s (error %d); running without it",
           qUtf8Printable(path_), static_cast<int>(lock_->error()));
  return true;
}

}  // namespace vantrel
