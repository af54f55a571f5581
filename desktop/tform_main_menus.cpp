// The menu bar, import and export of the profile, and the window's own
// state (geometry, tabs), which is kept apart from the profile.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>

#include "corvane_version.h"
#include "desktop/action_pages.h"
#include "desktop/autostart.h"
#include "desktop/file_dialogs.h"
#include "desktop/message_box.h"
#include "desktop/profile_transfer.h"
#include "desktop/program_tabs.h"
#include "desktop/tform_main.h"
#include "desktop/widgets.h"
#include "platform/files.h"

namespace corvane::desktop {
namespace {

QString WindowStateFile() {
  return QString::fromStdString(UserConfigFolder() + "/Corvane/Corvane.conf");
}

QString HomeFolder() { return QString::fromStdString(UserProfileDirectory()); }

// A failure both in a message box and, until the next message, in the status bar.
void ShowFailure(QWidget* window, const QString& text) {
  ShowStatus(window, QString(text).replace("\r\n", " "));
  MessageBoxes::Information(window, "Information", text);
}

}  // namespace

void TFormMain::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("MenuFile");
  file->addAction("&Import...", this, &TFormMain::ImportClick)->setObjectName("ActionImport");
  file->addAction("&Export...", this, &TFormMain::ExportClick)->setObjectName("ActionExport");
  file->addSeparator();
  QAction* quit = file->addAction("&Quit", this, &QWidget::close);
  quit->setObjectName("ActionQuit");
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("MenuHelp");
  help->addAction("&About Corvane", this, &TFormMain::AboutClick)->setObjectName("ActionAbout");
}

void TFormMain::ImportClick() {
  if (!form_ready_) return;
  const QString path = FileDialogs::Open(this, "Import", HomeFolder());
  if (path.isEmpty()) return;
  std::optional<ImportedProfile> profile = ReadProfileCopy(path.toStdString());
  if (!profile) {
    ShowFailure(this, "Failed: The file \"" + path +
                          "\" is not a complete Corvane profile.\r\nNothing was changed.");
    return;
  }
  const QString question = QString(
                               "Replace all %1 proxy servers by the %2 proxy servers of \"%3\"?\r\n"
                               "Running proxy servers are stopped.")
                               .arg(table_.size())
                               .arg(profile->records.size())
                               .arg(path);
  if (!MessageBoxes::Question(this, "Corvane", question)) return;

  pages_->actions()->ClearCurrentActionItem();
  DeleteAllServers();  // every running proxy server is told to stop
  selected_id_ = 0;
  Apply(profile->options, display_options());
  program_settings_->ShowOptions(display_options());
  for (ProxyServerSettings& record : profile->records) InsertServer(std::move(record));
  if (table_.empty()) AddServer("New proxy server");
  if (servers_->topLevelItemCount() > 0) SelectItem(servers_->topLevelItem(0));
  SaveSettings();
  ShowStatus(this, QString("Imported %1 proxy servers from \"%2\".").arg(table_.size()).arg(path));
}

void TFormMain::ExportClick() {
  if (!form_ready_) return;
  const QString path = FileDialogs::Save(this, "Export", HomeFolder() + "/Corvane-profile.dat");
  if (path.isEmpty()) return;
  StoreServerPages(table_.Find(selected_id_));
  if (!ExportProfile(path.toStdString(), table_, display_options(), auto_start_)) {
    ShowFailure(this, "Failed: Can not create file \"" + path + "\".");
    return;
  }
  ShowStatus(this, QString("Exported %1 proxy servers to \"%2\".").arg(table_.size()).arg(path));
}

void TFormMain::AboutClick() {
  QMessageBox::about(this, "About Corvane",
                     QString("<b>Corvane %1</b><p>Relays Wake-on-LAN magic packets to the networks "
                             "and hosts that their senders cannot reach.</p>"
                             "<p>Copyright 2026 The Corvane developers. All rights reserved; no "
                             "licence to copy, change or pass it on has been granted yet.</p>")
                         .arg(kProgramVersion));
}

void TFormMain::RestoreWindowState() {
  const QSettings state(WindowStateFile(), QSettings::IniFormat);
  restoreGeometry(state.value("Window/Geometry").toByteArray());
  tabs_->setCurrentIndex(state.value("Window/Tab", 0).toInt());
  pages_->setCurrentIndex(state.value("Window/Page", 0).toInt());
}

void TFormMain::SaveWindowState() const {
  QSettings state(WindowStateFile(), QSettings::IniFormat);
  state.setValue("Window/Geometry", saveGeometry());
  state.setValue("Window/Tab", tabs_->currentIndex());
  state.setValue("Window/Page", pages_->currentIndex());
}

}  // namespace corvane::desktop
