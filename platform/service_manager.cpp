#include "platform/service_manager.h"

#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/udp_socket.h"

namespace corvane {
namespace {

pthread_t g_signal_waiter;
bool g_signal_waiter_known = false;

sigset_t ControlSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGUSR1);  // the wake-up
  return set;
}

}  // namespace

std::optional<NotifySocket> NotifySocket::FromEnvironment() {
  const char* address = std::getenv("NOTIFY_SOCKET");
  if (address == nullptr) return std::nullopt;
  return ForAddress(address);
}

std::optional<NotifySocket> NotifySocket::ForAddress(std::string_view address) {
  // A path must be absolute; an abstract name needs at least one character after the '@'.
  if (address.size() < 2 || address.size() >= sizeof(sockaddr_un::sun_path)) return std::nullopt;
  if (address.front() != '/' && address.front() != '@') return std::nullopt;
  if (address.find('\0') != std::string_view::npos) return std::nullopt;
  std::string stored(address);
  if (stored.front() == '@') stored.front() = '\0';
  return NotifySocket(std::move(stored));
}

bool NotifySocket::Send(std::string_view message) const {
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un to{};
  to.sun_family = AF_UNIX;
  std::memcpy(to.sun_path, address_.data(), address_.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address_.size());
  const ssize_t sent = sendto(fd, message.data(), message.size(), MSG_NOSIGNAL,
                              reinterpret_cast<const sockaddr*>(&to), length);
  close(fd);
  return sent == static_cast<ssize_t>(message.size());
}

bool BlockControlSignals() {
  const sigset_t set = ControlSignals();
  g_signal_waiter = pthread_self();
  g_signal_waiter_known = true;
  return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

ControlSignal WaitForControlSignal() {
  const sigset_t set = ControlSignals();
  while (true) {
    int signal = 0;
    if (sigwait(&set, &signal) != 0) continue;
    switch (signal) {
      case SIGTERM:
      case SIGINT:
        return ControlSignal::kStop;
      case SIGHUP:
        return ControlSignal::kOther;
      case SIGUSR1:
        return ControlSignal::kWake;
    }
  }
}

void WakeControlSignalWaiter() {
  if (g_signal_waiter_known) pthread_kill(g_signal_waiter, SIGUSR1);
}

int OpenTerminationDescriptor() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
  return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

void DrainTerminationDescriptor(int fd) {
  signalfd_siginfo info{};
  while (read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
  }
}

bool WriteEventLine(std::string_view text, bool error) {
  std::string line = error ? "<3>" : "<6>";
  line.append(text);
  line += '\n';
  return WriteAll(STDERR_FILENO, {reinterpret_cast<const std::uint8_t*>(line.data()), line.size()});
}

bool NetworkReady() {
  return UdpSocket::Open(AddressFamily::kIpv4).valid() ||
         UdpSocket::Open(AddressFamily::kIpv6).valid();
}

}  // namespace corvane
