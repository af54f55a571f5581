// The controls a service receives, as signals taken by sigwait, never in signal context: SIGTERM
// and SIGINT stop it (systemd also sends SIGTERM at shutdown), SIGHUP stands for any other
// control, SIGUSR1 asks for the proxy servers' counters.
#pragma once

namespace corvane {

enum class ControlSignal { kStop, kOther, kCounters, kWake };

// Blocks the control signals in the calling thread and in every thread it starts afterwards, so
// that they are only ever taken by WaitForControlSignal. Call first thing in main, on the thread
// that will wait.
[[nodiscard]] bool BlockControlSignals();
// Waits for the next control signal, or for WakeControlSignalWaiter.
[[nodiscard]] ControlSignal WaitForControlSignal();
// Ends the wait of WaitForControlSignal with kWake (from any thread). The wake-up signal that
// another process sends is ignored: only this call ends the wait.
void WakeControlSignalWaiter();

}  // namespace corvane
