#include "desktop/server_records.h"

#include <QPainter>
#include <QPixmap>

namespace corvane::desktop {
namespace {

QIcon Dot(const QColor& color) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(color.darker(150));
  painter.setBrush(color);
  painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
  return QIcon(pixmap);
}

}  // namespace

ServerRecord* ServerRecords::Find(std::uint32_t id) {
  const auto found = records_.find(id);
  return found == records_.end() ? nullptr : &found->second;
}

const ServerRecord* ServerRecords::Find(std::uint32_t id) const {
  const auto found = records_.find(id);
  return found == records_.end() ? nullptr : &found->second;
}

QString StateWords(const ServerRecord& record) {
  switch (record.state) {
    case ServerState::kRunning:
      return record.changed ? "running; changed; restart to apply" : "running";
    case ServerState::kStopped:
      return "stopped";
    case ServerState::kFailed:
      return record.last_error.message.empty()
                 ? "failed to start"
                 : "failed: " + QString::fromStdString(record.last_error.message);
  }
  return {};
}

QIcon StateIcon(ServerState state) {
  static const QIcon kRunning = Dot(QColor(0x2e, 0xa0, 0x43));
  static const QIcon kStopped = Dot(QColor(0xb0, 0xb0, 0xb0));
  static const QIcon kFailed = Dot(QColor(0xd0, 0x30, 0x30));
  return state == ServerState::kRunning   ? kRunning
         : state == ServerState::kStopped ? kStopped
                                          : kFailed;
}

QString Remedy(const ErrorRow& error, const std::string& program_path) {
  if (!error.unbound_port || *error.unbound_port >= 1024) return {};
  return QString(
             "Ports below 1024 need the CAP_NET_BIND_SERVICE capability (sudo setcap "
             "cap_net_bind_service=ep %1), or use a port of 1024 or above.")
      .arg(QString::fromStdString(program_path));
}

}  // namespace corvane::desktop
