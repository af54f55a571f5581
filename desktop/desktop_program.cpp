#include "desktop/desktop_program.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>
#include <thread>

#include "desktop/program_icon.h"
#include "desktop/single_instance.h"
#include "desktop/tform_main.h"
#include "platform/files.h"
#include "platform/port_binder.h"
#include "platform/process_limits.h"
#include "platform/termination_signal.h"
#include "service/systemd_service_manager.h"

namespace corvane::desktop {

int RunDesktopProgram(int argc, char** argv) {
  // First of all: a program given CAP_NET_BIND_SERVICE leaves it to a binder before the toolkit
  // (which loads whatever its user names) exists.
  if (!StartPortBinder()) {
    std::fputs("Corvane: could not give up its capabilities\n", stderr);
    return 1;
  }
  // Before any thread starts, so that SIGTERM reaches the event loop only.
  const int termination = OpenTerminationDescriptor();
  RaiseOpenFileLimit();
  QApplication application(argc, argv);
  QApplication::setApplicationName("Corvane");
  QApplication::setWindowIcon(ProgramIcon());      // also the message boxes'
  QGuiApplication::setDesktopFileName("corvane");  // the launcher, for Wayland compositors

  std::unique_ptr<TFormMain> form;
  const std::string program = OwnExecutablePath();
  SingleInstance instance(SingleInstanceFolder(), program, [&form] {
    if (form) form->RestoreWindow();
  });
  if (!instance.Claim()) return 0;

  SystemdServiceManager service_manager;
  SystemFileCopier files;
  DesktopDependencies dependencies;
  dependencies.service_manager = &service_manager;
  dependencies.files = &files;
  dependencies.service_paths = CurrentServicePaths();
  dependencies.sleep = [](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); };
  dependencies.program_path = program;
  form = std::make_unique<TFormMain>(dependencies);

  // Log-off and shutdown: the session manager asks to commit data; SIGTERM ends the program the
  // same way. Both save once and close without asking.
  QObject::connect(&application, &QGuiApplication::commitDataRequest, form.get(),
                   [&form](QSessionManager&) { form->QueryEndSession(); });
  std::unique_ptr<QSocketNotifier> notifier;
  if (termination >= 0) {
    notifier = std::make_unique<QSocketNotifier>(termination, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, form.get(), [&form, termination] {
      DrainTerminationDescriptor(termination);
      form->EndSession();
    });
  }

  if (!form->FormCreate()) {
    form.reset();  // before what it depends on
    return 1;      // nothing shown; the profile is left as it was
  }
  form->show();
  const int code = QApplication::exec();
  notifier.reset();
  form.reset();  // FormDestroy
  return code;
}

}  // namespace corvane::desktop
