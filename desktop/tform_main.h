// TFormMain, the desktop program's only window: the proxy list beside the six settings pages of
// the selected proxy server, the program settings, the service page, and the life of the program
// around it (creation, tray, saving, log-off, destruction).
//
// The window thread owns the proxy server table, the record of each proxy server (ServerRecords)
// and every control. Engine threads reach them only through the EngineWindow, which runs their
// calls on this thread.
// The code is split by concern: this file's .cpp builds the window and runs its life;
// tform_main_servers.cpp holds the proxy list, the page transfer and start/stop;
// tform_main_events.cpp the engine events, the logs and the service actions;
// tform_main_counters.cpp the selected proxy server's counters; tform_main_menus.cpp the menus,
// import and export. Parts of their own: ProfileSaving saves the profile as the settings change,
// ServiceRunner runs the service actions, ProgramTray is the tray icon.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "config/proxy_server_table.h"
#include "desktop/engine_window.h"
#include "desktop/log_history.h"
#include "desktop/profile_saving.h"
#include "desktop/server_pages.h"
#include "desktop/server_records.h"
#include "desktop/server_threads.h"
#include "desktop/service_runner.h"
#include "service/service_control.h"

namespace corvane::desktop {

class ElidedLabel;
class ProgramSettingsTab;
class ProgramTray;
class ServiceTab;

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
  ProfileWriter::Write write_profile;
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
  void SaveSettings() { saving_->SaveNow(); }
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
  // The record of proxy server `id`; nullptr for one not in the list.
  const ServerRecord* Record(std::uint32_t id) const { return records_.Find(id); }
  LogsPage* logs_page() const { return pages_->logs(); }
  // The status bar's text for an error of proxy server `name`, with what to do about a port
  // below 1024 that could not be bound.
  QString ErrorStatus(const QString& name, const ErrorRow& error) const;
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
  // tform_main_menus.cpp: the menu bar, import and export, and the window's own state
  // (geometry, tabs) kept in ~/.config/Corvane/Corvane.conf.
  void BuildMenus();
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
  // Runs a service action on the ServiceRunner's thread. `prepare` runs first, on this thread:
  // what the action needs of the window (storing the pages and saving the profile, or stopping
  // the local proxy servers). `finish` runs on this thread with the action's outcome and gives
  // the text to show, in the status bar and a message box.
  void ServiceAction(const std::function<void()>& prepare, ServiceRunner::Action action,
                     std::function<std::string(const ServiceOutcome&)> finish = nullptr);
  // The service's Start: the window's proxy servers cannot run beside the service, so the running
  // ones are stopped first, and started again when the service did not start.
  void StopServersForService();
  std::string AfterServiceStart(const ServiceOutcome& outcome);

  // Adds the proxy list's item of a registered record (caption its name, data its Id) and its
  // new ServerRecord.
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
  // Every edit of the settings pages asks, a moment later, whether each running proxy server's
  // settings still are those it runs with; one that differs shows "changed; restart to apply".
  void WatchPageEdits();
  void CheckForChanges();
  // Switches "Start server" and "Stop server" for the proxy server shown: running enables "Stop
  // server" and disables "Start server"; not running, the reverse.
  void ShowServerRunning(bool running);

  // ServerEvents: window thread, inside Synchronize.
  const ProxyServerTable& Servers() const override { return table_; }
  void ServerStarted(std::uint32_t id) override;
  void ServerStopped(std::uint32_t id) override;

  // Sets the state of proxy server `id` and shows it in the list (icon, words, tooltip).
  void ShowServerState(std::uint32_t id, ServerState state);
  // tform_main_counters.cpp. The counters text of proxy server `id` for its state's tooltip: the
  // selected one's while it runs ("120 received, ..."), else empty.
  QString CountersLine(std::uint32_t id) const;
  // TimerCounters, a few times a second: the selected proxy server's counters into the line
  // above the log views and into its state's tooltip.
  void ShowCounters();
  void RecordError(const EngineReport& report) override;
  void RecordPacket(const EngineReport& report) override;
  // An error row of proxy server `id` into its history, its last error, the status bar and, when
  // it is shown, the Logs page.
  void AddErrorRow(std::uint32_t id, ErrorRow row);
  void BeginRecording() override;
  void EndRecording() override;

  // The first packet of proxy server `id` that a filter with a switch of its own ignores: the
  // status bar names the switch.
  void NoteIgnoredPacket(const EngineReport& report);

  // A profile that exists but failed to load: remember where it goes, and tell the user once.
  void NoteUnreadableProfile();
  void ReportUnreadableProfile();
  // The profile's saving as the settings change, with the window's parts.
  void WatchForChanges();

  DesktopDependencies deps_;
  std::shared_ptr<EngineWindow> engine_;
  ProxyServerTable table_;
  ServerThreads threads_;
  ServerRecords records_;  // one per item of the proxy list, made and erased with it
  std::uint32_t selected_id_ = 0;
  bool auto_start_ = false;
  bool close_confirmed_ = false;
  bool settings_saved_ = false;
  bool form_ready_ = false;

  QTreeWidget* servers_ = nullptr;
  QLineEdit* server_name_ = nullptr;
  ElidedLabel* title_ = nullptr;
  ProgramSettingsTab* program_settings_ = nullptr;
  ServiceTab* service_tab_ = nullptr;
  ProgramTray* tray_ = nullptr;  // where the program shows one
  std::unique_ptr<ServiceRunner> service_runner_;
  // The proxy servers that the service's Start stopped, with their stopping threads.
  std::vector<std::pair<std::uint32_t, std::shared_ptr<WolServerThread>>> stopped_for_service_;
  QTimer* change_check_ = nullptr;
  QTimer* timer_ = nullptr;
  std::unique_ptr<ProfileSaving> saving_;
  QTimer* counters_timer_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  ServerPages* pages_ = nullptr;
};

}  // namespace corvane::desktop
