#include "platform/termination_signal.h"

#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace corvane {

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

}  // namespace corvane
