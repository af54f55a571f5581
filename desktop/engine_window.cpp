#include "desktop/engine_window.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace corvane::desktop {

EngineWindow::EngineWindow(EngineEvents* events)
    : events_(events), bridge_([](SynchronizeBridge::Task task) {
        // Queued on the application object, which outlives the window; the bridge is closed
        // before the window goes, so nothing is posted afterwards.
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task),
                                  Qt::QueuedConnection);
      }) {}

void EngineWindow::Detach() { bridge_.Close(); }

}  // namespace corvane::desktop
