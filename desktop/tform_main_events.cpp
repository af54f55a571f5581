// Engine events into the log histories, the Logs page, the proxy list's state icons and the status
// bar, and the service buttons.
#include <QApplication>
#include <QPainter>
#include <QRegularExpression>

#include "desktop/logs_page.h"
#include "desktop/message_box.h"
#include "desktop/program_tabs.h"
#include "desktop/tform_main.h"
#include "desktop/widgets.h"

namespace corvane::desktop {
namespace {

QIcon StateIcon(const QColor& color) {
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

QString TFormMain::ErrorStatus(const QString& name, const QString& error) const {
  QString text = name + ": " + error;
  const QRegularExpressionMatch bind = QRegularExpression("^Can not bind (\\d+) port").match(error);
  if (bind.hasMatch() && bind.captured(1).toInt() < 1024) {
    text += QString(
                ". Ports below 1024 need the CAP_NET_BIND_SERVICE capability (sudo setcap "
                "cap_net_bind_service=ep %1), or use a port of 1024 or above.")
                .arg(QString::fromStdString(deps_.program_path));
  }
  return text;
}

void TFormMain::ShowServerState(std::uint32_t id, ServerState state) {
  const auto found = statuses_.find(id);
  if (found == statuses_.end()) return;
  ServerStatus& status = found->second;
  status.state = state;
  QTreeWidgetItem* item = ItemOf(id);
  if (item == nullptr) return;
  static const QIcon kRunning = StateIcon(QColor(0x2e, 0xa0, 0x43));
  static const QIcon kStopped = StateIcon(QColor(0xb0, 0xb0, 0xb0));
  static const QIcon kFailed = StateIcon(QColor(0xd0, 0x30, 0x30));
  QString words;
  switch (state) {
    case ServerState::kRunning:
      item->setIcon(0, kRunning);
      words = "Running";
      break;
    case ServerState::kStopped:
      item->setIcon(0, kStopped);
      words = "Stopped";
      break;
    case ServerState::kFailed:
      item->setIcon(0, kFailed);
      words =
          status.last_error.isEmpty() ? "Failed to start" : "Failed to start: " + status.last_error;
      break;
  }
  item->setData(0, Qt::UserRole + 1, static_cast<int>(state));
  const QString counters = CountersLine(id);
  item->setToolTip(0, item->text(0) + "\n" + words + (counters.isEmpty() ? "" : "\n" + counters));
}

void TFormMain::ServerStarted(std::uint32_t id) {
  ShowServerState(id, ServerState::kRunning);
  if (id == selected_id_) ShowServerRunning(true);
}

void TFormMain::ServerStopped(std::uint32_t id) {
  threads_.Stop(id);
  if (id == selected_id_) ShowServerRunning(false);
  ShowServerState(id, ServerState::kFailed);
  const ProxyServerSettings* record = table_.Find(id);
  const auto status = statuses_.find(id);
  if (record == nullptr || status == statuses_.end()) return;
  const QString name = QString::fromStdString(record->ServerName);
  ShowStatus(this, status->second.last_error.isEmpty()
                       ? name + ": the proxy server stopped after a failed start."
                       : ErrorStatus(name, status->second.last_error));
}

void TFormMain::RecordError(std::uint32_t id, const std::string& text) {
  const auto history = histories_.find(id);
  if (history == histories_.end()) return;
  const ErrorRow row{LocalNow(), text};
  history->second->AddError(row);
  if (const ProxyServerSettings* record = table_.Find(id)) {
    const QString error = QString::fromStdString(history->second->errors().back().message);
    statuses_[id].last_error = error;
    ShowStatus(this, ErrorStatus(QString::fromStdString(record->ServerName), error));
  }
  if (id == selected_id_) logs_page_->AddError(history->second->errors().back());
}

void TFormMain::RecordPacket(const EngineReport& report) {
  const auto history = histories_.find(report.Id);
  if (history == histories_.end()) return;
  const PacketRow row = PacketRow::From(report, LocalNow());
  if (report.ReportReceived) {
    history->second->AddReceived(row);
    if (report.Id == selected_id_) logs_page_->AddReceived(row);
  } else {
    history->second->AddSent(row);
    if (report.Id == selected_id_) logs_page_->AddSent(row);
  }
}

void TFormMain::BeginRecording() { logs_page_->BeginBatch(); }

void TFormMain::EndRecording() { logs_page_->EndBatch(); }

ServiceControl TFormMain::MakeServiceControl() {
  // The window's parts of the actions ran before on the window thread (ServiceAction).
  return ServiceControl{
      *deps_.service_manager, *deps_.files, deps_.service_paths, [] {}, [] {}, deps_.sleep};
}

void TFormMain::ServiceAction(const std::function<void()>& prepare,
                              std::function<std::string(ServiceControl&)> action) {
  if (!form_ready_ || service_busy_) return;
  prepare();
  if (service_worker_.joinable()) service_worker_.join();  // ended: its result was shown
  service_busy_ = true;
  service_tab_->setEnabled(false);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  ShowStatus(this, "Waiting for the service manager...");
  service_worker_ =
      std::thread([this, control = MakeServiceControl(), action = std::move(action)]() mutable {
        const std::string result = action(control);
        // Queued to the window; dropped if the window is being destroyed (it joins this thread).
        QMetaObject::invokeMethod(
            this, [this, result] { ServiceActionDone(result); }, Qt::QueuedConnection);
      });
}

void TFormMain::ServiceActionDone(const std::string& result) {
  service_busy_ = false;
  QApplication::restoreOverrideCursor();
  service_tab_->setEnabled(true);
  const QString text = QString::fromStdString(result);
  ShowStatus(this, QString(text).replace("\r\n", " "));
  if (!result.empty()) MessageBoxes::Information(this, "Information", text);
}

}  // namespace corvane::desktop
