#include "desktop/engine_window.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <utility>

namespace corvane::desktop {

namespace {

// Queued on the application object, which outlives the window; the bridge and the report queue
// are closed before the window goes, so nothing is posted afterwards.
void PostToWindowThread(std::function<void()> task) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

}  // namespace

EngineWindow::EngineWindow(ServerEvents* events)
    : events_(events),
      bridge_(PostToWindowThread),
      reports_(PostToWindowThread, [this](std::vector<WindowReport>& batch) {
        events_->BeginRecording();
        for (const WindowReport& report : batch) RecordReport(report);
        events_->EndRecording();
      }) {}

void EngineWindow::Detach() {
  reports_.Close();
  bridge_.Close();
}

}  // namespace corvane::desktop
