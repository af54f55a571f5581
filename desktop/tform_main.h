// TFormMain, the desktop program's only window: the proxy list beside the six settings pages of
// the selected proxy server, the program settings, the service page, and the life of the program
// around it (creation, tray, saving, log-off, destruction).
//
// The window thread owns the proxy server table, the log histories and every control. Engine
// threads reach them only through the EngineWindow, which runs their calls on this thread.
// The code is split by concern: this file's .cpp builds the window and runs its life;
// tform_main_servers.cpp holds the proxy list, the page transfer and start/stop;
// tform_main_events.cpp the engine events, the logs and the service buttons;
// tform_main_counters.cpp the selected proxy server's counters;
// tform_main_saving.cpp saving the profile as the settings change.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "config/proxy_server_table.h"
#include "desktop/engine_window.h"
#include "desktop/log_history.h"
#include "desktop/profile_writer.h"
#include "desktop/server_threads.h"
#include "service/service_control.h"

namespace corvane::desktop {

class ActionsByMacPage;
class DataFiltersPage;
class DefaultActionsPage;
class ElidedLabel;
class LogsPage;
class ProgramSettingsTab;
class SenderFiltersPage;
class ServiceTab;
class SettingsPage;

// What the window uses of the system, replaced in tests.
struct DesktopDependencies {
  ServiceManager* service_manager = nullptr;
  FileCopier* files = nullptr;
  ServicePaths service_paths;
  std::function<void(std::chrono::milliseconds)> sleep;  // fixed waits: copy retries, log-off
  std::string program_path;                              // for the autostart entry
  bool tray = true;                                      // show a tray icon where there is one
  // Whether the desktop has a tray now; asked again every `tray_poll` until it has one, so a tray
  // host that starts after the program (log-in autostart) still gets the icon.
  std::function<bool()> tray_available;
  std::chrono::milliseconds tray_poll{5000};
  std::function<bool()> network_ready;  // the network start-up
  // Writes a profile image, on the writer's thread; empty: the profile file.
  std::function<std::error_code(const std::vector<std::uint8_t>& image)> write_profile;
};

class TFormMain final : public QMainWindow, private ServerEvents {
 public:
  explicit TFormMain(DesktopDependencies dependencies);
  ~TFormMain() override;  // FormDestroy

  // Window creation: resolver, network, autostart state, profile, first selection, the proxy
  // servers flagged to start, tray and timer. False when it failed: the window then stays
  // invisible and the program is to end without saving.
  bool FormCreate();
  bool form_ready() const { return form_ready_; }

  // The proxy list.
  bool AddServer(std::string_view name);
  bool InsertServer(ProxyServerSettings record);
  bool DeleteServer(std::uint32_t id);
  bool DeleteAllServers();
  bool StopAllServers();
  bool StoreServerPages(ProxyServerSettings* record);
  bool LoadServerPages(ProxyServerSettings* record);

  // Stores the selected proxy server's pages, then hands the profile to the writer; returns at
  // once, the status bar saying later when the write failed.
  void SaveSettings();
  // A second instance asked for the window.
  void RestoreWindow();
  // The session is about to end (log-off, shutdown): save once; from now on closing needs no
  // question and nothing is saved again. The program itself goes on until it is closed.
  void QueryEndSession();
  // SIGTERM: the same, then the program ends.
  void EndSession();

  ProxyServerTable& table() { return table_; }
  std::uint32_t selected_server_id() const { return selected_id_; }
  // Whether an engine thread runs for proxy server `id`.
  bool ServerRunning(std::uint32_t id) const { return threads_.Running(id); }
  DisplayOptions& display_options() { return engine_->options(); }
  const LogHistory* History(std::uint32_t id) const;
  LogsPage* logs_page() const { return logs_page_; }
  // The status bar's text for an error of proxy server `name`, with what to do about a port
  // below 1024 that could not be bound.
  QString ErrorStatus(const QString& name, const QString& error) const;
  // What to do about `error`, or nothing: a port below 1024 that could not be bound needs the
  // capability or a port of 1024 or above.
  QString Remedy(const QString& error) const;
  // The proxy list row's tooltip for proxy server `id`: its name, its state in words and, for a
  // failure, the remedy; one line each. Whatever else a row should tell goes here as a line.
  QString StateToolTip(std::uint32_t id) const;

 protected:
  void closeEvent(QCloseEvent* event) override;  // FormCloseQuery
  void changeEvent(QEvent* event) override;      // minimising hides to the tray

 private:
  void BuildWindow();
  bool CreateWindowParts();
  QWidget* BuildProxyServersTab();
  void FitToScreen();
  // tform_main_menus.cpp: the menu bar, the tray icon and its menu, import and export, and the
  // window's own state (geometry, tabs) kept in ~/.config/Corvane/Corvane.conf.
  void BuildMenus();
  void ShowTrayIconWhenAvailable();
  void ImportClick();
  void ExportClick();
  void AboutClick();
  void RestoreWindowState();
  void SaveWindowState() const;

  // Handlers.
  void ListViewServersSelectItem(QTreeWidgetItem* item, bool selected);
  void ButtonAddServerClick();
  void ButtonRenameServerClick();
  void ButtonDeleteServerClick();
  void ButtonStartServerClick();
  void ButtonStopServerClick();
  void CheckBoxAutoStartClick(bool checked);
  void Timer1Timer();
  // Runs a service action on a thread of its own, so the window stays responsive while it waits
  // for systemd or retries a copy: the Service tab's buttons are off and the cursor busy until its
  // result is shown. `prepare` runs first, on this thread: what the action needs of the window
  // (storing the pages and saving the profile, or stopping the local proxy servers).
  // `finish` runs on this thread with the action's result and gives the text to show.
  void ServiceAction(const std::function<void()>& prepare,
                     std::function<std::string(ServiceControl&)> action,
                     std::function<std::string(const std::string&)> finish = nullptr);
  void ServiceActionDone(const std::string& result);
  // The service's Start: the window's proxy servers cannot run beside the service, so the running
  // ones are stopped first, and started again when the service did not start.
  void StopServersForService();
  std::string AfterServiceStart(const std::string& result);

  // Adds the proxy list's item of a registered record (caption its name, data its Id) and its
  // empty log history.
  void AddListItem(const ProxyServerSettings& settings);
  QTreeWidgetItem* ItemOf(std::uint32_t id) const;
  void SelectItem(QTreeWidgetItem* item);
  // Ends the engine thread of proxy server `id`, waiting up to a second for its ports.
  void EndThread(std::uint32_t id);
  // Waits up to a second until `thread`, told to stop, has closed its sockets.
  static void WaitForPorts(WolServerThread& thread);
  // Refuses a start whose pages hold a value that would be relayed as something else (a ticked
  // replacement MAC address or password that is none): a message names the field. True when
  // refused.
  bool RefuseMalformedValues();
  // The pages' values written into `record` (StoreServerPages without its status-bar notes when
  // `notes` is null).
  void StorePagesInto(ProxyServerSettings& record, QStringList* notes);
  // Every edit of the settings pages asks, a moment later, whether each running proxy server's
  // settings still are those it runs with; one that differs shows "changed; restart to apply".
  void WatchPageEdits();
  void CheckForChanges();
  // Switches "Start server" and "Stop server" for the proxy server shown: running enables "Stop
  // server" and disables "Start server"; not running, the reverse.
  void ShowServerRunning(bool running);
  ServiceControl MakeServiceControl();

  // ServerEvents: window thread, inside Synchronize.
  const ProxyServerTable& Servers() const override { return table_; }
  void ServerStarted(std::uint32_t id) override;
  void ServerStopped(std::uint32_t id) override;

  // The state that the proxy list shows with each name (icon, words, tooltip).
  enum class ServerState { kStopped, kRunning, kFailed };
  struct ServerStatus {
    ServerState state = ServerState::kStopped;
    QString last_error;  // the latest error recorded for it
    // While it runs: the settings it started with, and whether the pages or the record differ.
    std::optional<ProxyServerSettings> started_with;
    bool changed = false;
  };
  QString StateWords(const ServerStatus& status) const;
  void ShowServerState(std::uint32_t id, ServerState state);
  // tform_main_counters.cpp. The counters text of proxy server `id` for its state's tooltip: the
  // selected one's while it runs ("120 received, ..."), else empty.
  QString CountersLine(std::uint32_t id) const;
  // TimerCounters, a few times a second: the selected proxy server's counters into the line
  // above the log views and into its state's tooltip.
  void ShowCounters();
  void RecordError(std::uint32_t id, const std::string& text) override;
  void RecordPacket(const EngineReport& report) override;
  void BeginRecording() override;
  void EndRecording() override;

  // The first packet of proxy server `id` that a filter with a switch of its own ignores: the
  // status bar names the switch.
  void NoteIgnoredPacket(const EngineReport& report);

  // A profile that exists but failed to load: remember where it goes, and tell the user once.
  void NoteUnreadableProfile();
  void ReportUnreadableProfile();

  // Saving as the settings change (tform_main_saving.cpp). A change that reached the table
  // (`changed`), or one on the pages that may reach it (a list edited): the profile is saved
  // once the changes pause, a second after the last one and at most 1.5 s after the first, on
  // the writer's thread. Ignored before the window is ready and after the log-off save.
  void ScheduleSave(bool changed);
  void WatchForChanges();
  void SaveChanges();  // the scheduled save: only when something did change
  // Hands the image of the table to the writer, after setting aside a profile that could not be
  // read.
  void WriteProfile();
  // The status bar says that the last save failed, and why, until a save works.
  void ShowSaveResult(const QString& failure);  // empty: the save worked
  // At the end: waits for the last write, then ends the writer; a failed last save is said on
  // standard error.
  void EndSaving();

  DesktopDependencies deps_;
  std::shared_ptr<EngineWindow> engine_;
  ProxyServerTable table_;
  ServerThreads threads_;
  std::map<std::uint32_t, std::unique_ptr<LogHistory>> histories_;
  std::map<std::uint32_t, ServerStatus> statuses_;
  std::uint32_t selected_id_ = 0;
  bool auto_start_ = false;
  bool close_confirmed_ = false;
  bool settings_saved_ = false;
  bool form_ready_ = false;
  bool service_busy_ = false;
  bool unsaved_ = false;  // a change reached the table since the profile was last handed over
  std::chrono::steady_clock::time_point first_unsaved_change_;
  // Where a profile that failed to load goes before the first save; empty when none did.
  std::string unreadable_profile_aside_;

  QTreeWidget* servers_ = nullptr;
  QLineEdit* server_name_ = nullptr;
  ElidedLabel* title_ = nullptr;
  SettingsPage* settings_page_ = nullptr;
  SenderFiltersPage* sender_page_ = nullptr;
  DataFiltersPage* data_page_ = nullptr;
  DefaultActionsPage* default_actions_page_ = nullptr;
  ActionsByMacPage* actions_page_ = nullptr;
  LogsPage* logs_page_ = nullptr;
  ProgramSettingsTab* program_settings_ = nullptr;
  ServiceTab* service_tab_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QTimer* tray_poll_ = nullptr;
  std::thread service_worker_;  // the running service action, joined before the next one
  // The proxy servers that the service's Start stopped, with their stopping threads.
  std::vector<std::pair<std::uint32_t, std::shared_ptr<WolServerThread>>> stopped_for_service_;
  QTimer* change_check_ = nullptr;
  std::set<std::pair<std::uint32_t, IgnoreReason>> noted_ignores_;
  QTimer* timer_ = nullptr;
  QTimer* save_timer_ = nullptr;
  QLabel* save_failure_ = nullptr;
  std::unique_ptr<ProfileWriter> writer_;
  QTimer* counters_timer_ = nullptr;
  std::uint32_t counters_id_ = 0;  // whose counters the tooltips show, and what
  QString counters_text_;
  QTabWidget* tabs_ = nullptr;
  QTabWidget* pages_ = nullptr;
};

}  // namespace corvane::desktop
