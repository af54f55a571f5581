#include "desktop/action_pages.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "config/list_entry_rules.h"
#include "desktop/entry_rules.h"
#include "desktop/list_block.h"
#include "desktop/widgets.h"

namespace corvane::desktop {
namespace {

const QString kZero = "00:00:00:00:00:00";
const QString kHostLabel = "IPv4 address / IPv6 address / Host name:";

std::array<std::uint8_t, 6> ValueOf(const QLineEdit* edit, const char* what, QStringList* notes) {
  const auto value = TwelveHexDigits(edit->text().toStdString());
  if (!value && notes != nullptr) {
    notes->append(QString("%1 \"%2\" does not have 12 hexadecimal digits; %3 is stored.")
                      .arg(what, edit->text(), kZero));
  }
  return value.value_or(std::array<std::uint8_t, 6>{});
}

qulonglong HexDigits(const QString& text) { return CountHexDigits(text.toStdString()); }

// Why `edit` holds no `what` ("MAC address"), or nothing when it holds one.
QString Problem(const QLineEdit* edit, const char* what) {
  if (TwelveHexDigits(edit->text().toStdString())) return {};
  return QString("Not a %1: %2 of 12 hexadecimal digits").arg(what).arg(HexDigits(edit->text()));
}

QLabel* ProblemLine(QWidget* parent, QLineEdit* edit, const char* name, const char* what) {
  QLabel* line = MakeLabel(parent, QString());
  line->setObjectName(name);
  line->setWordWrap(true);
  line->setVisible(false);
  QPalette red = line->palette();
  red.setColor(QPalette::WindowText, QColor(0xc6, 0x28, 0x28));
  line->setPalette(red);
  const auto show = [edit, line, what] {
    const QString problem = Problem(edit, what);
    line->setText(problem);
    line->setVisible(!problem.isEmpty());
    edit->setAccessibleDescription(problem);
    edit->setStyleSheet(problem.isEmpty() ? QString()
                                          : "QLineEdit { border: 2px solid #c62828; "
                                            "border-radius: 3px; padding: 0 2px; }");
  };
  QObject::connect(edit, &QLineEdit::textChanged, line, show);
  show();
  return line;
}

}  // namespace

DefaultActionsPage::DefaultActionsPage(QWidget* parent) : QWidget(parent) {
  remove_password_ = MakeCheckBox(this, "CheckBoxRemovePassword", "Remove magic password");
  replace_password_ =
      MakeCheckBox(this, "CheckBoxReplacePassword", "Add/Replace magic password on:");
  password_ = MakeEdit(this, "EditReplacePassword", kZero);
  Restrict(password_, Input::kHex);
  password_->setAccessibleName("Replacement magic password");
  replace_mac_ = MakeCheckBox(this, "CheckBoxReplaceMac", "Replace MAC address on:");
  mac_ = MakeEdit(this, "EditReplaceMac", kZero);
  Restrict(mac_, Input::kHex);
  mac_->setAccessibleName("Replacement MAC address");
  password_problem_ = ProblemLine(this, password_, "LabelReplacePasswordProblem", "magic password");
  mac_problem_ = ProblemLine(this, mac_, "LabelReplaceMacProblem", "MAC address");
  const ListBlock block =
      MakeListBlock(this, {nullptr,
                           "Send magic packets to next hosts:",
                           "ListViewSendToHosts",
                           {{"IP address / Host name", 155}, {"Network prefix", 90}, {"Port", 60}},
                           true,
                           {{"EditSendToHost", "255.255.255.255", kHostLabel},
                            {"EditSendToHostPrefix", "32",
                             "Network prefix:", "SpeedButtonHelpPrefix3", 40, Input::kPrefix},
                            {"EditSendToHostPort", "9", "Port:", nullptr, 50, Input::kPort}},
                           "SendToHost",
                           3,
                           "destination host"});
  help_ = block.help;
  destinations_ = std::make_unique<ListEditor<HostEntry>>(
      block.view, block.edits, block.add, block.edit, block.remove, DestinationRules());
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(remove_password_);
  auto* values = new QGridLayout;
  values->addWidget(replace_password_, 0, 0);
  values->addWidget(password_, 0, 1);
  values->addWidget(password_problem_, 0, 2);
  values->addWidget(replace_mac_, 1, 0);
  values->addWidget(mac_, 1, 1);
  values->addWidget(mac_problem_, 1, 2);
  values->setColumnStretch(2, 1);
  password_->setFixedWidth(160);
  mac_->setFixedWidth(160);
  layout->addLayout(values);
  layout->addWidget(block.widget, 1);
}

DefaultActionsPage::~DefaultActionsPage() = default;

void DefaultActionsPage::Load(const ProxyServerSettings& s) {
  remove_password_->setChecked(s.RemovePassword);
  replace_password_->setChecked(s.ReplacePassword);
  password_->setText(QString::fromStdString(HexText(s.ReplacePasswordValue)));
  replace_mac_->setChecked(s.ReplaceMac);
  mac_->setText(QString::fromStdString(HexText(s.ReplaceMacValue)));
  destinations_->Load(s.SendToHostsList);
}

void DefaultActionsPage::Store(ProxyServerSettings& s, QStringList* notes) const {
  s.RemovePassword = remove_password_->isChecked();
  s.ReplacePassword = replace_password_->isChecked();
  s.ReplacePasswordValue = ValueOf(password_, "Replacement magic password", notes);
  s.ReplaceMac = replace_mac_->isChecked();
  s.ReplaceMacValue = ValueOf(mac_, "Replacement MAC address", notes);
  s.SendToHostsList = destinations_->Store();
}

std::optional<MalformedValue> DefaultActionsPage::Malformed() const {
  const struct {
    const QCheckBox* box;
    QLineEdit* edit;
    const char* what;
  } values[] = {{replace_password_, password_, "magic password"},
                {replace_mac_, mac_, "MAC address"}};
  for (const auto& value : values) {
    if (!value.box->isChecked() || TwelveHexDigits(value.edit->text().toStdString())) continue;
    return MalformedValue{value.edit,
                          QString("\"%1\" is ticked, but \"%2\" is not a %3 (it has %4 hexadecimal "
                                  "digits instead of 12).")
                              .arg(value.box->text(), value.edit->text(), value.what)
                              .arg(HexDigits(value.edit->text()))};
  }
  return std::nullopt;
}

ActionsByMacPage::ActionsByMacPage(QWidget* parent) : QWidget(parent) {
  const ListBlock actions =
      MakeListBlock(this, {nullptr,
                           "Make actions for magic packets with the following MAC addresses:",
                           "ListViewActionsByMacs",
                           {{"Name", 300}},
                           false,
                           {{"EditActionByMac", kZero, "MAC address:", nullptr, 0, Input::kHex}},
                           "ActionByMac",
                           3,
                           "MAC address action"});
  const ListBlock packets = MakeListBlock(
      this, {nullptr,
             "If the received magic packet contains the selected MAC address, then drop this magic "
             "packet and send these magic packets:",
             "ListViewReplaceByMacPackets",
             {{"MAC address", 120},
              {"Magic password", 120},
              {"Send to IP address / Host name", 175},
              {"Network prefix", 90},
              {"Send to Port", 80}},
             true,
             {{"EditReplaceByMacMac", kZero, "MAC address:", nullptr, 0, Input::kHex},
              {"EditReplaceByMacPassword", kZero,
               "Magic password: (Set the empty field for a magic packet without a password)",
               nullptr, 300, Input::kHex},
              {"EditReplaceByMacHost", "255.255.255.255", kHostLabel},
              {"EditReplaceByMacHostPrefix", "32", "Network prefix:", "SpeedButtonHelpPrefix2", 40,
               Input::kPrefix},
              {"EditReplaceByMacPort", "9", "Port:", nullptr, 50, Input::kPort}},
             "ReplaceByMacPacket",
             2,
             "replacement packet"});
  FitColumn(packets.view, 0, "DD:DD:DD:DD:DD:DD");
  FitColumn(packets.view, 1, "DD:DD:DD:DD:DD:DD");
  help_ = packets.help;
  add_packet_ = packets.add;
  add_packet_->setEnabled(false);
  action_mac_ = actions.edits[0];
  actions_ = std::make_unique<ListEditor<ActionByMac>>(actions.view, actions.edits, actions.add,
                                                       actions.edit, actions.remove, ActionRules());
  packets_ = std::make_unique<ListEditor<ReplaceByMacPacket>>(
      packets.view, packets.edits, packets.add, packets.edit, packets.remove,
      ReplacementPacketRules());
  packets_->may_add = [this] { return current_action_ != nullptr; };
  actions_->on_selected = [this](EntryItem<ActionByMac>* item) { ActionSelected(item); };
  // Deleting the shown action frees its packets with it: nothing may be committed into it. The
  // neighbour selected next shows its own packets and enables Add again.
  actions_->on_deleting = [this](EntryItem<ActionByMac>* item) {
    if (item != current_action_) return;
    current_action_ = nullptr;
    packets_->Load({});
    add_packet_->setEnabled(false);
  };

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(actions.widget, 2);
  layout->addWidget(packets.widget, 3);
}

ActionsByMacPage::~ActionsByMacPage() = default;

void ActionsByMacPage::ActionSelected(EntryItem<ActionByMac>* item) {
  if (item == nullptr || item == current_action_) return;
  CommitPackets();
  current_action_ = item;
  action_mac_->setText(QString::fromStdString(HexText(item->entry.Mac)));
  packets_->Load(item->entry.ReplaceByMacPacketsList);
  add_packet_->setEnabled(true);
}

void ActionsByMacPage::CommitPackets() {
  if (current_action_ != nullptr)
    current_action_->entry.ReplaceByMacPacketsList = packets_->Store();
}

void ActionsByMacPage::Load(const ProxyServerSettings& s) {
  current_action_ = nullptr;
  packets_->Load({});
  actions_->Load(s.ActionsByMacsList);
  add_packet_->setEnabled(false);
}

void ActionsByMacPage::Store(ProxyServerSettings& s) {
  CommitPackets();
  s.ActionsByMacsList = actions_->Store();
}

}  // namespace corvane::desktop
