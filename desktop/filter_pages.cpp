#include "desktop/filter_pages.h"

#include <QGridLayout>
#include <QVBoxLayout>

#include "desktop/entry_rules.h"
#include "desktop/list_block.h"
#include "desktop/widgets.h"

namespace corvane::desktop {
namespace {

const QString kHostLabel = "IPv4 address / IPv6 address / Host name:";

template <typename Entry>
std::unique_ptr<ListEditor<Entry>> Editor(const ListBlock& block, EntryRules<Entry> rules) {
  return std::make_unique<ListEditor<Entry>>(block.view, block.edits, block.add, block.edit,
                                             block.remove, std::move(rules));
}

ListBlock HostBlock(QWidget* page, const char* check, const QString& caption, const char* view,
                    const char* host_edit, const char* prefix_edit, const char* help,
                    const char* suffix, const char* what) {
  return MakeListBlock(page, {check,
                              caption,
                              view,
                              {{"IP address / Host name", 200}, {"Network prefix", 100}},
                              true,
                              {{host_edit, "192.168.0.1", kHostLabel},
                               {prefix_edit, "32", "Network prefix:", help, 40, Input::kPrefix}},
                              suffix,
                              3,
                              what});
}

ListBlock OneColumnBlock(QWidget* page, const char* check, const QString& caption, const char* view,
                         const char* edit, const QString& text, const QString& label,
                         const char* suffix, Input input, const char* what) {
  return MakeListBlock(page, {check,
                              caption,
                              view,
                              {{"Name", 300}},
                              false,
                              {{edit, text, label, nullptr, 0, input}},
                              suffix,
                              3,
                              what});
}

}  // namespace

SenderFiltersPage::SenderFiltersPage(QWidget* parent) : QWidget(parent) {
  your_ip_ = MakeCheckBox(this, "CheckBoxDontRecvFromYourIp",
                          "Don't receive magic packets that are sent from your IP addresses");
  your_ip_->setChecked(true);
  broadcast_ = MakeCheckBox(this, "CheckBoxDontRecvFromBroadcastIp",
                            "Don't receive magic packets that are sent to Broadcast IP address");
  const ListBlock deny_hosts =
      HostBlock(this, "CheckBoxDontRecvFromHosts",
                "Don't receive magic packets from next hosts:", "ListViewDontRecvFromHosts",
                "EditDontRecvFromHost", "EditDontRecvFromHostPrefix", "SpeedButtonHelpPrefix",
                "DontRecvFromHost", "excluded sender host");
  const ListBlock allow_hosts = HostBlock(
      this, "CheckBoxRecvFromHosts",
      "Receive magic packets only from these hosts:", "ListViewRecvFromHosts", "EditRecvFromHost",
      "EditRecvFromHostPrefix", nullptr, "RecvFromHost", "allowed sender host");
  const ListBlock deny_ports = OneColumnBlock(
      this, "CheckBoxDontRecvFromPorts",
      "Don't receive magic packets from next UDP ports:", "ListViewDontRecvFromPorts",
      "EditDontRecvFromPort", "0 - 65535", "Port or port range:", "DontRecvFromPort",
      Input::kPortRange, "excluded sender port");
  const ListBlock allow_ports =
      OneColumnBlock(this, "CheckBoxRecvFromPorts",
                     "Receive magic packets only from these UDP ports:", "ListViewRecvFromPorts",
                     "EditRecvFromPort", "0 - 65535", "Port or port range:", "RecvFromPort",
                     Input::kPortRange, "allowed sender port");
  deny_hosts_ = deny_hosts.check;
  allow_hosts_ = allow_hosts.check;
  deny_ports_ = deny_ports.check;
  allow_ports_ = allow_ports.check;
  help_ = deny_hosts.help;
  deny_host_list_ = Editor(deny_hosts, SenderHostRules());
  allow_host_list_ = Editor(allow_hosts, SenderHostRules());
  deny_port_list_ = Editor(deny_ports, PortRangeRules());
  allow_port_list_ = Editor(allow_ports, PortRangeRules());

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(your_ip_);
  layout->addWidget(broadcast_);
  auto* grid = new QGridLayout;
  grid->addWidget(deny_hosts.widget, 0, 0);
  grid->addWidget(allow_hosts.widget, 0, 1);
  grid->addWidget(deny_ports.widget, 1, 0);
  grid->addWidget(allow_ports.widget, 1, 1);
  grid->setColumnStretch(0, 1);  // two halves alike
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid, 1);
}

SenderFiltersPage::~SenderFiltersPage() = default;

void SenderFiltersPage::Load(const ProxyServerSettings& s) {
  your_ip_->setChecked(s.DontRecvFromYourIp);
  broadcast_->setChecked(s.DontRecvFromBroadcastIp);
  deny_hosts_->setChecked(s.DontRecvFromHosts);
  deny_host_list_->Load(s.DontRecvFromHostsList);
  allow_hosts_->setChecked(s.RecvFromHosts);
  allow_host_list_->Load(s.RecvFromHostsList);
  deny_ports_->setChecked(s.DontRecvFromPorts);
  deny_port_list_->Load(s.DontRecvFromPortsList);
  allow_ports_->setChecked(s.RecvFromPorts);
  allow_port_list_->Load(s.RecvFromPortsList);
}

void SenderFiltersPage::Store(ProxyServerSettings& s) const {
  s.DontRecvFromYourIp = your_ip_->isChecked();
  s.DontRecvFromBroadcastIp = broadcast_->isChecked();
  s.DontRecvFromHosts = deny_hosts_->isChecked();
  s.DontRecvFromHostsList = deny_host_list_->Store();
  s.RecvFromHosts = allow_hosts_->isChecked();
  s.RecvFromHostsList = allow_host_list_->Store();
  s.DontRecvFromPorts = deny_ports_->isChecked();
  s.DontRecvFromPortsList = deny_port_list_->Store();
  s.RecvFromPorts = allow_ports_->isChecked();
  s.RecvFromPortsList = allow_port_list_->Store();
}

DataFiltersPage::DataFiltersPage(QWidget* parent) : QWidget(parent) {
  with_password_ = MakeCheckBox(this, "CheckBoxDontRecvWithPassword",
                                "Don't receive magic packets with magic passwords");
  without_password_ = MakeCheckBox(this, "CheckBoxDontRecvWithoutPassword",
                                   "Don't receive magic packets without magic passwords");
  const QString zero = "00:00:00:00:00:00";
  const ListBlock deny_passwords = OneColumnBlock(
      this, "CheckBoxDontRecvWithNextPasswords",
      "Don't receive magic packets with the following magic passwords:",
      "ListViewDontRecvWithNextPasswords", "EditDontRecvWithPassword", zero,
      "Magic password:", "DontRecvWithPassword", Input::kHex, "excluded magic password");
  const ListBlock allow_passwords = OneColumnBlock(
      this, "CheckBoxRecvWithNextPasswords",
      "Receive magic packets only with these magic passwords:", "ListViewRecvWithNextPasswords",
      "EditRecvWithPassword", zero, "Magic password:", "RecvWithPassword", Input::kHex,
      "allowed magic password");
  const ListBlock deny_macs =
      OneColumnBlock(this, "CheckBoxDontRecvWithNextMacs",
                     "Don't receive magic packets with the following MAC addresses:",
                     "ListViewDontRecvWithNextMacs", "EditDontRecvWithMac", zero,
                     "MAC address:", "DontRecvWithMac", Input::kHex, "excluded MAC address");
  const ListBlock allow_macs = OneColumnBlock(
      this, "CheckBoxRecvWithNextMacs",
      "Receive magic packets only with these MAC addresses:", "ListViewRecvWithNextMacs",
      "EditRecvWithMac", zero, "MAC address:", "RecvWithMac", Input::kHex, "allowed MAC address");
  deny_passwords_ = deny_passwords.check;
  allow_passwords_ = allow_passwords.check;
  deny_macs_ = deny_macs.check;
  allow_macs_ = allow_macs.check;
  deny_password_list_ = Editor(deny_passwords, SixBytesRules("magic password"));
  allow_password_list_ = Editor(allow_passwords, SixBytesRules("magic password"));
  deny_mac_list_ = Editor(deny_macs, SixBytesRules("MAC address"));
  allow_mac_list_ = Editor(allow_macs, SixBytesRules("MAC address"));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(with_password_);
  layout->addWidget(without_password_);
  auto* grid = new QGridLayout;
  grid->addWidget(deny_passwords.widget, 0, 0);
  grid->addWidget(allow_passwords.widget, 0, 1);
  grid->addWidget(deny_macs.widget, 1, 0);
  grid->addWidget(allow_macs.widget, 1, 1);
  grid->setColumnStretch(0, 1);  // two halves alike
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid, 1);
}

DataFiltersPage::~DataFiltersPage() = default;

void DataFiltersPage::Load(const ProxyServerSettings& s) {
  with_password_->setChecked(s.DontRecvWithPassword);
  without_password_->setChecked(s.DontRecvWithoutPassword);
  deny_passwords_->setChecked(s.DontRecvWithNextPasswords);
  deny_password_list_->Load(s.DontRecvWithNextPasswordsList);
  allow_passwords_->setChecked(s.RecvWithNextPasswords);
  allow_password_list_->Load(s.RecvWithNextPasswordsList);
  deny_macs_->setChecked(s.DontRecvWithNextMacs);
  deny_mac_list_->Load(s.DontRecvWithNextMacsList);
  allow_macs_->setChecked(s.RecvWithNextMacs);
  allow_mac_list_->Load(s.RecvWithNextMacsList);
}

void DataFiltersPage::Store(ProxyServerSettings& s) const {
  s.DontRecvWithPassword = with_password_->isChecked();
  s.DontRecvWithoutPassword = without_password_->isChecked();
  s.DontRecvWithNextPasswords = deny_passwords_->isChecked();
  s.DontRecvWithNextPasswordsList = deny_password_list_->Store();
  s.RecvWithNextPasswords = allow_passwords_->isChecked();
  s.RecvWithNextPasswordsList = allow_password_list_->Store();
  s.DontRecvWithNextMacs = deny_macs_->isChecked();
  s.DontRecvWithNextMacsList = deny_mac_list_->Store();
  s.RecvWithNextMacs = allow_macs_->isChecked();
  s.RecvWithNextMacsList = allow_mac_list_->Store();
}

}  // namespace corvane::desktop
