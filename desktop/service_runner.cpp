#include "desktop/service_runner.h"

#include <QApplication>
#include <utility>

namespace corvane::desktop {

ServiceRunner::~ServiceRunner() {
  if (worker_.joinable()) worker_.join();
  if (busy_) QApplication::restoreOverrideCursor();
}

void ServiceRunner::Run(ServiceControl control, Action action, Done done) {
  if (busy_) return;
  if (worker_.joinable()) worker_.join();  // ended: its outcome was shown
  busy_ = true;
  tab_->setEnabled(false);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  worker_ = std::thread([this, control = std::move(control), action = std::move(action),
                         done = std::move(done)]() mutable {
    const ServiceOutcome outcome = action(control);
    // Queued to this runner; dropped once it is being destroyed (it joins this thread).
    QMetaObject::invokeMethod(
        this,
        [this, outcome, done] {
          busy_ = false;
          QApplication::restoreOverrideCursor();
          tab_->setEnabled(true);
          done(outcome);
        },
        Qt::QueuedConnection);
  });
}

}  // namespace corvane::desktop
