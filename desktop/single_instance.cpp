#include "desktop/single_instance.h"

#include <QLocalSocket>
#include <QTimer>
#include <thread>

#include "config/profile_file.h"

namespace corvane::desktop {
namespace {

bool FromSameUser(const QLocalSocket& socket) {
  const std::optional<unsigned> peer = PeerUserId(static_cast<int>(socket.socketDescriptor()));
  return peer && *peer == OwnUserId();
}

}  // namespace

std::string SingleInstanceFolder() {
  const std::optional<std::string> profile = ProfilePath();  // makes ~/Corvane with mode 0700
  return PrivateRuntimeDirectory(profile ? profile->substr(0, profile->rfind('/')) : std::string());
}

SingleInstance::SingleInstance(std::string folder, std::string program,
                               std::function<void()> restore)
    : folder_(std::move(folder)), program_(std::move(program)), restore_(std::move(restore)) {}

SingleInstance::~SingleInstance() {
  // Before the lock goes, so that the next first instance never finds our socket listening.
  if (server_) server_->close();
}

void SingleInstance::AskRunningInstance() const {
  // The holder of the lock may not listen yet: it takes the lock first. Try for a short while.
  for (int attempt = 0; attempt < 20; ++attempt) {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(SocketPath()));
    if (socket.waitForConnected(1000)) {
      if (!FromSameUser(socket)) return;  // never hand our path to somebody else
      socket.write(QByteArray::fromStdString(program_ + "\n"));
      socket.waitForBytesWritten(1000);
      socket.disconnectFromServer();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

bool SingleInstance::Claim() {
  if (folder_.empty()) return true;
  switch (lock_.TryTake(folder_ + "/CorvaneMutex.lock")) {
    case ExclusiveFileLock::Result::kHeldElsewhere:
      AskRunningInstance();
      return false;
    case ExclusiveFileLock::Result::kFailed:
      return true;  // no claim can be had here: run on our own rather than not at all
    case ExclusiveFileLock::Result::kTaken:
      break;
  }
  // The lock is ours, so a socket file left there belongs to an instance that has ended.
  const QString path = QString::fromStdString(SocketPath());
  QLocalServer::removeServer(path);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  server_->setMaxPendingConnections(kMaxOpenRequests);
  if (!server_->listen(path)) {
    server_.reset();  // still the first instance; a later one will find nobody to ask
    return true;
  }
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] { Serve(); });
  return true;
}

void SingleInstance::Serve() {
  while (QLocalSocket* client = server_->nextPendingConnection()) {
    if (open_requests_ >= kMaxOpenRequests || !FromSameUser(*client)) {
      client->abort();
      client->deleteLater();
      continue;
    }
    ++open_requests_;
    QObject::connect(client, &QObject::destroyed, server_.get(), [this] { --open_requests_; });
    QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    client->setReadBufferSize(kMaxRequestBytes);
    QTimer::singleShot(kRequestTimeout, client, [client] {
      client->abort();
      client->deleteLater();
    });
    QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
      if (!client->canReadLine()) {
        if (client->bytesAvailable() >= kMaxRequestBytes) {
          client->abort();
          client->deleteLater();
        }
        return;
      }
      const QByteArray line = client->readLine(kMaxRequestBytes + 1);
      const bool asked = line.endsWith('\n') && line.chopped(1).toStdString() == program_;
      client->abort();
      client->deleteLater();
      if (asked) restore_();
    });
  }
}

}  // namespace corvane::desktop
