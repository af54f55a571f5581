// The page "Settings" of a proxy server: start and stop, the two start-up flags, the ports, the
// address family and the send delay.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include "config/proxy_server_settings.h"

namespace corvane::desktop {

class SettingsPage final : public QWidget {
 public:
  explicit SettingsPage(QWidget* parent);

  void Load(const ProxyServerSettings& settings);
  // Ports and the delay keep their stored value when their text is no integer, and are clamped
  // into their ranges when it is one; `notes` receives a sentence for each such text.
  void Store(ProxyServerSettings& settings, QStringList* notes = nullptr) const;

  // The ports and the delay of `settings` in their edits.
  void ShowNumbers(const ProxyServerSettings& settings);
  // Whether "changed; restart to apply" shows beside the buttons.
  void ShowChanged(bool changed);

  QPushButton* start_button() const { return start_; }
  QPushButton* stop_button() const { return stop_; }

 private:
  QPushButton* start_;
  QPushButton* stop_;
  QLabel* changed_;
  QCheckBox* auto_start_;
  QCheckBox* auto_start_on_service_;
  QLineEdit* recv_port_;
  QLineEdit* send_port_;
  QRadioButton* ipv4_;
  QRadioButton* ipv6_;
  QRadioButton* both_;
  QCheckBox* send_delay_;
  QLineEdit* send_delay_time_;
};

}  // namespace corvane::desktop
