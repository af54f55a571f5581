#include "desktop/program_tabs.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "desktop/widgets.h"
#include "platform/files.h"

namespace corvane::desktop {
namespace {

QCheckBox* OptionBox(QWidget* parent, const char* name, const QString& caption,
                     std::atomic<bool>& flag) {
  QCheckBox* box = MakeCheckBox(parent, name, caption);
  box->setChecked(IsSet(flag));
  QObject::connect(box, &QCheckBox::toggled, parent, [&flag](bool on) { Set(flag, on); });
  return box;
}

}  // namespace

ProgramSettingsTab::ProgramSettingsTab(QWidget* parent, DisplayOptions& options) : QWidget(parent) {
  auto_start_ = MakeCheckBox(this, "CheckBoxAutoStart", "Start program on login");
  auto* logs = new QGroupBox("Logs", this);
  show_errors_ = OptionBox(logs, "CheckBoxShowErrors", "Show errors", options.ShowErrors);
  dont_show_resolve_errors_ =
      OptionBox(logs, "CheckBoxDontShowResolveErrors",
                "Don't show errors associated with resolve host name to IP address",
                options.DontShowResolveErrors);
  dont_show_send_errors_ =
      OptionBox(logs, "CheckBoxDontShowSendErrors",
                "Don't show errors associated with sending packets", options.DontShowSendErrors);
  show_recv_packets_ =
      OptionBox(logs, "CheckBoxShowRecvPackets", "Show received packets", options.ShowRecvPackets);
  dont_show_ignored_packets_ =
      OptionBox(logs, "CheckBoxDontShowIgnoredPackets", "Don't show ignored packets",
                options.DontShowIgnoredPackets);
  show_send_packets_ =
      OptionBox(logs, "CheckBoxShowSendPackets", "Show sent packets", options.ShowSendPackets);

  auto* group = new QVBoxLayout(logs);
  // The "don't show" boxes stand indented under the option they refine (and work on their own).
  const auto indented = [group](QWidget* box) {
    auto* row = new QHBoxLayout;
    row->addSpacing(24);
    row->addWidget(box);
    group->addLayout(row);
  };
  group->addWidget(show_errors_);
  indented(dont_show_resolve_errors_);
  indented(dont_show_send_errors_);
  group->addWidget(show_recv_packets_);
  indented(dont_show_ignored_packets_);
  group->addWidget(show_send_packets_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(auto_start_);
  layout->addWidget(logs);
  layout->addStretch();
}

void ProgramSettingsTab::ShowOptions(const DisplayOptions& options) {
  show_errors_->setChecked(IsSet(options.ShowErrors));
  dont_show_resolve_errors_->setChecked(IsSet(options.DontShowResolveErrors));
  dont_show_send_errors_->setChecked(IsSet(options.DontShowSendErrors));
  show_recv_packets_->setChecked(IsSet(options.ShowRecvPackets));
  dont_show_ignored_packets_->setChecked(IsSet(options.DontShowIgnoredPackets));
  show_send_packets_->setChecked(IsSet(options.ShowSendPackets));
}

ServiceTab::ServiceTab(QWidget* parent) : QWidget(parent) {
  install_ = MakeButton(this, "ButtonInstallService", "Install / ReInstall");
  start_ = MakeButton(this, "ButtonServiceStart", "Start");
  stop_ = MakeButton(this, "ButtonServiceStop", "Stop");
  uninstall_ = MakeButton(this, "ButtonServiceUninstall", "UnInstall");
  apply_ = MakeButton(this, "ButtonServiceApply",
                      "Apply current settings of proxy servers to the Service");
  start_->setAccessibleName("Start the service");
  stop_->setAccessibleName("Stop the service");
  install_->setAccessibleName("Install or reinstall the service");
  uninstall_->setAccessibleName("Uninstall the service");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(MakeLabel(
      this, "This service will have a name \"CorvaneService\" in the services database."));
  for (QPushButton* button : {install_, start_, stop_, uninstall_, apply_}) {
    layout->addWidget(button, 0, Qt::AlignLeft);
  }
  layout->addStretch();
}

ImportExportTab MakeImportExportTab(QWidget* parent) {
  auto* tab = new QWidget(parent);
  auto* layout = new QVBoxLayout(tab);
  const QString folder = QString::fromStdString(UserProfileDirectory() + "/Corvane");
  QLabel* label = MakeLabel(tab, "All settings are stored in the folder: \"" + folder +
                                     "\". You can copy \"Corvane\" folder to \"~\" folder on "
                                     "another computer.");
  label->setWordWrap(true);
  layout->addWidget(label);
  auto* buttons = new QHBoxLayout;
  QPushButton* import_button = MakeButton(tab, "ButtonImport", "Import...");
  QPushButton* export_button = MakeButton(tab, "ButtonExport", "Export...");
  import_button->setAccessibleName("Import settings");
  export_button->setAccessibleName("Export settings");
  import_button->setToolTip("Replace all proxy servers by those of a profile file");
  export_button->setToolTip("Write a copy of all settings to a file");
  buttons->addWidget(import_button);
  buttons->addWidget(export_button);
  buttons->addStretch();
  layout->addLayout(buttons);
  layout->addStretch();
  return {tab, import_button, export_button};
}

}  // namespace corvane::desktop
