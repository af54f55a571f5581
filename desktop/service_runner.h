// Runs the Service tab's actions one at a time, each on a thread of its own, so that the window
// stays responsive while an action waits for systemd or retries a copy. While one runs, the tab's
// buttons are off and the cursor is busy; its outcome comes back to the window thread.
//
// Window thread only, but the action itself, which runs on the worker thread with nothing of the
// window but its own ServiceControl. The destructor lets a running action finish (an install gives
// up after 15 retries): the service manager it uses lives no longer than the window's program.
#pragma once

#include <QObject>
#include <QWidget>
#include <functional>
#include <thread>

#include "service/service_control.h"

namespace corvane::desktop {

class ServiceRunner final : public QObject {
 public:
  using Action = std::function<ServiceOutcome(ServiceControl&)>;
  using Done = std::function<void(const ServiceOutcome&)>;

  // `tab` is the Service tab, which outlives the runner.
  explicit ServiceRunner(QWidget* tab) : tab_(tab) {}
  ~ServiceRunner() override;
  ServiceRunner(const ServiceRunner&) = delete;
  ServiceRunner& operator=(const ServiceRunner&) = delete;

  bool busy() const { return busy_; }
  // Runs `action` on `control`; `done` runs on the window thread with its outcome, once the tab is
  // on again. Nothing while an action runs.
  void Run(ServiceControl control, Action action, Done done);

 private:
  QWidget* tab_;
  bool busy_ = false;
  std::thread worker_;  // the running action, joined before the next one
};

}  // namespace corvane::desktop
