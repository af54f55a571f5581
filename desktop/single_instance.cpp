#include "desktop/single_instance.h"

#include <unistd.h>

#include <QLocalSocket>

namespace corvane::desktop {

std::string SingleInstanceName() { return "CorvaneMutex-" + std::to_string(getuid()); }

SingleInstance::SingleInstance(std::string name, std::string program, std::function<void()> restore)
    : name_(std::move(name)), program_(std::move(program)), restore_(std::move(restore)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::AskRunningInstance() const {
  QLocalSocket socket;
  socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(QString::fromStdString(name_));
  if (!socket.waitForConnected(1000)) return false;
  socket.write(QByteArray::fromStdString(program_ + "\n"));
  socket.waitForBytesWritten(1000);
  socket.disconnectFromServer();
  return true;
}

bool SingleInstance::Claim() {
  // A name in the abstract namespace: taken and freed with the socket itself, so claiming it is
  // one atomic step and an instance that crashed leaves nothing behind.
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::AbstractNamespaceOption);
  if (!server_->listen(QString::fromStdString(name_))) {
    server_.reset();
    return !AskRunningInstance();
  }
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
      QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
        if (!client->canReadLine()) return;
        const QByteArray line = client->readLine().trimmed();
        if (line.toStdString() == program_) restore_();
        client->disconnectFromServer();
      });
    }
  });
  return true;
}

}  // namespace corvane::desktop
