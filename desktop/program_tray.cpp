#include "desktop/program_tray.h"

#include <QAction>
#include <QMenu>
#include <utility>

#include "desktop/program_icon.h"

namespace corvane::desktop {

ProgramTray::ProgramTray(QMainWindow* window, std::function<bool()> available,
                         std::chrono::milliseconds poll, std::function<void()> restore)
    : QObject(window),
      window_(window),
      available_(std::move(available)),
      restore_(std::move(restore)),
      poll_(new QTimer(this)) {
  poll_->setObjectName("TimerTray");
  poll_->setInterval(poll);
  connect(poll_, &QTimer::timeout, this, &ProgramTray::ShowWhenAvailable);
  ShowWhenAvailable();
}

void ProgramTray::Hide() {
  if (icon_ != nullptr) icon_->hide();
}

void ProgramTray::ShowWhenAvailable() {
  if (icon_ != nullptr) return;
  if (!(available_ ? available_() : QSystemTrayIcon::isSystemTrayAvailable())) {
    if (!poll_->isActive()) poll_->start();
    return;
  }
  poll_->stop();
  icon_ = new QSystemTrayIcon(ProgramIcon(), this);
  icon_->setObjectName("TrayIcon1");
  icon_->setToolTip("Corvane");
  auto* menu = new QMenu(window_);
  menu->setObjectName("PopupMenuTray");
  QAction* show_hide = menu->addAction("Hide");
  show_hide->setObjectName("ActionShowHide");
  menu->addSeparator();
  menu->addAction("Quit", window_, &QWidget::close)->setObjectName("ActionTrayQuit");
  const auto showing = [this] { return window_->isVisible() && !window_->isMinimized(); };
  connect(menu, &QMenu::aboutToShow, this,
          [showing, show_hide] { show_hide->setText(showing() ? "Hide" : "Show"); });
  connect(show_hide, &QAction::triggered, this, [this, showing] {
    if (showing()) {
      window_->hide();
    } else {
      restore_();
    }
  });
  icon_->setContextMenu(menu);
  connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why != QSystemTrayIcon::Context) restore_();
  });
  icon_->show();
}

}  // namespace corvane::desktop
