// Engine events into the log histories, the Logs page, the proxy list's states and the status bar,
// and the service actions (the service's Start gives back the proxy servers it could not replace).
#include <QCheckBox>

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

QString ProxyServers(std::size_t count) {
  return count == 1 ? QString("1 proxy server") : QString("%1 proxy servers").arg(count);
}

}  // namespace

QString TFormMain::ErrorStatus(const QString& name, const ErrorRow& error) const {
  const QString remedy = Remedy(error, deps_.program_path);
  return name + ": " + QString::fromStdString(error.message) +
         (remedy.isEmpty() ? QString() : ". " + remedy);
}

QString TFormMain::StateToolTip(std::uint32_t id) const {
  const ServerRecord* record = records_.Find(id);
  const QTreeWidgetItem* item = ItemOf(id);
  if (record == nullptr || item == nullptr) return {};
  QStringList lines{item->text(0), StateWords(*record)};
  if (!record->counters.isEmpty()) lines << record->counters;
  if (record->state == ServerState::kFailed) {
    const QString remedy = Remedy(record->last_error, deps_.program_path);
    if (!remedy.isEmpty()) lines << remedy;
  }
  return lines.join('\n');
}

void TFormMain::ShowServerState(std::uint32_t id, ServerState state) {
  ServerRecord* record = records_.Find(id);
  if (record == nullptr) return;
  record->state = state;
  record->counters = CountersLine(id);
  if (state != ServerState::kRunning) {
    record->started_with.reset();
    record->changed = false;
  }
  if (id == selected_id_) pages_->settings()->ShowChanged(record->changed);
  QTreeWidgetItem* item = ItemOf(id);
  if (item == nullptr) return;
  item->setIcon(0, StateIcon(state));
  const QString words = StateWords(*record);
  item->setData(0, Qt::UserRole + 1, static_cast<int>(state));
  item->setData(0, kStateWordsRole, words);
  item->setData(0, Qt::AccessibleTextRole, item->text(0) + ", " + words);
  item->setToolTip(0, StateToolTip(id));
}

void TFormMain::ServerStarted(std::uint32_t id) {
  // The thread takes its copy of the settings now: what it runs with, until it is started again.
  const ProxyServerSettings* settings = table_.Find(id);
  if (ServerRecord* record = records_.Find(id); record != nullptr && settings != nullptr) {
    record->started_with = *settings;
    record->changed = false;
  }
  ShowServerState(id, ServerState::kRunning);
  if (id == selected_id_) ShowServerRunning(true);
}

void TFormMain::ServerStopped(std::uint32_t id) {
  threads_.Stop(id);
  if (id == selected_id_) ShowServerRunning(false);
  ShowServerState(id, ServerState::kFailed);
  const ProxyServerSettings* settings = table_.Find(id);
  const ServerRecord* record = records_.Find(id);
  if (settings == nullptr || record == nullptr) return;
  const QString name = QString::fromStdString(settings->ServerName);
  ShowStatus(this, record->last_error.message.empty()
                       ? name + ": the proxy server stopped after a failed start."
                       : ErrorStatus(name, record->last_error));
}

void TFormMain::RecordError(const EngineReport& report) {
  AddErrorRow(report.Id, ErrorRow::From(report, LocalNow()));
}

void TFormMain::AddErrorRow(std::uint32_t id, ErrorRow row) {
  ServerRecord* record = records_.Find(id);
  if (record == nullptr) return;
  record->history.AddError(std::move(row));
  const ErrorRow& added = record->history.errors().back();
  if (const ProxyServerSettings* settings = table_.Find(id)) {
    record->last_error = added;
    ShowStatus(this, ErrorStatus(QString::fromStdString(settings->ServerName), added));
  }
  if (id == selected_id_) pages_->logs()->AddError(added);
}

void TFormMain::RecordPacket(const EngineReport& report) {
  ServerRecord* record = records_.Find(report.Id);
  if (record == nullptr) return;
  const PacketRow row = PacketRow::From(report, LocalNow());
  if (report.ReportReceived) {
    if (report.ReportIgnored) NoteIgnoredPacket(report);
    record->history.AddReceived(row);
    if (report.Id == selected_id_) pages_->logs()->AddReceived(row);
  } else {
    record->history.AddSent(row);
    if (report.Id == selected_id_) pages_->logs()->AddSent(row);
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
  ServerRecord* record = records_.Find(report.Id);
  if (record == nullptr || !record->noted_ignores.insert(report.ReportIgnoreReason).second) return;
  const ProxyServerSettings* settings = table_.Find(report.Id);
  const auto* box = pages_->sender()->findChild<QCheckBox*>(box_name);
  if (settings == nullptr || box == nullptr) return;
  const std::string_view why = IgnoreReasonText(report.ReportIgnoreReason);
  ShowStatus(this, QString("%1: a magic packet from %2 was ignored because %3. To receive such "
                           "packets, untick \"%4\" on the page \"Filters by sender\".")
                       .arg(QString::fromStdString(settings->ServerName),
                            QString::fromStdString(AddressToString(report.ReportAddress)),
                            QString::fromUtf8(why.data(), static_cast<qsizetype>(why.size())),
                            box->text()));
}

void TFormMain::BeginRecording() { pages_->logs()->BeginBatch(); }

void TFormMain::EndRecording() { pages_->logs()->EndBatch(); }

void TFormMain::ServiceAction(const std::function<void()>& prepare, ServiceRunner::Action action,
                              std::function<std::string(const ServiceOutcome&)> finish) {
  if (!form_ready_ || service_runner_->busy()) return;
  prepare();
  ShowStatus(this, "Waiting for the service manager...");
  // The window's parts of the action ran just now, on this thread; Install and Apply then wait on
  // the runner's thread, beside the window, for the profile they copy to be written.
  ServiceControl control{*deps_.service_manager,
                         *deps_.files,
                         deps_.service_paths,
                         [saving = saving_.get()] { saving->WaitUntilWritten(); },
                         [] {},
                         deps_.sleep};
  service_runner_->Run(std::move(control), std::move(action),
                       [this, finish = std::move(finish)](const ServiceOutcome& outcome) {
                         const QString text =
                             QString::fromStdString(finish ? finish(outcome) : outcome.message);
                         ShowStatus(this, QString(text).replace("\r\n", " "));
                         if (!text.isEmpty()) MessageBoxes::Information(this, "Information", text);
                       });
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

std::string TFormMain::AfterServiceStart(const ServiceOutcome& outcome) {
  const auto stopped = std::move(stopped_for_service_);
  stopped_for_service_.clear();
  const std::string& result = outcome.message;
  if (stopped.empty()) return result;
  if (outcome.succeeded || QueryServiceRunning(*deps_.service_manager)) {
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
