// One instance per user: the first instance listens on a per-user local socket named after
// "CorvaneMutex"; a later one connects, sends its own program path and ends. The first brings its
// window back only when the paths are equal.
#pragma once

#include <QLocalServer>
#include <functional>
#include <memory>
#include <string>

namespace corvane::desktop {

class SingleInstance {
 public:
  // `restore` runs on the window thread when a second instance of this program asks.
  SingleInstance(std::string name, std::string program, std::function<void()> restore);
  ~SingleInstance();

  // True when this is the first instance (it now listens); false when another one runs, which
  // was just asked to restore its window.
  bool Claim();

 private:
  bool AskRunningInstance() const;

  const std::string name_;
  const std::string program_;
  std::function<void()> restore_;
  std::unique_ptr<QLocalServer> server_;
};

// "CorvaneMutex" and the user's id.
std::string SingleInstanceName();

}  // namespace corvane::desktop
