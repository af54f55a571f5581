#include "platform/control_signals.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>

namespace corvane {
namespace {

pthread_t g_signal_waiter;
bool g_signal_waiter_known = false;
std::atomic<bool> g_wake_requested{false};

sigset_t ControlSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGUSR1);
  sigaddset(&set, SIGUSR2);  // the wake-up
  return set;
}

}  // namespace

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
        return ControlSignal::kCounters;
      case SIGUSR2:
        if (g_wake_requested.exchange(false)) return ControlSignal::kWake;
        break;
    }
  }
}

void WakeControlSignalWaiter() {
  g_wake_requested = true;
  if (g_signal_waiter_known) pthread_kill(g_signal_waiter, SIGUSR2);
}

}  // namespace corvane
