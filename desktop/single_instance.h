// One instance per user. The first instance takes an exclusive lock on "CorvaneMutex.lock" in the
// user's private runtime folder and listens on the local socket "CorvaneMutex.socket" beside it;
// a later instance finds the lock taken, connects, sends its own program path and ends. The first
// brings its window back only when the paths are equal.
//
// Other users cannot reach either file (the folder is the user's alone), and every connection is
// checked to come from the same user, so nobody else can take the claim, answer in place of the
// first instance or listen to what a second one sends. A request is one line of at most
// kMaxRequestBytes, delivered within kRequestTimeout; at most kMaxOpenRequests connections are
// served at once and any more are closed at once, so even the same user cannot make the first
// instance hold more memory or descriptors than these bounds.
#pragma once

#include <QLocalServer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/private_folder.h"

namespace corvane::desktop {

class SingleInstance {
 public:
  static constexpr qint64 kMaxRequestBytes = 4097;  // a path of up to 4096 bytes and "\n"
  static constexpr std::chrono::milliseconds kRequestTimeout{2000};
  static constexpr int kMaxOpenRequests = 4;

  // `folder`: where the lock and the socket live (SingleInstanceFolder()); empty when there is
  // no private folder, and then every instance runs on its own. `restore` runs on the window
  // thread when a second instance of this program asks.
  SingleInstance(std::string folder, std::string program, std::function<void()> restore);
  ~SingleInstance();

  // True when this is the first instance (it now listens, or runs unguarded without a private
  // folder); false when another one holds the claim and was just asked to restore its window.
  bool Claim();

  std::string SocketPath() const { return folder_ + "/CorvaneMutex.socket"; }

 private:
  void AskRunningInstance() const;
  void Serve();

  const std::string folder_;
  const std::string program_;
  std::function<void()> restore_;
  ExclusiveFileLock lock_;
  std::unique_ptr<QLocalServer> server_;
  int open_requests_ = 0;
};

// The user's private runtime folder, else the profile folder ~/Corvane (made when missing).
std::string SingleInstanceFolder();

}  // namespace corvane::desktop
