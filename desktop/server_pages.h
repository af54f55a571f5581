// The pages of the proxy server shown beside the proxy list, as tabs of one widget
// ("PageControlServer"): Settings, Filters by sender, Filters by data, Default actions, Actions by
// MAC address, and Logs. The five settings pages take a proxy server's settings in and give them
// back as a whole, and say when any of them is edited.
//
// Window thread only; the pages are children of this widget and live as long as it does.
#pragma once

#include <QStringList>
#include <QTabWidget>
#include <functional>

#include "config/proxy_server_settings.h"

namespace corvane::desktop {

class ActionsByMacPage;
class DataFiltersPage;
class DefaultActionsPage;
class LogsPage;
class SenderFiltersPage;
class SettingsPage;

class ServerPages final : public QTabWidget {
 public:
  explicit ServerPages(QWidget* parent);

  // The settings pages show `settings`.
  void Load(const ProxyServerSettings& settings);
  // The settings pages' values written into `settings`, with notes for the status bar about
  // values that were changed on the way (none when `notes` is null).
  void Store(ProxyServerSettings& settings, QStringList* notes);
  // `edited` runs on every edit of a settings page (a text, a check box); `list_edited` on every
  // change of one of their lists, which reaches a record only when the pages are stored.
  void WatchEdits(const std::function<void()>& edited, const std::function<void()>& list_edited);
  // Shows the page of `field` and gives it the focus.
  void ShowField(QWidget* field);

  SettingsPage* settings() const { return settings_; }
  SenderFiltersPage* sender() const { return sender_; }
  DefaultActionsPage* default_actions() const { return default_actions_; }
  ActionsByMacPage* actions() const { return actions_; }
  LogsPage* logs() const { return logs_; }

 private:
  SettingsPage* settings_;
  SenderFiltersPage* sender_;
  DataFiltersPage* data_;
  DefaultActionsPage* default_actions_;
  ActionsByMacPage* actions_;
  LogsPage* logs_;
};

}  // namespace corvane::desktop
