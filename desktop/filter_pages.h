// The pages "Filters by sender" and "Filters by data" of a proxy server.
#pragma once

#include <QCheckBox>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <memory>

#include "config/proxy_server_settings.h"
#include "desktop/list_editor.h"

namespace corvane::desktop {

class SenderFiltersPage final : public QWidget {
 public:
  explicit SenderFiltersPage(QWidget* parent);
  ~SenderFiltersPage() override;

  void Load(const ProxyServerSettings& settings);
  void Store(ProxyServerSettings& settings) const;
  QPushButton* help_button() const { return help_; }

 private:
  QCheckBox* your_ip_;
  QCheckBox* broadcast_;
  QCheckBox* deny_hosts_;
  QCheckBox* allow_hosts_;
  QCheckBox* deny_ports_;
  QCheckBox* allow_ports_;
  QPushButton* help_;
  std::unique_ptr<ListEditor<HostEntry>> deny_host_list_, allow_host_list_;
  std::unique_ptr<ListEditor<PortRange>> deny_port_list_, allow_port_list_;
};

class DataFiltersPage final : public QWidget {
 public:
  explicit DataFiltersPage(QWidget* parent);
  ~DataFiltersPage() override;

  void Load(const ProxyServerSettings& settings);
  void Store(ProxyServerSettings& settings) const;

 private:
  using Bytes = std::array<std::uint8_t, 6>;
  QCheckBox* with_password_;
  QCheckBox* without_password_;
  QCheckBox* deny_passwords_;
  QCheckBox* allow_passwords_;
  QCheckBox* deny_macs_;
  QCheckBox* allow_macs_;
  std::unique_ptr<ListEditor<Bytes>> deny_password_list_, allow_password_list_, deny_mac_list_,
      allow_mac_list_;
};

}  // namespace corvane::desktop
