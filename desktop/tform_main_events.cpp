// Engine events into the log histories, the Logs page, the proxy list's states and the status bar,
// and the service buttons (the service's Start gives back the proxy servers it could not replace).
#include <QApplication>
#include <QCheckBox>
#include <QPainter>
#include <QRegularExpression>

#include "desktop/filter_pages.h"
#include "desktop/logs_page.h"
#include "desktop/message_box.h"
#include "desktop/program_tabs.h"
#include "desktop/server_list.h"
#include "desktop/settings_page.h"
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

QString ProxyServers(std::size_t count) {
  return count == 1 ? QString("1 proxy server") : QString("%1 proxy servers").arg(count);
}

}  // namespace

QString TFormMain::Remedy(const QString& error) const {
  const QRegularExpressionMatch bind = QRegularExpression("^Can not bind (\\d+) port").match(error);
  if (!bind.hasMatch() || bind.captured(1).toInt() >= 1024) return {};
  return QString(
             "Ports below 1024 need the CAP_NET_BIND_SERVICE capability (sudo setcap "
             "cap_net_bind_service=ep %1), or use a port of 1024 or above.")
      .arg(QString::fromStdString(deps_.program_path));
}

QString TFormMain::ErrorStatus(const QString& name, const QString& error) const {
  const QString remedy = Remedy(error);
  return name + ": " + error + (remedy.isEmpty() ? QString() : ". " + remedy);
}

QString TFormMain::StateWords(const ServerStatus& status) const {
  switch (status.state) {
    case ServerState::kRunning:
      return status.changed ? "running; changed; restart to apply" : "running";
    case ServerState::kStopped:
      return "stopped";
    case ServerState::kFailed:
      return status.last_error.isEmpty() ? "failed to start" : "failed: " + status.last_error;
  }
  return {};
}

QString TFormMain::StateToolTip(std::uint32_t id) const {
  const auto found = statuses_.find(id);
  const QTreeWidgetItem* item = ItemOf(id);
  if (found == statuses_.end() || item == nullptr) return {};
  QStringList lines{item->text(0), StateWords(found->second)};
  if (const QString counters = CountersLine(id); !counters.isEmpty()) lines << counters;
  if (found->second.state == ServerState::kFailed) {
    const QString remedy = Remedy(found->second.last_error);
    if (!remedy.isEmpty()) lines << remedy;
  }
  return lines.join('\n');
}

void TFormMain::ShowServerState(std::uint32_t id, ServerState state) {
  const auto found = statuses_.find(id);
  if (found == statuses_.end()) return;
  ServerStatus& status = found->second;
  status.state = state;
  if (state != ServerState::kRunning) {
    status.started_with.reset();
    status.changed = false;
  }
  if (id == selected_id_) settings_page_->ShowChanged(status.changed);
  QTreeWidgetItem* item = ItemOf(id);
  if (item == nullptr) return;
  static const QIcon kRunning = StateIcon(QColor(0x2e, 0xa0, 0x43));
  static const QIcon kStopped = StateIcon(QColor(0xb0, 0xb0, 0xb0));
  static const QIcon kFailed = StateIcon(QColor(0xd0, 0x30, 0x30));
  item->setIcon(0, state == ServerState::kRunning   ? kRunning
                   : state == ServerState::kStopped ? kStopped
                                                    : kFailed);
  const QString words = StateWords(status);
  item->setData(0, Qt::UserRole + 1, static_cast<int>(state));
  item->setData(0, kStateWordsRole, words);
  item->setData(0, Qt::AccessibleTextRole, item->text(0) + ", " + words);
  item->setToolTip(0, StateToolTip(id));
}

void TFormMain::ServerStarted(std::uint32_t id) {
  // The thread takes its copy of the record now: what it runs with, until it is started again.
  if (const ProxyServerSettings* record = table_.Find(id); record != nullptr) {
    const auto status = statuses_.find(id);
    if (status != statuses_.end()) {
      status->second.started_with = *record;
      status->second.changed = false;
    }
  }
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
    if (report.ReportIgnored) NoteIgnoredPacket(report);
    history->second->AddReceived(row);
    if (report.Id == selected_id_) logs_page_->AddReceived(row);
  } else {
    history->second->AddSent(row);
    if (report.Id == selected_id_) logs_page_->AddSent(row);
  }
}

void TFormMain::NoteIgnoredPacket(const EngineReport& report) {
  const char* box_name = nullptr;
  switch (report.ReportIgnoreReason) {
    case IgnoreReason::kOwnAddress:
      box_name = "CheckBoxDontRecvFromYourIp";
      break;
    case IgnoreReason::kBroadcastArrival:
      box_name = "CheckBoxDontRecvFromBroadcastIp";
      break;
    default:
      return;  // the lists say what they filter; the storm guard has no switch
  }
  if (!noted_ignores_.insert({report.Id, report.ReportIgnoreReason}).second) return;
  const ProxyServerSettings* record = table_.Find(report.Id);
  const auto* box = sender_page_->findChild<QCheckBox*>(box_name);
  if (record == nullptr || box == nullptr) return;
  const std::string_view why = IgnoreReasonText(report.ReportIgnoreReason);
  ShowStatus(this, QString("%1: a magic packet from %2 was ignored because %3. To receive such "
                           "packets, untick \"%4\" on the page \"Filters by sender\".")
                       .arg(QString::fromStdString(record->ServerName),
                            QString::fromStdString(AddressToString(report.ReportAddress)),
                            QString::fromUtf8(why.data(), static_cast<qsizetype>(why.size())),
                            box->text()));
}

void TFormMain::BeginRecording() { logs_page_->BeginBatch(); }

void TFormMain::EndRecording() { logs_page_->EndBatch(); }

ServiceControl TFormMain::MakeServiceControl() {
  // The window's parts of the actions ran before on the window thread (ServiceAction); Install
  // and Apply then wait here, beside the window, for the profile they copy to be written.
  ProfileWriter* writer = writer_.get();
  return ServiceControl{*deps_.service_manager,
                        *deps_.files,
                        deps_.service_paths,
                        [writer] { writer->WaitUntilIdle(); },
                        [] {},
                        deps_.sleep};
}

void TFormMain::ServiceAction(const std::function<void()>& prepare,
                              std::function<std::string(ServiceControl&)> action,
                              std::function<std::string(const std::string&)> finish) {
  if (!form_ready_ || service_busy_) return;
  prepare();
  if (service_worker_.joinable()) service_worker_.join();  // ended: its result was shown
  service_busy_ = true;
  service_tab_->setEnabled(false);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  ShowStatus(this, "Waiting for the service manager...");
  service_worker_ = std::thread([this, control = MakeServiceControl(), action = std::move(action),
                                 finish = std::move(finish)]() mutable {
    const std::string result = action(control);
    // Queued to the window; dropped if the window is being destroyed (it joins this thread).
    QMetaObject::invokeMethod(
        this, [this, result, finish] { ServiceActionDone(finish ? finish(result) : result); },
        Qt::QueuedConnection);
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

void TFormMain::StopServersForService() {
  stopped_for_service_.clear();
  for (std::size_t i = 0; i < table_.size(); ++i) {
    if (std::shared_ptr<WolServerThread> thread = threads_.Thread(table_[i].Id)) {
      stopped_for_service_.emplace_back(table_[i].Id, std::move(thread));
    }
  }
  StopAllServers();
}

std::string TFormMain::AfterServiceStart(const std::string& result) {
  const auto stopped = std::move(stopped_for_service_);
  stopped_for_service_.clear();
  if (stopped.empty()) return result;
  if (result.rfind("Success: ", 0) == 0 || QueryServiceRunning(*deps_.service_manager)) {
    return result + "\r\n" +
           QString("%1 of this window %2 stopped.")
               .arg(ProxyServers(stopped.size()), stopped.size() == 1 ? "was" : "were")
               .toStdString();
  }
  // The service did not start: what ran here runs again, unless it was deleted or started anew.
  std::size_t started = 0;
  for (const auto& [id, thread] : stopped) {
    if (table_.Find(id) == nullptr || threads_.Running(id)) continue;
    WaitForPorts(*thread);
    if (threads_.Start(id, engine_)) ++started;
  }
  return result + "\r\n" +
         QString("%1 of this window that had been stopped for the service %2 started again.")
             .arg(ProxyServers(started), started == 1 ? "was" : "were")
             .toStdString();
}

}  // namespace corvane::desktop
