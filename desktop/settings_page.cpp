#include "desktop/settings_page.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>

#include "config/list_entry_rules.h"
#include "desktop/widgets.h"

namespace corvane::desktop {
namespace {

// The edit's number clamped into low..high, or `kept` when its text is no integer; a note names
// the field (`what`) when its text was not taken as it stands.
template <typename Value>
Value Converted(const QLineEdit* edit, Value kept, std::int64_t low, std::int64_t high,
                const char* what, QStringList* notes) {
  const std::optional<std::int64_t> number = ParseInteger(edit->text().toStdString());
  if (!number) {
    if (notes != nullptr) {
      notes->append(QString("%1 \"%2\" is no number; %3 is kept.")
                        .arg(what, edit->text(), QString::number(kept)));
    }
    return kept;
  }
  const auto value = static_cast<Value>(std::clamp(*number, low, high));
  if (notes != nullptr && value != *number) {
    notes->append(QString("%1 %2 is not in %3..%4; %5 is stored.")
                      .arg(what, edit->text(), QString::number(low), QString::number(high),
                           QString::number(value)));
  }
  return value;
}

}  // namespace

SettingsPage::SettingsPage(QWidget* parent) : QWidget(parent) {
  start_ = MakeButton(this, "ButtonStartServer", "Start server");
  stop_ = MakeButton(this, "ButtonStopServer", "Stop server");
  stop_->setEnabled(false);
  auto_start_ =
      MakeCheckBox(this, "CheckBoxServerAutoStart", "Start this proxy server on program startup");
  auto_start_on_service_ =
      MakeCheckBox(this, "CheckBoxServerAutoStartOnService", "Start this proxy server in Service");
  recv_port_ = MakeEdit(this, "EditRecvPort", "9", 5);
  send_port_ = MakeEdit(this, "EditSendPort", "9", 5);
  Restrict(recv_port_, Input::kPort);
  Restrict(send_port_, Input::kPort);
  ipv4_ = MakeRadioButton(this, "RadioButtonUseIPv4", "Use IPv4");
  ipv6_ = MakeRadioButton(this, "RadioButtonUseIPv6", "Use IPv6");
  both_ = MakeRadioButton(this, "RadioButtonUseIPv4IPv6", "Use IPv4 and IPv6");
  ipv4_->setChecked(true);
  send_delay_ = MakeCheckBox(this, "CheckBoxSendDelay", "Delay beetwen sending next magic packet:");
  send_delay_time_ = MakeEdit(this, "EditSendDelayTime", "100", 5);
  Restrict(send_delay_time_, Input::kDelay);

  auto* layout = new QVBoxLayout(this);
  auto* buttons = new QHBoxLayout;
  changed_ = MakeLabel(this, "changed; restart to apply");
  changed_->setObjectName("LabelServerChanged");
  changed_->setVisible(false);
  QFont bold = changed_->font();
  bold.setBold(true);
  changed_->setFont(bold);
  buttons->addWidget(start_);
  buttons->addWidget(stop_);
  buttons->addWidget(changed_);
  buttons->addStretch();
  layout->addLayout(buttons);
  layout->addWidget(
      MakeLabel(this, "(Any changes will take effect after you restart the proxy server)"));
  layout->addSpacing(8);
  layout->addWidget(auto_start_);
  layout->addWidget(auto_start_on_service_);
  layout->addSpacing(8);
  auto* ports = new QGridLayout;
  QLabel* recv_label = MakeLabel(this, "Receive magic packets to UDP port:");
  QLabel* send_label = MakeLabel(this, "Send magic packets from UDP port:");
  recv_label->setBuddy(recv_port_);
  send_label->setBuddy(send_port_);
  recv_port_->setAccessibleName("Receive port");
  send_port_->setAccessibleName("Send port");
  recv_port_->setToolTip("Ports below 1024 need the CAP_NET_BIND_SERVICE capability");
  ports->addWidget(recv_label, 0, 0);
  ports->addWidget(recv_port_, 0, 1);
  ports->addWidget(send_label, 1, 0);
  ports->addWidget(send_port_, 1, 1);
  ports->setColumnStretch(2, 1);
  recv_port_->setFixedWidth(60);
  send_port_->setFixedWidth(60);
  layout->addLayout(ports);
  layout->addSpacing(8);
  layout->addWidget(ipv4_);
  layout->addWidget(ipv6_);
  layout->addWidget(both_);
  layout->addSpacing(8);
  auto* delay = new QHBoxLayout;
  delay->addWidget(send_delay_);
  send_delay_time_->setFixedWidth(60);
  delay->addWidget(send_delay_time_);
  QLabel* unit = MakeLabel(this, "ms (0..10000)");
  unit->setBuddy(send_delay_time_);
  send_delay_time_->setAccessibleName("Send delay in milliseconds");
  delay->addWidget(unit);
  delay->addStretch();
  layout->addLayout(delay);
  layout->addStretch();
}

void SettingsPage::Load(const ProxyServerSettings& s) {
  auto_start_->setChecked(s.ServerAutoStart);
  auto_start_on_service_->setChecked(s.ServerAutoStartOnService);
  switch (s.IpMode) {
    case IpMode::UseIPv4:
      ipv4_->setChecked(true);
      break;
    case IpMode::UseIPv6:
      ipv6_->setChecked(true);
      break;
    default:
      both_->setChecked(true);
      break;
  }
  send_delay_->setChecked(s.SendDelay);
  ShowNumbers(s);
}

void SettingsPage::ShowNumbers(const ProxyServerSettings& s) {
  recv_port_->setText(QString::number(s.RecvPort));
  send_port_->setText(QString::number(s.SendPort));
  send_delay_time_->setText(QString::number(s.SendDelayTime));
}

void SettingsPage::ShowChanged(bool changed) { changed_->setVisible(changed); }

void SettingsPage::Store(ProxyServerSettings& s, QStringList* notes) const {
  s.ServerAutoStart = auto_start_->isChecked();
  s.ServerAutoStartOnService = auto_start_on_service_->isChecked();
  s.IpMode = IpMode::UseIPv4;
  if (ipv6_->isChecked()) s.IpMode = IpMode::UseIPv6;
  if (both_->isChecked()) s.IpMode = IpMode::UseIPv4IPv6;
  s.RecvPort = Converted(recv_port_, s.RecvPort, 0, 65535, "Receive port", notes);
  s.SendPort = Converted(send_port_, s.SendPort, 0, 65535, "Send port", notes);
  s.SendDelay = send_delay_->isChecked();
  s.SendDelayTime =
      Converted(send_delay_time_, s.SendDelayTime, 0, kMaxSendDelayTime, "Send delay", notes);
}

}  // namespace corvane::desktop
