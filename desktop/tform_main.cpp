#include "desktop/tform_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "config/profile_file.h"
#include "corvane_version.h"
#include "desktop/action_pages.h"
#include "desktop/autostart.h"
#include "desktop/filter_pages.h"
#include "desktop/logs_page.h"
#include "desktop/message_box.h"
#include "desktop/prefix_help.h"
#include "desktop/program_icon.h"
#include "desktop/program_tabs.h"
#include "desktop/program_tray.h"
#include "desktop/server_list.h"
#include "desktop/settings_page.h"
#include "desktop/widgets.h"
#include "engine/wol_server_thread.h"
#include "platform/host_lookup.h"
#include "platform/udp_socket.h"

namespace corvane::desktop {
namespace {

constexpr std::chrono::milliseconds kHour{3600000};

}  // namespace

TFormMain::TFormMain(DesktopDependencies dependencies)
    : deps_(std::move(dependencies)),
      engine_(std::make_shared<EngineWindow>(static_cast<ServerEvents*>(this))) {
  BuildWindow();
}

void TFormMain::BuildWindow() {
  setObjectName("TFormMain");
  setWindowTitle("Corvane");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint);
  auto* tabs = new QTabWidget(this);
  tabs_ = tabs;
  tabs->setObjectName("PageControlMain");
  tabs->addTab(BuildProxyServersTab(), "Proxy servers");
  program_settings_ = new ProgramSettingsTab(tabs, engine_->options());
  tabs->addTab(new ScrollPage(program_settings_), "Settings");
  service_tab_ = new ServiceTab(tabs);
  service_runner_ = std::make_unique<ServiceRunner>(service_tab_);
  tabs->addTab(new ScrollPage(service_tab_), "Service");
  const ImportExportTab transfer = MakeImportExportTab(tabs);
  tabs->addTab(new ScrollPage(transfer.widget), "Import and Export");
  connect(transfer.import_button, &QPushButton::clicked, this, &TFormMain::ImportClick);
  connect(transfer.export_button, &QPushButton::clicked, this, &TFormMain::ExportClick);
  CompactTabs(tabs);
  setCentralWidget(tabs);
  setStatusBar(new StatusBar(this));
  BuildMenus();
  FitToScreen();

  connect(program_settings_->auto_start(), &QCheckBox::toggled, this,
          &TFormMain::CheckBoxAutoStartClick);
  const auto save = [this] { SaveSettings(); };
  const auto stop_for_service = [this] { StopServersForService(); };
  const auto nothing = [] {};
  connect(service_tab_->install(), &QPushButton::clicked, this,
          [=, this] { ServiceAction(save, [](ServiceControl& c) { return c.Install(); }); });
  connect(service_tab_->start(), &QPushButton::clicked, this, [=, this] {
    ServiceAction(
        stop_for_service, [](ServiceControl& c) { return c.Start(); },
        [this](const ServiceOutcome& outcome) { return AfterServiceStart(outcome); });
  });
  connect(service_tab_->stop(), &QPushButton::clicked, this,
          [=, this] { ServiceAction(nothing, [](ServiceControl& c) { return c.Stop(); }); });
  connect(service_tab_->uninstall(), &QPushButton::clicked, this,
          [=, this] { ServiceAction(nothing, [](ServiceControl& c) { return c.Remove(); }); });
  connect(service_tab_->apply(), &QPushButton::clicked, this,
          [=, this] { ServiceAction(save, [](ServiceControl& c) { return c.Apply(); }); });

  timer_ = new QTimer(this);
  timer_->setObjectName("Timer1");
  timer_->setInterval(kHour);
  connect(timer_, &QTimer::timeout, this, &TFormMain::Timer1Timer);
  counters_timer_ = new QTimer(this);
  counters_timer_->setObjectName("TimerCounters");
  counters_timer_->setInterval(250);
  connect(counters_timer_, &QTimer::timeout, this, &TFormMain::ShowCounters);
  WatchForChanges();
}

QWidget* TFormMain::BuildProxyServersTab() {
  auto* tab = new QWidget;
  servers_ = MakeListView(tab, "ListViewServers", {{"Name", 130}}, false, true);
  servers_->setItemDelegate(new ServerListDelegate(servers_));
  servers_->setUniformRowHeights(false);
  server_name_ = MakeEdit(tab, "EditServerName", "New proxy");
  auto* add = MakeButton(tab, "ButtonAddServer", "Add");
  auto* rename = MakeButton(tab, "ButtonRenameServer", "Rename");
  auto* remove = MakeButton(tab, "ButtonDeleteServer", "Delete");
  title_ = new ElidedLabel(tab);
  title_->setObjectName("EditTitle");
  // A screen reader reads the name itself, described as what it is.
  title_->setAccessibleDescription("Selected proxy server");
  QFont bold = title_->font();
  bold.setBold(true);
  title_->setFont(bold);
  servers_->setAccessibleName("Proxy server list");
  servers_->setAccessibleDescription("The pages beside it show the selected proxy server.");
  server_name_->setAccessibleName("Proxy server name");
  add->setAccessibleName("Add proxy server");
  rename->setAccessibleName("Rename proxy server");
  remove->setAccessibleName("Delete proxy server");
  add->setToolTip("Add a proxy server with the name above");
  rename->setToolTip("Give the selected proxy server the name above");

  pages_ = new ServerPages(tab);

  auto* left_panel = new QWidget(tab);
  auto* left = new QVBoxLayout(left_panel);
  left->setContentsMargins(0, 0, 0, 0);
  left->addWidget(servers_, 1);
  QLabel* name_label = MakeLabel(tab, "Proxy server name:");
  name_label->setBuddy(server_name_);
  left->addWidget(name_label);
  left->addWidget(server_name_);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {add, rename, remove}) {
    ShrinkToCaption(button);
    buttons->addWidget(button);
  }
  buttons->setSpacing(4);
  left->addLayout(buttons);
  // As narrow as the list and its buttons allow: the pages beside it need the room.
  left_panel->setFixedWidth(std::max(170, buttons->minimumSize().width()));
  auto* right = new QVBoxLayout;
  right->addWidget(title_);
  right->addWidget(pages_, 1);
  auto* layout = new QHBoxLayout(tab);
  layout->addWidget(left_panel);
  layout->addLayout(right, 1);

  connect(servers_, &QTreeWidget::itemSelectionChanged, this, [this] {
    const QList<QTreeWidgetItem*> selected = servers_->selectedItems();
    ListViewServersSelectItem(selected.isEmpty() ? nullptr : selected.front(), !selected.isEmpty());
  });
  connect(add, &QPushButton::clicked, this, &TFormMain::ButtonAddServerClick);
  connect(rename, &QPushButton::clicked, this, &TFormMain::ButtonRenameServerClick);
  connect(remove, &QPushButton::clicked, this, &TFormMain::ButtonDeleteServerClick);
  connect(pages_->settings()->start_button(), &QPushButton::clicked, this,
          &TFormMain::ButtonStartServerClick);
  connect(pages_->settings()->stop_button(), &QPushButton::clicked, this,
          &TFormMain::ButtonStopServerClick);
  connect(pages_->sender()->help_button(), &QPushButton::clicked, this,
          [this] { SpeedButtonHelpPrefixClick(this); });
  connect(pages_->default_actions()->help_button(), &QPushButton::clicked, this,
          [this] { SpeedButtonHelpPrefix2Click(this); });
  connect(pages_->actions()->help_button(), &QPushButton::clicked, this,
          [this] { SpeedButtonHelpPrefix2Click(this); });
  pages_->logs()->error_tip = [this](const ErrorRow& error) {
    const QString message = QString::fromStdString(error.message);
    const QString remedy = Remedy(error, deps_.program_path);
    return remedy.isEmpty() ? message : message + "\n" + remedy;
  };
  WatchPageEdits();
  return tab;
}

void TFormMain::FitToScreen() {
  // The window was designed for 820 x 560; it may grow, and a smaller screen (or a large scale
  // factor) makes the pages scroll rather than put the window's edge off the screen.
  const QSize designed(820, 560);
  QSize room = designed;
  if (const QScreen* screen = this->screen()) {
    room = screen->availableGeometry().size() - QSize(16, 48);  // the frame and the title bar
  }
  setMinimumSize(designed.boundedTo(room));
  resize(sizeHint().expandedTo(designed).boundedTo(room));
}

bool TFormMain::FormCreate() {
  bool created = false;
  try {
    created = CreateWindowParts();
  } catch (...) {
  }
  if (!created) setWindowOpacity(0.0);  // nothing is shown; the program ends
  return created;
}

bool TFormMain::CreateWindowParts() {
  LoadAddressInfoEntryPoints();  // without them, names resolve to IPv4 only
  if (!(deps_.network_ready ? deps_.network_ready() : NetworkReady())) return false;
  auto_start_ = AutostartEntryStarts(deps_.program_path);
  program_settings_->auto_start()->setChecked(auto_start_);  // writes nothing: not ready yet

  // A failed check keeps what was read before it. The file itself is kept too (see SaveSettings).
  if (!LoadProfile(table_, display_options())) NoteUnreadableProfile();
  program_settings_->ShowOptions(display_options());
  program_settings_->auto_start()->setChecked(auto_start_);
  for (std::size_t i = 0; i < table_.size(); ++i) AddListItem(table_[i]);
  if (table_.empty()) AddServer("New proxy server");
  if (servers_->topLevelItemCount() > 0) SelectItem(servers_->topLevelItem(0));
  setWindowTitle(QString("Corvane v") + kProgramVersion);
  setWindowIcon(ProgramIcon());
  if (!saving_->aside().empty()) ReportUnreadableProfile();

  if (!QueryServiceRunning(*deps_.service_manager)) {
    for (std::size_t i = 0; i < table_.size(); ++i) {
      if (table_[i].ServerAutoStart) threads_.Start(table_[i].Id, engine_);
    }
  }
  RestoreWindowState();
  if (deps_.tray) {
    tray_ =
        new ProgramTray(this, deps_.tray_available, deps_.tray_poll, [this] { RestoreWindow(); });
  }
  timer_->start();
  counters_timer_->start();
  ShowCounters();
  form_ready_ = true;
  return true;
}

TFormMain::~TFormMain() {
  // Engine threads get no more window calls from here on, so none waits for this thread.
  engine_->Detach();
  service_runner_.reset();  // lets a running service action finish
  if (form_ready_) SaveWindowState();
  if (!settings_saved_ && form_ready_) SaveSettings();
  saving_->Close();  // after writing what it was handed; a failure goes to standard error
  const std::vector<std::shared_ptr<WolServerThread>> threads = threads_.StopAll();
  pages_->actions()->ClearCurrentActionItem();
  DeleteAllServers();
  // Up to a second for the stopping threads to close their sockets.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
  for (const auto& thread : threads) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() > 0) thread->WaitUntilFinished(left);
  }
  ReleaseAddressInfoEntryPoints();
  if (tray_ != nullptr) tray_->Hide();
}

void TFormMain::WatchForChanges() {
  saving_ = std::make_unique<ProfileSaving>(
      this, [this] { return form_ready_ && !settings_saved_; },
      [this] { StoreServerPages(table_.Find(selected_id_)); },
      [this] { return ProfileImage(table_, display_options(), auto_start_); }, deps_.write_profile);
  for (const QCheckBox* option : program_settings_->findChildren<QCheckBox*>()) {
    connect(option, &QCheckBox::toggled, this, [this] { saving_->Schedule(true); });
  }
}

void TFormMain::NoteUnreadableProfile() {
  // Missing or empty: nothing there to keep.
  const std::optional<std::string> profile = ProfilePath();
  std::error_code error;
  if (!profile || !PathExists(*profile) || std::filesystem::file_size(*profile, error) == 0) return;
  saving_->SetAside(UnreadableProfilePath(*profile, CurrentLocalTime()));
}

void TFormMain::ReportUnreadableProfile() {
  const std::string name = std::filesystem::path(saving_->aside()).filename().string();
  AddErrorRow(
      selected_id_,
      {LocalNow(), "Profile could not be read completely; it is kept as ~/Corvane/" + name});
  // Once the window is up, so that the box does not stand alone on the screen.
  QTimer::singleShot(0, this, [this, name] {
    MessageBoxes::Information(
        this, "Corvane",
        QString::fromStdString(
            "The profile \"~/Corvane/profile.dat\" could not be read completely. Corvane started "
            "with the settings it could read.\r\nThe file is kept unchanged as \"~/Corvane/" +
            name + "\"; the settings are saved to a new profile."));
  });
}

void TFormMain::RestoreWindow() {
  if (!form_ready_) return;
  showNormal();
  raise();
  activateWindow();
}

void TFormMain::QueryEndSession() {
  close_confirmed_ = true;
  if (settings_saved_) return;
  settings_saved_ = true;
  if (form_ready_) {
    SaveSettings();
    // The session is ending and the window with it: this save is worth waiting for.
    saving_->WaitUntilWritten();
    deps_.sleep(std::chrono::milliseconds(1000));
  }
}

void TFormMain::EndSession() {
  QueryEndSession();
  close();
  // Also when a close question is open (which ignores this close): ending the event loop ends
  // the question too, and the program.
  QApplication::quit();
}

void TFormMain::closeEvent(QCloseEvent* event) {
  if (!close_confirmed_) {
    const bool yes = MessageBoxes::Question(this, "Corvane", "Are you sure you want to Close?");
    close_confirmed_ = close_confirmed_ || yes;  // the session may have ended meanwhile
  }
  if (!close_confirmed_) {
    event->ignore();
    return;
  }
  event->accept();
  QApplication::quit();  // closing the window always ends the program, also from the tray
}

void TFormMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // With a tray icon, minimising hides the window (and its taskbar entry); without one, a
  // hidden window could not be brought back, so it only minimises.
  if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_ != nullptr &&
      tray_->shown()) {
    QTimer::singleShot(0, this, &QWidget::hide);
  }
}

void TFormMain::CheckBoxAutoStartClick(bool checked) {
  auto_start_ = checked;
  if (!form_ready_) return;
  if (checked) {
    WriteAutostartEntry(deps_.program_path);  // failures are silent
  } else {
    RemoveAutostartEntry();
  }
}

void TFormMain::Timer1Timer() {
  if (!settings_saved_ && form_ready_) SaveSettings();
}

}  // namespace corvane::desktop
