#include "platform/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
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

SingleInstance::~SingleInstance() {
  delete server_;  // removes the socket file before the lock goes
}

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

QString SingleInstance::SocketPath() const {
  QString path = path_;
  path.replace(QStringLiteral(".lock"), QStringLiteral(".socket"));
  return path;
}

bool SingleInstance::Listen(std::function<void(const QString& fileName)> received) {
  if (!held_ || server_ != nullptr) return server_ != nullptr;
  // The lock is ours, so a socket file left there belongs to a copy that died.
  QLocalServer::removeServer(SocketPath());
  auto server = std::make_unique<QLocalServer>();
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(SocketPath())) {
    qWarning("Cannot listen on %s: %s", qUtf8Printable(SocketPath()),
             qUtf8Printable(server->errorString()));
    return false;
  }
  server_ = server.release();
  QObject::connect(server_, &QLocalServer::newConnection, server_, [this, received] {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
      QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      // One line of UTF-8: the file name. Anything longer is dropped unread.
      QObject::connect(client, &QLocalSocket::readyRead, client, [client, received] {
        if (client->bytesAvailable() > kMaxMessageBytes) {
          client->abort();
          return;
        }
        if (!client->canReadLine()) return;
        const QString name = QString::fromUtf8(client->readLine()).chopped(1);
        client->disconnectFromServer();
        received(name);
      });
    }
  });
  return true;
}

bool SingleInstance::HandOver(const QString& fileName, int timeoutMs) const {
  QLocalSocket socket;
  socket.connectToServer(SocketPath());
  if (!socket.waitForConnected(timeoutMs)) return false;
  QByteArray message = fileName.toUtf8();
  message.replace('\n', ' ');  // a line break would end the name early
  message.append('\n');
  socket.write(message);
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  // The holder closes the connection once it has the line.
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
  return true;
}

}  // namespace vantrel
