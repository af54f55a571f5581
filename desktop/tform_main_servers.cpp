// The proxy list, moving settings between the pages and the records, and starting and stopping.
#include <QCoreApplication>
#include <QTimer>
#include <QVariant>

#include "desktop/action_pages.h"
#include "desktop/filter_pages.h"
#include "desktop/logs_page.h"
#include "desktop/message_box.h"
#include "desktop/settings_page.h"
#include "desktop/tform_main.h"
#include "desktop/widgets.h"

namespace corvane::desktop {
namespace {

std::uint32_t IdOf(const QTreeWidgetItem* item) {
  return item == nullptr ? 0 : item->data(0, Qt::UserRole).toUInt();
}

}  // namespace

QTreeWidgetItem* TFormMain::ItemOf(std::uint32_t id) const {
  for (int i = 0; i < servers_->topLevelItemCount(); ++i) {
    if (IdOf(servers_->topLevelItem(i)) == id) return servers_->topLevelItem(i);
  }
  return nullptr;
}

void TFormMain::SelectItem(QTreeWidgetItem* item) {
  servers_->setCurrentItem(item);
  item->setSelected(true);
}

void TFormMain::AddListItem(const ProxyServerSettings& settings) {
  records_.Add(settings.Id);
  auto* item = new SortedItem(servers_, {QString::fromStdString(settings.ServerName)});
  item->setData(0, Qt::UserRole, settings.Id);
  ShowServerState(settings.Id, ServerState::kStopped);  // the tooltip also shows a long name
}

bool TFormMain::InsertServer(ProxyServerSettings record) {
  const std::uint32_t id = table_.Register(std::move(record));
  if (id == 0) return false;
  AddListItem(*table_.Find(id));
  return true;
}

bool TFormMain::AddServer(std::string_view name) {
  std::optional<ProxyServerSettings> record = NewProxyServerSettings(name);
  if (!record || !InsertServer(std::move(*record))) return false;
  SelectItem(ItemOf(table_.last_id()));
  return true;
}

bool TFormMain::DeleteServer(std::uint32_t id) {
  QTreeWidgetItem* item = ItemOf(id);
  if (table_.Find(id) == nullptr) return false;
  threads_.Stop(id);  // without waiting
  table_.Remove(id);
  records_.Erase(id);
  if (item == nullptr) return true;
  QTreeWidgetItem* neighbour = servers_->itemAbove(item);
  if (neighbour == nullptr) neighbour = servers_->itemBelow(item);
  DeleteQuietly(servers_, item);
  if (neighbour != nullptr) SelectItem(neighbour);
  return true;
}

bool TFormMain::DeleteAllServers() {
  threads_.StopAll();  // without waiting
  table_.FreeAll();
  records_.Clear();
  servers_->clearSelection();
  servers_->clear();
  return true;
}

bool TFormMain::StopAllServers() {
  threads_.StopAll();
  for (std::size_t i = 0; i < table_.size(); ++i) {
    ShowServerState(table_[i].Id, ServerState::kStopped);
  }
  ShowServerRunning(false);
  return true;
}

bool TFormMain::StoreServerPages(ProxyServerSettings* record) {
  if (record == nullptr) return false;
  const ProxyServerSettings before = *record;
  bool stored = true;
  try {
    QStringList notes;
    pages_->Store(*record, &notes);
    if (!notes.isEmpty()) ShowStatus(this, notes.join(' '));
  } catch (...) {
    stored = false;  // the fields written so far stay
  }
  if (*record != before) saving_->Schedule(true);
  return stored;
}

void TFormMain::WatchPageEdits() {
  change_check_ = new QTimer(this);
  change_check_->setSingleShot(true);
  change_check_->setInterval(50);  // one check for a burst of edits, such as a page being loaded
  connect(change_check_, &QTimer::timeout, this, &TFormMain::CheckForChanges);
  // An edited list reaches its record when the pages are stored, which the save does; a list
  // that was only filled from its record stores back the same, and then nothing is written.
  pages_->WatchEdits([this] { change_check_->start(); },
                     [this] {
                       change_check_->start();
                       saving_->Schedule(false);
                     });
}

void TFormMain::CheckForChanges() {
  // Name and the two start-up flags take effect without a restart.
  const auto differs = [](ProxyServerSettings now, const ProxyServerSettings& started) {
    now.ServerName = started.ServerName;
    now.ServerAutoStart = started.ServerAutoStart;
    now.ServerAutoStartOnService = started.ServerAutoStartOnService;
    return !(now == started);
  };
  for (auto& [id, record] : records_) {
    const ProxyServerSettings* settings = table_.Find(id);
    if (!record.started_with || settings == nullptr) continue;
    ProxyServerSettings now = *settings;
    if (id == selected_id_) pages_->Store(now, nullptr);
    const bool changed = differs(std::move(now), *record.started_with);
    if (changed == record.changed) continue;
    record.changed = changed;
    ShowServerState(id, record.state);
  }
}

bool TFormMain::LoadServerPages(ProxyServerSettings* record) {
  if (record == nullptr) return false;
  const ProxyServerSettings& s = *record;
  const QString name = QString::fromStdString(s.ServerName);
  title_->ShowText(name);
  server_name_->setText(name);
  ShowServerRunning(threads_.Running(s.Id));
  const ServerRecord* server = records_.Find(s.Id);
  pages_->settings()->ShowChanged(server != nullptr && server->changed);
  pages_->Load(s);
  if (server != nullptr) pages_->logs()->Refill(server->history);
  return true;
}

void TFormMain::ListViewServersSelectItem(QTreeWidgetItem* item, bool selected) {
  if (!selected) return;  // the pages keep editing the record of selected_id_
  StoreServerPages(table_.Find(selected_id_));
  ProxyServerSettings* record = table_.Find(IdOf(item));
  if (record == nullptr) return;
  LoadServerPages(record);
  selected_id_ = record->Id;
  change_check_->start();  // the record shown before may now differ from what it runs with
}

void TFormMain::ButtonAddServerClick() {
  const std::string name = server_name_->text().toStdString();
  if (name.empty()) {
    ShowStatus(this, "Not added: the proxy server name is empty.");
  } else if (!AddServer(name)) {
    ShowStatus(this, QString("Not added: there are already %1 proxy servers.")
                         .arg(static_cast<qulonglong>(ProxyServerTable::kCapacity)));
  } else {
    saving_->Schedule(true);
  }
}

void TFormMain::ButtonRenameServerClick() {
  const std::string name = CutText(server_name_->text().toStdString());
  ProxyServerSettings* record = table_.Find(selected_id_);
  if (name.empty()) ShowStatus(this, "Not renamed: the proxy server name is empty.");
  if (name.empty() || record == nullptr) return;
  table_.Rename(record->Id, name);
  const QString caption = QString::fromStdString(name);
  if (QTreeWidgetItem* item = ItemOf(selected_id_)) {
    item->setText(0, caption);
    if (const ServerRecord* server = records_.Find(selected_id_)) {
      ShowServerState(selected_id_, server->state);
    }
    servers_->sortItems(0, Qt::AscendingOrder);
  }
  title_->ShowText(caption);
  saving_->Schedule(true);
}

void TFormMain::ButtonDeleteServerClick() {
  if (table_.size() > 1) {
    DeleteServer(selected_id_);
    saving_->Schedule(true);
  } else {
    ShowStatus(this, "Not deleted: the last proxy server stays.");
  }
}

void TFormMain::EndThread(std::uint32_t id) {
  const std::shared_ptr<WolServerThread> thread = threads_.Stop(id);
  ShowServerState(id, ServerState::kStopped);
  if (thread != nullptr) WaitForPorts(*thread);
}

void TFormMain::WaitForPorts(WolServerThread& thread) {
  // Its ports are free as soon as its sockets are closed, within microseconds of the request;
  // the rest of its end needs this thread, so that is not waited for. At most a second. An engine
  // thread that was just reporting waits for this thread meanwhile: its calls (queued on the
  // application object) are run here, so it never waits for a thread that waits for it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
  while (!thread.WaitUntilSocketsClosed(std::chrono::milliseconds(2)) &&
         std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
  }
}

void TFormMain::ButtonStartServerClick() {
  if (QueryServiceRunning(*deps_.service_manager)) {
    MessageBoxes::Information(this, "Information",
                              "You can not start a new proxy server when the service is "
                              "running.\r\nYou need to stop the service and try again.");
    return;
  }
  ProxyServerSettings* record = table_.Find(selected_id_);
  if (record == nullptr || RefuseMalformedValues()) return;
  StoreServerPages(record);
  pages_->settings()->ShowNumbers(*record);  // the ports and the delay it starts with
  EndThread(record->Id);
  if (ServerRecord* server = records_.Find(record->Id)) server->last_error = {};
  threads_.Start(record->Id, engine_);
  // The buttons switch when the thread has taken its settings.
}

bool TFormMain::RefuseMalformedValues() {
  const std::optional<MalformedValue> malformed = pages_->default_actions()->Malformed();
  if (!malformed) return false;
  MessageBoxes::Information(this, "Information",
                            "The proxy server was not started: " + malformed->message);
  pages_->ShowField(malformed->edit);
  return true;
}

void TFormMain::ButtonStopServerClick() {
  if (table_.Find(selected_id_) != nullptr) EndThread(selected_id_);
  ShowServerRunning(false);
}

void TFormMain::ShowServerRunning(bool running) {
  pages_->settings()->start_button()->setEnabled(!running);
  pages_->settings()->stop_button()->setEnabled(running);
}

}  // namespace corvane::desktop
