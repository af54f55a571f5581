#include "desktop/server_pages.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QTreeWidget>
#include <initializer_list>

#include "desktop/action_pages.h"
#include "desktop/filter_pages.h"
#include "desktop/logs_page.h"
#include "desktop/settings_page.h"
#include "desktop/widgets.h"

namespace corvane::desktop {

ServerPages::ServerPages(QWidget* parent)
    : QTabWidget(parent),
      settings_(new SettingsPage(this)),
      sender_(new SenderFiltersPage(this)),
      data_(new DataFiltersPage(this)),
      default_actions_(new DefaultActionsPage(this)),
      actions_(new ActionsByMacPage(this)),
      logs_(new LogsPage(this)) {
  setObjectName("PageControlServer");
  CompactTabs(this);
  addTab(new ScrollPage(settings_), "Settings");
  addTab(new ScrollPage(sender_), "Filters by sender");
  addTab(new ScrollPage(data_), "Filters by data");
  addTab(new ScrollPage(default_actions_), "Default actions");
  addTab(new ScrollPage(actions_), "Actions by MAC address");
  addTab(new ScrollPage(logs_), "Logs");
}

void ServerPages::Load(const ProxyServerSettings& settings) {
  settings_->Load(settings);
  sender_->Load(settings);
  data_->Load(settings);
  default_actions_->Load(settings);
  actions_->Load(settings);
}

void ServerPages::Store(ProxyServerSettings& settings, QStringList* notes) {
  settings_->Store(settings, notes);
  sender_->Store(settings);
  data_->Store(settings);
  default_actions_->Store(settings, notes);
  actions_->Store(settings);
}

void ServerPages::WatchEdits(const std::function<void()>& edited,
                             const std::function<void()>& list_edited) {
  for (QWidget* page :
       std::initializer_list<QWidget*>{settings_, sender_, data_, default_actions_, actions_}) {
    for (QLineEdit* edit : page->findChildren<QLineEdit*>()) {
      connect(edit, &QLineEdit::textChanged, this, edited);
    }
    for (QAbstractButton* button : page->findChildren<QAbstractButton*>()) {
      if (button->isCheckable()) connect(button, &QAbstractButton::toggled, this, edited);
    }
    for (QTreeWidget* view : page->findChildren<QTreeWidget*>()) {
      QAbstractItemModel* rows = view->model();
      connect(rows, &QAbstractItemModel::rowsInserted, this, list_edited);
      connect(rows, &QAbstractItemModel::rowsRemoved, this, list_edited);
      connect(rows, &QAbstractItemModel::dataChanged, this, list_edited);
    }
  }
}

void ServerPages::ShowField(QWidget* field) {
  for (int page = 0; page < count(); ++page) {
    if (widget(page)->isAncestorOf(field)) setCurrentIndex(page);
  }
  field->setFocus();
}

}  // namespace corvane::desktop
