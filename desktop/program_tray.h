// The program's icon in the desktop's tray, with a menu that does everything the icon does (some
// desktops offer nothing but the menu): show or hide the window, quit.
//
// A child of the window, on the window thread. Where the desktop has no tray yet, it asks again
// every `poll` until it has one, so that a tray host that starts after the program (log-in
// autostart) still gets the icon.
#pragma once

#include <QMainWindow>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <functional>

namespace corvane::desktop {

class ProgramTray final : public QObject {
 public:
  // `available` tells whether the desktop has a tray now; `restore` brings the window back.
  ProgramTray(QMainWindow* window, std::function<bool()> available, std::chrono::milliseconds poll,
              std::function<void()> restore);

  bool shown() const { return icon_ != nullptr; }
  void Hide();

 private:
  void ShowWhenAvailable();

  QMainWindow* window_;
  std::function<bool()> available_;
  std::function<void()> restore_;
  QTimer* poll_;
  QSystemTrayIcon* icon_ = nullptr;
};

}  // namespace corvane::desktop
